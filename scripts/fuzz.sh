#!/usr/bin/env bash
# Runs every fuzz target for a bounded time (NXS_FUZZ_SECONDS, 20 by default) on its seed
# corpus, as many at once as NXS_FUZZ_JOBS (the number of processors by default; each target
# is one process). NXS_FUZZ_KEEP=DIR keeps each target's grown corpus and any crashing input
# there (DIR/<target>/), for adding what they found to the seed corpora. NXS_FUZZ_TARGETS
# limits the run to the named targets. A target that finds a fault ends the run with its log.
set -euo pipefail
build=$1
seconds=${NXS_FUZZ_SECONDS:-20}
keep=${NXS_FUZZ_KEEP:-}
only=${NXS_FUZZ_TARGETS:-}
jobs=${NXS_FUZZ_JOBS:-$(nproc)}
shopt -s nullglob

# One target: its log's last line on success; its log's tail and status 1 on a fault.
fuzz_one() {
  local target=$1 name corpus seeds artifacts status=0
  name=$(basename "$target")
  corpus=$(mktemp -d)
  seeds=tests/fuzz/corpus/${name#fuzz_}
  [ -d "$seeds" ] && cp -r "$seeds"/. "$corpus"/
  artifacts=$corpus.found/
  mkdir -p "$artifacts"
  "$target" -max_total_time="$seconds" -max_len=65536 -timeout=10 -rss_limit_mb=4096 -artifact_prefix="$artifacts" \
    "$corpus" 2>"$corpus.log" || status=$?
  if [ -n "$keep" ]; then
    mkdir -p "$keep/$name"
    cp -r "$corpus" "$keep/$name/corpus"
    cp -r "$artifacts" "$keep/$name/found"
    cp "$corpus.log" "$keep/$name/log"
  fi
  if [ $status -ne 0 ]; then
    echo "fuzz: $name found a fault:"
    tail -50 "$corpus.log"
    rm -rf "$corpus" "$corpus.log" "$artifacts"
    return 1
  fi
  echo "fuzz: $name for ${seconds}s: $(grep -E '^(Done|#[0-9]+ *DONE)' "$corpus.log" | tail -1 || true)"
  rm -rf "$corpus" "$corpus.log" "$artifacts"
}

targets=()
for target in "$build"/tests/fuzz/fuzz_*; do
  [ -x "$target" ] || continue
  name=$(basename "$target")
  if [ -n "$only" ] && [[ " $only " != *" $name "* ]]; then continue; fi
  targets+=("$target")
done

failed=0
running=0
for target in "${targets[@]}"; do
  if [ $running -ge "$jobs" ]; then
    wait -n || failed=1
    running=$((running - 1))
  fi
  fuzz_one "$target" &
  running=$((running + 1))
done
while [ $running -gt 0 ]; do
  wait -n || failed=1
  running=$((running - 1))
done
exit $failed
