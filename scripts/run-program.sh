#!/usr/bin/env bash
# Starts the converter window from a build tree. Without a graphical display the program says so
# and points to the torvenquill command.
set -euo pipefail
build=${1:-build}
program="$build/app/lumenvex"
if [ ! -x "$program" ]; then
  echo "run-program: $program was not built (it needs Qt 6: scripts/install-deps.sh)" >&2
  exit 1
fi
exec "$program"
