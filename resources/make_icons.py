#!/usr/bin/python3
"""Draws Tamarin Time's three icons as 16-colour .ico files, each with a
32 x 32 and a 16 x 16 image. Run it again after changing the drawing:

    /usr/bin/python3 resources/make_icons.py resources

app.ico: a clock face in tamarin orange, hands at ten past ten.
online.ico: the same clock on a green disc with a white link mark below
right, the sign that it is connected to its time server.
warning.ico: the online clock with a yellow warning triangle and a black
mark in place of the link: online, but the clock has gone unchecked.
"""
import math
import struct
import sys

# The 16 colours of the classic Windows palette, as (blue, green, red).
PALETTE = [
    (0, 0, 0), (0, 0, 128), (0, 128, 0), (0, 128, 128), (128, 0, 0), (128, 0, 128), (128, 128, 0),
    (192, 192, 192), (128, 128, 128), (0, 0, 255), (0, 255, 0), (0, 255, 255), (255, 0, 0),
    (255, 0, 255), (255, 255, 0), (255, 255, 255),
]
BLACK, DARK_RED, DARK_GREEN, OLIVE, GREY, RED, GREEN, YELLOW, WHITE = 0, 1, 2, 3, 8, 9, 10, 11, 15
TRANSPARENT = None


def draw_clock(size, online):
    c = (size - 1) / 2.0
    r = size / 2.0 - 0.5
    pixels = [[TRANSPARENT] * size for _ in range(size)]
    for y in range(size):
        for x in range(size):
            d = math.hypot(x - c, y - c)
            if d <= r:
                rim = d > r - max(1.0, size / 16.0)
                face = DARK_GREEN if online else DARK_RED
                pixels[y][x] = BLACK if rim else (GREEN if online else YELLOW)
                if not rim and d > r * 0.78:
                    pixels[y][x] = face
    # Hands: hour hand to ten o'clock, minute hand to two o'clock.
    for angle, length in ((-60.0, 0.45), (60.0, 0.7)):
        a = math.radians(angle)
        for i in range(int(r * length * 4)):
            t = i / 4.0
            x, y = int(round(c + t * math.sin(a))), int(round(c - t * math.cos(a)))
            pixels[y][x] = BLACK
    if online == "warning":
        # A yellow triangle, black-rimmed, with a black "!", in the lower right
        # quarter; drawn on a 16-cell grid so that both sizes read alike.
        s = size // 16
        for y in range(size):
            for x in range(size):
                gx, gy = x // s, y // s
                reach = (gy - 7) // 2
                if gy < 7 or abs(gx - 12) > reach:
                    continue
                rim = abs(gx - 12) == reach or gy == 15
                mark = gx == 12 and (10 <= gy <= 12 or gy == 14)
                pixels[y][x] = BLACK if rim or mark else YELLOW
    elif online:
        # A white link mark, two joined rings, in the lower right quarter.
        s = size / 32.0
        for cx, cy in ((21 * s, 24 * s), (26 * s, 24 * s)):
            for y in range(size):
                for x in range(size):
                    if abs(math.hypot(x - cx, y - cy) - 3.2 * s) < 0.9 * max(s, 0.8):
                        pixels[y][x] = WHITE
    return pixels


def icon_image(pixels):
    size = len(pixels)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 4, 0, 0, 0, 0, 16, 0)
    palette = b"".join(struct.pack("<BBBB", b, g, r, 0) for b, g, r in PALETTE)
    xor_rows, and_rows = [], []
    for row in reversed(pixels):  # bottom-up
        nibbles = [0 if p is None else p for p in row]
        xor = bytes((nibbles[i] << 4) | nibbles[i + 1] for i in range(0, size, 2))
        xor_rows.append(xor + b"\0" * (-len(xor) % 4))
        bits = 0
        mask = bytearray()
        for i, p in enumerate(row):
            bits = (bits << 1) | (1 if p is None else 0)
            if i % 8 == 7:
                mask.append(bits)
                bits = 0
        and_rows.append(bytes(mask) + b"\0" * (-len(mask) % 4))
    return header + palette + b"".join(xor_rows) + b"".join(and_rows)


def write_icon(path, online):
    images = [icon_image(draw_clock(size, online)) for size in (32, 16)]
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, image in zip((32, 16), images):
        out += struct.pack("<BBBBHHII", size, size, 16, 0, 1, 4, len(image), offset)
        offset += len(image)
    with open(path, "wb") as f:
        f.write(out + b"".join(images))


if __name__ == "__main__":
    folder = sys.argv[1] if len(sys.argv) > 1 else "."
    write_icon(folder + "/app.ico", online=False)
    write_icon(folder + "/online.ico", online=True)
    write_icon(folder + "/warning.ico", online="warning")
