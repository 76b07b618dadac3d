#!/usr/bin/env bash
# Starts the program from a build tree.
set -euo pipefail
build=${1:-build}
exec "$build/cli/torvenquill" --help
