#!/usr/bin/python3
"""Writes the fuzz targets' seed corpus: valid client requests and server
replies, plain (48 bytes) and with an authenticator (68 bytes), and a short
history of records.

    make_seeds.py DIR
"""
import os
import struct
import sys
import zlib

NTP_2026 = 0xED000000  # seconds of an NTP timestamp in 2026


def timestamp(seconds, fraction=0):
    return struct.pack("!II", seconds, fraction)


def message(li_vn_mode, stratum, t1, t2, t3, reference_id=0x4C4F434C):
    head = struct.pack("!BBBbIII", li_vn_mode, stratum, 6, -20, 0x100, 0x200, reference_id)
    return head + timestamp(NTP_2026 - 64) + t1 + t2 + t3


def journal_record(kind, outcome, uptime, seconds, offset):
    """A history record: "TH", kind, outcome, uptime, time, offset, loop delay, zlib's CRC-32."""
    body = b"TH" + struct.pack("<BBIQqQ", kind, outcome, uptime, seconds << 32, offset, 1 << 26)
    return body + struct.pack("<I", zlib.crc32(body))


def main():
    zero = bytes(8)
    request_v4 = bytes([0x23]) + bytes(39) + timestamp(NTP_2026, 0x80000000)
    request_v3 = bytes([0x1B]) + bytes(39) + timestamp(NTP_2026, 0x12345678)
    reply = message(0x24, 1, timestamp(NTP_2026), timestamp(NTP_2026, 0xC0000000), timestamp(NTP_2026, 0xE0000000))
    slow_reply = message(0x1C, 2, timestamp(NTP_2026), timestamp(NTP_2026 + 3), timestamp(NTP_2026 + 3, 1))
    alarm = message(0xE4, 0, zero, zero, zero, 0x52415445)  # "RATE"
    authenticator = struct.pack("!I", 7) + bytes(range(16))
    seeds = {
        "request_v4": request_v4, "request_v3": request_v3, "request_auth": request_v4 + authenticator,
        "reply": reply, "reply_v3_slow": slow_reply, "reply_auth": reply + authenticator, "alarm": alarm,
    }
    # The evaluation target reads T4 and its two thresholds ahead of the
    # reply, the server target the arrival and reference times, the root
    # delay and dispersion and the precision.
    limits = timestamp(NTP_2026, 0x20000000) + struct.pack("!QQ", 0x40000000, 0x1999999)
    times = timestamp(NTP_2026, 0x20000000) + timestamp(NTP_2026 - 64) + struct.pack("!QQb", 0x4000000, 0x8000000, -23)
    # The journal target reads a history: a start, a reply that set the
    # clock, a stray byte, a wake and a reply that found it right.
    history = (journal_record(2, 0, 60, NTP_2026, 0) + journal_record(1, 1, 62, NTP_2026 + 2, 3 << 31) + b"T"
               + journal_record(5, 0, 7200, NTP_2026 + 7200, 0) + journal_record(1, 0, 7210, NTP_2026 + 7210, -(1 << 28)))
    folder = os.path.join(sys.argv[1], "journal")
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, "history"), "wb") as f:
        f.write(history)
    for target in ("packet", "server_reply", "evaluate"):
        folder = os.path.join(sys.argv[1], target)
        os.makedirs(folder, exist_ok=True)
        for name, data in seeds.items():
            with open(os.path.join(folder, name), "wb") as f:
                f.write({"packet": b"", "evaluate": limits, "server_reply": times}[target] + data)


if __name__ == "__main__":
    main()
