#!/usr/bin/env python3
"""usage: extract_openprinting_ppds.py ARCHIVE_SCRIPT OUT_DIR STEP

Writes every STEP-th PPD (in name order) of Debian's openprinting-ppds driver
archive (a pyppd script) as OUT_DIR/<index>.ppd."""
import lzma
import os
import sys

script, out_dir, step = sys.argv[1], sys.argv[2], int(sys.argv[3])
namespace = {"__name__": "pyppd_archive"}
with open(script) as f:
    exec(compile(f.read(), script, "exec"), namespace)
ppds = namespace["load"]()
archive = namespace["base64"].b64decode(ppds.pop("ARCHIVE").encode("ASCII"))
wanted = sorted((ppds[name][0], ppds[name][1], index)
                for index, name in enumerate(sorted(ppds)[::step]))
os.makedirs(out_dir, exist_ok=True)
decompressor, buffer, buffer_start = lzma.LZMADecompressor(), bytearray(), 0
for start, length, index in wanted:
    while buffer_start + len(buffer) < start + length:
        chunk = decompressor.decompress(archive, 8 << 20)
        archive = b""
        if not chunk:
            break
        buffer.extend(chunk)
    if start > buffer_start:  # drop what no later PPD needs
        del buffer[:start - buffer_start]
        buffer_start = start
    with open(os.path.join(out_dir, "%05d.ppd" % index), "wb") as out:
        out.write(buffer[start - buffer_start:start - buffer_start + length])
print(len(wanted))
