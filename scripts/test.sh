#!/usr/bin/env bash
# The whole test suite: installs what is missing, builds the native core with
# the sanitizers and the Windows program with MinGW-w64, and runs every test,
# native and under Wine, in one ctest run.
#
# The tests run in a network namespace of their own that has only loopback,
# so that nothing they do (a name lookup, a stray datagram) can leave this
# machine, and with a hosts file of their own. Where no namespace can be made, tests that would look up unknown
# names are skipped.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/bootstrap.sh
cmake -S . -B build >/dev/null
cmake --build build -j "$(nproc)"

ctest_command="ctest --test-dir build --output-on-failure -j $(nproc)"
if unshare --net true 2>/dev/null; then
  # The namespace gets its own hosts file too, with a name of the tests'
  # own that starts with a digit, the default server's name on a loopback
  # address, where the first start after an install finds its peer, and a
  # name with three addresses.
  { cat /etc/hosts; echo "127.0.0.3 0.tamarin-time.test"; echo "127.0.0.5 ntp.nict.jp"
    for n in 12 13 14; do echo "127.0.0.$n multi.tamarin-time.test"; done; } >build/test-hosts
  exec unshare --net --mount sh -c "ip link set lo up && mount --bind build/test-hosts /etc/hosts &&
    TAMARIN_ISOLATED_NETWORK=1 TAMARIN_TEST_HOSTS=1 exec $ctest_command"
fi
echo "test.sh: no network namespace can be made here; tests of unknown host names are skipped" >&2
exec $ctest_command
