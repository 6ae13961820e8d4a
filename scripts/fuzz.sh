#!/usr/bin/env bash
# Runs every fuzz target for a bounded time (NXS_FUZZ_SECONDS, 20 by default) on its seed
# corpus, one target at a time. NXS_FUZZ_KEEP=DIR keeps each target's grown corpus and any
# crashing input there (DIR/<target>/), for adding what they found to the seed corpora.
# NXS_FUZZ_TARGETS limits the run to the named targets.
set -euo pipefail
build=$1
seconds=${NXS_FUZZ_SECONDS:-20}
keep=${NXS_FUZZ_KEEP:-}
only=${NXS_FUZZ_TARGETS:-}
shopt -s nullglob
for target in "$build"/tests/fuzz/fuzz_*; do
  [ -x "$target" ] || continue
  name=$(basename "$target")
  if [ -n "$only" ] && [[ " $only " != *" $name "* ]]; then continue; fi
  corpus=$(mktemp -d)
  seeds=tests/fuzz/corpus/${name#fuzz_}
  [ -d "$seeds" ] && cp -r "$seeds"/. "$corpus"/
  echo "fuzz: $name for ${seconds}s"
  artifacts=$corpus.found/
  mkdir -p "$artifacts"
  status=0
  "$target" -max_total_time="$seconds" -max_len=65536 -timeout=10 -rss_limit_mb=4096 -artifact_prefix="$artifacts" \
    "$corpus" 2>"$corpus.log" || status=$?
  if [ -n "$keep" ]; then
    mkdir -p "$keep/$name"
    cp -r "$corpus" "$keep/$name/corpus"
    cp -r "$artifacts" "$keep/$name/found"
    cp "$corpus.log" "$keep/$name/log"
  fi
  if [ $status -ne 0 ]; then tail -50 "$corpus.log"; exit 1; fi
  grep -E '^(Done|#[0-9]+ *DONE)' "$corpus.log" | tail -1 || true
  rm -rf "$corpus" "$corpus.log" "$artifacts"
done
