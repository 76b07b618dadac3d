#!/usr/bin/env bash
# Installs, from Debian packages, whatever the build, the program and the tests need and the machine
# lacks, plus any packages named as arguments. Safe to run again: packages already present are left
# alone.
set -euo pipefail

packages=(
  # build
  build-essential cmake pkg-config
  libjpeg62-turbo-dev libpng-dev libtiff-dev zlib1g-dev
  qt6-base-dev qt6-qpa-plugins libgl-dev
  fonts-wqy-microhei
  # tests
  libgtest-dev
  imagemagick python3 python3-pil netpbm libjpeg-turbo-progs libtiff-tools pngcheck
  kimageformat-plugins python3-pyqt5
  # sanitizers and fuzzing
  clang libclang-rt-14-dev
  "$@"
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

[ ${#missing[@]} -eq 0 ] && exit 0

sudo_cmd=()
[ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo)

echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -qq
"${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
