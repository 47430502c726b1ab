#!/usr/bin/env bash
# The benchmarks: builds what they need, runs them against chronyd on
# loopback in a network namespace of their own, and prints one table.
# Takes about twenty-five minutes, most of them a thousand exchanges with
# chronyd; `recovery` runs only the network's return and the probe's cost
# (three minutes), `server` only server mode's rows (about four minutes),
# `history` only the history window's opening over 90 days of records, its
# redrawing and the appending of a record (a minute; it needs only its own
# Windows build, in build/bench).
#
#   bench/run.sh [recovery | server | history]
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/bootstrap.sh
mkdir -p build/bench
if [ "${1:-}" = history ]; then
  cmake -S . -B build/bench/windows -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake -DBUILD_TESTING=OFF >/dev/null
  cmake --build build/bench/windows --target history_demo -j "$(nproc)" >/dev/null
else
  cmake -S . -B build >/dev/null
  cmake --build build -j "$(nproc)" >/dev/null
  cmake --build build/windows --target tamarin-time-noprobe history_demo >/dev/null
  g++ -O2 -Wall -Wextra -o build/bench/loadgen bench/loadgen.cpp
fi
case "${1:-}" in
recovery) scripts="/usr/bin/python3 bench/recovery.py build" ;;
server) scripts="/usr/bin/python3 bench/bench.py build server" ;;
history) scripts="/usr/bin/python3 bench/bench.py build/bench history" ;;
*) scripts="/usr/bin/python3 bench/bench.py build && /usr/bin/python3 bench/recovery.py build" ;;
esac

# A Wine prefix of the benchmarks' own, and a resolver that asks a name
# server on loopback (which never answers) for the slow-lookup measurement.
export TAMARIN_WINE_HOME=$PWD/build/bench/wine
mkdir -p "$TAMARIN_WINE_HOME"
printf 'nameserver 127.0.0.1\noptions timeout:5 attempts:2\n' >build/bench/resolv.conf
exec unshare --net --mount sh -c "
  ip link set lo up &&
  mount --bind build/bench/resolv.conf /etc/resolv.conf &&
  cmake/wine-run.sh --start build/bench >/dev/null 2>&1 &&
  { $scripts; status=\$?; cmake/wine-run.sh --stop build/bench >/dev/null 2>&1; exit \$status; }"
