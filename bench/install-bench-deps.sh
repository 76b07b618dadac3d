#!/usr/bin/env bash
# Installs, from Debian packages, the peer tools the benchmark races against and what it measures
# with. Safe to run again: packages already present are left alone.
set -euo pipefail

packages=(
  # peers
  imagemagick graphicsmagick libvips-tools python3 python3-pil netpbm
  # the bare-library limit reference and its command-line twins
  build-essential cmake libjpeg62-turbo-dev libpng-dev libtiff-dev zlib1g-dev
  libjpeg-turbo-progs libtiff-tools
  # measuring
  time
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
