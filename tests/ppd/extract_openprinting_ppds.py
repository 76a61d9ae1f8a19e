#!/usr/bin/env python3
"""Writes a deterministic sample of the PPD files packed into Debian's
openprinting-ppds driver archive (a pyppd script) into a directory.

usage: extract_openprinting_ppds.py ARCHIVE_SCRIPT OUT_DIR STEP
Every STEP-th PPD (in name order) is written as OUT_DIR/<index>.ppd."""
import lzma
import os
import sys


def main():
    script, out_dir, step = sys.argv[1], sys.argv[2], int(sys.argv[3])
    namespace = {"__name__": "pyppd_archive"}
    with open(script) as f:
        exec(compile(f.read(), script, "exec"), namespace)
    ppds = namespace["load"]()
    archive = namespace["base64"].b64decode(ppds.pop("ARCHIVE").encode("ASCII"))
    names = sorted(ppds)[::step]
    wanted = sorted((ppds[name][0], ppds[name][1], index) for index, name in enumerate(names))
    os.makedirs(out_dir, exist_ok=True)
    decompressor = lzma.LZMADecompressor()
    buffer = bytearray()
    buffer_start = 0  # archive offset of buffer[0]
    data = archive
    for start, length, index in wanted:
        while buffer_start + len(buffer) < start + length:
            chunk = decompressor.decompress(data, 8 << 20)
            data = b""
            if not chunk:
                break
            buffer.extend(chunk)
        drop = start - buffer_start
        if drop > 0:
            del buffer[:drop]
            buffer_start = start
        with open(os.path.join(out_dir, "%05d.ppd" % index), "wb") as out:
            out.write(buffer[start - buffer_start:start - buffer_start + length])
    print(len(wanted))


if __name__ == "__main__":
    main()
