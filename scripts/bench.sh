#!/usr/bin/env bash
# Runs every benchmark binary of the build.
set -euo pipefail
build=$1
shopt -s nullglob
for b in "$build"/bench/bench_*; do
  [ -x "$b" ] && "$b"
done
