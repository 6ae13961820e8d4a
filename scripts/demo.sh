#!/usr/bin/env bash
# The demo: runs nxs over the sample projects in examples/.
set -euo pipefail
nxs=$1
for f in examples/*/*.vproj examples/*/*.kzproj; do
  [ -f "$f" ] || continue
  echo "== nxs project show $f"
  "$nxs" project show "$f"
  echo "== nxs project format $f"
  out=$(mktemp)
  "$nxs" project format "$f" -o "$out"
  cat "$out"
  rm -f "$out"
done
