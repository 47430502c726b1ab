#!/usr/bin/env bash
# Installs the Debian packages that building and testing need, and nothing
# when they are all there already, so it is cheap to call before every run.
set -euo pipefail

packages=(
  cmake make g++ googletest
  g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
  wine64 wine xvfb xauth fonts-ipafont-gothic imagemagick
  python3 python3-ntplib ntpsec-ntpdig iproute2 util-linux
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q '^install ok installed$'; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "bootstrap: installing ${missing[*]}"
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
