#!/usr/bin/env bash
# The whole test suite: installs what is missing, builds the native core with
# the sanitizers and the Windows program with MinGW-w64, and runs every test,
# native and under Wine, in one ctest run.
#
# The tests run in a network namespace of their own that has only loopback,
# so that nothing they do (a name lookup, a stray datagram) can leave this
# machine. Where no namespace can be made, tests that would look up unknown
# names are skipped.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/bootstrap.sh
cmake -S . -B build >/dev/null
cmake --build build -j "$(nproc)"

ctest_command="ctest --test-dir build --output-on-failure -j $(nproc)"
if unshare --net true 2>/dev/null; then
  exec unshare --net sh -c "ip link set lo up && TAMARIN_ISOLATED_NETWORK=1 exec $ctest_command"
fi
echo "test.sh: no network namespace can be made here; tests of unknown host names are skipped" >&2
exec $ctest_command
