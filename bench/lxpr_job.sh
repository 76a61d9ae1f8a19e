#!/bin/sh
# Times a 4 x 6 inch, 300 dpi LXPR job (200 pages by default) through the filter
# binary, once per compression mode; prints the best of RUNS runs of each.
#   RASTERTOORN  filter binary (default build/rastertoorn)
#   PAGES, RUNS  job length and repetitions (default 200 and 3)
set -eu
here=$(cd "$(dirname "$0")" && pwd)
bin=${RASTERTOORN:-build/rastertoorn}
pages=${PAGES:-200}
runs=${RUNS:-3}
[ -x "$bin" ] || { echo "no filter binary at $bin (set RASTERTOORN)" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
python3 "$here/lxpr_job_raster.py" "$pages" > "$work/job.ras"
echo "input: $pages pages, $(wc -c < "$work/job.ras") bytes of raster"

for mode in Auto SKARN None; do
  best=""
  i=0
  while [ "$i" -lt "$runs" ]; do
    start=$(date +%s.%N)
    env -u PPD "$bin" 1 bench bench 1 "PrinterLanguage=LXPR PrintMethod=DirectThermal Compression=$mode" \
      "$work/job.ras" > "$work/out.prn" 2> "$work/log.txt" || {
      echo "filter failed ($mode):" >&2; grep CRIT "$work/log.txt" >&2; exit 1; }
    end=$(date +%s.%N)
    t=$(echo "$end - $start" | bc)
    if [ -z "$best" ] || [ "$(echo "$t < $best" | bc)" -eq 1 ]; then best=$t; fi
    i=$((i + 1))
  done
  printf '%-6s %6.3f s  %7.1f pages/s  output %d bytes\n' "$mode" "$best" \
    "$(echo "$pages / $best" | bc -l)" "$(wc -c < "$work/out.prn")"
done
