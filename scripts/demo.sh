#!/usr/bin/env bash
# The demo: runs nxs over the sample projects in examples/: shows each project, its
# configurations and resolved options, checks that formatting keeps the file byte for byte,
# expands a macro, edits a copy of a source file with a script, prints a project's tree, a
# unit's outline and tokens, searches the examples, makes a project group, and builds the
# sample group: both programs run, a second make rewrites nothing, and a touched header
# recompiles only what includes it.
set -euo pipefail
nxs=$(realpath "$1")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export NXS_SETTINGS_DIR=${NXS_SETTINGS_DIR:-$work/settings}
for f in examples/*/*.vproj examples/*/*.kzproj; do
  [ -f "$f" ] || continue
  echo "== nxs project show $f"
  "$nxs" project show "$f"
  echo "== nxs config list $f"
  "$nxs" config list "$f"
  for cfg in Debug Release; do
    echo "== nxs config get $f Defines --config $cfg"
    "$nxs" config get "$f" Defines --config "$cfg"
  done
  echo "== nxs macros expand '\$(PROJECTNAME) in \$(PROJECTDIR)' --project $f"
  "$nxs" macros expand '$(PROJECTNAME) in $(PROJECTDIR)' --project "$f"
  echo "== nxs project format $f"
  "$nxs" project format "$f" -o "$work/formatted"
  if cmp -s "$f" "$work/formatted"; then echo "unchanged, byte for byte"; else echo "reformatted"; fi
done
echo "== nxs ed examples/hello/hello.vpr (on a copy)"
cp examples/hello/hello.vpr "$work/hello.vpr"
printf '%s\n' 'Find c /world/' 'ReplaceAll c /world/Linux/' 'Lines' 'Modified' 'Print' | "$nxs" ed "$work/hello.vpr"
echo "== nxs project tree examples/hello/hello.vproj"
"$nxs" project tree examples/hello/hello.vproj
echo "== nxs outline examples/hello/src/greeting.pas"
"$nxs" outline examples/hello/src/greeting.pas
echo "== nxs highlight examples/hello/src/greeting.pas --tokens (first lines)"
"$nxs" highlight examples/hello/src/greeting.pas --tokens > "$work/tokens"
head -8 "$work/tokens"
echo "== nxs grep -w -c Greet examples --subdirs --format gcc"
(cd examples && "$nxs" grep -w -c Greet . --subdirs --format gcc)
echo "== nxs group new / add / show (in a scratch folder)"
cp -r examples/hello "$work/hello"
"$nxs" group new "$work/demo.groupproj"
"$nxs" group add "$work/demo.groupproj" "$work/hello/hello.vproj"
"$nxs" group show "$work/demo.groupproj"
echo "== nxs options filetype hello.vpr / greeting.pas / shapes.cpp"
for f in hello.vpr greeting.pas shapes.cpp; do "$nxs" options filetype "$f"; done
echo "== nxs build examples/group/demo.groupproj (on a copy): a Pascal program on a Pascal library,"
echo "   a C++ program on a C++ static library, each built after what it depends on"
cp -r examples/group "$work/group"
g=$work/group
"$nxs" group show "$g/demo.groupproj"
"$nxs" build "$g/demo.groupproj" -j 2
"$g/pasapp/pasapp"
"$g/cppapp/cppapp"
# What a make writes: the object files, archives and programs newer than a stamp.
written() { (cd "$g" && find . -newer "$work/stamp" -type f \( -name '*.o' -o -name '*.a' -o -name '*.ppu' -o -perm -u+x \) | sort); }
echo "== nothing changed: make again; what it rewrote:"
sleep 1; touch "$work/stamp"; sleep 1
"$nxs" build "$g/demo.groupproj"
written
echo "== touch cpplib/include/units.h (included by describe.cpp only): make; what it rewrote:"
sleep 1; touch "$work/stamp"; sleep 1
touch "$g/cpplib/include/units.h"
"$nxs" build "$g/demo.groupproj" --messages gcc
written
echo "== the build group Cpp of the group file (the C++ projects, Debug and Release)"
"$nxs" build "$g/demo.groupproj" --buildgroup Cpp --mode clean
echo "== clean the group: what is left is what was there before the first build"
"$nxs" build "$g/demo.groupproj" --mode clean
(cd "$g" && find . -type f | sort)
