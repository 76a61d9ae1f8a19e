#!/usr/bin/env python3
"""Writes a CUPS raster v3 job of 4 x 6 inch, 300 dpi, 1-bit label pages to stdout.

Stream: "RaS3" (big-endian fields), then per page a 1796-byte header and
cupsHeight rows of cupsBytesPerLine bytes, uncompressed. Each page holds what a
shipping label holds: a text block, a wide barcode, a line and a noisy image
area; eight distinct pages are cycled.
"""
import random
import struct
import sys

WIDTH, HEIGHT, DPI = 1200, 1800, 300
ROW = (WIDTH + 7) // 8


def header():
    h = bytearray(1796)
    struct.pack_into(">II", h, 276, DPI, DPI)  # HWResolution
    struct.pack_into(">I", h, 340, 1)  # NumCopies
    struct.pack_into(">II", h, 352, 288, 432)  # PageSize in points
    struct.pack_into(">II", h, 372, WIDTH, HEIGHT)  # cupsWidth, cupsHeight
    struct.pack_into(">III", h, 384, 1, 1, ROW)  # bits per colour/pixel, bytes per line
    struct.pack_into(">I", h, 420, 1)  # cupsNumColors
    return bytes(h)


def page(seed):
    rng = random.Random(seed)
    white = bytes(ROW)
    rows = [white] * HEIGHT
    # Text block: lines of glyph-like bytes, 24 rows a line, 6 blank rows between.
    for line in range(8):
        top = 80 + line * 30
        glyphs = [bytes(rng.choice((0, 0x3C, 0x66, 0x7E, 0x18, 0xC3)) if 10 <= i < 110 else 0
                        for i in range(ROW)) for _ in range(4)]
        for y in range(24):
            rows[top + y] = glyphs[(y // 6) % 4]
    # Barcode: bars of 1 to 4 modules of 3 dots, identical rows.
    bars = bytearray(ROW)
    x, black = 60, True
    while x < WIDTH - 60:
        w = 3 * rng.randint(1, 4)
        if black:
            for px in range(x, min(x + w, WIDTH - 60)):
                bars[px // 8] |= 0x80 >> (px % 8)
        x += w
        black = not black
    for y in range(400, 1000):
        rows[y] = bytes(bars)
    # Rule line, then a dithered picture area.
    for y in range(1040, 1046):
        rows[y] = bytes([0] * 5 + [0xFF] * (ROW - 10) + [0] * 5)
    for y in range(1100, 1700):
        left = bytes(rng.getrandbits(8) & rng.getrandbits(8) for _ in range(ROW // 2))
        rows[y] = left + bytes(ROW - len(left))
    return b"".join(rows)


def main():
    pages = int(sys.argv[1]) if len(sys.argv) > 1 else 200
    out = sys.stdout.buffer
    out.write(b"RaS3")
    bodies = [page(seed) for seed in range(8)]
    h = header()
    for n in range(pages):
        out.write(h)
        out.write(bodies[n % len(bodies)])


if __name__ == "__main__":
    main()
