#!/usr/bin/python3
"""The engine as a Windows service, under Wine's services.exe, against
chronyd from Debian (-x: it never touches the clock) on 127.0.0.1:

tamarin-time.exe /install-service registers TamarinTime; the service, given
the machine's settings and started by sc, goes online and judges chronyd's
reply with no window program running, logging into the machine's data folder;
the window program started then shows the service's log and state, and its
offline command reaches the service; sc stop ends it with the history's end record; /uninstall-service removes it.

    service_peers.py WINE_RUN TAMARIN_EXE WINE_PREFIX CONTROL_EXE
"""
import os
import re
import subprocess
import sys
import time

from client_peers import chronyd_at
from remote import Remote
from sntp_peer import IDS, SKIPPED, Checks, NTP_PORT, port_is_free, wait_for

checks = Checks()
check = checks.check

JOURNAL_END = 3
# chronyd answers within microseconds, on the same clock.
JUDGED = re.compile(r"応答に0\.\d{3}秒掛かっています\n.* (0\.\d{3}秒(進んでいます|遅れています)|時刻は一致しています)")
JOURNAL_RECORD_SIZE = 36


def wine(prefix, *args):
    env = dict(os.environ, WINEPREFIX=prefix, WINEDEBUG="-all")
    return subprocess.run(["wine"] + list(args), env=env, capture_output=True, timeout=60)


def service_state(prefix):
    result = wine(prefix, "sc", "query", "TamarinTime")
    for line in result.stdout.decode("ascii", "replace").splitlines():
        if "STATE" in line:
            return line.split()[-1]
    return None


def tamarinc(wine_run, exe, command):
    """Its exit code and its text, in the console's code page."""
    cli = os.path.join(os.path.dirname(exe), "tamarinc.exe")
    result = subprocess.run([wine_run, cli, command], capture_output=True, timeout=120)
    return result.returncode, result.stdout.decode("cp932", "replace").replace("\r\n", "\n")


def follow_service(wine_run, exe, control_exe):
    """The window program, its own settings offline, shows the service's."""
    program = Remote(wine_run, control_exe, {"szServerName": "s:127.0.0.9", "fStartAtFirst": 0})
    try:
        went_online = lambda: sum("交信開始..." in line for line in program.log())
        check(wait_for(lambda: went_online() == 1, 10) is not None, "the window program shows the service's log")
        check(program.call("text %d" % IDS["IDM_ONLINE"]) == "オフライン", "and that it is online")
        program.call("command %d" % IDS["IDM_ONLINE"])
        code, text = tamarinc(wine_run, exe, "status")
        check("状態: オフライン、同期済み" in text, "its offline command reaches the service: %r" % text)
        shown = wait_for(lambda: program.call("text %d" % IDS["IDM_ONLINE"]) == "オンライン" and
                         "交信終了" in program.log(), 10)
        check(shown is not None and went_online() == 1, "the window follows the service, each line once")
    finally:
        program.stop()


def run_service(wine_run, exe, prefix, log_path, history_path, control_exe):
    check(subprocess.run([wine_run, exe, "/install-service"], timeout=120).returncode == 0,
          "/install-service exits with 0")
    # The install took the settings other tests left for the prefix's user: the scenario's own go over them.
    machine = r"HKLM\Software\Halden Works\Tamarin Time"
    wine(prefix, "reg", "add", machine, "/v", "szServerName", "/d", "127.0.0.1", "/f")
    wine(prefix, "reg", "add", machine, "/v", "fActAsSNTPServer", "/t", "REG_DWORD", "/d", "0", "/f")

    def log():
        with open(log_path, "rb") as f:
            return f.read().decode("cp932", "replace").replace("\r\n", "\n")

    with chronyd_at("127.0.0.1"):
        wine(prefix, "sc", "start", "TamarinTime")
        check(wait_for(lambda: service_state(prefix) == "RUNNING", 30) is not None, "the service runs")
        judged = wait_for(lambda: os.path.exists(log_path) and JUDGED.search(log()), 90)
        check(judged is not None, "the service, with no window, judges chronyd's reply")
        check(os.path.exists(log_path) and "交信開始..." in log(), "it went online by itself")
        texts = []
        for command in ("status", "resync"):
            code, text = tamarinc(wine_run, exe, command)
            texts.append(text)
            check(code == 0 and "状態: オンライン、同期済み" in text and "サーバー: 127.0.0.1 (127.0.0.1:123)" in text,
                  "tamarinc %s: exit %s, %r" % (command, code, text))
        last_sync = [re.search(r"最終同期: .*", text) for text in texts]
        check(all(last_sync) and last_sync[0].group() != last_sync[1].group(), "resync tells a newer synchronisation")
        follow_service(wine_run, exe, control_exe)

    wine(prefix, "sc", "stop", "TamarinTime")
    check(wait_for(lambda: service_state(prefix) == "STOPPED", 30) is not None, "sc stop ends it")
    code, text = tamarinc(wine_run, exe, "status")
    check(code == 2 and "Tamarin Time は動いていません" in text, "tamarinc status with no engine: exit %s, %r" % (code, text))
    history = b""
    if os.path.exists(history_path):
        with open(history_path, "rb") as f:
            history = f.read()
    last = history[-JOURNAL_RECORD_SIZE:]
    check(last[:2] == b"TH" and last[2] == JOURNAL_END, "the history's last record is the end")


def main():
    wine_run, exe, prefix, control_exe = sys.argv[1:5]
    if not port_is_free(NTP_PORT):
        print("skipped: UDP port 123 is taken by another program")
        return SKIPPED
    folder = os.path.join(prefix, "drive_c", "ProgramData", "Tamarin Time")
    log_path, history_path = os.path.join(folder, "TMRN.LOG"), os.path.join(folder, "history.dat")
    # A run that died left it installed, and Wine starts it with the prefix.
    subprocess.run([wine_run, exe, "/uninstall-service"], timeout=120)
    for path in (log_path, history_path):
        if os.path.exists(path):
            os.remove(path)
    try:
        run_service(wine_run, exe, prefix, log_path, history_path, control_exe)
    finally:
        uninstalled = subprocess.run([wine_run, exe, "/uninstall-service"], timeout=120).returncode == 0
    check(uninstalled, "/uninstall-service exits with 0")
    check(service_state(prefix) is None, "the service is gone")
    return checks.summary("service_peers")


if __name__ == "__main__":
    sys.exit(main())
