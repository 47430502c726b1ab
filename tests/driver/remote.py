"""The real program under Wine, started and steered through control.exe,
and what the host sees of its Wine process (descriptors, memory, CPU)."""
import os
import socket
import subprocess
import time


class Remote:
    """Starts control.exe with the given settings; each call sends one
    command and returns its answer."""

    def __init__(self, wine_run, control_exe, settings):
        self.sock = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        self.sock.bind(("127.0.0.1", 0))
        probe = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        probe.bind(("127.0.0.1", 0))
        self.port = probe.getsockname()[1]
        probe.close()
        args = [wine_run, control_exe, str(self.port)] + ["%s=%s" % item for item in settings.items()]
        self.process = subprocess.Popen(args, cwd=os.path.dirname(control_exe), stdout=subprocess.DEVNULL)
        self.linux_pid = None
        self.sequence = 0
        for _ in range(60):
            try:
                answer = self.call("started", timeout=1).split()
                self.windows_pid, self.start_ms = int(answer[1]), float(answer[2])
                break
            except socket.timeout:
                if self.process.poll() is not None:
                    raise RuntimeError("control.exe ended: the program did not start")
        else:
            raise RuntimeError("control.exe did not answer")
        self.linux_pid = program_pid(wine_prefix(control_exe))

    def call(self, command, timeout=30):
        # An answer to a command asked again after a timeout comes late, even
        # after the next command went out: each command goes out with a tag
        # of its own, and answers with another tag are dropped.
        self.sequence += 1
        tag = "#%d " % self.sequence
        self.sock.sendto((tag + command).encode(), ("127.0.0.1", self.port))
        deadline = time.monotonic() + timeout
        while True:
            self.sock.settimeout(max(deadline - time.monotonic(), 0.001))
            answer = self.sock.recv(65536).decode("utf-8", "replace")
            if answer.startswith(tag):
                return answer[len(tag):]

    def log(self, last=0):
        """The log's lines, or its last ones (the empty entry among them)."""
        return self.call("log %d" % last).splitlines()

    def probe(self, ms, timeout_ms=100, gap_ms=1):
        """Round trips through the program's window, gap_ms apart: count,
        failures, p50, p99, max (µs)."""
        n, failed, p50, p99, worst = self.call("probe %d %d %d" % (ms, timeout_ms, gap_ms),
                                               timeout=ms / 1000 + 30).split()
        return int(n), int(failed), int(p50), int(p99), int(worst)

    def wait(self, ms):
        """Waits up to ms for the program to end by itself: "exit CODE", or "running"."""
        return self.call("wait %d" % ms, timeout=ms / 1000 + 30)

    def stop(self):
        try:
            answer = self.call("stop")
        finally:
            self.process.wait(30)
            self.sock.close()
        return answer


def proc_file(pid, part):
    """/proc/PID/part as bytes; empty when the process is gone or hidden."""
    try:
        with open("/proc/%s/%s" % (pid, part), "rb") as f:
            return f.read()
    except OSError:
        return b""


def pids_whose(part, test):
    """The processes whose file /proc/PID/part, read as bytes, passes test."""
    return [int(entry) for entry in filter(str.isdigit, os.listdir("/proc")) if test(proc_file(entry, part))]


def wine_prefix(program):
    """The Wine prefix that wine-run.sh gives the program: of its build
    folder, or of TAMARIN_WINE_HOME."""
    home = os.environ.get("TAMARIN_WINE_HOME")
    folder = os.path.dirname(os.path.abspath(program))
    while not home and folder != "/":
        if os.path.exists(os.path.join(folder, "CMakeCache.txt")):
            home = os.path.join(folder, "wine")
        folder = os.path.dirname(folder)
    return os.path.join(home or "", "prefix")


def pids_of_prefix(prefix, name=b""):
    """The processes that Wine runs in this prefix (whose program's name
    holds name), not those of another prefix on the machine."""
    own = ("WINEPREFIX=%s\0" % prefix).encode()
    return [pid for pid in pids_whose("cmdline", lambda argv: name in argv.split(b"\0")[0].lower())
            if own in proc_file(pid, "environ")]


def program_pid(prefix):
    """The Linux process that runs tamarin-time.exe under Wine in this prefix."""
    for _ in range(50):
        pids = pids_of_prefix(prefix, b"tamarin-time.exe")
        if pids:
            return pids[0]
        time.sleep(0.1)
    return None


def open_descriptors(pid):
    """The process's open descriptors: all of them, and its sockets."""
    links = []
    for fd in os.listdir("/proc/%d/fd" % pid):
        try:
            links.append(os.readlink("/proc/%d/fd/%s" % (pid, fd)))
        except OSError:
            pass
    return len(links), sum(link.startswith("socket:") for link in links)


def resident_kib(pid):
    with open("/proc/%d/status" % pid) as f:
        for line in f:
            if line.startswith("VmRSS:"):
                return int(line.split()[1])
    return 0


def cpu_seconds(pid):
    with open("/proc/%d/stat" % pid) as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")
