#!/usr/bin/env bash
# A make with nothing to do, the way a user meets it: a generated group of small C++ static
# libraries (two sources and a header each), built once, then made again with nothing
# changed, by a whole nxs process. Beside it, ninja on one build.ninja holding the same
# compiles and archives (the same compiler, switches and header dependencies), built once and
# run again: what a user would pick instead. Another nxs given after the first (an older
# build, say) is timed on the same group, so that one run compares them.
#
#   bench/nothingtodo.sh NXS [NXS...]         SIZES="100 300 1000" by default, RUNS=7
#
# For each size and nxs it prints the best wall and CPU (user + sys) time of RUNS alternated
# runs of nxs and ninja, in milliseconds, and the ratio of the walls; then the same for the nxs
# made to go the whole way (its record of the last make removed before each run, as after
# any change), marked "whole". The first builds take a while (two real compiles per project).
set -euo pipefail
[ $# -ge 1 ] || { echo "usage: $0 NXS [NXS...]" >&2; exit 2; }
binaries=()
for b in "$@"; do binaries+=("$(realpath "$b")"); done
read -r -a sizes <<< "${SIZES:-100 300 1000}"
runs=${RUNS:-7}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export NXS_SETTINGS_DIR=$work/settings
TIMEFORMAT='%R %U %S'

# A project file as "nxs project new" and "nxs project add" would write it.
project_file() {
  printf '\xef\xbb\xbf<Project xmlns="http://schemas.microsoft.com/developer/msbuild/2003">\n'
  printf '    <PropertyGroup>\n        <ProjectGuid>{%s}</ProjectGuid>\n' "$1"
  printf "        <Config Condition=\"'\$(Config)'==''\">Debug</Config>\n"
  printf "        <Platform Condition=\"'\$(Platform)'==''\">Linux64</Platform>\n"
  printf '        <AppType>StaticLibrary</AppType>\n    </PropertyGroup>\n'
  printf "    <PropertyGroup Condition=\"'\$(Config)'=='Debug' or '\$(Cfg_1)'!=''\">\n"
  printf '        <Cfg_1>true</Cfg_1>\n        <CfgParent>Base</CfgParent>\n        <Base>true</Base>\n    </PropertyGroup>\n'
  printf '    <ItemGroup>\n        <KestrelCompile Include="a.cpp"/>\n        <KestrelCompile Include="b.cpp"/>\n    </ItemGroup>\n'
  printf '    <ProjectExtensions>\n        <Tarvos.Personality>Kestrel.Personality.12</Tarvos.Personality>\n'
  printf '        <Tarvos.ProjectType>StaticLibrary</Tarvos.ProjectType>\n    </ProjectExtensions>\n'
  printf '    <Import Project="$(NXS)\\data\\targets\\Kestrel.Common.Targets"/>\n</Project>\n'
}

# generate DIR N: the projects p0001 ... pN with their sources, the group g.groupproj, and
# beside them one build.ninja that compiles and archives them all as the compile task does,
# its objects in a folder of its own.
generate() {
  local dir=$1 n=$2 list=()
  mkdir -p "$dir"
  for i in $(seq -f '%04g' 1 "$n"); do
    local p=$dir/p$i
    mkdir -p "$p"
    project_file "$(printf '00000000-0000-4000-8000-%012d' "$((10#$i))")" > "$p/p$i.kzproj"
    printf '#pragma once\nint A%s();\nint B%s();\n' "$i" "$i" > "$p/p$i.h"
    printf '#include "p%s.h"\nint A%s() { return %d; }\n' "$i" "$i" "$((10#$i))" > "$p/a.cpp"
    printf '#include <cstring>\n#include "p%s.h"\nint B%s() { return static_cast<int>(std::strlen("b")) + A%s(); }\n' \
      "$i" "$i" "$i" > "$p/b.cpp"
    list+=("p$i/p$i.kzproj")
  done
  (cd "$dir" && "${binaries[0]}" group new g.groupproj >/dev/null && "${binaries[0]}" group add g.groupproj "${list[@]}" >/dev/null)
  {
    echo "rule cxx"
    echo "  command = g++ -MD -MF \$out.d -fdiagnostics-color=never -std=c++17 -g -Wall -c \$in -o \$out"
    echo "  depfile = \$out.d"
    echo "  deps = gcc"
    echo "rule ar"
    echo "  command = rm -f \$out && ar rcs \$out \$in"
    for i in $(seq -f '%04g' 1 "$n"); do
      echo "build ninja/p$i/a.cpp.o: cxx p$i/a.cpp"
      echo "build ninja/p$i/b.cpp.o: cxx p$i/b.cpp"
      echo "build ninja/p$i/libp$i.a: ar ninja/p$i/a.cpp.o ninja/p$i/b.cpp.o"
    done
  } > "$dir/build.ninja"
}

# The smallest wall time of the "wall user sys" lines on standard input, and the smallest
# user + sys, in milliseconds.
best_of() { awk 'NR == 1 || $1 < w { w = $1 } NR == 1 || $2 + $3 < c { c = $2 + $3 } END { printf "%d %d\n", w * 1000, c * 1000 }'; }

printf '%-9s %-28s %9s %9s %11s %11s %7s\n' projects nxs "wall ms" "cpu ms" "ninja wall" "ninja cpu" ratio
for n in "${sizes[@]}"; do
  dir=$work/g$n
  generate "$dir" "$n"
  "${binaries[0]}" build "$dir/g.groupproj" -j 2 >/dev/null
  (cd "$dir" && ninja -j 2 >/dev/null)
  for nxs in "${binaries[@]}"; do
    for way in replay whole; do
      # Once more each, so that both start from what their own last make left.
      "$nxs" build "$dir/g.groupproj" >/dev/null
      (cd "$dir" && ninja >/dev/null)
      : > "$work/nxs.times"
      : > "$work/ninja.times"
      for _ in $(seq 1 "$runs"); do
        [ $way == replay ] || rm -rf "$NXS_SETTINGS_DIR/MakeRecords"
        { time "$nxs" build "$dir/g.groupproj" >/dev/null 2>&1; } 2>> "$work/nxs.times"
        { time (cd "$dir" && ninja >/dev/null 2>&1); } 2>> "$work/ninja.times"
      done
      read -r nw nc < <(best_of < "$work/nxs.times")
      read -r jw jc < <(best_of < "$work/ninja.times")
      name=$nxs
      [ $way == replay ] || name="$name whole"
      [ ${#name} -le 28 ] || name=...${name: -25}
      awk -v n="$n" -v b="$name" -v nw="$nw" -v nc="$nc" -v jw="$jw" -v jc="$jc" \
        'BEGIN { printf "%-9s %-28s %9d %9d %11d %11d %6.1fx\n", n, b, nw, nc, jw, jc, nw / (jw > 0 ? jw : 1) }'
    done
  done
  rm -rf "$dir"
done
