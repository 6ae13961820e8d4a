#!/usr/bin/env bash
# Find in files beside rg, each pattern class at one thread and at two, the way a user meets
# it: a whole nxs grep process over the Free Pascal sources (warm cache), then rg over the same
# tree with the same pattern, alternated RUNS times. Another nxs given after the first (an
# older build, say) is timed in the same rounds, so that one run compares them.
#
#   bench/grep.sh NXS [NXS...]        TREE=/usr/share/fpcsrc/3.2.2, RUNS=7, THREADS="1 2",
#                                     CLASSES="literal nocase literals issue classled noliteral"
#
# For each class and thread count it prints the median and the least CPU time (user + sys)
# and the median wall time of each tool in milliseconds, the ratio of the median CPU times to
# rg's, and the number of distinct file:line places each printed: they must be equal.
set -euo pipefail
[ $# -ge 1 ] || { echo "usage: $0 NXS [NXS...]" >&2; exit 2; }
binaries=()
for b in "$@"; do binaries+=("$(realpath "$b")"); done
tree=${TREE:-/usr/share/fpcsrc/3.2.2}
runs=${RUNS:-7}
read -r -a threads <<< "${THREADS:-1 2}"
classes=" ${CLASSES:-literal nocase literals issue classled noliteral} "
command -v rg >/dev/null || { echo "rg is not installed" >&2; exit 2; }
[ -d "$tree" ] || { echo "no tree at $tree" >&2; exit 2; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Runs the command, its output to $work/out; prints "wall_ms cpu_ms".
timed() {
  /usr/bin/time -o "$work/time" -f '%e %U %S' "$@" >"$work/out" 2>/dev/null || true
  awk '{ printf "%.0f %.0f\n", $1 * 1000, ($2 + $3) * 1000 }' "$work/time"
}
places() { cut -d: -f1,2 "$work/out" | sort -u | wc -l; }
median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
least() { sort -n | head -1; }

# One class: its name, nxs grep's pattern and switches, rg's switches and pattern.
measure() {
  local name=$1 npat=$2 nsw=$3 rsw=$4 rpat=$5 j r i w c l rgcpu
  [[ $classes == *" $name "* ]] || return 0
  for j in "${threads[@]}"; do
    local tools=() cpu=() wall=() found=()
    for i in "${!binaries[@]}"; do tools+=("nxs$i"); done
    tools+=(rg)
    for ((r = 0; r < runs; r++)); do
      for i in "${!tools[@]}"; do
        if [ "${tools[$i]}" = rg ]; then
          # shellcheck disable=SC2086
          read -r w c < <(timed rg -a -n --no-heading --no-ignore --crlf -j "$j" $rsw "$rpat" "$tree")
        else
          # shellcheck disable=SC2086
          read -r w c < <(timed "${binaries[$i]}" grep "$npat" $nsw "$tree" --subdirs --format gcc -j "$j")
        fi
        cpu[$i]+="$c "
        wall[$i]+="$w "
        [ "$r" -eq 0 ] && found[$i]=$(places)
      done
    done
    rgcpu=$(tr ' ' '\n' <<< "${cpu[${#tools[@]} - 1]}" | grep . | median)
    for i in "${!tools[@]}"; do
      c=$(tr ' ' '\n' <<< "${cpu[$i]}" | grep . | median)
      l=$(tr ' ' '\n' <<< "${cpu[$i]}" | grep . | least)
      w=$(tr ' ' '\n' <<< "${wall[$i]}" | grep . | median)
      printf '%-10s %2s  %-8s %8s %8s %8s %7.2f %8s\n' "$name" "$j" "${tools[$i]}" "$c" "$l" "$w" \
        "$(awk -v a="$c" -v b="$rgcpu" 'BEGIN { print a / b }')" "${found[$i]}"
    done
  done
}

printf '%-10s %2s  %-8s %8s %8s %8s %7s %8s\n' class j tool cpu_ms least_ms wall_ms ratio places
measure literal 'procedure' '-c' '-s' 'procedure'
measure nocase 'writeln' '' '-i' 'writeln'
measure literals 'writeln|readln|inherited' '-r -c' '-s' 'writeln|readln|inherited'
measure issue '(inc|dec)\([A-Za-z_]+, *[0-9]+\)' '-r' '-i' '(inc|dec)\([A-Za-z_]+, *[0-9]+\)'
measure classled '[A-Z][a-z]+Error' '-r -c' '-s' '[A-Z][a-z]+Error'
measure noliteral '[0-9][0-9][0-9][0-9][0-9]' '-r -c' '-s' '[0-9][0-9][0-9][0-9][0-9]'
