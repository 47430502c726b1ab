#!/usr/bin/env bash
# Makes the release: Tamarin Time built for Windows on its own (MinGW-w64,
# Release, stripped, no tests), packed by CPack into a portable zip and an
# installer, both named with the version of project():
#
#   build/release/tamarin-time-VERSION-win64.zip
#   build/release/tamarin-time-VERSION-win64-setup.exe
#
#   scripts/release.sh [BUILD_DIR]    another build folder than build/release
set -euo pipefail
cd "$(dirname "$0")/.."
out=$(realpath -m "${1:-build/release}")

scripts/bootstrap.sh
cmake -S . -B "$out" --no-warn-unused-cli -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
  -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF >/dev/null
cmake --build "$out" -j "$(nproc)" >/dev/null
cd "$out"
cpack -G "ZIP;NSIS" | sed -n 's/^CPack: - package: \(.*\) generated\.$/\1/p'
