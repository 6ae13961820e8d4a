#!/usr/bin/env bash
# Installs the build into a scratch prefix, moves the prefix elsewhere, and runs nxs from
# there as a user would: it must find its data from its own location, not the source tree.
set -u
CMAKE=$1
BUILD=$2
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

"$CMAKE" --install "$BUILD" --prefix "$WORK/prefix" >"$WORK/install.log" 2>&1 || { cat "$WORK/install.log"; fail "install"; }
for f in bin/nxs share/nxs/data/tools share/nxs/data/targets/Vellum.Common.Targets \
  share/nxs/data/targets/Kestrel.Common.Targets share/nxs/data/targets/Meldrin.Group.Targets share/nxs/data/layouts include/nxs/shared/fileio.h lib/libnxs_shared.a lib/nxs/packages/makehl.so; do
  [ -e "$WORK/prefix/$f" ] || fail "$f was not installed"
done
# A prefix that is moved keeps working.
mv "$WORK/prefix" "$WORK/moved"
NXS=$WORK/moved/bin/nxs
export NXS_SETTINGS_DIR=$WORK/settings
unset NXS_DATA_DIR

out=$("$NXS" platforms 2>&1) || fail "nxs platforms: $out"
[ -n "$out" ] || fail "nxs platforms printed nothing"
"$NXS" project new "$WORK/p.vproj" --personality Vellum.Personality >/dev/null 2>&1 || fail "nxs project new"
[ -s "$WORK/p.vproj" ] || fail "no project written"
dir=$("$NXS" macros expand '$(NXS)' --project "$WORK/p.vproj" 2>&1) || fail "nxs macros expand: $dir"
[ "$dir" == "$WORK/moved/share/nxs" ] || fail "the installed nxs takes its data from $dir"
# The new project's import names the installed targets file.
grep -q '<Import Project="$(NXS)\\data\\targets\\Vellum.Common.Targets"/>' "$WORK/p.vproj" || fail "the project imports no targets"
[ -f "$dir/data/targets/Vellum.Common.Targets" ] || fail "the import does not reach the installed targets file"
# The shipped packages load from the prefix.
list=$("$NXS" packages list 2>&1) || fail "nxs packages list: $list"
[ "$list" == 'ide loaded $(NXSLIB)/makehl.so "Makefile highlighting and keys" -
ide loaded $(NXSLIB)/gdbmi.so "The gdb debugger kernel" -' ] || fail "the installed packages: $list"
echo "installed nxs runs from its prefix"
