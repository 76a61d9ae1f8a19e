#!/usr/bin/env python3
"""CUPS's own IPP conformance files (ipptool's ipp-everywhere.test, ipp-2.0.test and
get-printer-attributes.test) against one ornprint printer per language, and against LPrint's
ZPL printer when LPrint is installed, each printing to a socket sink run here.

  peer_suite.py ORNPRINT SOURCE_DIR WORK_DIR

The stock files stop at their first document test unless every sample document they name
exists, so a sample set is made first: real pages (samples/label.ps through Ghostscript) at
300 dpi in sgray_8 and black_1 and the PDF, PostScript and JPEG documents; the other
resolutions and colour spaces, which these printers do not advertise and the suite skips, get a
small page of the right type so that the files exist. Each printer runs with and without the
set. The job fails when ornprint fails a test that LPrint passes, or (without LPrint) fails
more tests than LPrint's three on this machine's reference run.
"""
import os
import re
import shutil
import socket
import subprocess
import sys
import tempfile
import threading
import time

SUITES = ["ipp-everywhere.test", "ipp-2.0.test", "get-printer-attributes.test"]
STOCK = "/usr/share/cups/ipptool"
ORNPRINT_PRINTERS = [("lxpr", "lxpr_300dpi"), ("ktrn8q", "ktrn8q_203dpi"), ("zpl", "zpl_300dpi")]
LPRINT_PRINTER = ("zpl", "zpl_4inch-300dpi-dt")
SIZES = {"color.jpg-4x6": (288, 432), "gray.jpg-4x6": (288, 432), "document-a4": (595, 842),
         "document-letter": (612, 792), "onepage-a4": (595, 842), "onepage-letter": (612, 792)}
SPACES = {"black-1": (3, 1), "sgray-8": (18, 8), "srgb-8": (19, 8), "srgb-16": (19, 16),
          "cmyk-8": (6, 8)}


def gs(*arguments):
    subprocess.run(["gs", "-q", "-dBATCH", "-dNOPAUSE", "-dSAFER", *arguments], check=True,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def make_samples(folder, label):
    for name in ["ipp-1.1.test", "ipp-2.0.test", "ipp-everywhere.test"]:
        shutil.copy(os.path.join(STOCK, name), folder)
    for paper in ["a4", "letter"]:
        gs("-sDEVICE=pdfwrite", f"-sPAPERSIZE={paper}", "-dFIXEDMEDIA",
           f"-sOutputFile={folder}/document-{paper}.pdf", label)
        shutil.copy(label, f"{folder}/document-{paper}.ps")
    gs("-sDEVICE=jpeg", "-r100", "-dLastPage=1", f"-sOutputFile={folder}/color.jpg", label)
    gs("-sDEVICE=jpeggray", "-r100", "-dLastPage=1", f"-sOutputFile={folder}/gray.jpg", label)
    with open(os.path.join(folder, "ipp-everywhere.test")) as f:
        names = set(re.findall(r"pwg-raster-samples-(\d+)dpi/([a-z0-9-]+)/(\S+?)-\2-\1dpi\.pwg",
                               f.read()))
    for dpi, space, document in sorted(names):
        path = f"{folder}/pwg-raster-samples-{dpi}dpi/{space}/{document}-{space}-{dpi}dpi.pwg"
        os.makedirs(os.path.dirname(path), exist_ok=True)
        colour, bits = SPACES[space]
        page = ([f"-dDEVICEWIDTHPOINTS={SIZES[document][0]}",
                 f"-dDEVICEHEIGHTPOINTS={SIZES[document][1]}", "-dFIXEDMEDIA", label]
                if dpi == "300" and space in ("sgray-8", "black-1") else ["-g8x8", "-c", "showpage"])
        gs("-sDEVICE=pwgraster", f"-r{dpi}", f"-dcupsColorSpace={colour}",
           f"-dcupsBitsPerColor={bits}", f"-sOutputFile={path}", *page)
    return os.path.join(folder, "pwg-raster-samples-300dpi", "sgray-8",
                        "color.jpg-4x6-sgray-8-300dpi.pwg")


def sink():
    """A socket printer that reads and drops every job; returns its port."""
    server = socket.socket()
    server.bind(("127.0.0.1", 0))
    server.listen(8)

    def serve():
        while True:
            client, _ = server.accept()
            while client.recv(65536):
                pass
            client.close()

    threading.Thread(target=serve, daemon=True).start()
    return server.getsockname()[1]


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def run_app(program, printers, work, document, samples):
    """Results {(suite, test name): PASS|FAIL|SKIP} per printer name, for one server."""
    state = tempfile.mkdtemp(dir=work)
    env = dict(os.environ, SNAP_COMMON=state, HOME=state)
    port, device = free_port(), sink()
    server = subprocess.Popen([program, "server", "-o", f"server-port={port}", "-o",
                               f"spool-directory={state}", "-o", f"log-file={state}/log"],
                              env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    results = {}
    try:
        # The port, then the control socket (a CLI call before it exists would start a
        # server of its own); LPrint may keep its socket elsewhere, so that wait is bounded.
        control = os.path.join(state, os.path.basename(program) + ".sock")
        for tries in range(300):
            with socket.socket() as s:
                if s.connect_ex(("127.0.0.1", port)) == 0 and (
                        os.path.exists(control) or tries > 100):
                    break
            time.sleep(0.1)
        time.sleep(1)  # printer-up-time must be above 0
        for name, driver in printers:
            added = subprocess.run([program, "add", "-d", name, "-v",
                                    f"socket://127.0.0.1:{device}", "-m", driver],
                                   env=env, capture_output=True, text=True)
            if added.returncode != 0:
                raise RuntimeError(f"{program} add {name}: {added.stdout}{added.stderr}")
        for name, _ in printers:
            for with_samples in (False, True):
                for suite in SUITES if not with_samples else SUITES[:2]:
                    path = os.path.join(samples, suite) if with_samples else suite
                    out = subprocess.run(["ipptool", "-t", "-I", "-T", "10", "-f", document,
                                          f"ipp://127.0.0.1:{port}/ipp/print/{name}", path],
                                         env=env, capture_output=True, text=True, timeout=600)
                    for test, verdict in re.findall(r"^    (\S.*?)\s+\[(PASS|FAIL|SKIP)\]$",
                                                    out.stdout, re.M):
                        results.setdefault((name, with_samples), {})[(suite, test)] = verdict
    finally:
        subprocess.run([program, "shutdown"], env=env, capture_output=True)
        server.terminate()
        server.wait(10)
    return results


def counts(result):
    return tuple(list(result.values()).count(v) for v in ("PASS", "FAIL", "SKIP"))


def main():
    ornprint, source, work = sys.argv[1:4]
    if not shutil.which("ipptool") or not shutil.which("gs"):
        print("ipptool or gs is missing: skipped")
        return 77
    os.makedirs(work, exist_ok=True)
    work = tempfile.mkdtemp(dir=work)
    samples = os.path.join(work, "samples")
    os.makedirs(samples)
    try:
        document = make_samples(samples, os.path.join(source, "samples", "label.ps"))
        ours = run_app(ornprint, ORNPRINT_PRINTERS, work, document, samples)
        lprint = shutil.which("lprint")
        peer = run_app(lprint, [LPRINT_PRINTER], work, document, samples) if lprint else {}
    finally:
        shutil.rmtree(work, ignore_errors=True)
    failed = False
    for (name, with_samples), result in sorted(ours.items()):
        reference = peer.get(("zpl", with_samples))
        for suite in SUITES if not with_samples else SUITES[:2]:
            mine = {t: v for t, v in result.items() if t[0] == suite}
            line = "%-7s %-13s %-28s %3d passed, %2d failed, %3d skipped" % (
                name, "with samples" if with_samples else "stock", suite, *counts(mine))
            if reference is not None:
                theirs = {t: v for t, v in reference.items() if t[0] == suite}
                line += "   LPrint: %3d passed, %2d failed, %3d skipped" % counts(theirs)
                worse = [t for t, v in mine.items() if v == "FAIL" and theirs.get(t) == "PASS"]
                failed |= bool(worse)
            elif suite == SUITES[0] and counts(mine)[1] > 3:
                failed = True
            print(line)
        for (suite, test), verdict in sorted(result.items()):
            if verdict == "FAIL":
                passes = reference is not None and reference.get((suite, test)) == "PASS"
                print(f"    failed: {suite}: {test}{' (passes on LPrint)' if passes else ''}")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
