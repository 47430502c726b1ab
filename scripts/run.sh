#!/usr/bin/env bash
# Builds Tamarin Time for Windows and runs it under Wine in a prefix of its
# own. Without a display it runs on a virtual screen and saves a screenshot
# to build/app/screenshot.png; with --show it opens on $DISPLAY.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/bootstrap.sh
cmake -S . -B build/app -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake -DBUILD_TESTING=OFF >/dev/null
cmake --build build/app --target tamarin-time -j "$(nproc)" >/dev/null

if [ "${1:-}" = "--show" ]; then
  TAMARIN_USE_DISPLAY=1 exec cmake/wine-run.sh build/app/tamarin-time.exe
fi
shot=$PWD/build/app/screenshot.png
TAMARIN_SCREENSHOT=$shot TAMARIN_SCREENSHOT_AFTER=${TAMARIN_SCREENSHOT_AFTER:-8} cmake/wine-run.sh build/app/tamarin-time.exe
echo "Tamarin Time ran under Wine; its window is in $shot"
