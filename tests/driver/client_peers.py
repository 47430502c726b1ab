#!/usr/bin/python3
"""The whole client against real peers on loopback, under Wine.

Each case writes the program's settings, runs the real tamarin-time.exe
through control.exe, and reads its log afterwards:
- chronyd from Debian (run with -x: it never touches the clock) as the
  server: the program goes online, polls on its first tick, and, both
  clocks being one, corrects nothing;
- the first start after an install with the logon start, whose key holds
  only the installer's choice: online with the default server, without a
  click;
- a scripted server that first answers with unusable replies and from
  another port, then with a clock 300 ms ahead: each refusal has its line
  and the step, which Wine accepts, is made;
- the scripted server 2 s ahead: Wine refuses the step and the program
  carries on;
- a scripted server 26 years ahead: the leap waits for the next reply,
  15 s later, and is tried (Wine refuses it) only when that one agrees;
- not staying resident: the program counts down and ends by itself, with
  exit code 0, or 1 when Wine refused the step;
- several servers, a dotted address and a name of three addresses in the
  test's hosts file: two agree and set the clock, the one ten seconds off
  is named, the silent one is asked again on its own backoff;
- server mode: once synchronised against the scripted server, the program
  answers python3-ntplib as a stratum 2 server.

    client_peers.py WINE_RUN CONTROL_EXE WINE_PREFIX
"""
import contextlib
import os
import re
import signal
import subprocess
import sys
import tempfile
import time

from remote import Remote
from sntp_peer import (NTP_PORT, Checks, after, answering_server, in_order, ntp_service_port, ntplib_answer,
                       run_cases, wait_for, waits_for_line)

checks = Checks()
check = checks.check


def drive(wine_run, control_exe, seconds, until, settings):
    """Runs the program until a log line starts with until (and half a second
    more, for the lines that follow), until it ends by itself, or for seconds;
    its log lines and exit code."""
    program = Remote(wine_run, control_exe, settings)
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline and program.wait(100) == "running":
        if until and any(line.startswith(until) for line in program.log()):
            program.wait(500)
            break
    return finish(program)


def finish(program):
    log = program.log()
    return log, program.stop().split()[-1]


def base_settings(**more):
    settings = {"szServerName": "s:127.0.0.1", "fStartAtFirst": 1, "fStayAfterAdjustment": 1}
    settings.update(more)
    return settings


REPLY_LINES = [re.compile(r"length=48 addr=127\.0\.0\.1:123"), re.compile(r"LI0 VN4 MODE4 Stratum1 Poll\d+ Precision-?\d+")]
DEFAULT_SERVER = "ntp.nict.jp"
MULTI_NAME = "multi.tamarin-time.test"  # 127.0.0.12, .13 and .14 in the test's hosts file
ONLINE_LINES = ["ホスト確認成功", "サーバー確認成功", "交信開始..."]


@contextlib.contextmanager
def chronyd_at(address):
    """chronyd from Debian serving on the address's port 123; it never touches
    the clock (-x)."""
    workdir = tempfile.mkdtemp(prefix="tamarin-chrony-")
    conf = os.path.join(workdir, "chrony.conf")
    with open(conf, "w") as f:
        f.write("local stratum 1\nallow 127.0.0.0/8\nbindaddress %s\nport 123\ncmdport 0\n"
                "pidfile %s/chronyd.pid\ndriftfile %s/drift\n" % (address, workdir, workdir))
    chronyd = subprocess.Popen(["chronyd", "-x", "-4", "-d", "-u", "root", "-f", conf],
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        time.sleep(1)
        yield
    finally:
        chronyd.send_signal(signal.SIGTERM)
        chronyd.wait(10)


def reply_from_chronyd(address):
    return [re.compile(r"length=48 addr=%s:123" % re.escape(address)), REPLY_LINES[1],
            # chronyd answers within microseconds: a delay below zero counts as zero.
            re.compile(r"応答に0\.\d{3}秒掛かっています"),
            re.compile(r"0\.\d{3}秒(進んでいます|遅れています)|時刻は一致しています")]


def own_hosts_file_maps(address, name, case):
    """Whether the test run's own hosts file, in a network of loopback alone,
    gives the name that address; else the case is skipped, with a line."""
    with open("/etc/hosts") as f:
        mapped = any(line.split()[:2] == [address, name] for line in f)
    own = mapped and os.environ.get("TAMARIN_ISOLATED_NETWORK") == "1"
    if not own:
        print("skipped: %s needs the test's own hosts file in a network of loopback alone" % case)
    return own


def chrony_case(wine_run, control_exe, _prefix):
    with chronyd_at("127.0.0.1"):
        log, status = drive(wine_run, control_exe, 60, "応答に", base_settings())
    check(in_order(log, ONLINE_LINES + reply_from_chronyd("127.0.0.1")),
          "chronyd: online, first poll, reply, delay and offset\n  " + "\n  ".join(log))
    check(not any(line.startswith("時刻を") or line == "時刻が設定できません" for line in log),
          "chronyd: the same clock, nothing corrected")
    check(status == "0", "chronyd: the program ended cleanly (%s)" % status)


def logon_start_case(wine_run, control_exe, _prefix):
    """The first start after an install with the logon start: the key holds
    only what the installer wrote, and the default server is asked. The
    test's own hosts file names it 127.0.0.5, in a network of loopback alone;
    anywhere else the case is skipped, for the name is a public server's."""
    if not own_hosts_file_maps("127.0.0.5", DEFAULT_SERVER, "the logon start"):
        return
    with chronyd_at("127.0.0.5"):
        log, status = drive(wine_run, control_exe, 60, "応答に", {"fStartAtFirst": 1})
    check(in_order(log, ["はじめまして。"] + ONLINE_LINES + reply_from_chronyd("127.0.0.5")),
          "logon start: a first run that goes online with the default server and synchronises\n  "
          + "\n  ".join(log))
    check(status == "0", "logon start: the program ended cleanly (%s)" % status)


def correction_case(wine_run, control_exe, _prefix):
    script = [{"li": 3}, {"stratum": 0}, {"t1": 0}, {"t2": 0}, {"t3": 0}, {"other_port": True},
              {"offset": 0.3}]
    with answering_server(NTP_PORT, script):
        log, status = drive(wine_run, control_exe, 60, "時刻を", base_settings(nIgnorableMaxTimeDifference_ms=100))
    refusal = "サーバーの準備がまだのようです(%s)"
    check(in_order(log, ONLINE_LINES + [refusal % "LI=ALARM", refusal % "Statum=0", refusal % "T1=0",
                                        refusal % "T2=0", refusal % "T3=0", "FD_READ - server !match",
                                        re.compile(r"0\.[23]\d\d秒遅れています"),
                                        re.compile(r"時刻を0\.[23]\d\d秒進めました")]),
          "scripted +300 ms: each refusal, the other port, then the step\n  " + "\n  ".join(log))
    check(status == "0", "scripted +300 ms: the program ended cleanly (%s)" % status)


def refused_step_case(wine_run, control_exe, _prefix):
    with answering_server(NTP_PORT, [{"offset": 2.0}, {"li": 3}]):
        log, status = drive(wine_run, control_exe, 60, "サーバーの準備がまだのようです", base_settings())
    check(in_order(log, [re.compile(r"[12]\.\d{3}秒遅れています"), "時刻が設定できません",
                         "サーバーの準備がまだのようです(LI=ALARM)"]),
          "scripted +2 s: the step is refused and the program carries on\n  " + "\n  ".join(log))
    check(status == "0", "scripted +2 s: the program ended cleanly (%s)" % status)


def leap_case(wine_run, control_exe, _prefix):
    leap = 26 * 365 * 86400.0
    waiting, witnessed = "差が1000秒を超えるため、次の応答で確かめます", "次の応答も同じ差でした"
    disputed, refused = "次の応答と差が一致しないため、時刻を修正しません", "時刻が設定できません"
    with answering_server(NTP_PORT) as server:
        server.fields = {"offset": leap}
        program = Remote(wine_run, control_exe, base_settings())
        waits_for_line(program, lambda line: line == refused, 40)
        agreed = program.log()
        gap = server.arrivals[1] - server.arrivals[0] if len(server.arrivals) == 2 else 0
        program.call("toggle 2")  # the user goes offline and online again: a new first reply
        wait_for(lambda: program.log().count("交信開始...") == 2 and waiting in after(program.log(), "交信開始..."), 20)
        server.fields = {"offset": leap + 60}  # the next reply a minute further on
        waits_for_line(program, lambda line: line == disputed, 40)
        log, status = finish(program)
    check(in_order(agreed, ONLINE_LINES + [waiting, witnessed, refused]) and agreed.count(refused) == 1
          and 14.5 <= gap <= 17, "26 years ahead: the leap waits for a second reply %.1f s later that agrees, then "
          "is tried\n  %s" % (gap, "\n  ".join(agreed)))
    second = after(log, "交信開始...") or []
    check(in_order(second, [waiting, disputed]) and refused not in second,
          "26 years ahead, then a minute more: nothing is tried\n  " + "\n  ".join(second))
    check(status == "0", "26 years ahead: the program ended cleanly (%s)" % status)


def exit_by_itself_case(wine_run, control_exe, _prefix):
    with answering_server(NTP_PORT):
        log, status = drive(wine_run, control_exe, 60, None, base_settings(fStayAfterAdjustment=0))
    check(in_order(log, ["終了4秒前", "終了3秒前", "終了2秒前", "終了1秒前"]),
          "not resident: counts down\n  " + "\n  ".join(log))
    check(status == "0", "not resident: ended by itself with code 0 (%s)" % status)
    with answering_server(NTP_PORT, [{"offset": 2.0}]):
        log, status = drive(wine_run, control_exe, 60, None, base_settings(fStayAfterAdjustment=0))
    last = after(log, "時刻を合わせられなかったため、終了コード1で終了します")
    check(last is not None and [line for line in last if line] == ["終了4秒前", "終了3秒前", "終了2秒前", "終了1秒前"],
          "not resident, the step refused: says why last and counts down\n  " + "\n  ".join(log))
    check(status == "1", "not resident, the step refused: ended by itself with code 1 (%s)" % status)


def several_servers_case(wine_run, control_exe, _prefix):
    if not own_hosts_file_maps("127.0.0.13", MULTI_NAME, "several servers"):
        return
    with contextlib.ExitStack() as stack:
        servers = {n: stack.enter_context(answering_server(NTP_PORT, address="127.0.0.%d" % n)) for n in (11, 12, 13)}
        servers[12].fields = servers[11].fields = {"offset": 0.3}
        servers[13].fields = {"offset": 10.3}
        silent = stack.enter_context(answering_server(NTP_PORT, address="127.0.0.14", answering=False))
        program = Remote(wine_run, control_exe, base_settings(szServerName="s:127.0.0.11 " + MULTI_NAME,
                                                               nIgnorableMaxTimeDifference_ms=100))
        wait_for(lambda: len(silent.arrivals) >= 3, 70)
        log, status = finish(program)
    check(in_order(log, ["%s (127.0.0.13) は他のサーバーと一致しません" % MULTI_NAME,
                         re.compile(r"時刻を0\.[23]\d\d秒進めました")])
          and not any("一致しません" in line and "127.0.0.13" not in line for line in log),
          "several servers: the two that agree set the clock, the one 10 s off is named\n  " + "\n  ".join(log))
    gaps = [round(b - a, 1) for a, b in zip(silent.arrivals, silent.arrivals[1:])]
    check(len(gaps) >= 2 and 14.5 <= gaps[0] <= 17 and 29.5 <= gaps[1] <= 32 and len(servers[11].arrivals) == 1,
          "several servers: the silent one asked after 15 s, then 30 s; the others at their interval (%s, %d)"
          % (gaps, len(servers[11].arrivals)))
    check(status == "0", "several servers: the program ended cleanly (%s)" % status)


def server_mode_case(wine_run, control_exe, prefix):
    # The services file sends the client to 12300 and leaves port 123 to
    # the program's own server mode.
    with ntp_service_port(prefix, 12300), answering_server(12300) as server:
        program = Remote(wine_run, control_exe, base_settings(fActAsSNTPServer=1))
        check(server.answered.wait(60), "server mode: the program asked the scripted server")
        answer = wait_for(ntplib_answer, 10)
        check(answer is not None and answer.stratum == 2,
              "server mode: ntplib gets a stratum 2 answer (%s)" % (answer and answer.stratum))
        if answer is not None and server.transmits:
            check(answer.ref_id == server.transmits[-1] & 0xFFFFFFFF,
                  "server mode: the reference identifier comes from the scripted server's T3")
        log, status = finish(program)
    check("SNTPサービス開始..." in log, "server mode: started\n  " + "\n  ".join(log))
    check(status == "0", "server mode: the program ended cleanly (%s)" % status)


def main():
    return run_cases(checks, "client peers", [
        chrony_case,
        logon_start_case,
        correction_case,
        refused_step_case,
        leap_case,
        exit_by_itself_case,
        several_servers_case,
        server_mode_case,
    ])


if __name__ == "__main__":
    sys.exit(main())
