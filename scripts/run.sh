#!/usr/bin/env bash
# Tamarin Time's main job on this machine, without internet access: starts a
# local SNTP server (chronyd on 127.0.0.1, which never touches the clock),
# builds Tamarin Time for Windows, and runs it under Wine in a prefix of its
# own with that server and "go online at start-up" set. It synchronises,
# and a screenshot of its window is saved to build/app/screenshot.png; the
# history window over 30 made days, with the clock doctor's findings, to
# build/app/doctor.png. In the loopback-only network, the history window follows, filled by about 150
# exchanges with chronyd and 150 with a server that jumps (on 127.0.0.2),
# the clock held and never set: build/app/history.png.
#
#   scripts/run.sh           on a virtual screen, in a loopback-only network
#   scripts/run.sh --show    on $DISPLAY, until you end it with 終了
#   scripts/run.sh --server NAME [--show]
#                            against another SNTP server instead of chronyd
set -euo pipefail
cd "$(dirname "$0")/.."

show=0
server=""
while [ $# -gt 0 ]; do
  case "$1" in
  --show) show=1 ;;
  --server) server=$2; shift ;;
  *) echo "usage: scripts/run.sh [--show] [--server NAME]" >&2; exit 2 ;;
  esac
  shift
done

scripts/bootstrap.sh
cmake -S . -B build/app -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake -DBUILD_TESTING=OFF >/dev/null
cmake --build build/app --target tamarin-time history_demo -j "$(nproc)" >/dev/null

export TAMARIN_WINE_HOME=$PWD/build/app/wine
mkdir -p "$TAMARIN_WINE_HOME"
TAMARIN_SHOW=$show TAMARIN_SERVER=${server:-127.0.0.1} TAMARIN_LOCAL_SERVER=$([ -z "$server" ] && echo 1 || echo 0)
export TAMARIN_SHOW TAMARIN_SERVER TAMARIN_LOCAL_SERVER

if [ "$show" = 0 ] && [ -z "$server" ] && unshare --net true 2>/dev/null; then
  # Nothing here needs the network: keep everything on a loopback of its own.
  exec unshare --net sh -c 'ip link set lo up && TAMARIN_LOOPBACK_ONLY=1 exec scripts/demo.sh'
fi
exec scripts/demo.sh
