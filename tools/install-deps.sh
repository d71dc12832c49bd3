#!/usr/bin/env bash
# Installs the Debian packages a fresh machine lacks for building and testing contourmill.
set -euo pipefail
packages=(cmake ninja-build g++ clang clang-format libclang-rt-14-dev libgtest-dev libgmock-dev libbenchmark-dev gdal-bin proj-bin python3-gdal
  libfltk1.3-dev xvfb xauth xdotool imagemagick libarchive-dev zlib1g-dev)
missing=()
for p in "${packages[@]}"; do
  dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq "${missing[@]}" >/dev/null
fi
