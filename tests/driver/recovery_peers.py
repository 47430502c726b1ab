#!/usr/bin/python3
"""The real program under Wine getting the clock right by itself on a
desktop where things get in the way, steered through control.exe against a
scripted server:
- started before the network and its name server: the lookup fails, then
  both come and the program goes online and polls at once;
- the network judged by the way to the server: the default route going
  while the link to the server stays changes nothing; the link going takes
  it offline, its coming back online again; a link that flaps for a minute
  brings no more requests than the 15 s floor allows;
- the user's offline choice held across network changes, and so the choice
  of not going online at start-up;
- replies dropped, then answered: asked again after 15 s, then 30 s;
- waking from sleep (both notices): one poll; and a server that says DENY
  is asked no more.

The machine's network is a veth pair with a default route, made and taken
away in the test run's own network namespace; its far end, 192.0.2.1, lies
in a second namespace of the test's own, where the network's server runs
(nothing leaves the two; the other servers are on loopback). The script
takes a mount namespace of its own for a hosts file it can change, where
the name server's coming is a line added.

    recovery_peers.py WINE_RUN CONTROL_EXE WINE_PREFIX
"""
import os
import re
import subprocess
import sys
import tempfile
import time

from remote import Remote
from sntp_peer import (IDS, NTP_PORT, SKIPPED, Checks, ScriptedServer, after, in_order, run_cases, wait_for,
                       waits_for_line)

checks = Checks()
check = checks.check

LATE_NAME = "late.tamarin-time.test"
JUDGED = re.compile(r"応答に\d+\.\d{3}秒掛かっています")
ONLINE_LINES = ["ホスト確認成功", "サーバー確認成功", "交信開始..."]
WM_POWERBROADCAST, PBT_APMRESUMESUSPEND, PBT_APMRESUMEAUTOMATIC = 0x218, 7, 0x12


FAR, NEAR = "192.0.2.1", "192.0.2.2"


def ip(command, netns=None):
    enter = [] if netns is None else ["nsenter", "-t", str(netns), "-n"]
    subprocess.run(enter + ["ip"] + command.split(), check=True)


def far_side():
    """A network namespace beyond the machine's link, held by a sleeping
    process (end it with kill); the network's servers run there."""
    holder = subprocess.Popen(["unshare", "--net", "sleep", "infinity"])
    own = os.readlink("/proc/self/ns/net")
    if not wait_for(lambda: os.readlink("/proc/%d/ns/net" % holder.pid) != own, 5):
        raise RuntimeError("no namespace for the far side")
    return holder


def network(up, far=None):
    """The machine's link to the far side and its default route, made or taken away."""
    if up:
        ip("link add tt0 type veth peer name tt1")
        ip("link set tt1 netns %d" % far.pid)
        ip("addr add %s/24 dev tt1" % FAR, far.pid)
        ip("link set tt1 up", far.pid)
        for command in ("addr add %s/24 dev tt0" % NEAR, "link set tt0 up", "route add default via " + FAR):
            ip(command)
    else:
        subprocess.run(["ip", "link", "del", "tt0"], check=False, stderr=subprocess.DEVNULL)


def link(up):
    """This side's end of the link up or down (down takes its routes with it)."""
    ip("link set tt0 " + ("up" if up else "down"))


def settings(server="127.0.0.1", online=1):
    return {"szServerName": "s:" + server, "fStartAtFirst": online, "fStayAfterAdjustment": 1}


def button(program):
    return program.call("text %d" % IDS["IDM_ONLINE"])


def judged_count(program):
    return sum(bool(JUDGED.fullmatch(line)) for line in program.log())


def network_case(wine_run, control_exe, _prefix):
    far = far_side()
    server = ScriptedServer(NTP_PORT, netns=far.pid)
    server.answering.set()
    server.start()
    program = Remote(wine_run, control_exe, settings(LATE_NAME))
    try:
        failed = waits_for_line(program, lambda line: line.startswith("ホスト確認 エラー"))
        time.sleep(2)  # the first ticks: the network's first answer is the baseline, not a change
        with open("/etc/hosts", "a") as hosts:
            hosts.write("%s %s\n" % (FAR, LATE_NAME))  # the name server is up
        network(True, far)
        waits_for_line(program, JUDGED.fullmatch)
        log = program.log()
        check(failed and in_order(log, ["ダイアルアップ接続を検出"] + ONLINE_LINES + [JUDGED]),
              "before the network: the lookup fails, then the network's coming takes it online\n  " + "\n  ".join(log))

        ip("route del default")  # the way to the internet goes; the link to the server stays
        wait_for(lambda: time.time() - server.arrivals[-1] > 16, 20)  # a wake notice then polls
        program.call("post %d %d 0" % (WM_POWERBROADCAST, PBT_APMRESUMEAUTOMATIC))
        answered = wait_for(lambda: judged_count(program) == 2, 10)
        log = program.log()
        check(answered and "ダイアルアップ切断を検出" not in log and button(program) == "オフライン",
              "default route gone, the link to the server kept: online and answered\n  " + "\n  ".join(log))

        link(False)
        gone = waits_for_line(program, lambda line: line == "ダイアルアップ切断を検出")
        offline_text = button(program)
        asked = len(server.arrivals)
        link(True)
        back = wait_for(lambda: len(server.arrivals) > asked, 20)  # 15 s after the last request at most
        waits_for_line(program, lambda line: line == "交信開始...")
        log = program.log()
        check(gone and offline_text == "オフライン" and in_order(log, ["ダイアルアップ切断を検出", "交信終了"]),
              "link gone: offline and still trying, so the button stops it (%s)" % offline_text)
        check(back and in_order(after(log, "交信終了") or [], ["ダイアルアップ接続を検出"] + ONLINE_LINES),
              "link back: online again and polled\n  " + "\n  ".join(log))

        asked = len(server.arrivals)
        for _ in range(15):  # a minute of a link that flaps every 2 s
            link(False)
            time.sleep(2)
            link(True)
            time.sleep(2)
        flapped = len(server.arrivals) - asked
        check(1 <= flapped <= 5, "a flapping link: no request sooner than 15 s after the last (%d in a minute)"
              % flapped)

        wait_for(lambda: button(program) == "オフライン", 10)  # online again
        program.call("toggle 1")  # the user chooses offline
        asked = len(server.arrivals)
        link(False)
        time.sleep(2)
        link(True)
        time.sleep(3)
        log = program.log()
        check(after(log, "交信終了") == [""] and len(server.arrivals) == asked and button(program) == "オンライン",
              "user's offline choice: held across the link's going and coming\n  " + "\n  ".join(log))
        program.stop()

        asked = len(server.arrivals)
        program = Remote(wine_run, control_exe, settings(FAR, online=0))  # with the link up
        time.sleep(3)
        link(False)
        time.sleep(2)
        link(True)
        time.sleep(3)
        log = program.log()
        check(not any(line in ("交信開始...", "ダイアルアップ接続を検出") for line in log) and len(server.arrivals) == asked,
              "not online at start-up: the network does not take it online\n  " + "\n  ".join(log))
    finally:
        program.stop()
        network(False)
        server.stop()
        far.kill()
        far.wait()


def dropped_replies_case(wine_run, control_exe, _prefix):
    server = ScriptedServer(NTP_PORT, drop=2)
    server.answering.set()
    server.start()
    program = Remote(wine_run, control_exe, settings())
    try:
        wait_for(lambda: len(server.arrivals) >= 3, 60)
        judged = waits_for_line(program, JUDGED.fullmatch)
        log = program.log()
    finally:
        program.stop()
        server.stop()
    gaps = [round(b - a, 1) for a, b in zip(server.arrivals, server.arrivals[1:])]
    check(len(gaps) == 2 and 14.5 <= gaps[0] <= 17 and 29.5 <= gaps[1] <= 33,
          "dropped replies: asked again after 15 s, then 30 s (gaps %s)" % gaps)
    check(judged and sum(bool(JUDGED.fullmatch(line)) for line in log) == 1,
          "dropped replies: the third request is answered and judged\n  " + "\n  ".join(log))


def resume_and_deny_case(wine_run, control_exe, _prefix):
    server = ScriptedServer(NTP_PORT)
    server.answering.set()
    server.start()
    program = Remote(wine_run, control_exe, settings())
    try:
        waits_for_line(program, JUDGED.fullmatch, 15)
        time.sleep(16)  # a poll within 15 s is not repeated for a resume
        server.fields = {"stratum": 0, "refid": b"DENY"}
        for notice in (PBT_APMRESUMEAUTOMATIC, PBT_APMRESUMESUSPEND):
            program.call("post %d %d 0" % (WM_POWERBROADCAST, notice))
        denied = waits_for_line(program, lambda line: line.startswith("サーバーに断られました"))
        time.sleep(17)  # longer than the first retry would wait
        log = program.log()
        text = button(program)
    finally:
        program.stop()
        server.stop()
    check(len(server.arrivals) == 2, "resume: one poll for both notices, none after DENY (%d requests)"
          % len(server.arrivals))
    check(denied and in_order(log, ["サーバーの準備がまだのようです(Statum=0)",
                                    "サーバーに断られました(DENY)。オンラインにするまで問い合わせません", "交信終了"])
          and text == "オフライン", "DENY: said so, and stopped, which the button ends\n  " + "\n  ".join(log))


def in_own_mount_namespace():
    """Re-runs this script with a hosts file of its own, once."""
    if os.environ.get("TAMARIN_OWN_HOSTS") == "1":
        return True
    with open("/etc/hosts") as f:
        hosts = f.read()
    own = tempfile.NamedTemporaryFile("w", prefix="tamarin-hosts-", delete=False)
    own.write(hosts)
    own.close()
    command = "mount --bind %s /etc/hosts && exec /usr/bin/python3 %s" % (own.name, " ".join(
        [os.path.abspath(__file__)] + sys.argv[1:]))
    status = subprocess.run(["unshare", "--mount", "sh", "-c", command], env=dict(os.environ, TAMARIN_OWN_HOSTS="1"))
    os.remove(own.name)
    sys.exit(status.returncode)


def main():
    # The link and the route are the namespace's own only where the test run made one.
    if os.environ.get("TAMARIN_ISOLATED_NETWORK") != "1" or os.geteuid() != 0:
        print("skipped: needs root in the test run's own network namespace")
        return SKIPPED
    in_own_mount_namespace()
    network(False)
    return run_cases(checks, "recovery", [network_case, dropped_replies_case, resume_and_deny_case])


if __name__ == "__main__":
    sys.exit(main())
