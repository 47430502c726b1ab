#!/usr/bin/env bash
# Installs the Debian packages that building and testing need, and nothing
# when they are all there already, so it is cheap to call before every run.
set -euo pipefail

packages=(
  cmake make g++ googletest
  g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
  wine64 wine xvfb xauth x11-utils fonts-ipafont-gothic imagemagick nsis
  clang libclang-rt-14-dev
  python3 python3-ntplib ntpsec-ntpdig iproute2 util-linux chrony strace
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

# chrony would start its daemon, which sets the clock from public servers.
# The tests start their own on loopback; no service may start here.
policy=/usr/sbin/policy-rc.d
made_policy=0
if [ ! -e "$policy" ]; then
  printf '#!/bin/sh\nexit 101\n' | $sudo tee "$policy" >/dev/null
  $sudo chmod +x "$policy"
  made_policy=1
fi
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
[ $made_policy = 1 ] && $sudo rm -f "$policy"
if pidof chronyd >/dev/null 2>&1 && [ -f /run/chrony/chronyd.pid ]; then
  $sudo kill "$(cat /run/chrony/chronyd.pid)" 2>/dev/null || true
fi
exit 0
