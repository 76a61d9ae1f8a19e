#!/bin/sh
# Runs every fuzz target for a bounded time on a copy of its seed corpus.
# Usage: scripts/fuzz.sh BUILD_DIR SECONDS
set -e
build=$1
seconds=${2:-30}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
status=0
for src in fuzz/*.cpp; do
  name=$(basename "$src" .cpp)
  bin="$build/fuzz/$name"
  [ -x "$bin" ] || { echo "missing fuzz target $bin"; status=1; continue; }
  mkdir -p "$work/$name"
  [ -d "fuzz/corpus/$name" ] && cp -r "fuzz/corpus/$name/." "$work/$name/" 2>/dev/null || true
  echo "== $name ($seconds s)"
  if ! "$bin" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
       -artifact_prefix="$work/" "$work/$name" >"$work/$name.log" 2>&1; then
    echo "fuzz target $name failed:"; tail -40 "$work/$name.log"; status=1
  else
    grep -E '^(#[0-9]+ *DONE|Done)' "$work/$name.log" | tail -1
  fi
done
exit $status
