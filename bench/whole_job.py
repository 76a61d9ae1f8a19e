#!/usr/bin/env python3
"""Whole-job timings of the built filter against CUPS's own rastertolabel.

Renders a 200-page 4 x 6 inch label job with Ghostscript (gstoraster, cached in
the build folder), then runs each job several times and reports the best wall
time, the peak resident memory and the bytes written (for the printer):

  read       the 8-bit raster read through a pipe by cat (the floor for any filter)
  zpl-none   rastertoorn, ZPL, 1-bit 300 dpi, graphics in plain hex (ZPLCompression=None)
  zpl-hex    the same in ZPL's compressed hex (ZPLCompression=Hex, the PPD's default)
  zpl-z64    the same as Z64 data (ZPLCompression=Z64)
  label-zpl  rastertolabel in its ZPL mode on the same raster
  lxpr1      rastertoorn, LXPR, 1-bit 300 dpi, Compression=Auto
  lxpr8      rastertoorn, LXPR, 8-bit 300 dpi dithered (DocumentType=Graphics), Compression=Auto
  one-*      the same filters on a one-label job (start-up included)
"""
import os
import shutil
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
GSTORASTER = "/usr/lib/cups/filter/gstoraster"
RASTERTOLABEL = "/usr/lib/cups/filter/rastertolabel"
PAGES = int(os.environ.get("BENCH_PAGES", "200"))
RUNS = int(os.environ.get("BENCH_RUNS", "5"))


def render(data_dir, name, options, pages):
    out = os.path.join(data_dir, f"{name}-{pages}.ras")
    if os.path.exists(out):
        return out
    ps = os.path.join(data_dir, f"job-{pages}.ps")
    with open(os.path.join(ROOT, "samples", "label.ps")) as f:
        sample = f.read()
    body = sample.split("%%Page: 1 1")[0]
    with open(ps, "w") as f:
        f.write(body)
        for i in range(pages):
            f.write(f"%%Page: {i + 1} {i + 1}\n(PARCEL) (N-{i:04d}) label showpage\n")
        f.write("%%EOF\n")
    pdf = ps[:-3] + ".pdf"
    subprocess.run(["gs", "-q", "-dBATCH", "-dNOPAUSE", "-dSAFER", "-sDEVICE=pdfwrite", "-o", pdf, ps],
                   check=True)
    env = dict(os.environ, PPD=os.path.join(ROOT, "tests", "data", "gs_label.ppd"))
    with open(out + ".tmp", "wb") as f:
        subprocess.run([GSTORASTER, "1", "bench", "bench", "1", options, pdf], stdout=f,
                       stderr=subprocess.DEVNULL, env=env, check=True)
    os.rename(out + ".tmp", out)
    return out


def zpl_label_ppd(data_dir):
    """The ZPL queue PPD that CUPS's own driver file generates (used as is)."""
    target = os.path.join(data_dir, "cups-zpl.ppd")
    if os.path.exists(target):
        return target
    out = os.path.join(data_dir, "ppdc")
    subprocess.run(["ppdc", "-d", out, "/usr/share/cups/drv/sample.drv"], check=True,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    shutil.copy(os.path.join(out, "zebra.ppd"), target)
    return target


def output_bytes(cmd, stdin_path, env):
    with open(stdin_path, "rb") as fin:
        out = subprocess.run(cmd, stdin=fin, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                             env=env, check=True).stdout
    return len(out)


def run(cmd, stdin_path, env):
    """Best wall time, peak RSS (KiB) and output bytes of `cat FILE | cmd`, the raster
    arriving through a pipe as it does from CUPS."""
    best, peak = None, 0
    rss_file = tempfile.NamedTemporaryFile(delete=False)
    rss_file.close()
    timed = ["/usr/bin/time", "-f", "%M", "-o", rss_file.name] + cmd
    for _ in range(RUNS):
        with open(os.devnull, "wb") as fout, open(os.devnull, "wb") as ferr:
            start = time.perf_counter()
            feeder = subprocess.Popen(["cat", stdin_path], stdout=subprocess.PIPE)
            proc = subprocess.Popen(timed, stdin=feeder.stdout, stdout=fout, stderr=ferr, env=env)
            feeder.stdout.close()
            status = proc.wait()
            feeder.wait()
            elapsed = time.perf_counter() - start
        if status != 0:
            raise SystemExit(f"{cmd[0]} failed with status {status}")
        best = elapsed if best is None else min(best, elapsed)
        with open(rss_file.name) as f:
            peak = max(peak, int(f.read().split()[-1]))
    os.unlink(rss_file.name)
    return best, peak, output_bytes(cmd, stdin_path, env)


def main():
    build = sys.argv[1] if len(sys.argv) > 1 else os.path.join(ROOT, "build")
    filt = os.path.join(build, "rastertoorn")
    data_dir = os.path.join(build, "bench-data")
    os.makedirs(data_dir, exist_ok=True)
    one_bit = render(data_dir, "label-300dpi", "Resolution=300dpi", PAGES)
    grey = render(data_dir, "label-300dpi8", "Resolution=300dpi8", PAGES)
    one_bit_1 = render(data_dir, "label-300dpi", "Resolution=300dpi", 1)

    lxpr_ppd = os.path.join(ROOT, "models", "orn-lxpr.ppd")
    zpl_ppd = os.path.join(ROOT, "models", "orn-zpl.ppd")
    args = ["1", "bench", "bench", "1"]
    results = {}
    results["read"] = run(["cat"], grey, os.environ)
    for form in ("None", "Hex", "Z64"):
        results[f"zpl-{form.lower()}"] = run([filt] + args + [f"ZPLCompression={form}"], one_bit,
                                             dict(os.environ, PPD=zpl_ppd))
    if os.path.exists(lxpr_ppd):
        results["lxpr1"] = run([filt] + args + ["Compression=Auto PrintMethod=DirectThermal"],
                               one_bit, dict(os.environ, PPD=lxpr_ppd))
        results["lxpr8"] = run([filt] + args + ["DocumentType=Graphics Compression=Auto PrintMethod=DirectThermal"],
                               grey, dict(os.environ, PPD=lxpr_ppd))
    results["one-zpl"] = run([filt] + args + [""], one_bit_1, dict(os.environ, PPD=zpl_ppd))
    if os.path.exists(RASTERTOLABEL) and shutil.which("ppdc"):
        label_ppd = zpl_label_ppd(data_dir)
        env = dict(os.environ, PPD=label_ppd)
        results["label-zpl"] = run([RASTERTOLABEL] + args + [""], one_bit, env)
        results["one-label-zpl"] = run([RASTERTOLABEL] + args + [""], one_bit_1, env)

    print(f"Whole jobs, {PAGES} pages of 4 x 6 in at 300 dpi, best of {RUNS} runs")
    print(f"{'job':<16}{'wall s':>10}{'pages/s':>10}{'peak RSS MiB':>14}{'bytes out':>14}")
    for name, (secs, rss, size) in results.items():
        pages = 1 if name.startswith("one") else PAGES
        print(f"{name:<16}{secs:>10.3f}{pages / secs:>10.0f}{rss / 1024:>14.1f}{size:>14,}")
    if "label-zpl" in results:
        label_secs, _, label_bytes = results["label-zpl"]
        for form in ("none", "hex", "z64"):
            secs, _, size = results[f"zpl-{form}"]
            print(f"ZPL {form}: {size / label_bytes:.2f} x the bytes and {secs / label_secs:.2f} x "
                  f"the time of rastertolabel")
        print(f"One label: rastertoorn {results['one-zpl'][0] * 1000:.1f} ms, rastertolabel {results['one-label-zpl'][0] * 1000:.1f} ms")
    if "lxpr8" in results:
        print(f"8-bit LXPR job: {results['lxpr8'][0] / results['read'][0]:.2f} x the time of reading the raster")
    return 0


if __name__ == "__main__":
    sys.exit(main())
