#!/usr/bin/env python3
"""Writes the seeds of the whole_filter and preview_decode fuzz targets.

whole_filter: each raster_reader seed behind a control byte for each back end
(ZPL, LXPR, KT-RN8Q) and a few settings sets.
preview_decode: the filter's own output for the valid raster seeds, behind the
control byte of its language. Needs the built filter:
    make_filter_corpora.py path/to/rastertoorn
"""
import os
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
FUZZ = os.path.dirname(HERE)
ROOT = os.path.dirname(FUZZ)
LANGUAGES = [("ZPL", "orn-zpl.ppd", ["", "DocumentType=Graphics", "ZPLCompression=None",
                                     "ZPLCompression=Z64"]),
             ("LXPR", "orn-lxpr.ppd", ["Compression=SKARN", "Compression=None"]),
             ("KTRN8Q", "orn-ktrn8q.ppd", ["", "Duplex=DuplexTumble CuttingMode=EveryPage"])]


def write(folder, name, data):
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, name), "wb") as f:
        f.write(data)


def main():
    rasters = os.path.join(FUZZ, "corpus", "raster_reader")
    whole = os.path.join(FUZZ, "corpus", "whole_filter")
    names = sorted(os.listdir(rasters))
    for name in names:
        with open(os.path.join(rasters, name), "rb") as f:
            raster = f.read()
        valid = name.startswith("valid_")
        for backend in range(3):
            # the regression inputs once per back end, the valid pages with three settings sets
            for variant in ([0, 1, 3] if valid else [backend + 1]):
                control = backend | (variant << 2)
                write(whole, "%s_b%d_s%d" % (name, backend, variant), bytes([control]) + raster)
    if len(sys.argv) < 2:
        return 0
    preview = os.path.join(FUZZ, "corpus", "preview_decode")
    for code, (language, ppd, option_sets) in enumerate(LANGUAGES):
        for options in option_sets:
            for name in names:
                if not name.startswith("valid_v3"):
                    continue
                with open(os.path.join(rasters, name), "rb") as f:
                    raster = f.read()
                result = subprocess.run([sys.argv[1], "1", "u", "t", "1", options],
                                        input=raster, capture_output=True,
                                        env=dict(os.environ, PPD=os.path.join(ROOT, "models", ppd)))
                if result.returncode != 0:
                    print(result.stderr.decode(errors="replace"))
                    return 1
                suffix = options.replace("=", "_").replace(" ", "_") or "default"
                # 203 dpi for LXPR (control bits 2-3 = 1)
                write(preview, "%s_%s_%s" % (language.lower(), suffix, name),
                      bytes([code | (1 << 2)]) + result.stdout)
    return 0


if __name__ == "__main__":
    sys.exit(main())
