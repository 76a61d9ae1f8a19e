#!/usr/bin/env python3
"""Mutation run: how many small, seeded faults in the product code does the suite catch?

  fuzz/mutation_run.py plan  [--seed S] [--per-folder N] [--plan FILE]
  fuzz/mutation_run.py run   [--plan FILE] [--work DIR] [--report FILE] [--only i,j,...]

`plan` picks mutants from src/ and tools/: flipped comparisons, off-by-one
constants, dropped statements, swapped arguments, && and || exchanged, + and -
exchanged. They are spread evenly over the product folders and written to a
plan file, so the same mutants can be measured against another version of the
tests.

`run` copies the working tree (without build folders) into a work folder,
builds it once, checks that the suite passes, then applies each mutant in turn,
rebuilds and runs ctest until the first failure. A mutant is "killed" when a
test fails or times out, "survived" when the whole suite passes, and
"unbuildable" when it does not compile (those do not count). The report lists
every mutant with its result; the summary line gives the kill count.
"""
import argparse
import filecmp
import json
import os
import random
import re
import shutil
import subprocess
import sys
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
DEFAULT_PLAN = os.path.join(ROOT, "fuzz", "mutation_plan.json")
FOLDERS = ["src/jobcontrol", "src/raster", "src/ppd", "src/imaging", "src/compression",
           "src/backends/lxpr", "src/backends/ktrn8q", "src/backends/zpl", "tools/orntool"]

COMPARISONS = {" < ": " <= ", " <= ": " < ", " > ": " >= ", " >= ": " > ", " == ": " != ",
               " != ": " == "}
STATEMENT = re.compile(r"^\s*(\+\+|--)?[A-Za-z_][\w:.\[\]]*(->[\w.\[\]]+)*\s*"
                       r"(\(|\+\+|--|\+=|-=|\|=|&=|<<=|>>=|=[^=]).*;\s*$")
KEYWORDS = ("return", "const", "auto", "static", "using", "typedef", "case", "default",
            "break", "continue", "goto", "throw", "delete", "new", "unsigned", "int",
            "char", "bool", "size_t", "std::size_t", "double", "float", "long", "void",
            "uint8_t", "uint16_t", "uint32_t", "int32_t", "std::uint8_t", "std::uint16_t",
            "std::uint32_t", "std::int32_t", "std::string", "std::vector")
NUMBER = re.compile(r"(?<![\w.])(\d+)(?![\w.'])")
TWO_ARGS = re.compile(r"(\w)\(([A-Za-z_][\w.]*), ([A-Za-z_][\w.]*)\)")


def skip_line(line):
    s = line.strip()
    return (not s or s.startswith(("//", "#", "*", "/*")) or "static_assert" in s
            or s.startswith("template") or "assert(" in s or '"' in s and s.count('"') >= 2 and "<<" not in s)


def sites(path):
    """Every mutation this file offers, as (line number, operator, new line)."""
    with open(os.path.join(ROOT, path), encoding="utf-8") as f:
        lines = f.read().split("\n")
    found = []
    for n, line in enumerate(lines):
        if skip_line(line):
            continue
        code = line.split("//")[0]
        for old, new in COMPARISONS.items():
            i = code.find(old)
            if i >= 0 and "template" not in code and "<<" not in code and ">>" not in code:
                found.append((n, "comparison", line[:i] + new + line[i + len(old):]))
        for op_old, op_new in ((" && ", " || "), (" || ", " && ")):
            i = code.find(op_old)
            if i >= 0:
                found.append((n, "logic", line[:i] + op_new + line[i + len(op_old):]))
        for op_old, op_new in ((" + ", " - "), (" - ", " + ")):
            i = code.find(op_old)
            if i >= 0:
                found.append((n, "arithmetic", line[:i] + op_new + line[i + len(op_old):]))
        for m in NUMBER.finditer(code):
            if code[max(0, m.start() - 2):m.start()] in ("0x", "0X") or "[" in code[:m.start()] \
                    and "]" in code[m.end():] and code.strip().startswith(("std::array", "char")):
                continue
            value = int(m.group(1))
            new = str(value + 1) if value in (0, 1) or n % 2 == 0 else str(value - 1)
            found.append((n, "constant", line[:m.start()] + new + line[m.end():]))
        s = code.strip()
        if STATEMENT.match(code) and not s.startswith(KEYWORDS) and not s.endswith(("{", ",")):
            indent = line[:len(line) - len(line.lstrip())]
            found.append((n, "drop", indent + ";  // dropped: " + s))
        m = TWO_ARGS.search(code)
        if m and m.group(2) != m.group(3):
            a, b = m.start(2), m.end(3)
            found.append((n, "swap", line[:a] + m.group(3) + ", " + m.group(2) + line[b:]))
    return lines, found


def make_plan(seed, per_folder):
    rng = random.Random(seed)
    plan = []
    for folder in FOLDERS:
        files = sorted(subprocess.run(["git", "ls-files", folder], cwd=ROOT, check=True,
                                      capture_output=True, text=True).stdout.split())
        files = [f for f in files if f.endswith(".cpp")]
        candidates = []
        for path in files:
            lines, found = sites(path)
            candidates += [(path, n, op, lines[n], new) for n, op, new in found]
        rng.shuffle(candidates)
        # Take operators in turn so that each folder gets a mix of kinds.
        by_op = {}
        for c in candidates:
            by_op.setdefault(c[2], []).append(c)
        chosen, ops = [], sorted(by_op)
        while len(chosen) < per_folder and any(by_op.values()):
            for op in ops:
                if by_op[op] and len(chosen) < per_folder:
                    chosen.append(by_op[op].pop())
        for path, n, op, old, new in chosen:
            plan.append({"id": len(plan), "file": path, "line": n + 1, "operator": op,
                         "old": old, "new": new})
    return plan


def sh(cmd, cwd, timeout=None):
    return subprocess.run(cmd, cwd=cwd, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                          text=True, timeout=timeout)


def copy_tree(work):
    # Sources are copied over an earlier copy; its build folder is kept so that only what
    # changed is rebuilt. Files the tree no longer has are removed.
    files = subprocess.run(["git", "ls-files", "-co", "--exclude-standard"], cwd=ROOT, check=True,
                           capture_output=True, text=True).stdout.split("\n")
    wanted = set()
    for f in files:
        if not f or not os.path.isfile(os.path.join(ROOT, f)):
            continue
        wanted.add(f)
        dest = os.path.join(work, f)
        os.makedirs(os.path.dirname(dest), exist_ok=True)
        if not os.path.exists(dest) or not filecmp.cmp(os.path.join(ROOT, f), dest, shallow=False):
            shutil.copy2(os.path.join(ROOT, f), dest)
    for top, dirs, names in os.walk(work):
        dirs[:] = [d for d in dirs if os.path.join(top, d) != os.path.join(work, "build")]
        for name in names:
            rel = os.path.relpath(os.path.join(top, name), work)
            if rel not in wanted:
                os.remove(os.path.join(top, name))


def run_suite(build, jobs):
    """The names of the failing tests (empty when the suite passes)."""
    try:
        r = sh(["ctest", "-j", str(jobs), "--stop-on-failure", "--timeout", "120"], build,
               timeout=900)
    except subprocess.TimeoutExpired:
        return ["(suite timed out)"]
    if r.returncode == 0:
        return []
    failed = re.findall(r"^\s*\d+ - (\S+) \(", r.stdout.split("tests FAILED:")[-1], re.M)
    return failed or ["(ctest failed)"]


def apply(work, mutant, revert=False):
    path = os.path.join(work, mutant["file"])
    with open(path, encoding="utf-8") as f:
        lines = f.read().split("\n")
    want, put = (mutant["new"], mutant["old"]) if revert else (mutant["old"], mutant["new"])
    n = mutant["line"] - 1
    if n >= len(lines) or lines[n] != want:
        # The file moved on since the plan was made: find the line by its text.
        matches = [i for i, l in enumerate(lines) if l == want]
        if len(matches) != 1:
            return False
        n = matches[0]
    lines[n] = put
    with open(path, "w", encoding="utf-8") as f:
        f.write("\n".join(lines))
    return True


def run(args):
    with open(args.plan) as f:
        plan = json.load(f)
    if args.only:
        keep = {int(i) for i in args.only.split(",")}
        plan = [m for m in plan if m["id"] in keep]
    work, jobs = args.work, os.cpu_count() or 2
    build = os.path.join(work, "build")
    copy_tree(work)
    r = sh(["cmake", "-S", ".", "-B", "build", "-G", "Ninja", "-DCMAKE_BUILD_TYPE=Release",
            "-DCMAKE_CXX_FLAGS_RELEASE=-O1", "-DORN_BENCH=OFF"], work)
    if r.returncode != 0 or sh(["ninja", "-C", "build"], work).returncode != 0:
        sys.exit("mutation run: the unmutated tree does not build")
    if run_suite(build, jobs):
        sys.exit("mutation run: the unmutated suite fails; fix it first")
    results = []
    for m in plan:
        start, failed = time.time(), []
        if not apply(work, m):
            outcome = "missing"
        elif sh(["ninja", "-C", "build"], work).returncode != 0:
            outcome = "unbuildable"
        else:
            failed = run_suite(build, jobs)
            outcome = "killed" if failed else "survived"
        if outcome != "missing":
            apply(work, m, revert=True)
        results.append(dict(m, result=outcome, failed=failed[:5], seconds=round(time.time() - start, 1)))
        print(f"{m['id']:3d} {outcome:11s} {m['file']}:{m['line']} {m['operator']} {' '.join(failed[:2])}", flush=True)
        with open(args.report, "w") as f:
            json.dump(results, f, indent=1)
    sh(["ninja", "-C", "build"], work)
    counted = [r for r in results if r["result"] in ("killed", "survived")]
    killed = sum(r["result"] == "killed" for r in counted)
    print(f"mutants: {len(results)} made, {len(counted)} built, {killed} killed, "
          f"{len(counted) - killed} survived")


def main():
    p = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    p.add_argument("command", choices=["plan", "run"])
    p.add_argument("--seed", type=int, default=1)
    p.add_argument("--per-folder", type=int, default=11)
    p.add_argument("--plan", default=DEFAULT_PLAN)
    p.add_argument("--work", default="/tmp/orn-mutants")
    p.add_argument("--report", default="mutation_report.json")
    p.add_argument("--only", default="")
    args = p.parse_args()
    if args.command == "plan":
        plan = make_plan(args.seed, args.per_folder)
        with open(args.plan, "w") as f:
            json.dump(plan, f, indent=1)
        print(f"{len(plan)} mutants written to {args.plan}")
    else:
        run(args)


if __name__ == "__main__":
    main()
