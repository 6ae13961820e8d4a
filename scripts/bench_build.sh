#!/usr/bin/env bash
# Build benchmarks, each printed beside its goal:
#  1. rebuilding the sample group (examples/group) with nxs, against running the same compiler
#     commands (the ones nxs shows as command lines) serially from a shell script;
#  2. opening a generated group of 1,000 projects with 20 sources each (the group file, every
#     project file and its configurations);
#  3. a make with nothing to do on that group: every project evaluated by the engine and every
#     target found up to date (the generated projects' make copies each source to an object, so
#     that the first build takes seconds, not the hours of 20,000 real compiles);
#  4. nxs eval of one property, in a fresh process.
# Times are the median of several runs, in milliseconds.
set -euo pipefail
nxs=$(realpath "$1")
root=$(cd "$(dirname "$0")/.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export NXS_SETTINGS_DIR=$work/settings

now_ms() { echo $(($(date +%s%N) / 1000000)); }
# median of the numbers on standard input
median() { sort -n | awk '{ a[NR] = $1 } END { print a[int((NR + 1) / 2)] }'; }
# time_ms RUNS COMMAND...: the median wall time of RUNS runs of the command
time_ms() {
  local runs=$1
  shift
  for _ in $(seq 1 "$runs"); do
    local t0
    t0=$(now_ms)
    "$@" >/dev/null 2>&1
    echo $(($(now_ms) - t0))
  done | median
}
report() { printf '%-58s %8s ms   (goal: %s)\n' "$1" "$2" "$3"; }

# ---- 1. The sample group against a shell script of its compiler commands ---------------------
cp -r "$root/examples/group" "$work/group"
g=$work/group
"$nxs" options set Compiling ShowCommandLine True >/dev/null
# The command lines are the children of the "... command line" titles, in build order.
"$nxs" build "$g/demo.groupproj" --mode build -j 1 | sed -n 's/^  \(".*\)$/\1/p' > "$work/commands"
{
  echo 'set -e'
  # ninja's rebuild starts from nothing, as a rebuild does.
  grep '^"ninja"' "$work/commands" | awk '{ print "\"ninja\" " $2 " " $3 " -t clean >/dev/null" }' | sort -u
  cat "$work/commands"
} > "$work/commands.sh"
"$nxs" options set Compiling ShowCommandLine False >/dev/null
nxs_ms=$(time_ms 3 "$nxs" build "$g/demo.groupproj" --mode build -j 1)
shell_ms=$(time_ms 3 bash "$work/commands.sh")
report "rebuild of the sample group, nxs build --mode build" "$nxs_ms" "within 5% of the shell"
report "the same compiler commands from a shell script" "$shell_ms" "-"
awk -v a="$nxs_ms" -v b="$shell_ms" 'BEGIN { printf "%-58s %8.1f %%\n", "overhead", (a - b) * 100.0 / b }'

# ---- 2. and 3. A generated group of 1,000 projects with 20 sources each ----------------------
big=$work/big
mkdir -p "$big"
cat > "$big/copy.targets" <<'EOF'
<Project xmlns="http://schemas.microsoft.com/developer/msbuild/2003">
  <Target Name="Make" Inputs="@(KestrelCompile)" Outputs="@(KestrelCompile->'obj\%(Filename).o')">
    <Copy SourceFiles="@(KestrelCompile)" DestinationFiles="@(KestrelCompile->'obj\%(Filename).o')"/>
  </Target>
  <Target Name="Build" DependsOnTargets="Make"/>
  <Target Name="Clean"/>
</Project>
EOF
{
  printf '\xef\xbb\xbf<Project xmlns="http://schemas.microsoft.com/developer/msbuild/2003">\n    <ItemGroup>\n'
  for p in $(seq -w 1 1000); do
    printf '        <Projects Include="p%s\\p%s.kzproj">\n            <Dependencies/>\n        </Projects>\n' "$p" "$p"
  done
  printf '    </ItemGroup>\n'
  order=""
  for p in $(seq -w 1 1000); do
    printf '    <Target Name="p%s">\n        <MSBuild Projects="p%s\\p%s.kzproj"/>\n    </Target>\n' "$p" "$p" "$p"
    order="$order;p$p"
  done
  printf '    <Target Name="Build">\n        <CallTarget Targets="%s"/>\n    </Target>\n</Project>\n' "${order#;}"
} > "$big/big.groupproj"
for p in $(seq -w 1 1000); do
  d=$big/p$p
  mkdir -p "$d"
  {
    printf '\xef\xbb\xbf<Project xmlns="http://schemas.microsoft.com/developer/msbuild/2003">\n'
    printf '    <PropertyGroup>\n        <ProjectGuid>{00000000-0000-4000-8000-%012d}</ProjectGuid>\n' "$((10#$p))"
    printf '        <Config Condition="'"'"'$(Config)'"'"'=='"'"''"'"'">Debug</Config>\n'
    printf '        <Platform Condition="'"'"'$(Platform)'"'"'=='"'"''"'"'">Linux64</Platform>\n'
    printf '        <AppType>StaticLibrary</AppType>\n    </PropertyGroup>\n    <ItemGroup>\n'
    for s in $(seq -w 1 20); do printf '        <KestrelCompile Include="s%s.cpp"/>\n' "$s"; done
    printf '    </ItemGroup>\n    <Import Project="..\\copy.targets"/>\n'
    printf '    <ProjectExtensions>\n        <Tarvos.Personality>Kestrel.Personality</Tarvos.Personality>\n'
    printf '        <Tarvos.ProjectType>StaticLibrary</Tarvos.ProjectType>\n    </ProjectExtensions>\n</Project>\n'
  } > "$d/p$p.kzproj"
  for s in $(seq -w 1 20); do echo "int f$s();" > "$d/s$s.cpp"; done
done
open_ms=$(time_ms 3 "$nxs" group show "$big/big.groupproj")
report "opening a group of 1,000 projects x 20 sources" "$open_ms" "< 1000"
"$nxs" build "$big/big.groupproj" >/dev/null
nothing_ms=$(time_ms 3 "$nxs" build "$big/big.groupproj")
report "make with nothing to do on that group" "$nothing_ms" "< 500"

# ---- 4. One property, a fresh process -------------------------------------------------------
eval_ms=$(time_ms 11 "$nxs" eval "$g/cppapp/cppapp.kzproj" OutputDir)
report "nxs eval of one property" "$eval_ms" "< 20"
