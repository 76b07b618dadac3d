#!/usr/bin/env bash
# Installs, from Debian packages, the peer tools the benchmark races against and what it measures
# with, on top of what the build needs. Safe to run again.
set -euo pipefail
cd "$(dirname "$0")/.."
exec scripts/install-deps.sh \
  graphicsmagick libvips-tools \
  time
