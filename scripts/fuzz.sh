#!/usr/bin/env bash
# Runs every fuzz target for a bounded short time on its seed corpus.
set -euo pipefail
build=$1
seconds=${NXS_FUZZ_SECONDS:-20}
shopt -s nullglob
for target in "$build"/tests/fuzz/fuzz_*; do
  [ -x "$target" ] || continue
  name=$(basename "$target")
  corpus=$(mktemp -d)
  seeds=tests/fuzz/corpus/${name#fuzz_}
  [ -d "$seeds" ] && cp -r "$seeds"/. "$corpus"/
  echo "fuzz: $name for ${seconds}s"
  "$target" -max_total_time="$seconds" -max_len=65536 -timeout=10 -rss_limit_mb=4096 "$corpus" 2>"$corpus.log" \
    || { tail -50 "$corpus.log"; exit 1; }
  grep -E '^(Done|#[0-9]+ *DONE)' "$corpus.log" | tail -1 || true
  rm -rf "$corpus" "$corpus.log"
done
