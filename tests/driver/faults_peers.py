#!/usr/bin/python3
"""Faults around the real program under Wine, steered through control.exe.
Each ends in the state and the log line that the program promises, and the
program's window still answers and the program ends cleanly afterwards:
- the server vanishes while a request is out, and comes back;
- a reply arrives after the program went offline;
- the prefix has no services file;
- port 123 is held by another program when server mode starts;
- the time-zone panel cannot be opened, and a rundll32.exe planted beside
  the program and in its current folder is not run;
- another program posts log messages that carry no line of this one's.

    faults_peers.py WINE_RUN CONTROL_EXE WINE_PREFIX
"""
import os
import shutil
import signal
import socket
import sys
import time

from remote import Remote, pids_whose
from sntp_peer import (IDS, NTP_PORT, Checks, ScriptedServer, after, answering_server, in_order, ntp_service_port,
                       run_cases, waits_for_line)

checks = Checks()
check = checks.check

ONLINE = {"szServerName": "s:127.0.0.1", "fStartAtFirst": 1, "fStayAfterAdjustment": 1}
REPLY_LINE = "length=48 addr=127.0.0.1:123"
WM_APP_LOGLINE = 0x8000 + 1


def responsive_and_ended(program, case):
    n, failed, _, _, _ = program.probe(300, 1000)
    check(n > 0 and failed == 0, "%s: the window answers" % case)
    exit_line = program.stop()
    check(exit_line == "exit 0", "%s: the program ended cleanly (%s)" % (case, exit_line))


def vanishing_server_case(wine_run, control_exe, _prefix):
    server = ScriptedServer(NTP_PORT)  # takes requests, answers none
    server.start()
    program = Remote(wine_run, control_exe, ONLINE)
    try:
        check(server.requested.wait(15), "vanishing server: the request went out")
        server.stop()  # gone with the request unanswered; later requests find a closed port
        program.call("toggle 2")
        time.sleep(1)
        still_online = program.call("text %d" % IDS["IDM_ONLINE"]) == "オフライン"
        server = ScriptedServer(NTP_PORT)
        server.answering.set()
        server.start()
        program.call("toggle 2")
        replied = waits_for_line(program, lambda line: line.startswith("応答に"))
        log = program.log()
        responsive_and_ended(program, "vanishing server")
    finally:
        server.stop()
    check(still_online, "vanishing server: still online, waiting for the next poll")
    check(log.count(REPLY_LINE) == 1 and sum(line.startswith("応答に") for line in log) == 1,
          "vanishing server: nothing read or judged while it was gone\n  " + "\n  ".join(log))
    check(replied, "vanishing server: once back, the next poll is answered and judged")


def late_reply_case(wine_run, control_exe, _prefix):
    with answering_server(NTP_PORT, [{"delay": 1.0}]) as server:
        program = Remote(wine_run, control_exe, ONLINE)
        check(server.requested.wait(15), "late reply: the request went out")
        program.call("toggle 1")
        check(server.answered.wait(5), "late reply: the server answered a second later")
        time.sleep(1)
        log = program.log()
        text = program.call("text %d" % IDS["IDM_ONLINE"])
        responsive_and_ended(program, "late reply")
    tail = after(log, "交信終了")
    check(tail == [""], "late reply: nothing is read after going offline\n  " + "\n  ".join(log))
    check(text == "オンライン", "late reply: offline (the button reads %s)" % text)


def no_services_file_case(wine_run, control_exe, prefix):
    with answering_server(NTP_PORT), ntp_service_port(prefix, None):
        program = Remote(wine_run, control_exe, ONLINE)
        replied = waits_for_line(program, lambda line: line == REPLY_LINE)
        log = program.log()
        responsive_and_ended(program, "no services file")
    lookup = [line for line in log if line.startswith("サーバー確認")]
    check(len(lookup) == 1 and lookup[0].startswith("サーバー確認 エラー ("),
          "no services file: the service lookup fails (%s)" % lookup)
    check("ポートとして123/UDPを用います" in log and "交信開始..." in log,
          "no services file: port 123 is used and the client goes online")
    check(replied, "no services file: the reply from port 123 is read")


def port_held_case(wine_run, control_exe, prefix):
    with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as holder, answering_server(12300), \
            ntp_service_port(prefix, 12300):
        holder.bind(("0.0.0.0", NTP_PORT))
        program = Remote(wine_run, control_exe, dict(ONLINE, fActAsSNTPServer=1))
        judged = waits_for_line(program, lambda line: line.startswith("応答に"))
        log = program.log()
        responsive_and_ended(program, "port held")
    check(in_order(log, ["bind エラー (10048)", "UDPポート123を別のプログラムが使っているため、SNTPサービスを開始できません"])
          and "SNTPサービス開始..." not in log,
          "port held: server mode says so and does not start\n  " + "\n  ".join(log))
    check(judged, "port held: the client still polls and judges its server")


def running_from(paths):
    """The processes that have one of the files mapped, that is, run it."""
    return pids_whose("maps", lambda maps: any(path.encode() in maps for path in paths))


def time_zone_case(wine_run, control_exe, _prefix):
    tests_dir = os.path.dirname(os.path.abspath(control_exe))
    planted = [os.path.join(folder, "rundll32.exe") for folder in (os.path.dirname(tests_dir), tests_dir)]
    for path in planted:
        shutil.copy(os.path.join(tests_dir, "panel_stand_in.exe"), path)
    try:
        program = Remote(wine_run, control_exe, {"fStayAfterAdjustment": 1})
        before = program.log()
        program.call("command %d" % IDS["IDM_TIMEZONE"])
        time.sleep(2)  # the panel's thread tries, fails and ends
        ran = running_from(planted)  # the panel stand-in stays open
        log = program.log()
        responsive_and_ended(program, "time-zone panel")
    finally:
        for pid in running_from(planted):
            os.kill(pid, signal.SIGKILL)
        for path in planted:
            os.remove(path)
    check(ran == [], "time-zone panel: the rundll32.exe beside the program is not run")
    # Wine has no Date/Time panel: rundll32 ends at once, which is no error.
    check(log == before, "time-zone panel: the log is unchanged\n  " + "\n  ".join(log[len(before) - 1:]))


def forged_log_case(wine_run, control_exe, _prefix):
    program = Remote(wine_run, control_exe, {"fStayAfterAdjustment": 1})
    before = program.log()
    # Nothing, a small number, an unmapped address, the program's own image
    # (readable bytes), each in a hand-over slot and beyond the last.
    for wparam, lparam in ((0, 0), (0, 1), (1, 0xDEADBEEF), (7, 0x140000000), (8, 0x140000000)):
        program.call("post %d %d %d" % (WM_APP_LOGLINE, wparam, lparam))
    log = program.log()
    responsive_and_ended(program, "forged log message")
    check(log == before, "forged log message: the log is unchanged\n  " + "\n  ".join(log[len(before) - 1:]))


def main():
    return run_cases(checks, "faults", [
        vanishing_server_case,
        late_reply_case,
        no_services_file_case,
        port_held_case,
        time_zone_case,
        forged_log_case,
    ])


if __name__ == "__main__":
    sys.exit(main())
