#!/usr/bin/env bash
# Installs what building and testing Kavelton needs, from Debian packages.
# Does nothing when everything is already there. Run as root, or as a user
# with sudo rights: apt-get then runs through sudo.
set -euo pipefail
packages=(cmake ninja-build g++ mingw-w64 g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix
          wine wine64 fonts-wine xvfb xauth x11-utils imagemagick googletest mtools dosfstools zip unzip
          clang libclang-rt-14-dev python3 wixl msitools nlohmann-json3-dev osslsigncode openssl)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  as_root=()
  if [ "$(id -u)" != 0 ]; then
    command -v sudo >/dev/null || { echo "setup: not root and no sudo; install as root: ${missing[*]}" >&2; exit 1; }
    as_root=(sudo)
  fi
  export DEBIAN_FRONTEND=noninteractive
  "${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -q
  # Wine needs its recommended fonts (fonts-wine) to draw and measure text.
  "${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -q "${missing[@]}"
fi
