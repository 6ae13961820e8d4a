#!/usr/bin/env bash
# What packages cost a user, as whole nxs processes:
# - start-up: "nxs platforms" with the shipped packages against "nxs --no-packages platforms";
# - reading package information: "nxs packages info" on 100 packages (copies of the shipped
#   Makefile package), beside "readelf -p .nxs.package" on the same files, the tool a user
#   would pick to read a section.
#
#   bench/packages.sh NXS          RUNS=15 by default
#
# Prints the best wall and CPU (user + sys) time of RUNS alternated runs, in milliseconds.
set -euo pipefail
[ $# -eq 1 ] || { echo "usage: $0 NXS" >&2; exit 2; }
nxs=$(realpath "$1")
runs=${RUNS:-15}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export NXS_SETTINGS_DIR=$work/settings
TIMEFORMAT='%R %U %S'
shipped=$(dirname "$nxs")/../../packages

# best NAME: the best wall and CPU of the times in $work/NAME ("wall user sys" per line).
best() {
  awk -v name="$1" 'NR == 1 || $1 < w { w = $1 } NR == 1 || $2 + $3 < c { c = $2 + $3 }
    END { printf "%-36s wall %7.2f ms  cpu %7.2f ms\n", name, w * 1000, c * 1000 }' "$work/$1"
}

timed() {
  local name=$1
  shift
  { time "$@" >/dev/null 2>&1; } 2>>"$work/$name"
}

mkdir -p "$work/pkgs"
for i in $(seq -f '%03g' 1 100); do cp "$shipped/makehl.so" "$work/pkgs/p$i.so"; done
chmod 0755 "$work/pkgs"/*.so
"$nxs" platforms >/dev/null  # warm the page cache

for _ in $(seq "$runs"); do
  timed "platforms, packages" "$nxs" platforms
  timed "platforms, --no-packages" "$nxs" --no-packages platforms
  timed "packages info, 100 packages" "$nxs" --no-packages packages info "$work"/pkgs/*.so
  timed "readelf -p, 100 packages" readelf -p .nxs.package "$work"/pkgs/*.so
done
echo "packages: best of $runs alternated runs"
for name in "platforms, packages" "platforms, --no-packages" "packages info, 100 packages" "readelf -p, 100 packages"; do
  best "$name"
done
