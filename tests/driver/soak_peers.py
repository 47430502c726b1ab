#!/usr/bin/python3
"""The real program under load, under Wine, steered through control.exe:
- a flood of 100,000 datagrams, valid requests mixed with garbage, at its
  server mode: afterwards it still answers, its log holds at most 501
  entries, its memory stays within a bound, and its window answered every
  probe within 100 ms throughout;
- a steady flood well above its capacity for 70 s (the benchmarks' native
  load generator): the client's 1-minute poll still goes out on time, a
  posted click takes it offline within a second, and the log still holds
  the client's lines from before the flood;
- 1,000 online/offline clicks against a scripted server, many in the middle
  of a lookup: no socket, descriptor or handle is left behind, and the next
  click still goes online and gets its reply.

    soak_peers.py WINE_RUN CONTROL_EXE WINE_PREFIX
"""
import os
import random
import socket
import struct
import subprocess
import sys
import threading
import time

from remote import Remote, open_descriptors, resident_kib
from sntp_peer import IDS, NTP_PORT, Checks, answering_server, ntp_now, ntp_service_port, ntplib_answer, run_cases, wait_for

checks = Checks()

WM_COMMAND = 0x0111
check = checks.check

FLOOD = 100000
REPLY_LINE = "length=48 addr=127.0.0.1:123"
# Measured: the resident set of the program's Wine process grew by 24 KiB
# over a flood; the program itself allocates nothing. A megabyte leaves room
# for Wine's own buffers and would still catch a few bytes kept per datagram.
RSS_GROWTH_BOUND_KIB = 1024


def flood_datagrams(count, seed=1):
    """Valid requests (one in four, a tenth of them with an authenticator)
    among garbage of every length, and replies that server mode must ignore."""
    rng = random.Random(seed)
    for i in range(count):
        kind = i % 4
        if kind == 0:
            request = bytes([0x23]) + bytes(39) + struct.pack("!Q", ntp_now())
            yield request + (bytes(20) if i % 40 == 0 else b"")
        elif kind == 1:
            yield bytes([0x24]) + rng.randbytes(47)  # a reply, mode 4
        elif kind == 2:
            yield rng.randbytes(rng.choice([0, 1, 47, 49, 67, 69, 200, 1500]))
        else:
            yield rng.randbytes(48)


class Flood(threading.Thread):
    """Sends the datagrams as fast as the socket takes them and counts the replies."""

    def __init__(self, count):
        super().__init__(daemon=True)
        self.count = count
        self.replies = 0
        self.sent = 0
        self.sock = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        self.sock.bind(("127.0.0.1", 0))

    def run(self):
        draining = threading.Thread(target=self.drain, daemon=True)
        draining.start()
        for datagram in flood_datagrams(self.count):
            self.sock.sendto(datagram, ("127.0.0.1", NTP_PORT))
            self.sent += 1

    def drain(self):
        self.sock.settimeout(2)
        try:
            while True:
                self.sock.recv(1500)
                self.replies += 1
        except OSError:
            pass


def flood_case(wine_run, control_exe, prefix):
    settings = {"szServerName": "s:127.0.0.1", "fStartAtFirst": 1, "fStayAfterAdjustment": 1, "fActAsSNTPServer": 1}
    with ntp_service_port(prefix, 12300), answering_server(12300):
        program = Remote(wine_run, control_exe, settings)
        try:
            check(wait_for(ntplib_answer, 30) is not None, "flood: server mode answers once synchronised")
            before = resident_kib(program.linux_pid)
            flood = Flood(FLOOD)
            flood.start()
            probes = []
            while flood.is_alive():
                probes.append(program.probe(500))
            probes.append(program.probe(2000))  # while it works off what its socket still holds
            after = resident_kib(program.linux_pid)
            count = int(program.call("count"))
            answer = wait_for(ntplib_answer, 10)
        finally:
            exit_line = program.stop()
    sent = sum(p[0] for p in probes)
    failed = sum(p[1] for p in probes)
    worst = max(p[4] for p in probes)
    print("flood: %d sent, %d replies; %d probes, worst %.1f ms; RSS %d -> %d KiB"
          % (flood.sent, flood.replies, sent, worst / 1000, before, after))
    check(flood.sent == FLOOD and flood.replies > 0, "flood: %d datagrams sent, %d answered" % (flood.sent, flood.replies))
    check(failed == 0 and worst < 100000, "flood: every one of %d probes answered within 100 ms" % sent)
    check(answer is not None and answer.stratum == 2, "flood: a valid request is still answered afterwards")
    check(count <= 501, "flood: the log holds %d entries, at most 501" % count)
    check(after - before <= RSS_GROWTH_BOUND_KIB,
          "flood: resident memory grew by %d KiB, at most %d" % (after - before, RSS_GROWTH_BOUND_KIB))
    check(exit_line == "exit 0", "flood: the program ended cleanly (%s)" % exit_line)


def steady_flood_case(wine_run, control_exe, prefix):
    loadgen = os.path.join(os.path.dirname(control_exe), "loadgen")
    settings = {"szServerName": "s:127.0.0.1", "fStartAtFirst": 1, "fStayAfterAdjustment": 1, "fActAsSNTPServer": 1,
                "nCheckTimer_minute": 1}
    with ntp_service_port(prefix, 12300), answering_server(12300) as upstream:
        program = Remote(wine_run, control_exe, settings)
        try:
            check(wait_for(ntplib_answer, 30) is not None, "steady flood: server mode answers once synchronised")
            flood = subprocess.Popen([loadgen, "127.0.0.1", str(NTP_PORT), "60000", "70"], stdout=subprocess.PIPE,
                                     text=True)
            polled = wait_for(lambda: len(upstream.arrivals) >= 2, 75)
            posted = time.monotonic()
            program.call("post %d %d 0" % (WM_COMMAND, IDS["IDM_ONLINE"]))
            offline = wait_for(lambda: program.call("text %d" % IDS["IDM_ONLINE"]) == "オンライン", 5)
            took = time.monotonic() - posted
            still_flooding = flood.poll() is None
            load = flood.communicate(timeout=90)[0].strip()
            log = program.log()
        finally:
            exit_line = program.stop()
    print("steady flood: %s; click took %.2f s" % (load, took))
    gap = upstream.arrivals[1] - upstream.arrivals[0] if polled else 0
    check(59 <= gap <= 61.5, "steady flood: the next poll %.1f s after the first, as the interval says" % gap)
    check(offline and took <= 1 and still_flooding,
          "steady flood: a click during the flood went offline in %.2f s, at most 1 s" % took)
    delays = [line for line in log if line.startswith("応答に")]
    summed = [line for line in log if line.startswith("SNTP要求 ") and line.endswith("件 (ログ省略)")]
    check(len(delays) == 2 and len(summed) >= 60,
          "steady flood: both polls' delay lines kept (%d), %d flood lines summed up\n  %s"
          % (len(delays), len(summed), "\n  ".join(line for line in log if not line.startswith("SNTP要求 "))))
    check(exit_line == "exit 0", "steady flood: the program ended cleanly (%s)" % exit_line)


def settle_offline(program):
    """Lets lookups under way complete, then goes offline if online: a click
    during a lookup starts it again, so the clicks' count does not say where
    they end. The button's text afterwards."""
    time.sleep(1)
    if program.call("text %d" % IDS["IDM_ONLINE"]) == "オフライン":
        program.call("toggle 1")
        time.sleep(0.5)
    return program.call("text %d" % IDS["IDM_ONLINE"])


def toggles_case(wine_run, control_exe, _prefix):
    settings = {"szServerName": "s:localhost", "fStayAfterAdjustment": 1}
    with answering_server(NTP_PORT):
        program = Remote(wine_run, control_exe, settings)
        try:
            program.call("toggle 20")  # Wine opens what it keeps open on first use
            settled = settle_offline(program)
            # and a poll, whose random number loads bcrypt, kept loaded from then on
            program.call("toggle 1")
            wait_for(lambda: any(line.startswith(REPLY_LINE) for line in program.log(6)), 10)
            program.call("toggle 1")
            settle_offline(program)
            fds, handles = open_descriptors(program.linux_pid), int(program.call("handles"))
            program.call("toggle 1000", timeout=120)
            settled += settle_offline(program)
            fds_after, handles_after = open_descriptors(program.linux_pid), int(program.call("handles"))
            program.call("toggle 1")
            replied = wait_for(lambda: any(line.startswith(REPLY_LINE) for line in program.log(6)), 10)
        finally:
            exit_line = program.stop()
    print("toggles: descriptors %d -> %d, sockets %d -> %d, handles %d -> %d"
          % (fds[0], fds_after[0], fds[1], fds_after[1], handles, handles_after))
    check(fds_after[1] <= fds[1], "toggles: open sockets %d, at most %d as before" % (fds_after[1], fds[1]))
    # Wine's thread pool keeps a few idle lookup threads, each with pipes of
    # its own; a descriptor kept per click would show as a thousand.
    check(fds_after[0] <= fds[0] + 16, "toggles: open descriptors %d, at most %d + 16" % (fds_after[0], fds[0]))
    check(handles_after <= handles, "toggles: handles %d, at most %d as before" % (handles_after, handles))
    check(settled == "オンラインオンライン", "toggles: offline when counted (the button read %s)" % settled)
    check(replied, "toggles: the next click goes online and gets its reply")
    check(exit_line == "exit 0", "toggles: the program ended cleanly (%s)" % exit_line)


def main():
    return run_cases(checks, "soak", [
        flood_case,
        steady_flood_case,
        toggles_case,
    ])


if __name__ == "__main__":
    sys.exit(main())
