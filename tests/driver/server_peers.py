#!/usr/bin/python3
"""Real NTP clients against Tamarin Time's server mode, under Wine.

Starts server_host.exe, which polls a scripted SNTP server of this script's
own on 127.0.0.1 (root delay 0.25 s, root dispersion 0.5 s) while its server
mode listens on port 123. Before it has synchronised, python3-ntplib and
ntpdig get no answer; once the scripted server answers, both see a stratum 2
reply carrying the reference identifier that the client took from that
server's transmit timestamp, the program's own precision, the upstream's root
delay and dispersion grown by this hop, and the time of that answer as the
reference time; and chronyd, as a client, takes the program as its source.
While the upstream is an hour ahead and the host's clock may not be set,
nobody is answered. Requests from port 0 and from broadcast and multicast
source addresses (sent through a raw socket) arrive but are not answered, as
strace sees the host's system calls.

    server_peers.py WINE_RUN SERVER_HOST_EXE
"""
import json
import os
import re
import socket
import subprocess
import sys
import struct
import tempfile
import time

from remote import pids_whose
from sntp_peer import NTP_PORT, SKIPPED, Checks, ScriptedServer, ntplib_answer, port_is_free, wait_for

checks = Checks()
check = checks.check


def ntpdig_answer():
    result = subprocess.run(["ntpdig", "-j", "-t", "1", "127.0.0.1"], capture_output=True, text=True, timeout=30)
    if result.returncode != 0:
        return None
    return json.loads(result.stdout)


def ntpdig_received():
    """The 48 bytes ntpdig received, read from its packet dump, or None."""
    result = subprocess.run(["ntpdig", "-D", "5", "-t", "1", "127.0.0.1"], stdout=subprocess.PIPE,
                            stderr=subprocess.STDOUT, text=True, timeout=30)
    dump = "".join(line[:48] for line in result.stdout.splitlines() if re.match(r"([0-9a-f]{2} ){16}", line))
    data = bytes.fromhex(dump)
    return data[48:96] if len(data) == 96 else None


def chronyd_report(workdir):
    """What chronyd, once as a client of 127.0.0.1 (-Q: it only reports), says."""
    conf = os.path.join(workdir, "chrony.conf")
    with open(conf, "w") as f:
        f.write("server 127.0.0.1 iburst\nport 0\ncmdport 0\npidfile %s/chronyd.pid\n" % workdir)
    result = subprocess.run(["chronyd", "-Q", "-u", "root", "-f", conf, "-t", "30"], stdout=subprocess.PIPE,
                            stderr=subprocess.STDOUT, text=True, timeout=60)
    return result.stdout


def check_reference(answer, synchronised_between):
    """ntplib's view of the reference: this hop added to the upstream's."""
    low, high = synchronised_between
    check(answer.precision == -23, "precision 2^%d s is that of the 100 ns clock" % answer.precision)
    check(0.25 < answer.root_delay < 0.26, "root delay %.6f s is 0.25 s and this hop's" % answer.root_delay)
    # The offset left uncorrected adds to it: on loopback under a busy
    # machine's scheduling, up to a couple of milliseconds.
    check(0.5 < answer.root_dispersion < 0.502,
          "root dispersion %.6f s is 0.5 s, the precision and the drift since" % answer.root_dispersion)
    check(low < answer.ref_time < high, "reference time %.3f is the synchronisation, %.3f to %.3f" %
          (answer.ref_time, low, high))


def raw_request(source, port):
    """A version 4 request to 127.0.0.1:123 from any source, with the IP and
    UDP headers written here (their checksums left to the kernel and unused)."""
    ip = struct.pack("!BBHHHBBH4s4s", 0x45, 0, 20 + 8 + 48, 0, 0, 64, socket.IPPROTO_UDP, 0,
                     socket.inet_aton(source), socket.inet_aton("127.0.0.1"))
    request = bytes([0x23]) + bytes(39) + struct.pack("!Q", 1 << 62)
    with socket.socket(socket.AF_INET, socket.SOCK_RAW, socket.IPPROTO_RAW) as raw:
        raw.sendto(ip + struct.pack("!HHHH", port, NTP_PORT, 8 + 48, 0) + request, ("127.0.0.1", 0))


def check_improper_senders(workdir):
    """Under strace, one proper request is read and answered; from port 0 and
    from sources no reply may go to, each is read and none is answered."""
    hosts = pids_whose("cmdline", lambda argv: argv.split(b"\0")[0].endswith(b"server_host.exe"))
    host = [pid for pid in hosts if os.readlink("/proc/%d/cwd" % pid) == workdir]  # ours, not another run's
    trace = os.path.join(workdir, "strace")
    tracer = subprocess.Popen(["strace", "-f", "-qq", "-e", "trace=recvmsg,recvfrom,sendmsg,sendto", "-o", trace,
                               "-p", str(host[0])])
    time.sleep(2)  # attached to every thread
    # (A source of 0.0.0.0 the kernel fills in with the sending address.)
    senders = (("127.0.0.1", 0), ("255.255.255.255", 40002), ("224.0.0.1", 40003), ("127.0.0.1", 40004))
    for source, port in senders:
        raw_request(source, port)
    time.sleep(2)
    tracer.terminate()
    tracer.wait()
    with open(trace) as f:
        calls = f.read()
    seen = [re.findall(r"(recv|send)\w*\(.*htons\(%d\), sin_addr=inet_addr\(\"%s\"\)" % (port, re.escape(source)),
                       calls) for source, port in senders]
    check(seen == [["recv"]] * 3 + [["recv", "send"]],
          "each request read, only the proper one (from 127.0.0.1:40004) answered: %s" % seen)


def main():
    wine_run, host_exe = sys.argv[1], sys.argv[2]
    if not port_is_free(NTP_PORT):
        print("skipped: UDP port 123 is taken by another program")
        return SKIPPED
    upstream = ScriptedServer(fields={"root": (0x4000, 0x8000), "offset": 3600.0})
    upstream.start()
    workdir = tempfile.mkdtemp(prefix="tamarin-server-")
    host = subprocess.Popen([wine_run, host_exe, str(upstream.port)], cwd=workdir)
    try:
        check(wait_for(lambda: os.path.exists(os.path.join(workdir, "ready")), 60) is not None,
              "server mode listens on port 123")

        check(ntplib_answer(4) is None, "ntplib gets no answer before synchronisation")
        check(ntpdig_answer() is None, "ntpdig gets no answer before synchronisation")

        upstream.answering.set()
        check(wait_for(lambda: len(upstream.transmits) >= 3, 30) is not None, "the upstream an hour ahead answers")
        check(ntplib_answer(4) is None, "ntplib gets no answer while the clock could not be corrected")
        answering_at = time.time()
        upstream.fields["offset"] = 0.0
        first = wait_for(lambda: ntplib_answer(4), 30)
        check(first is not None, "ntplib gets an answer once the client has synchronised")
        if first is not None:
            check_reference(first, (answering_at, time.time()))
        expected_id = upstream.transmits[-1] & 0xFFFFFFFF if upstream.transmits else None

        for version in (3, 4):
            answer = ntplib_answer(version)
            check(answer is not None, "ntplib version %d: answered" % version)
            if answer is None:
                continue
            check(answer.stratum == 2, "ntplib version %d: stratum %d is 2" % (version, answer.stratum))
            check(answer.version == version, "ntplib version %d: reply version %d" % (version, answer.version))
            check(answer.mode == 4, "ntplib version %d: mode %d is 4" % (version, answer.mode))
            check(answer.leap == 0, "ntplib version %d: no leap warning" % version)
            check(answer.ref_id == expected_id,
                  "ntplib version %d: reference identifier %#x is %#x" % (version, answer.ref_id, expected_id or 0))
            check(abs(answer.offset) < 1.0, "ntplib version %d: offset %.3f s is small" % (version, answer.offset))

        dig = ntpdig_answer()
        check(dig is not None, "ntpdig: answered")
        if dig is not None:
            check(dig.get("stratum") == 2, "ntpdig: stratum %s is 2" % dig.get("stratum"))
            check(abs(float(dig.get("offset", 99))) < 1.0, "ntpdig: offset %s is small" % dig.get("offset"))
        received = ntpdig_received()
        check(received is not None, "ntpdig: its packet dump read")
        if received is not None and first is not None:
            check(received[3] == 0xE9, "ntpdig: precision byte %#x" % received[3])
            delay, dispersion = struct.unpack("!II", received[4:12])
            check(0x4000 < delay < 0x4290, "ntpdig: root delay %#x is 0.25 s and this hop's" % delay)
            check(0x8000 < dispersion < 0x8083, "ntpdig: root dispersion %#x" % dispersion)  # below 0.502 s
            seconds, fraction = struct.unpack("!II", received[16:24])
            check(seconds + fraction / 2**32 == first.ref_timestamp,  # as ntplib reckons it
                  "ntpdig: the reference time that ntplib saw")

        check_improper_senders(workdir)
        report = chronyd_report(workdir)
        check("System clock wrong by" in report and "No suitable source" not in report,
              "chronyd takes the program as its source: %s" % report.strip().splitlines()[-2:])
    finally:
        open(os.path.join(workdir, "stop"), "w").close()
        try:
            status = host.wait(timeout=30)
        except subprocess.TimeoutExpired:
            host.kill()
            status = "hung"
        upstream.stop()
    check(status == 0, "the host ended cleanly (%s)" % status)
    return checks.summary("server peers")


if __name__ == "__main__":
    sys.exit(main())
