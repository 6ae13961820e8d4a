#!/usr/bin/env bash
# Runs every benchmark binary of the build, then the build benchmarks (nxs against the same
# compiler commands from a shell script, and a make with nothing to do against ninja).
set -euo pipefail
build=$1
shopt -s nullglob
for b in "$build"/bench/bench_*; do
  [ -x "$b" ] && "$b"
done
bash "$(dirname "$0")/bench_build.sh" "$build/src/host/nxs"
bash "$(dirname "$0")/../bench/nothingtodo.sh" "$build/src/host/nxs"
bash "$(dirname "$0")/../bench/packages.sh" "$build/src/host/nxs"
