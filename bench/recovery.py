#!/usr/bin/python3
"""How fast the program is back in step when the network returns, and what
its connection-state probe costs: run by bench/run.sh inside a network and
mount namespace of its own, with a veth pair and a default route standing
for the machine's network and chronyd at its far end, in a second namespace
of the benchmark's own (nothing leaves the two). Prints its rows of the
table (Markdown).

    recovery.py BUILD_DIR
"""
import os
import re
import signal
import statistics
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "tests", "driver"))
from bench import CONTROL, PREFIX, WINE_RUN  # noqa: E402
from recovery_peers import FAR, far_side, network  # noqa: E402
from remote import Remote, cpu_seconds, pids_of_prefix  # noqa: E402

BUILD = os.path.abspath(sys.argv[1])
JUDGED = re.compile(r"応答に\d+\.\d{3}秒掛かっています")
RETURNS = 10
AWAY = 16  # seconds: longer than the 15 s that must pass between two requests
ONLINE = {"szServerName": "s:" + FAR, "fStartAtFirst": 1, "fStayAfterAdjustment": 1}


def start_chronyd(workdir, far):
    """chronyd on the far side's port 123; -x: it serves time and never touches this machine's clock."""
    conf = os.path.join(workdir, "chrony.conf")
    with open(conf, "w") as f:
        f.write("local stratum 1\nallow 192.0.2.0/24\ncmdport 0\npidfile %s/chronyd.pid\ndriftfile %s/drift\n"
                % (workdir, workdir))
    process = subprocess.Popen(["nsenter", "-t", str(far.pid), "-n", "chronyd", "-x", "-4", "-d", "-u", "root",
                                "-f", conf], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    time.sleep(1)
    return process


def wait_for_count(program, predicate, count, seconds=20):
    """Until the log holds `count` lines that pass the predicate."""
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        if sum(1 for line in program.log() if predicate(line)) >= count:
            return True
        time.sleep(0.01)
    return False


def return_to_judged_reply(far):
    """Seconds from the network's return, after AWAY seconds without it, to
    the judged reply that follows."""
    network(True, far)
    program = Remote(WINE_RUN, CONTROL, ONLINE)
    times = []
    try:
        wait_for_count(program, JUDGED.fullmatch, 1)
        time.sleep(2)
        for i in range(RETURNS):
            network(False)
            wait_for_count(program, lambda line: line == "ダイアルアップ切断を検出", i + 1)
            time.sleep(AWAY)
            start = time.monotonic()
            network(True, far)
            if wait_for_count(program, JUDGED.fullmatch, i + 2):
                times.append(time.monotonic() - start)
    finally:
        program.stop()
        network(False)
    return times


def prefix_cpu_seconds():
    """CPU time of every process of the benchmarks' prefix: the program, its
    control, the wineserver and Wine's services."""
    total = 0.0
    for pid in pids_of_prefix(PREFIX):
        try:
            total += cpu_seconds(pid)
        except OSError:
            pass
    return total


def idle_online_minute(exe, far):
    """CPU of the prefix's processes over one idle minute online, with the network up."""
    os.environ["TAMARIN_EXE"] = exe
    network(True, far)
    program = Remote(WINE_RUN, CONTROL, ONLINE)
    try:
        wait_for_count(program, JUDGED.fullmatch, 1)
        time.sleep(2)
        before = prefix_cpu_seconds()
        time.sleep(60)
        return prefix_cpu_seconds() - before
    finally:
        program.stop()
        network(False)
        del os.environ["TAMARIN_EXE"]


def main():
    workdir = tempfile.mkdtemp(prefix="tamarin-bench-")
    far = far_side()
    chronyd = start_chronyd(workdir, far)
    try:
        times = return_to_judged_reply(far)
        with_probe = idle_online_minute(os.path.join(BUILD, "windows", "tamarin-time.exe"), far)
        without = idle_online_minute(os.path.join(BUILD, "windows", "tamarin-time-noprobe.exe"), far)
    finally:
        chronyd.send_signal(signal.SIGTERM)
        chronyd.wait(10)
        far.kill()
        far.wait()
    print("| Network's return (after %d s away) to a judged reply: median / max of %d | %.2f / %.2f s |  | "
          "%d of %d came back |" % (AWAY, RETURNS, statistics.median(times) if times else 0,
                                    max(times) if times else 0, len(times), RETURNS))
    print("| CPU over an idle online minute, probe on / off | %.2f / %.2f s |  | every process of the prefix; "
          "the probe's share %.2f%% of a core |" % (with_probe, without, (with_probe - without) / 60 * 100))


if __name__ == "__main__":
    main()
