#!/bin/sh
# Prints the bundled three-page sample label (rendered by Ghostscript at
# 203 dpi) as a ZPL job, the way CUPS would run the filter, and sums it up.
set -eu
build=${1:-build}
out=${DEMO_OUT:-$build/demo}
mkdir -p "$out"

set +e
PPD=models/orn-zpl.ppd "$build/rastertoorn" 1 demo "Sample label" 1 "PrintSpeed=3" \
  samples/label-203dpi.ras >"$out/label.zpl" 2>"$out/stderr.txt"
status=$?
set -e

echo "Ran: PPD=models/orn-zpl.ppd $build/rastertoorn 1 demo 'Sample label' 1 'PrintSpeed=3' samples/label-203dpi.ras"
echo
echo "Printer data ($out/label.zpl), first lines:"
head -c 400 "$out/label.zpl" | head -n 4
echo "..."
grep -a '^\^' "$out/label.zpl" | head -n 8
echo
echo "Messages to CUPS ($out/stderr.txt), without DEBUG lines:"
grep -v '^DEBUG' "$out/stderr.txt" || true
echo
echo "Summary: exit status $status, $(grep -c '^PAGE: ' "$out/stderr.txt") pages," \
  "$(wc -c <"$out/label.zpl") bytes of ZPL, $(wc -l <"$out/stderr.txt") lines on standard error"
if [ -x "$build/tools/orntool" ] && "$build/tools/orntool" preview --language zpl "$out/label.zpl" "$out/preview" >/dev/null 2>&1; then
  echo "Preview of every label: $(ls "$out"/preview/*.png | tr '\n' ' ')"
fi
exit $status
