#!/usr/bin/env python3
"""Writes the raster seed corpus and regression inputs into fuzz/corpus/raster_reader/.

Each regression input is named after the fault it guards against; the
end-to-end suite runs the filter on every one of them.
"""
import os
import struct
import sys

OUT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "corpus", "raster_reader")


def header(width, height, bpc=1, bpp=1, bpl=None, version=3, big=True, res=203, space=3):
    if bpl is None:
        bpl = (width * bpp + 7) // 8
    size = 420 if version == 1 else 1796
    h = bytearray(size)
    fmt = ">I" if big else "<I"

    def put(off, v):
        if off + 4 <= size:
            h[off:off + 4] = struct.pack(fmt, v & 0xFFFFFFFF)

    put(276, res); put(280, res); put(340, 1); put(352, 288); put(356, 432)
    put(372, width); put(376, height); put(384, bpc); put(388, bpp); put(392, bpl)
    put(400, space); put(420, 1)
    return bytes(h)


def sync(version=3, big=True):
    return {(1, True): b"RaSt", (2, True): b"RaS2", (3, True): b"RaS3",
            (1, False): b"tSaR", (2, False): b"2SaR", (3, False): b"3SaR"}[(version, big)]


def bitmap_rows(width, height):
    bpl = (width + 7) // 8
    return bytes(((x * 7 + y * 3) % 5 == 0) * 0x81 for y in range(height) for x in range(bpl))


def v2_rows(bpl, height, byte=0x55):
    # Each row: repeat 0, then one run covering the whole row (bpl <= 128).
    return (bytes([0, bpl - 1, byte])) * height


def write(name, data):
    with open(os.path.join(OUT, name), "wb") as f:
        f.write(data)


def main():
    os.makedirs(OUT, exist_ok=True)
    for version in (1, 2, 3):
        for big in (True, False):
            tag = f"v{version}_{'be' if big else 'le'}"
            if version == 2:
                one = header(64, 4, version=2, big=big) + v2_rows(8, 4)
                grey = header(16, 3, 8, 8, version=2, big=big) + v2_rows(16, 3, 0x80)
            else:
                one = header(64, 4, version=version, big=big) + bitmap_rows(64, 4)
                grey = header(16, 3, 8, 8, version=version, big=big) + bytes(range(48))
            write(f"valid_{tag}_1bit", sync(version, big) + one)
            write(f"valid_{tag}_8bit", sync(version, big) + grey)
    # Regression inputs.
    write("bits_per_color_0", sync() + header(64, 2, 0, 0, bpl=8) + bytes(16))
    write("bpl_1_width_huge", sync() + header(0x00FFFFFF, 2, bpl=1) + bytes(2))
    write("height_x_bpl_overflow", sync() + header(0xFFFFFFFF, 0xFFFFFFFF, 8, 8, bpl=0xFFFFFFFF))
    write("v2_run_past_line", sync(2) + header(16, 1, version=2) + bytes([0, 5, 0xFF]))
    write("header_then_eof", sync() + header(64, 10))
    write("blank_rows", sync() + header(64, 50) + bytes(8 * 50))
    write("page2_wider_than_page1", sync() + header(64, 2) + bytes(16) + header(4096, 2) + bytes(1024))
    write("sync_only", sync())
    write("truncated_v1_header", sync(1) + header(64, 2, version=1)[:200])
    # A compressed line of 256 MiB promised, one byte sent.
    write("v2_huge_line_one_byte", sync(2) + header(256 << 20, 1, 8, 8, version=2) + bytes(1))
    return 0


if __name__ == "__main__":
    sys.exit(main())
