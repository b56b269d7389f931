#!/usr/bin/env python3
"""Writes res/quarl7term.ico: one 32x32, 16-colour image (a measuring screen with a trace)."""
import struct
import sys

# Standard 16-colour palette (B, G, R, 0).
PALETTE = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0), (0, 0, 128), (128, 0, 128),
    (0, 128, 128), (192, 192, 192), (128, 128, 128), (255, 0, 0), (0, 255, 0),
    (255, 255, 0), (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]
BLACK, DARK_GREY, LIGHT_GREY, WHITE = 0, 8, 7, 15
DARK_BLUE, GREEN, YELLOW = 4, 10, 11  # indices into PALETTE (RGB order)


def pixels():
    size = 32
    img = [[None] * size for _ in range(size)]  # None: transparent
    for y in range(2, 30):
        for x in range(1, 31):
            edge = y in (2, 29) or x in (1, 30)
            img[y][x] = BLACK if edge else LIGHT_GREY
    for y in range(5, 22):
        for x in range(4, 28):
            img[y][x] = BLACK if y in (5, 21) or x in (4, 27) else DARK_BLUE
    # A step response traced across the screen.
    trace = [18] * 6 + [17, 15, 12, 9, 8, 8, 9, 10, 10, 9, 9, 9, 9, 9, 9, 9]
    for i, ty in enumerate(trace):
        x = 5 + i
        if x < 27:
            img[ty][x] = GREEN
            if i and abs(trace[i - 1] - ty) > 1:
                lo, hi = sorted((trace[i - 1], ty))
                for yy in range(lo, hi):
                    img[yy][x] = GREEN
    # Two knobs and a status lamp below the screen.
    for cx in (8, 14):
        for y in range(24, 27):
            for x in range(cx - 1, cx + 2):
                img[y][x] = DARK_GREY
    for y in range(24, 27):
        for x in range(22, 26):
            img[y][x] = YELLOW
    return img


def ico_bytes():
    img = pixels()
    header = struct.pack("<IiiHHIIiiII", 40, 32, 64, 1, 4, 0, 0, 0, 0, 16, 0)
    palette = b"".join(struct.pack("BBBB", b, g, r, 0) for (r, g, b) in PALETTE)
    xor_rows, and_rows = [], []
    for y in reversed(range(32)):  # bottom-up rows
        row = img[y]
        nibbles = [(c if c is not None else 0) for c in row]
        xor_rows.append(bytes((nibbles[i] << 4) | nibbles[i + 1] for i in range(0, 32, 2)))
        mask = 0
        for x, c in enumerate(row):
            if c is None:
                mask |= 1 << (31 - x)
        and_rows.append(struct.pack(">I", mask))
    image = header + palette + b"".join(xor_rows) + b"".join(and_rows)
    directory = struct.pack("<HHH", 0, 1, 1)
    entry = struct.pack("<BBBBHHII", 32, 32, 16, 0, 1, 4, len(image), 6 + 16)
    return directory + entry + image


if __name__ == "__main__":
    out = sys.argv[1] if len(sys.argv) > 1 else "res/quarl7term.ico"
    with open(out, "wb") as f:
        f.write(ico_bytes())
