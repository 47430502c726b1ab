#!/usr/bin/python3
"""Real NTP clients against Tamarin Time's server mode, under Wine.

Starts server_host.exe, which polls a scripted SNTP server of this script's
own on 127.0.0.1 while its server mode listens on port 123. Before it has
synchronised, python3-ntplib and ntpdig get no answer; once the scripted
server answers, both see a stratum 2 reply carrying the reference identifier
that the client took from that server's transmit timestamp.

    server_peers.py WINE_RUN SERVER_HOST_EXE
"""
import json
import os
import subprocess
import sys
import tempfile

from sntp_peer import NTP_PORT, SKIPPED, Checks, ScriptedServer, ntplib_answer, port_is_free, wait_for

checks = Checks()
check = checks.check


def ntpdig_answer():
    result = subprocess.run(["ntpdig", "-j", "-t", "1", "127.0.0.1"], capture_output=True, text=True, timeout=30)
    if result.returncode != 0:
        return None
    return json.loads(result.stdout)


def main():
    wine_run, host_exe = sys.argv[1], sys.argv[2]
    if not port_is_free(NTP_PORT):
        print("skipped: UDP port 123 is taken by another program")
        return SKIPPED
    upstream = ScriptedServer()
    upstream.start()
    workdir = tempfile.mkdtemp(prefix="tamarin-server-")
    host = subprocess.Popen([wine_run, host_exe, str(upstream.port)], cwd=workdir)
    try:
        check(wait_for(lambda: os.path.exists(os.path.join(workdir, "ready")), 60) is not None,
              "server mode listens on port 123")

        check(ntplib_answer(4) is None, "ntplib gets no answer before synchronisation")
        check(ntpdig_answer() is None, "ntpdig gets no answer before synchronisation")

        upstream.answering.set()
        first = wait_for(lambda: ntplib_answer(4), 30)
        check(first is not None, "ntplib gets an answer once the client has synchronised")
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
