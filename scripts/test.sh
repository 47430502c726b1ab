#!/usr/bin/env bash
# The whole test suite: installs what is missing, builds the native core with
# the sanitizers and the Windows program with MinGW-w64, and runs every test,
# native and under Wine, in one ctest run.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/bootstrap.sh
cmake -S . -B build >/dev/null
cmake --build build -j "$(nproc)"
ctest --test-dir build --output-on-failure -j "$(nproc)"
