#!/bin/sh
# Micro benchmarks (Google Benchmark), then whole jobs against CUPS's own filter,
# then whole IPP jobs through the ornprint printer application against LPrint.
set -eu
build=${1:-build}
for b in "$build"/bench/*_bench; do
  [ -x "$b" ] || continue
  echo "== $(basename "$b")"
  "$b" --benchmark_min_time=0.2
done
echo "== whole jobs"
python3 bench/whole_job.py "$build"
echo "== printer applications"
python3 bench/printer_app.py "$build"
