#!/usr/bin/env python3
"""Runs seeded mutants of valid inputs through the real binaries.

Targets (mutants are spread over them round robin):
  raster   CUPS raster streams through rastertoorn, for each printer language
  ppd      PPD files through rastertoorn with a valid raster page
  options  CUPS option strings through rastertoorn with a valid raster page
  tiff     TIFF files through `orntool convert`
  preview  printer data (the filter's own output, damaged) through `orntool preview`

Every run has a 2 GiB address-space limit (unless --no-address-limit, needed for
sanitizer builds) and a time limit. Required outcomes:
  rastertoorn: exit 0 without a "CRIT: " line, or exit 1 with exactly one;
  orntool:     exit 0, or exit 1 with exactly one line on standard error;
  never a signal, a time-out, a sanitizer report or an allocation failure.

Usage: hostile_inputs.py --rastertoorn PATH --orntool PATH [--count 5000] [--seed 1]
       [--jobs 2] [--keep DIR] [--no-address-limit] [--timeout 10]
Exit status 0 when every mutant ends as required, 1 otherwise.
"""
import argparse
import collections
import concurrent.futures
import os
import random
import resource
import shutil
import struct
import subprocess
import sys
import tempfile
import time
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)
LANGUAGES = ["ZPL", "LXPR", "KTRN8Q"]
MODEL_PPDS = {"ZPL": "orn-zpl.ppd", "LXPR": "orn-lxpr.ppd", "KTRN8Q": "orn-ktrn8q.ppd"}
SPECIAL_U32 = [0, 1, 2, 3, 4, 7, 8, 15, 16, 24, 32, 63, 64, 240, 241, 255, 256, 0x7FFF, 0xFFFF,
               0x10000, 0xFFFFFF, 0x1000000, 0x7FFFFFFF, 0x80000000, 0xFFFFFFFE, 0xFFFFFFFF]

# ---------------------------------------------------------------- raster streams

SYNC = {(1, True): b"RaSt", (2, True): b"RaS2", (3, True): b"RaS3",
        (1, False): b"tSaR", (2, False): b"2SaR", (3, False): b"3SaR"}
# Offsets of the header fields the mutations aim at.
F_RES_X, F_RES_Y, F_COPIES, F_PAGE_W, F_PAGE_H = 276, 280, 340, 352, 356
F_WIDTH, F_HEIGHT, F_BPC, F_BPP, F_BPL, F_SPACE, F_ORIENT = 372, 376, 384, 388, 392, 400, 364
HEADER_FIELDS = [F_RES_X, F_RES_Y, F_COPIES, F_PAGE_W, F_PAGE_H, F_WIDTH, F_HEIGHT, F_BPC, F_BPP,
                 F_BPL, F_SPACE, F_ORIENT, 420]


def raster_header(width, height, bpc, version, big, bpl=None, res=203, orientation=0):
    bpp = bpc
    if bpl is None:
        bpl = (width * bpp + 7) // 8
    size = 420 if version == 1 else 1796
    h = bytearray(size)
    fmt = ">I" if big else "<I"
    for off, v in [(F_RES_X, res), (F_RES_Y, res), (F_COPIES, 1), (F_PAGE_W, 288),
                   (F_PAGE_H, 432), (F_ORIENT, orientation), (F_WIDTH, width),
                   (F_HEIGHT, height), (F_BPC, bpc), (F_BPP, bpp), (F_BPL, bpl),
                   (F_SPACE, 3), (420, 1)]:
        if off + 4 <= size:
            h[off:off + 4] = struct.pack(fmt, v & 0xFFFFFFFF)
    return bytes(h)


def v2_encode(rows, pixel_bytes):
    """CUPS version 2 run-length data: a line repeat byte, then pixel runs."""
    out = bytearray()
    for row in rows:
        out.append(0)
        pixels = [row[i:i + pixel_bytes] for i in range(0, len(row), pixel_bytes)]
        i = 0
        while i < len(pixels):
            run = 1
            while i + run < len(pixels) and run < 128 and pixels[i + run] == pixels[i]:
                run += 1
            if run > 1:
                out.append(run - 1)
                out += pixels[i]
                i += run
            else:
                lit = 1
                while (i + lit < len(pixels) and lit < 128 and
                       (i + lit + 1 >= len(pixels) or pixels[i + lit] != pixels[i + lit + 1])):
                    lit += 1
                out.append(257 - lit if lit > 1 else 0)
                for p in pixels[i:i + lit]:
                    out += p
                i += lit
    return bytes(out)


def raster_page(rng, version, big, bpc, width, height):
    bpl = (width * bpc + 7) // 8
    rows = []
    for y in range(height):
        kind = rng.randrange(4)
        if kind == 0:
            rows.append(bytes(bpl))
        elif kind == 1:
            rows.append(bytes([0xFF]) * bpl)
        else:
            rows.append(bytes(rng.getrandbits(8) for _ in range(bpl)))
    head = raster_header(width, height, bpc, version, big)
    if version == 2:
        return head + v2_encode(rows, max(1, bpc // 8))
    return head + b"".join(rows)


def valid_raster(rng, pages=None):
    version = rng.choice([1, 2, 3])
    big = rng.random() < 0.5
    bpc = rng.choice([1, 8])
    out = bytearray(SYNC[(version, big)])
    for _ in range(pages or rng.choice([1, 1, 2, 3])):
        width = rng.choice([1, 7, 8, 9, 64, 203, 576, 832])
        height = rng.choice([1, 2, 5, 40, 120])
        out += raster_page(rng, version, big, bpc, width, height)
    return bytes(out), version, big


def mutate_raster(rng):
    data, version, big = valid_raster(rng)
    data = bytearray(data)
    fmt = ">I" if big else "<I"
    hsize = 420 if version == 1 else 1796
    kind = rng.choice(["field", "field", "overflow", "depth", "sync", "bytes", "truncate",
                       "extra_page", "v2_runs", "zero_size"])
    if kind == "field":
        for _ in range(rng.randint(1, 3)):
            off = 4 + rng.choice(HEADER_FIELDS)
            if off + 4 <= 4 + hsize:
                data[off:off + 4] = struct.pack(fmt, rng.choice(SPECIAL_U32))
    elif kind == "overflow":
        # height x bytes per line beyond 32 bits with a consistent width
        bpl = rng.choice([0x10000, 0x20000, 0x100000, 0xFFFFFF, 0x1000000])
        height = rng.choice([0x10000, 0x10001, 0xFFFFFF, 0xFFFFFFFF])
        data[4 + F_HEIGHT:4 + F_HEIGHT + 4] = struct.pack(fmt, height)
        data[4 + F_BPL:4 + F_BPL + 4] = struct.pack(fmt, bpl)
        bpc = struct.unpack(fmt, data[4 + F_BPC:4 + F_BPC + 4])[0]
        data[4 + F_WIDTH:4 + F_WIDTH + 4] = struct.pack(fmt, (bpl * 8 // max(bpc, 1)) & 0xFFFFFFFF)
    elif kind == "depth":
        bpc = rng.choice([0, 2, 3, 4, 5, 12, 16, 24, 32, 64])
        bpp = rng.choice([bpc, bpc * 3, bpc * 4, 1, 8, 240, 255])
        data[4 + F_BPC:4 + F_BPC + 4] = struct.pack(fmt, bpc)
        data[4 + F_BPP:4 + F_BPP + 4] = struct.pack(fmt, bpp & 0xFFFFFFFF)
        if rng.random() < 0.5:
            width = struct.unpack(fmt, data[4 + F_WIDTH:4 + F_WIDTH + 4])[0]
            data[4 + F_BPL:4 + F_BPL + 4] = struct.pack(fmt, (width * bpp + 7) // 8 & 0xFFFFFFFF)
    elif kind == "sync":
        data[0:4] = rng.choice([b"RaS4", b"RAS3", b"\0\0\0\0", b"3SaR"[::-1] + b"",
                                b"tSaR" if big else b"RaSt", b"RaS2" if version != 2 else b"RaS3",
                                bytes(rng.getrandbits(8) for _ in range(4))])
    elif kind == "bytes":
        flip_bits(rng, data, rng.randint(1, 16))
    elif kind == "truncate":
        del data[rng.randrange(len(data) + 1):]
    elif kind == "extra_page":
        width = rng.choice(SPECIAL_U32)
        height = rng.choice(SPECIAL_U32)
        bpc = rng.choice([1, 8, 16, 0])
        bpl = rng.choice([None, 0, 1, 0xFFFFFFFF])
        if bpl is None:
            bpl = (width * max(bpc, 1) + 7) // 8 & 0xFFFFFFFF
        data += raster_header(width, height, bpc, version, big, bpl=bpl)
        data += bytes(rng.getrandbits(8) for _ in range(rng.choice([0, 1, 100, 5000])))
    elif kind == "v2_runs":
        # runs and line repeats that reach past the row or the page
        start = 4 + hsize
        for _ in range(rng.randint(1, 8)):
            if start < len(data):
                data[rng.randrange(start, len(data))] = rng.choice([127, 128, 129, 255, 0xFE])
    elif kind == "zero_size":
        for off in rng.sample([F_WIDTH, F_HEIGHT, F_BPL, F_BPC, F_BPP, F_RES_X, F_RES_Y], 2):
            data[4 + off:4 + off + 4] = struct.pack(fmt, 0)
    return kind, bytes(data)


def flip_bits(rng, data, n):
    for _ in range(n):
        if not data:
            return
        op = rng.randrange(4)
        i = rng.randrange(len(data))
        if op == 0:
            data[i] ^= 1 << rng.randrange(8)
        elif op == 1:
            data[i] = rng.getrandbits(8)
        elif op == 2:
            data[i:i] = bytes(rng.getrandbits(8) for _ in range(rng.randint(1, 8)))
        else:
            del data[i:i + rng.randint(1, 8)]


# ---------------------------------------------------------------- PPD files

def read_model(language):
    with open(os.path.join(ROOT, "models", MODEL_PPDS[language]), "rb") as f:
        return f.read()


BAD_VALUES = [b'"unterminated', b'"<1B 4', b'"<1G>"', b'"<', b'"abc\\"', b'"\\q"', b'"\\x"',
              b'"\\xZZ"', b'"\\', b'"a\nb\nc', b'"<' + b"41" * 5000 + b'"', b'""', b'"\\\\\\"',
              b'"\x00\x01\xff"', b'"%p%%%"', b'"\xc3"', b"^", b'"' + b"\\x1" * 100 + b'"']
BAD_KEYWORDS = [b"ORNPreJobInsertion Text", b"ORNPostLabelInsertion Text",
                b"ORNPreLabelInsertion File", b"ORNBarcodePrinterLanguage", b"DefaultPrintSpeed",
                b"ParamCustomLabelGap Value", b"OpenUI *Duplex/Duplex", b"Default" + b"K" * 41,
                b"ORNInsertionDateFormat", b"ORNInsertionTimeFormat", b"DefaultImageDarkness",
                b"CustomPageSize True", b"ParamCustomPageSize Width"]


def mutate_ppd(rng):
    language = rng.choice(LANGUAGES)
    lines = read_model(language).split(b"\n")
    kind = rng.choice(["long_line", "unterminated_quote", "hex", "escape", "bytes", "truncate",
                       "statement", "nul", "multiline", "range"])
    if kind == "long_line":
        n = rng.choice([254, 255, 256, 1000, 70000, 300000])
        i = rng.randrange(len(lines))
        lines.insert(i, rng.choice([b"*", b"*Default", b"*ORNX ", b""]) +
                     bytes(rng.choice(b"A \"<>:/\\") for _ in range(n)))
    elif kind == "unterminated_quote":
        candidates = [i for i, l in enumerate(lines) if l.count(b'"') >= 2]
        i = rng.choice(candidates)
        lines[i] = lines[i][:lines[i].rindex(b'"')]
    elif kind == "hex":
        lines.append(b"*ORNPreJobInsertion Text: " +
                     rng.choice([b'"<1B4', b'"<1B 4>"', b'"<ZZ>"', b'"<' + b"0" * 99999,
                                 b'"<>"', b'"<<>>"', b'"<1B>']))
    elif kind == "escape":
        lines.append(rng.choice(BAD_KEYWORDS[:3]) + b": " + rng.choice(BAD_VALUES))
    elif kind == "bytes":
        data = bytearray(b"\n".join(lines))
        flip_bits(rng, data, rng.randint(1, 20))
        lines = bytes(data).split(b"\n")
    elif kind == "truncate":
        data = b"\n".join(lines)
        lines = data[:rng.randrange(len(data) + 1)].split(b"\n")
    elif kind == "statement":
        for _ in range(rng.randint(1, 4)):
            lines.insert(rng.randrange(len(lines) + 1),
                         b"*" + rng.choice(BAD_KEYWORDS) + b": " + rng.choice(BAD_VALUES))
    elif kind == "nul":
        i = rng.randrange(len(lines))
        lines[i] = b"\0" + lines[i]
    elif kind == "multiline":
        lines.append(b'*ORNPreJobInsertion Text: "' + b"\n".join(
            bytes(rng.choice(b"abc ") for _ in range(rng.choice([10, 250, 5000])))
            for _ in range(rng.choice([2, 50, 2000]))) + rng.choice([b'"', b""]))
    elif kind == "range":
        lines.append(b"*ParamCustom" + rng.choice([b"LabelGap", b"PageSize", b"PrintSpeed"]) +
                     b" " + rng.choice([b"Value", b"Width", b"Height"]) + b": 1 " +
                     rng.choice([b"points", b"real", b"int", b"invalid"]) + b" " +
                     rng.choice([b"1e400", b"-1e400", b"nan", b"0", b"-5", b"99999999999"]) + b" " +
                     rng.choice([b"inf", b"1e308", b"-1", b"2147483648", b"x"]))
    raster, _, _ = valid_raster(rng, pages=rng.choice([1, 2]))
    return kind, b"\n".join(lines), raster, language


# ---------------------------------------------------------------- option strings

OPTION_NAMES = ["PrintSpeed", "Darkness", "LabelGap", "CutInterval", "CuttingMode", "Duplex",
                "DocumentType", "ImageDarkness", "Compression", "PrintMethod", "Sensor",
                "StripLabel", "PrintOnBackOnly", "CommandCharacters", "PageSize", "Title",
                "PrinterLanguage", "CutModule", "FeedAdjustment", "Copies", "JobID", "Resolution"]
OPTION_VALUES = ["", "0", "-1", "2147483647", "2147483648", "-2147483649", "99999999999999999999",
                 "1e400", "-1e400", "nan", "inf", "0x10", "Custom.", "Custom.5", "Custom.1e99",
                 "Custom.-3.5", "Custom.nan", "Custom.abc", "True", "False", "EveryPage",
                 "DuplexTumble", "Graphics", "Darkest", "SKARN", "ZPL", "LXPR", "KTRN8Q", "Bogus",
                 "Custom.100x200mm", "w288h432", "\\", "\\\\", "'", "\"", "{a=b}", "%", "%%"]


def mutate_options(rng):
    language = rng.choice(LANGUAGES)
    kind = rng.choice(["pairs", "pairs", "escapes", "long", "bytes", "utf8", "many"])
    tokens = []
    for _ in range(rng.randint(1, 8)):
        name = rng.choice(OPTION_NAMES)
        if rng.random() < 0.2:
            tokens.append(rng.choice(["no" + name, name, ""]))
        else:
            tokens.append(name + "=" + rng.choice(OPTION_VALUES))
    text = rng.choice([" ", "  ", "\t"]).join(tokens)
    if kind == "escapes":
        text += rng.choice(["\\", " a=\\", " Title=\"unterminated", " Title='x", " a=\\\\\\",
                            " x={", " \\ \\ \\", " =", " ==", "=x"])
    elif kind == "long":
        text += " Title=" + "x" * rng.choice([1000, 30000, 120000])
    elif kind == "bytes":
        raw = bytearray(text.encode())
        flip_bits(rng, raw, rng.randint(1, 10))
        text = raw.replace(b"\0", b"").decode("latin-1")
    elif kind == "utf8":
        text += " Title=" + rng.choice(["\xc3", "\xe2\x82", "\xf0\x9f\x98", "\xff\xfe", "\xc3("])
    elif kind == "many":
        text = " ".join("o%d=%d" % (i, i) for i in range(rng.choice([1000, 8000])))
    # one argument may hold at most 128 KiB
    raster, _, _ = valid_raster(rng, pages=1)
    return kind, text, raster, language


# ---------------------------------------------------------------- TIFF files

def tiff_file(width, height, bits, samples, strip_rows, data, compression=1, predictor=None,
              big=False):
    """A single-image TIFF with uncompressed or zlib-compressed strips."""
    e = ">" if big else "<"
    row_bytes = (width * bits * samples + 7) // 8
    strips = []
    for y in range(0, height, strip_rows):
        raw = data[y * row_bytes:min(height, y + strip_rows) * row_bytes]
        strips.append(zlib.compress(raw) if compression == 8 else raw)
    body = bytearray(b"MM\0*" if big else b"II*\0") + b"\0\0\0\0"
    offsets = []
    for s in strips:
        offsets.append(len(body))
        body += s
        if len(body) % 2:
            body += b"\0"
    # out-of-line arrays
    def array(values, fmt):
        nonlocal body
        off = len(body)
        for v in values:
            body += struct.pack(e + fmt, v)
        return off
    bps_off = array([bits] * samples, "H") if samples > 1 else None
    off_off = array(offsets, "I") if len(strips) > 1 else None
    cnt_off = array([len(s) for s in strips], "I") if len(strips) > 1 else None
    res_off = array([72, 1], "I")
    photometric = 2 if samples == 3 else 1
    entries = [(256, 4, 1, width), (257, 4, 1, height),
               (258, 3, samples, bps_off if bps_off is not None else bits),
               (259, 3, 1, compression), (262, 3, 1, photometric),
               (273, 4, len(strips), off_off if off_off is not None else offsets[0]),
               (277, 3, 1, samples), (278, 4, 1, strip_rows),
               (279, 4, len(strips), cnt_off if cnt_off is not None else len(strips[0])),
               (282, 5, 1, res_off), (283, 5, 1, res_off), (296, 3, 1, 2)]
    if predictor:
        entries.append((317, 3, 1, predictor))
    entries.sort()
    ifd = len(body)
    body[4:8] = struct.pack(e + "I", ifd)
    body += struct.pack(e + "H", len(entries))
    for tag, typ, count, value in entries:
        body += struct.pack(e + "HHI", tag, typ, count)
        if typ == 3 and count == 1:
            body += struct.pack(e + "HH", value, 0)
        else:
            body += struct.pack(e + "I", value)
    body += b"\0\0\0\0"
    return bytes(body)


def tiff_bases(work):
    bases = []
    rng = random.Random(7)
    for width, height, bits, samples in [(17, 9, 8, 1), (64, 20, 1, 1), (10, 6, 8, 3),
                                         (9, 5, 16, 1), (33, 12, 4, 1)]:
        row = (width * bits * samples + 7) // 8
        data = bytes(rng.getrandbits(8) for _ in range(row * height))
        for compression in (1, 8):
            for strip_rows in (1, 4, height):
                bases.append(tiff_file(width, height, bits, samples, strip_rows, data,
                                       compression, big=(strip_rows == 4)))
    corpus = os.path.join(HERE, "corpus", "tiff_read")
    for name in sorted(os.listdir(corpus)) if os.path.isdir(corpus) else []:
        if name.startswith(("libtiff_", "seed_")):
            with open(os.path.join(corpus, name), "rb") as f:
                bases.append(f.read())
    # More libtiff-written strips (LZW, Deflate, predictor, JPEG) when tiffcp is at hand.
    tiffcp = shutil.which("tiffcp")
    if tiffcp:
        plain = os.path.join(work, "plain.tif")
        with open(plain, "wb") as f:
            data = bytes(rng.getrandbits(8) for _ in range(40 * 30))
            f.write(tiff_file(40, 30, 8, 1, 30, data))
        for args in (["-c", "lzw"], ["-c", "lzw:2", "-r", "7"], ["-c", "zip:2"],
                     ["-c", "zip", "-r", "3"], ["-c", "jpeg", "-r", "16"]):
            out = os.path.join(work, "cp.tif")
            if subprocess.run([tiffcp] + args + [plain, out], capture_output=True).returncode == 0:
                with open(out, "rb") as f:
                    bases.append(f.read())
    return bases


def tiff_entries(data):
    """(offset of the entry, tag, type, count, value offset) of the first IFD, or []."""
    if len(data) < 8 or data[:2] not in (b"II", b"MM"):
        return [], "<"
    e = "<" if data[:2] == b"II" else ">"
    ifd = struct.unpack(e + "I", data[4:8])[0]
    if ifd + 2 > len(data):
        return [], e
    n = struct.unpack(e + "H", data[ifd:ifd + 2])[0]
    out = []
    for i in range(n):
        p = ifd + 2 + 12 * i
        if p + 12 > len(data):
            break
        tag, typ, count = struct.unpack(e + "HHI", data[p:p + 8])
        out.append((p, tag, typ, count))
    return out, e


def mutate_tiff(rng, bases):
    data = bytearray(rng.choice(bases))
    entries, e = tiff_entries(data)
    kind = rng.choice(["tag", "tag", "tag", "strip_data", "bytes", "truncate", "ifd", "count"])
    if kind == "tag" and entries:
        p, tag, typ, count = rng.choice(entries)
        value = rng.choice(SPECIAL_U32 + [len(data), len(data) - 1, len(data) + 1])
        if rng.random() < 0.3:
            # favour the fields whose faults others have shipped
            wanted = {256: SPECIAL_U32, 257: SPECIAL_U32, 258: [0, 1, 3, 5, 12, 16, 32, 64],
                      259: [1, 2, 5, 6, 7, 8, 32773, 32946, 0, 65535],
                      273: [len(data), 0xFFFFFFFF, 0], 277: [0, 2, 3, 4, 100],
                      278: [0, 1, 0xFFFFFFFF], 279: [0, 1, 0xFFFFFFFF, len(data)],
                      317: [0, 1, 2, 3, 4, 99], 262: [0, 1, 2, 3, 5, 99]}
            choices = [x for x in entries if x[1] in wanted]
            if choices:
                p, tag, typ, count = rng.choice(choices)
                value = rng.choice(wanted[tag])
        if typ == 3 and count == 1:
            data[p + 8:p + 10] = struct.pack(e + "H", value & 0xFFFF)
        else:
            data[p + 8:p + 12] = struct.pack(e + "I", value & 0xFFFFFFFF)
    elif kind == "count" and entries:
        p, tag, typ, count = rng.choice(entries)
        data[p + 4:p + 8] = struct.pack(e + "I", rng.choice(SPECIAL_U32))
    elif kind == "strip_data":
        # damage the compressed strips (they sit before the IFD in these files)
        end = struct.unpack(e + "I", data[4:8])[0] if len(data) >= 8 else len(data)
        end = min(max(end, 9), len(data))
        for _ in range(rng.randint(1, 6)):
            i = rng.randrange(8, end) if end > 8 else 0
            data[i] ^= 1 << rng.randrange(8)
    elif kind == "ifd":
        data[4:8] = struct.pack(e + "I", rng.choice([0, 1, 8, len(data), 0xFFFFFFFF, 4]))
    elif kind == "bytes":
        flip_bits(rng, data, rng.randint(1, 12))
    elif kind == "truncate":
        del data[rng.randrange(len(data) + 1):]
    if kind in ("tag", "count") and not entries:
        flip_bits(rng, data, 4)
    return kind, bytes(data)


# ---------------------------------------------------------------- printer data

def printer_data_bases(args, work):
    """Real filter output for a few jobs in each language."""
    bases = []
    rng = random.Random(11)
    settings = {"ZPL": ["", "DocumentType=Graphics"],
                "LXPR": ["Compression=SKARN", "Compression=None", "CuttingMode=EveryPage"],
                "KTRN8Q": ["", "Duplex=DuplexTumble CuttingMode=EveryPage"]}
    for language in LANGUAGES:
        ppd = os.path.join(work, "model-%s.ppd" % language)
        with open(ppd, "wb") as f:
            f.write(read_model(language))
        for options in settings[language]:
            for pages in (1, 2):
                raster, _, _ = valid_raster(rng, pages=pages)
                result = subprocess.run([args.rastertoorn, "1", "u", "t", "1", options],
                                        input=raster, capture_output=True,
                                        env=dict(os.environ, PPD=ppd), timeout=30)
                if result.returncode == 0 and result.stdout:
                    bases.append((language, result.stdout))
    return bases


def mutate_printer_data(rng, bases):
    language, data = rng.choice(bases)
    data = bytearray(data)
    kind = rng.choice(["bytes", "truncate", "numbers", "numbers", "splice"])
    if kind == "bytes":
        flip_bits(rng, data, rng.randint(1, 16))
    elif kind == "truncate":
        del data[rng.randrange(len(data) + 1):]
    elif kind == "numbers":
        # replace decimal fields (sizes, positions, counts) with extreme ones
        spans = []
        i = 0
        while i < len(data) and len(spans) < 2000:
            if 48 <= data[i] <= 57:
                j = i
                while j < len(data) and 48 <= data[j] <= 57:
                    j += 1
                spans.append((i, j))
                i = j
            else:
                i += 1
        for _ in range(rng.randint(1, 3)):
            if spans:
                a, b = rng.choice(spans)
                new = rng.choice([b"0", b"00000", b"99999", b"4294967296", b"2147483647",
                                  b"18446744073709551617", b"-1", b"1" + b"0" * 40])
                data[a:b] = new
                spans = [(x, y) for x, y in spans if y <= a]
        if not spans:
            flip_bits(rng, data, 4)
    elif kind == "splice":
        a = rng.randrange(len(data))
        b = rng.randrange(len(data))
        data[a:a] = data[b:b + rng.randint(1, 400)]
    return kind, language, bytes(data)


# ---------------------------------------------------------------- running

def limit_resources(address_limit):
    def apply():
        if address_limit:
            two_gib = 2 << 30
            resource.setrlimit(resource.RLIMIT_AS, (two_gib, two_gib))
        resource.setrlimit(resource.RLIMIT_CORE, (0, 0))
    return apply


def classify(result, tool):
    """'ok', 'failed' (a clean failure) or a violation name."""
    if result is None:
        return "hang", ""
    rc, err = result
    text = err.decode("latin-1")
    if rc < 0:
        return "signal %d" % -rc, text
    if "Sanitizer" in text or "runtime error:" in text:
        return "sanitizer", text
    if "bad_alloc" in text or "memory exhausted" in text:
        return "memory", text
    lines = [l for l in text.split("\n") if l]
    if tool == "rastertoorn":
        crit = [l for l in lines if l.startswith("CRIT: ")]
        if rc == 0:
            return ("ok", "") if not crit else ("crit on success", text)
        if rc == 1 and len(crit) == 1:
            return "failed", crit[0][len("CRIT: "):]
        return "exit %d with %d CRIT lines" % (rc, len(crit)), text
    if rc == 0:
        return "ok", ""
    if rc == 1 and len(lines) == 1:
        return "failed", lines[0]
    return "exit %d with %d error lines" % (rc, len(lines)), text


def run(cmd, stdin_bytes, env, timeout, address_limit, cwd=None):
    try:
        p = subprocess.run(cmd, input=stdin_bytes, stdout=subprocess.DEVNULL,
                           stderr=subprocess.PIPE, env=env, timeout=timeout, cwd=cwd,
                           preexec_fn=limit_resources(address_limit))
        return p.returncode, p.stderr
    except subprocess.TimeoutExpired:
        return None


def make_case(index, args, tiffs, printer_data):
    rng = random.Random("%d-%d" % (args.seed, index))
    target = ["raster", "ppd", "options", "tiff", "preview"][index % 5]
    if target == "raster":
        kind, raster = mutate_raster(rng)
        language = LANGUAGES[(index // 5) % 3]
        return dict(target=target, kind=kind, language=language, raster=raster,
                    ppd=read_model(language), options="", stdin=rng.random() < 0.5)
    if target == "ppd":
        kind, ppd, raster, language = mutate_ppd(rng)
        return dict(target=target, kind=kind, language=language, raster=raster, ppd=ppd,
                    options="", stdin=False)
    if target == "options":
        kind, options, raster, language = mutate_options(rng)
        return dict(target=target, kind=kind, language=language, raster=raster,
                    ppd=read_model(language), options=options, stdin=False)
    if target == "tiff":
        kind, tiff = mutate_tiff(rng, tiffs)
        return dict(target=target, kind=kind, tiff=tiff,
                    compression=rng.choice([None, "lzw", "deflate"]))
    kind, language, data = mutate_printer_data(rng, printer_data)
    return dict(target=target, kind=kind, language=language, data=data,
                dpi=rng.choice([100, 203, 300, 600]))


def execute(case, args, work, index):
    folder = os.path.join(work, "case%d" % index)
    os.makedirs(folder)
    try:
        env = dict(os.environ)
        if case["target"] in ("raster", "ppd", "options"):
            ppd = os.path.join(folder, "job.ppd")
            with open(ppd, "wb") as f:
                f.write(case["ppd"])
            env["PPD"] = ppd
            cmd = [args.rastertoorn, str(index), "fuzz", "hostile", "1",
                   case["options"].encode("latin-1")]
            stdin = case["raster"]
            if not case["stdin"]:
                path = os.path.join(folder, "job.ras")
                with open(path, "wb") as f:
                    f.write(case["raster"])
                cmd.append(path)
                stdin = b""
            return classify(run(cmd, stdin, env, args.timeout, args.address_limit, folder),
                            "rastertoorn")
        if case["target"] == "tiff":
            src = os.path.join(folder, "in.tif")
            with open(src, "wb") as f:
                f.write(case["tiff"])
            cmd = [args.orntool, "convert", src, os.path.join(folder, "out.tif")]
            if case["compression"]:
                cmd += ["--compression", case["compression"]]
            return classify(run(cmd, b"", env, args.timeout, args.address_limit, folder),
                            "orntool")
        src = os.path.join(folder, "job.prn")
        with open(src, "wb") as f:
            f.write(case["data"])
        cmd = [args.orntool, "preview", "--language", case["language"].lower(), "--dpi",
               str(case["dpi"]), src, os.path.join(folder, "out")]
        return classify(run(cmd, b"", env, args.timeout, args.address_limit, folder), "orntool")
    finally:
        shutil.rmtree(folder, ignore_errors=True)


def make_and_execute(index, args, work, tiffs, printer_data):
    """Makes mutant number index and runs it; the mutant's payload is dropped after
    the run unless it must be kept."""
    case = make_case(index, args, tiffs, printer_data)
    result = execute(case, args, work, index)
    if result[0] in ("ok", "failed"):
        for key in ("raster", "ppd", "tiff", "data", "options"):
            case.pop(key, None)
    return case, result


def keep_case(case, keep, index, outcome, detail):
    os.makedirs(keep, exist_ok=True)
    stem = os.path.join(keep, "%s-%d" % (case["target"], index))
    payload = case.get("raster") or case.get("tiff") or case.get("data") or b""
    with open(stem + ".input", "wb") as f:
        f.write(payload)
    if "ppd" in case:
        with open(stem + ".ppd", "wb") as f:
            f.write(case["ppd"])
    with open(stem + ".txt", "w") as f:
        f.write("outcome: %s\nkind: %s\nlanguage: %s\noptions: %r\n\n%s\n" % (
            outcome, case["kind"], case.get("language"), case.get("options"), detail[-4000:]))


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--rastertoorn", required=True)
    parser.add_argument("--orntool", required=True)
    parser.add_argument("--count", type=int, default=5000)
    parser.add_argument("--seed", type=int, default=1)
    parser.add_argument("--jobs", type=int, default=2)
    parser.add_argument("--timeout", type=float, default=10.0)
    parser.add_argument("--keep", help="folder for the inputs of violating mutants")
    parser.add_argument("--no-address-limit", dest="address_limit", action="store_false",
                        help="skip the 2 GiB limit (sanitizer builds reserve more)")
    parser.add_argument("--verbose", action="store_true")
    args = parser.parse_args()
    args.rastertoorn = os.path.abspath(args.rastertoorn)
    args.orntool = os.path.abspath(args.orntool)

    start = time.time()
    work = tempfile.mkdtemp(prefix="hostile-")
    try:
        # Run copies, so that a rebuild during the run cannot swap the binaries.
        for name in ("rastertoorn", "orntool"):
            copy = os.path.join(work, name)
            shutil.copy2(getattr(args, name), copy)
            setattr(args, name, copy)
        tiffs = tiff_bases(work)
        printer_data = printer_data_bases(args, work)
        if len(printer_data) < len(LANGUAGES):
            print("could not make printer data with %s" % args.rastertoorn)
            return 1
        outcomes = collections.defaultdict(collections.Counter)
        kinds = collections.defaultdict(collections.Counter)
        messages = collections.Counter()
        violations = []
        with concurrent.futures.ThreadPoolExecutor(max_workers=args.jobs) as pool:
            futures = {pool.submit(make_and_execute, i, args, work, tiffs, printer_data): i
                       for i in range(args.count)}
            done = 0
            for future in concurrent.futures.as_completed(futures):
                i = futures[future]
                case, (outcome, detail) = future.result()
                done += 1
                if done % 1000 == 0:
                    print("%d of %d mutants run, %.0f s" % (done, args.count, time.time() - start),
                          flush=True)
                target = case["target"]
                if target in ("raster", "preview"):
                    target += "/" + case["language"]
                outcomes[target][outcome] += 1
                kinds[case["target"]][(case["kind"], outcome)] += 1
                if outcome == "failed":
                    messages[detail] += 1
                elif outcome != "ok":
                    violations.append((i, outcome))
                    if args.keep:
                        keep_case(case, args.keep, i, outcome, detail)
                    sys.stdout.flush()
                    print("VIOLATION case %d (%s, %s): %s\n%s" % (
                        i, case["target"], case["kind"], outcome, detail[-2000:]))
        elapsed = time.time() - start
        print("%d mutants (seed %d) in %.1f s; %d base TIFFs, %d printer-data bases" % (
            args.count, args.seed, elapsed, len(tiffs), len(printer_data)))
        print("%-16s %7s %7s %7s  %s" % ("target", "total", "ok", "failed", "violations"))
        for target in sorted(outcomes):
            c = outcomes[target]
            bad = {k: v for k, v in c.items() if k not in ("ok", "failed")}
            print("%-16s %7d %7d %7d  %s" % (target, sum(c.values()), c["ok"], c["failed"],
                                             bad or "none"))
        if args.verbose:
            print("\nby mutation:")
            for target in sorted(kinds):
                for (kind, outcome), n in sorted(kinds[target].items()):
                    print("  %-8s %-20s %-10s %d" % (target, kind, outcome, n))
            print("\nfailure messages:")
            for message, n in messages.most_common(40):
                print("  %5d  %s" % (n, message[:150]))
        print("%d violations" % len(violations))
        return 1 if violations else 0
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
