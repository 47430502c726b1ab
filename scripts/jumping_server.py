#!/usr/bin/python3
"""An SNTP server on ADDRESS:123 whose clock misbehaves to a script, so that
the history window shows every kind of reply: a slow drift, a step the
client corrects, hour-long jumps it cannot set, replies held back too long.

    jumping_server.py ADDRESS
"""
import math
import random
import socket
import struct
import sys
import time

NTP_EPOCH_OFFSET = 2208988800
PERIOD = 150  # requests a script's round takes
STEP = 0.4    # above the client's 200 ms tolerance: it corrects
HOUR = 3600.0  # a step that history_demo's clock refuses
LATE = 0.7    # above the client's 600 ms delay limit
STEP_AT = 75

# By request number within a round: (extra offset in seconds, seconds held back).
EVENTS = {
    30: (0.0, LATE),
    45: (HOUR, 0.0),
    STEP_AT: (STEP, 0.0),
    90: (0.0, LATE),
    110: (-HOUR, 0.0),
    135: (0.0, LATE),
}


def drift(n):
    """Within +-150 ms, and near 0 where the step comes, so that once the
    client has stepped its clock the offset starts again from there."""
    return 0.12 * math.sin(2 * math.pi * (n - STEP_AT) / PERIOD)


def ntp_time(t):
    t += NTP_EPOCH_OFFSET
    return (int(t) << 32) | int((t % 1) * 2**32)


def reply(request, received, offset):
    """A mode 4 reply from a stratum 1 server whose clock reads `offset`
    seconds ahead, answered in no time: T3 = T2. The request's transmit
    timestamp comes back as the originate timestamp."""
    version = (request[0] >> 3) & 7
    head = struct.pack("!BBBbII4s", (version << 3) | 4, 1, 6, -20, 0, 0, b"JUMP")
    arrival = struct.pack("!Q", ntp_time(received + offset))
    reference = struct.pack("!Q", ntp_time(received + offset - 1))
    return head + reference + request[40:48] + arrival + arrival


def serve(address):
    sock = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    sock.bind((address, 123))
    noise = random.Random(1)
    n = 0
    while True:
        request, peer = sock.recvfrom(1500)
        received = time.time()
        if len(request) < 48 or request[0] & 7 != 3:
            continue
        extra, late = EVENTS.get(n % PERIOD, (0.0, 0.0))
        offset = drift(n) + extra + noise.gauss(0, 0.001)
        time.sleep(late)
        sock.sendto(reply(request, received, offset), peer)
        n += 1


if __name__ == "__main__":
    if len(sys.argv) != 2:
        sys.exit("usage: jumping_server.py ADDRESS")
    serve(sys.argv[1])
