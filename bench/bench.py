#!/usr/bin/python3
"""Tamarin Time's benchmarks, run by bench/run.sh inside a network and mount
namespace of their own: accuracy against chronyd, server capacity beside
chronyd's, the responsiveness of the window, and the program's footprint.
Prints the machine and one table (Markdown). With "server", only server
mode's rows: capacity, the age of the receive time at twice capacity, the
window and the client's poll during floods; with "history", only the history
window's row. TAMARIN_STALE_RATE sets the flood of the receive time's age
instead of twice the capacity.

    bench.py BUILD_DIR [server | history]
"""
import os
import platform
import re
import signal
import socket
import statistics
import subprocess
import sys
import tempfile
import threading
import time

import ntplib

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "tests", "driver"))
from remote import Remote, cpu_seconds, pids_of_prefix, resident_kib  # noqa: E402
from sntp_peer import ScriptedServer, ntp_service_port  # noqa: E402

BUILD = os.path.abspath(sys.argv[1])
WINE_RUN = os.path.join(HERE, "..", "cmake", "wine-run.sh")
CONTROL = os.path.join(BUILD, "windows", "tests", "control.exe")
EXE = os.path.join(BUILD, "windows", "tamarin-time.exe")
LOADGEN = os.path.join(BUILD, "bench", "loadgen")
HISTORY_DEMO = os.path.join(BUILD, "windows", "history_demo.exe")
PREFIX = os.path.join(os.environ["TAMARIN_WINE_HOME"], "prefix")
CHRONY_PORT = 12300
EXCHANGES = 1000
DELAY_LIMIT_MS = 600  # the program's default acceptable loop delay
UNRESOLVABLE = "tamarin-bench.invalid"
GOAL_RATE = 10000  # server mode's replies a second that a LAN may lean on, with the window answering
STALE_REQUESTS = 50  # a real client's requests during an overload, 100 ms apart
STALE_GOAL_MS = 20  # the most a reply's receive time may lag the request's arrival

rows = []


def row(measure, ours, chronyd="", note=""):
    rows.append((measure, ours, chronyd, note))
    print("  %s: %s %s" % (measure, ours, chronyd), file=sys.stderr, flush=True)


def say(text):
    print(text, file=sys.stderr, flush=True)


def percentile(values, q):
    values = sorted(values)
    return values[min(len(values) - 1, int(q * (len(values) - 1) + 0.5))]


# --- peers -----------------------------------------------------------------

def start_chronyd(workdir):
    conf = os.path.join(workdir, "chrony.conf")
    with open(conf, "w") as f:
        f.write("local stratum 1\nallow 127.0.0.1\nbindaddress 127.0.0.1\nport %d\ncmdport 0\n"
                "pidfile %s/chronyd.pid\ndriftfile %s/drift\n" % (CHRONY_PORT, workdir, workdir))
    # -x: chronyd serves time and never touches this machine's clock.
    process = subprocess.Popen(["chronyd", "-x", "-4", "-d", "-u", "root", "-f", conf],
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    time.sleep(1)
    return process


def black_hole_dns():
    """A name server on 127.0.0.1 that never answers: a lookup of an unknown
    name then waits for the resolver's timeouts."""
    sock = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    sock.bind(("127.0.0.1", 53))

    def swallow():
        while True:
            try:
                sock.recv(2048)
            except OSError:
                return
    threading.Thread(target=swallow, daemon=True).start()
    return sock


def loadgen(port, rate, seconds):
    out = subprocess.run([LOADGEN, "127.0.0.1", str(port), str(int(rate)), str(seconds)],
                         capture_output=True, text=True, check=True).stdout.split()
    return {"sent": int(out[1]), "replies": int(out[3]), "lost": int(out[5]), "rate": float(out[7])}


# --- the measurements ------------------------------------------------------

def footprint_start(settings):
    times = []
    for _ in range(5):
        program = Remote(WINE_RUN, CONTROL, settings)
        times.append(program.start_ms)
        program.stop()
    row("Start to window existing (median of 5)", "%.0f ms" % statistics.median(times))


def idle(program):
    time.sleep(3)
    row("Resident memory, idle (Wine process)", "%d KiB" % resident_kib(program.linux_pid))
    n, failed, p50, p99, worst = program.probe(5000, 5000)
    row("UI round trip idle: p99 / max", "%.2f / %.2f ms" % (p99 / 1000, worst / 1000), "",
        "%d probes, %d over 5 s" % (n, failed))
    before = cpu_seconds(program.linux_pid)
    time.sleep(60)
    used = cpu_seconds(program.linux_pid) - before
    row("CPU over one idle minute", "%.2f s (%.2f%%)" % (used, used / 60 * 100))


OFFSET = re.compile(r"(\d+)\.(\d{3})秒(遅れています|進んでいます)|時刻は一致しています")
DELAY = re.compile(r"応答に(\d+)\.(\d{3})秒掛かっています")


REFUSED = re.compile(r"FD_READ - T1 !match|サーバーの準備がまだのようです\(.*\)")


def parse_ms(whole, millis):
    return int(whole) * 1000 + int(millis)


def one_exchange(program):
    """One poll of chronyd: (delay, offset) in ms when judged, "refused",
    or None when no reply came within 5 s."""
    program.call("toggle 1")
    deadline = time.time() + 5
    outcome = None
    while time.time() < deadline and outcome is None:
        lines = [line for line in program.log(4) if line]
        if lines and OFFSET.fullmatch(lines[-1]) and DELAY.fullmatch(lines[-2]):
            delay = DELAY.fullmatch(lines[-2])
            offset = OFFSET.fullmatch(lines[-1])
            offset_ms = 0 if offset.group(1) is None else parse_ms(offset.group(1), offset.group(2))
            outcome = parse_ms(delay.group(1), delay.group(2)), offset_ms if offset.group(3) != "進んでいます" else -offset_ms
        elif any(REFUSED.fullmatch(line) for line in lines):
            outcome = "refused"
        else:
            time.sleep(0.01)
    program.call("toggle 1")
    return outcome


def accuracy(program):
    outcomes = [one_exchange(program) for _ in range(EXCHANGES)]
    results = [r for r in outcomes if isinstance(r, tuple)]
    delays = [d for d, _ in results]
    offsets = [o for _, o in results]
    magnitudes = [abs(o) for o in offsets]
    row("Exchanges with chronyd (same clock)", "%d of %d judged" % (len(results), EXCHANGES), "",
        "%d refused, %d unanswered, %d judged too slow" % (
            outcomes.count("refused"), outcomes.count(None), sum(d > DELAY_LIMIT_MS for d in delays)))
    row("Offset: median; p99 and max of its size", "%d / %d / %d ms" % (
        statistics.median(offsets), percentile(magnitudes, 0.99), max(magnitudes)), "",
        "logged to the millisecond, truncated")
    row("Loop delay: median / p99 / max", "%d / %d / %d ms" % (
        statistics.median(delays), percentile(delays, 0.99), max(delays)))


RATES = [250, 500, 1000, 2000, 4000, 8000, 16000, 32000, 64000, 128000, 256000, 512000]


def capacity(port, program=None):
    """The highest rate answered in full for 6 s (with loadgen's result), the
    lowest rate found wanting, and the most entries the program's log held.
    (Steps of 2 s were measured to let a socket's buffer hide a third more.)"""
    log_max = 0

    def lossless(rate):
        nonlocal log_max
        result = loadgen(port, rate, 6)
        if program is not None:
            log_max = max(log_max, int(program.call("count")))
        return result["lost"] == 0 and result["rate"] >= 0.95 * rate, result

    best, bad = None, None
    for rate in RATES:
        ok, result = lossless(rate)
        if not ok:
            bad = rate
            break
        best = (rate, result)
    if best is not None and bad is not None:
        low, high = best[0], bad
        for _ in range(3):
            middle = (low + high) // 2
            ok, result = lossless(middle)
            if ok:
                low, best = middle, (middle, result)
            else:
                high = middle
    return best, bad, log_max


def server_capacity(program):
    """The capacity beside chronyd's; the rate with none lost, for the next row."""
    ours, _, log_max = capacity(123, program)
    theirs, theirs_bad, _ = capacity(CHRONY_PORT)
    ours_rate = ours[1]["replies"] / 6 if ours else 0
    theirs_rate = theirs[1]["replies"] / 6 if theirs else 0
    limit = "" if theirs_bad else " (the generator's limit)"
    row("Server: replies/s with none lost", "%.0f" % ours_rate, "%.0f%s" % (theirs_rate, limit),
        "ratio %.3f; log at most %d entries" % (ours_rate / theirs_rate if theirs_rate else 0, log_max))
    return ours[0] if ours else 0


def responsiveness_at(program, rate):
    """The window's round trips, 20 a second as a person's use of it might
    make, while server mode answers at that rate; and the CPU time that the
    program's process and the wineserver spend on a thousand replies."""
    result = {}
    flood = threading.Thread(target=lambda: result.update(loadgen(123, rate, 6)))
    server = wineserver_pid()
    before = cpu_seconds(program.linux_pid), cpu_seconds(server)
    flood.start()
    time.sleep(0.5)
    n, failed, p50, p99, worst = program.probe(5000, 5000, 50)
    flood.join()
    used = [(cpu_seconds(pid) - start) / result["replies"] * 1000 * 1000
            for pid, start in zip((program.linux_pid, server), before)]
    row("UI round trip at %d requests/s: p99 / max" % rate, "%.2f / %.2f ms" % (p99 / 1000, worst / 1000), "",
        "%d probes 50 ms apart, %d failed; %d of %d requests lost meanwhile" % (n, failed, result["lost"],
                                                                                result["sent"]))
    row("CPU per reply at %d requests/s: program / wineserver" % rate, "%.0f / %.0f µs" % tuple(used), "",
        "over %d replies" % result["replies"])


def staleness_at(rate):
    """While the generator sends at rate, ntplib's requests, each from a
    socket of its own, 100 ms apart: how old each reply's receive time was.
    Both ends read this machine's clock, so the receive timestamp minus the
    client's own transmit time (which the reply echoes as its originate
    timestamp) is the time the request waited before the program read it."""
    result = {}
    flood = threading.Thread(target=lambda: result.update(loadgen(123, rate, STALE_REQUESTS / 10 + 4)))
    ages = []

    def ask():
        try:
            reply = ntplib.NTPClient().request("127.0.0.1", version=4, port=123, timeout=2)
        except ntplib.NTPException:
            return
        ages.append((reply.recv_timestamp - reply.orig_timestamp) * 1000)

    flood.start()
    time.sleep(1)  # the program's socket at its fullest
    clients = []
    for _ in range(STALE_REQUESTS):
        clients.append(threading.Thread(target=ask))
        clients[-1].start()
        time.sleep(0.1)
    for client in clients:
        client.join()
    flood.join()
    if not ages:
        row("Receive time's age at %d requests/s: median / p99 / max" % rate, "none answered", "",
            "0 of %d answered" % STALE_REQUESTS)
        return
    row("Receive time's age at %d requests/s: median / p99 / max" % rate,
        "%.1f / %.1f / %.1f ms" % (statistics.median(ages), percentile(ages, 0.99), max(ages)), "",
        "ntplib: %d of %d answered; goal at most %d ms: %s; the generator's %d of %d answered" % (
            len(ages), STALE_REQUESTS, STALE_GOAL_MS, "met" if max(ages) <= STALE_GOAL_MS else "missed",
            result["replies"], result["sent"]))


def wineserver_pid():
    """The wineserver of the benchmarks' prefix."""
    return pids_of_prefix(PREFIX, b"wineserver")[0]


def flood_poll_delay():
    """How late the client's 1-minute poll goes during a flood far above
    capacity, against a scripted server that notes when requests come."""
    upstream = ScriptedServer(12301)
    upstream.answering.set()
    upstream.start()
    settings = {"szServerName": "s:127.0.0.1", "fStartAtFirst": 1, "fStayAfterAdjustment": 1,
                "fActAsSNTPServer": 1, "nCheckTimer_minute": 1}
    with ntp_service_port(PREFIX, 12301):
        program = Remote(WINE_RUN, CONTROL, settings)
        try:
            while not upstream.arrivals:
                time.sleep(0.1)
            result = loadgen(123, 1000000, 70)
        finally:
            program.stop()
    upstream.stop()
    late = (upstream.arrivals[1] - upstream.arrivals[0] - 60) * 1000 if len(upstream.arrivals) > 1 else None
    row("Client's 1-minute poll during a flood: late by", "%.0f ms" % late if late is not None else "never", "",
        "flood at %.0f requests/s, %d answered" % (result["rate"], result["replies"]))


def flood_responsiveness(program):
    flood = threading.Thread(target=loadgen, args=(123, 10000000, 7))
    flood.start()
    time.sleep(0.5)
    n, failed, p50, p99, worst = program.probe(5000, 5000)
    flood.join()
    row("UI round trip during a flood: p99 / max", "%.2f / %.2f ms" % (p99 / 1000, worst / 1000), "",
        "%d probes, %d failed" % (n, failed))
    time.sleep(2)
    row("Resident memory after the floods", "%d KiB" % resident_kib(program.linux_pid))


def lookup_responsiveness():
    dns = black_hole_dns()
    program = Remote(WINE_RUN, CONTROL, {"szServerName": "s:" + UNRESOLVABLE, "fStayAfterAdjustment": 1})
    program.call("toggle 1")
    n, failed, p50, p99, worst = program.probe(5000, 5000)
    pending = not any(line.startswith("ホスト確認") for line in program.log())
    program.stop()
    dns.close()
    row("UI round trip during a lookup: p99 / max", "%.2f / %.2f ms" % (p99 / 1000, worst / 1000), "",
        "%d probes; lookup still pending: %s" % (n, "yes" if pending else "no"))


HISTORY_TIMES = re.compile(r"records=(\d+) open_ms=([\d.]+) redraw_median_ms=([\d.]+) redraw_max_ms=([\d.]+) "
                           r"append_ms=([\d.]+)")
HISTORY_RUNS = 5
HISTORY_OPEN_GOAL_MS = 200   # the file of 90 days read, the doctor's findings, the first paint
HISTORY_REDRAW_GOAL_MS = 50
HISTORY_APPEND_GOAL_MS = 1


def history_window():
    """history_demo's own timing, run a few times over a made history of 90
    days at a one-minute poll: the median opening, the median and slowest
    redraw, and the median cost of appending a record."""
    runs = []
    for _ in range(HISTORY_RUNS):
        out = subprocess.run([WINE_RUN, HISTORY_DEMO, "time"], capture_output=True, text=True, timeout=120).stdout
        times = HISTORY_TIMES.search(out)
        if times:
            runs.append([float(value) for value in times.groups()])
    if not runs:
        row("History window over 90 days", "no timing", "", "history_demo printed none")
        return
    records = int(runs[0][0])
    opening = statistics.median(r[1] for r in runs)
    median = statistics.median(r[2] for r in runs)
    worst = max(r[3] for r in runs)
    append = statistics.median(r[4] for r in runs)
    row("History window over 90 days (%d records)" % records,
        "open %.1f ms, redraw median %.1f ms / max %.1f ms" % (opening, median, worst), "",
        "%d runs of 20 redraws; goals: open under %d ms, redraw under %d ms: %s" % (
            len(runs), HISTORY_OPEN_GOAL_MS, HISTORY_REDRAW_GOAL_MS,
            "met" if opening < HISTORY_OPEN_GOAL_MS and worst < HISTORY_REDRAW_GOAL_MS else "missed"))
    row("Appending a history record", "%.3f ms" % append, "",
        "median of %d runs of 1,000 appends; goal under %d ms: %s" % (
            len(runs), HISTORY_APPEND_GOAL_MS, "met" if append < HISTORY_APPEND_GOAL_MS else "missed"))


def machine():
    model = next((line.split(":", 1)[1].strip() for line in open("/proc/cpuinfo") if line.startswith("model name")), "?")
    memory = next(int(line.split()[1]) for line in open("/proc/meminfo") if line.startswith("MemTotal"))
    wine = subprocess.run(["wine", "--version"], capture_output=True, text=True).stdout.strip()
    version = re.search(r"version (\S+)", subprocess.run(["chronyd", "-v"], capture_output=True, text=True).stdout)
    chrony = "chrony " + (version.group(1) if version else "?")
    return "%s, %d cores, %.0f GiB, Linux %s, %s, %s" % (
        model, os.cpu_count(), memory / 2**20, platform.release(), wine, chrony)


def main():
    if sys.argv[2:] == ["history"]:
        history_window()
        return table()
    workdir = tempfile.mkdtemp(prefix="tamarin-bench-")
    if sys.argv[2:] == ["server"]:
        return server_rows(workdir)
    row("Size of tamarin-time.exe", "%d KiB" % (os.path.getsize(EXE) // 1024))
    chronyd = start_chronyd(workdir)
    try:
        settings = {"szServerName": "s:127.0.0.1", "fStayAfterAdjustment": 1, "fActAsSNTPServer": 1}
        with ntp_service_port(PREFIX, CHRONY_PORT):
            footprint_start(settings)
            program = Remote(WINE_RUN, CONTROL, settings)
            try:
                idle(program)
                say("accuracy...")
                accuracy(program)
                say("capacity...")
                server_capacity(program)
                flood_responsiveness(program)
            finally:
                program.stop()
        lookup_responsiveness()
        history_window()
    finally:
        chronyd.send_signal(signal.SIGTERM)
        chronyd.wait(10)
    table()


def server_rows(workdir):
    chronyd = start_chronyd(workdir)
    try:
        settings = {"szServerName": "s:127.0.0.1", "fStartAtFirst": 1, "fStayAfterAdjustment": 1,
                    "fActAsSNTPServer": 1}
        with ntp_service_port(PREFIX, CHRONY_PORT):
            program = Remote(WINE_RUN, CONTROL, settings)
            try:
                # Synchronised with chronyd, so that server mode answers.
                for _ in range(300):
                    if any(DELAY.match(line) for line in program.log()):
                        break
                    time.sleep(0.1)
                rate = server_capacity(program)
                responsiveness_at(program, min(rate, GOAL_RATE))
                # Twice the capacity, or a rate of one's own, so that a program
                # with less capacity can be flooded as hard as another.
                staleness_at(int(os.environ.get("TAMARIN_STALE_RATE", 2 * rate)))
                flood_responsiveness(program)
            finally:
                program.stop()
    finally:
        chronyd.send_signal(signal.SIGTERM)
        chronyd.wait(10)
    flood_poll_delay()
    table()


def table():
    print("Machine: " + machine())
    print()
    print("| Measure | Tamarin Time | chronyd | Notes |")
    print("|---|---|---|---|")
    for measure, ours, theirs, note in rows:
        print("| %s | %s | %s | %s |" % (measure, ours, theirs, note))


if __name__ == "__main__":
    main()
