"""What the driver scripts share: a scripted SNTP server on loopback (or
in a network namespace of the test's own), the checks they report, the
ports they need, and an SNTP client's view."""
import contextlib
import ctypes
import os
import re
import socket
import struct
import sys
import threading
import time

import ntplib

NTP_EPOCH_OFFSET = 2208988800
NTP_PORT = 123
SKIPPED = 77
CLONE_NEWNET = 0x40000000


def resource_ids():
    """The program's control and command identifiers by name, from its own header."""
    path = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "resources", "resource.h")
    with open(path) as f:
        return {name: int(value) for name, value in re.findall(r"#define (\w+) (\d+)", f.read())}


IDS = resource_ids()


class Checks:
    def __init__(self):
        self.failures = []

    def check(self, condition, message):
        print(("ok     " if condition else "FAILED ") + message, flush=True)
        if not condition:
            self.failures.append(message)

    def summary(self, name):
        print("%s: %s, %d failures" % (name, "passed" if not self.failures else "failed", len(self.failures)))
        return 1 if self.failures else 0


def ntp_now(offset=0.0):
    t = time.time() + NTP_EPOCH_OFFSET + offset
    return ((int(t) << 32) | int((t % 1) * 2**32)) & (2**64 - 1)  # beyond 2036, the next era's


def port_is_free(port):
    probe = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    try:
        probe.bind(("0.0.0.0", port))
        return True
    except OSError:
        return False
    finally:
        probe.close()


def run_cases(checks, name, cases):
    """Runs each case with the script's arguments WINE_RUN EXE PREFIX, and
    reports; all are skipped when another program holds UDP port 123."""
    if not port_is_free(NTP_PORT):
        print("skipped: UDP port 123 is taken by another program")
        return SKIPPED
    for case in cases:
        case(*sys.argv[1:4])
    return checks.summary(name)


def wait_for(predicate, seconds):
    """The first true value of predicate() within the time, else None."""
    deadline = time.time() + seconds
    while time.time() < deadline:
        value = predicate()
        if value:
            return value
        time.sleep(0.2)
    return None


def waits_for_line(program, predicate, seconds=10):
    """Whether the program's log has a line that passes predicate within the time."""
    return wait_for(lambda: any(predicate(line) for line in program.log()), seconds)


def after(log, line):
    """The lines after the last occurrence of line, or None."""
    where = max((i for i, text in enumerate(log) if text == line), default=None)
    return None if where is None else log[where + 1:]


def in_order(log, expected):
    """Whether each expected line (text, or compiled pattern) follows the one before in the log."""
    i = 0
    for line in log:
        if i < len(expected):
            want = expected[i]
            if (want.fullmatch(line) if hasattr(want, "fullmatch") else want == line):
                i += 1
    return i == len(expected)


def ntplib_answer(version=4):
    """python3-ntplib's answer from 127.0.0.1:123, or None."""
    try:
        return ntplib.NTPClient().request("127.0.0.1", version=version, timeout=1)
    except ntplib.NTPException:
        return None


@contextlib.contextmanager
def ntp_service_port(prefix, port):
    """Points the prefix's "ntp" service at another port (None: removes the
    services file), so that the program's client leaves port 123 to its own
    server mode; restores the file afterwards."""
    services = os.path.join(prefix, "drive_c/windows/system32/drivers/etc/services")
    with open(services, "rb") as f:
        saved = f.read()
    if port is None:
        os.remove(services)
    else:
        lines = [line for line in saved.split(b"\n") if not line.startswith(b"ntp")]
        with open(services, "wb") as f:
            f.write(b"\n".join(lines + [b"ntp\t\t%d/udp\r" % port]) + b"\n")
    try:
        yield
    finally:
        with open(services, "wb") as f:
            f.write(saved)


def server_reply(request, received, offset=0.0, li=0, stratum=1, t1=None, t2=None, t3=None, root=(0, 0),
                 refid=b"LOCL", reference=None):
    """A mode 4 reply to a request that arrived at `received` (time.time()),
    from a server whose clock reads `offset` seconds ahead; t1, t2, t3
    replace the timestamps when given; root is its root delay and dispersion
    in units of 2^-16 s; refid its reference identifier (a kiss code at
    stratum 0); reference its reference time (by default, a second before
    the request came)."""
    arrival = ntp_now(offset + received - time.time())
    if reference is None:
        reference = ntp_now(offset + received - time.time() - 1)
    version = (request[0] >> 3) & 7
    head = struct.pack("!BBBbII4s", (li << 6) | (version << 3) | 4, stratum, 6, -20, root[0], root[1], refid)
    originate = request[40:48] if t1 is None else struct.pack("!Q", t1)
    receive = struct.pack("!Q", arrival if t2 is None else t2)
    # Answered in no time: T3 = T2.
    transmit = struct.pack("!Q", arrival if t3 is None else t3)
    return head + struct.pack("!Q", reference) + originate + receive + transmit


def udp_socket(netns=None):
    """A UDP socket; made in the network namespace of process netns when
    given, by setns(2) on this thread and back (a socket stays in the
    namespace it was made in)."""
    if netns is None:
        return socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    libc = ctypes.CDLL(None, use_errno=True)
    own = os.open("/proc/thread-self/ns/net", os.O_RDONLY)
    theirs = os.open("/proc/%d/ns/net" % netns, os.O_RDONLY)
    try:
        if libc.setns(theirs, CLONE_NEWNET) != 0:
            raise OSError(ctypes.get_errno(), "setns")
        try:
            return socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        finally:
            if libc.setns(own, CLONE_NEWNET) != 0:
                raise OSError(ctypes.get_errno(), "setns back")
    finally:
        os.close(own)
        os.close(theirs)


@contextlib.contextmanager
def answering_server(port, script=None, address="127.0.0.1", answering=True):
    """A ScriptedServer on the port that answers from the start (or never);
    stopped afterwards."""
    server = ScriptedServer(port, script, address=address)
    if answering:
        server.answering.set()
    server.start()
    try:
        yield server
    finally:
        server.stop()


class ScriptedServer(threading.Thread):
    """Answers mode 3 requests on address:port once `answering` is set, or
    on any address of the network namespace of process netns.
    With a script, the first request is answered by each of its steps in
    turn: keyword arguments of server_reply, plus "other_port" to send that
    reply from another socket and "delay" to send it so many seconds late.
    Every reply carries the keyword arguments in `fields`. The first `drop`
    requests get no reply; each request's arrival is kept in `arrivals`."""

    def __init__(self, port=0, script=None, fields=None, drop=0, netns=None, address="127.0.0.1"):
        super().__init__(daemon=True)
        self.sock = udp_socket(netns)
        self.sock.bind((address if netns is None else "0.0.0.0", port))
        self.sock.settimeout(0.2)
        self.port = self.sock.getsockname()[1]
        self.script = script
        self.fields = fields or {}
        self.answering = threading.Event()
        self.requested = threading.Event()
        self.answered = threading.Event()
        self.stopping = threading.Event()
        self.transmits = []
        self.drop = drop
        self.arrivals = []

    def run(self):
        while not self.stopping.is_set():
            try:
                request, peer = self.sock.recvfrom(1500)
                received = time.time()
            except socket.timeout:
                continue
            if len(request) < 48 or request[0] & 7 != 3:
                continue
            self.arrivals.append(received)
            self.requested.set()
            if not self.answering.is_set() or len(self.arrivals) <= self.drop:
                continue
            for step in self.script or [{}]:
                step = dict(self.fields, **step)
                sender = self.sock
                if step.pop("other_port", False):
                    sender = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
                    sender.bind(("127.0.0.1", 0))
                time.sleep(step.pop("delay", 0))
                reply = server_reply(request, received, **step)
                self.transmits.append(struct.unpack("!Q", reply[40:48])[0])
                sender.sendto(reply, peer)  # back to back: loopback keeps their order
            self.script = None
            self.answered.set()

    def stop(self):
        self.stopping.set()
        self.join(5)
        self.sock.close()
