#!/usr/bin/env bash
# nxs packages and the packages every command loads first: the shipped Makefile package
# highlights Makefiles, a package whose registration fails is told about and can be disabled
# for the next start, a required one ends the process, an unsafe one is refused, and reading a
# package's information runs none of its code.
source "$(dirname "$0")/lib.sh"

BUILD=$(cd "$(dirname "$NXS")/../.." && pwd)
SHIPPED=$BUILD/packages
TESTPKGS=$BUILD/tests/packages
mkdir -p "$NXS_SETTINGS_DIR"
settings() { printf '%s\n' "$@" >"$NXS_SETTINGS_DIR/settings.ini"; }

printf 'CFLAGS := -O2 # flags\napp: main.o\n\t$(CC) -o $@ $^\nifeq ($(DEBUG),1)\n' >Makefile
expect_out "the shipped package highlights Makefiles" "1 1 6 Identifier
1 8 1 Symbol
1 9 1 Symbol
1 11 3 Identifier
1 15 7 Comment
2 1 3 Identifier
2 4 1 Symbol
2 6 6 Identifier
3 2 5 Preprocessor
3 8 3 Plain text
3 11 2 Preprocessor
3 14 2 Preprocessor
4 1 4 Reserved word
4 6 1 Symbol
4 7 8 Preprocessor
4 15 1 Symbol
4 16 1 Number
4 17 1 Symbol" "$NXS" highlight --tokens Makefile
expect_out "without packages nothing highlights them" "" "$NXS" --no-packages highlight --tokens Makefile
expect_status "nor is the highlighter known" 2 "nxs: unknown highlighter 'Makefile'" \
  "$NXS" --no-packages highlight --syntax Makefile Makefile
# Its keymap is its own key table: the default one, with Tab and F9 its own.
makefile_keys=$("$NXS" keys | sed 's/^Tab\tSmartTab$/Tab\tForeTab/; s/^F9\tRunProgram$/F9\tMakeProject/')
grep -qP '^Tab\tForeTab$' <<<"$makefile_keys" && grep -qP '^F9\tMakeProject$' <<<"$makefile_keys" ||
  fail "the default keymap binds Tab and F9: $makefile_keys"
expect_out "its key table is a keymap" "$makefile_keys" "$NXS" keys --keymap Makefile
expect_status "not without packages" 2 "" "$NXS" --no-packages keys --keymap Makefile
expect_out "the shipped list" 'ide loaded $(NXSLIB)/makehl.so "Makefile highlighting and keys" -
ide loaded $(NXSLIB)/gdbmi.so "The gdb debugger kernel" -' "$NXS" packages list

# A build of nxs alone: the shipped package is missing, and every start passes it by without a
# question, with a line in the start-up trace.
mkdir -m 700 nothing-built
expect_out "a missing shipped package asks nothing" "$("$NXS" --no-packages platforms)" \
  env NXS_PACKAGES_DIR="$WORK/nothing-built" "$NXS" platforms
[ ! -s "$WORK/stderr" ] || fail "nothing is asked: $(cat "$WORK/stderr")"
NXS_PACKAGES_DIR=$WORK/nothing-built NXS_TRACE_STARTUP=1 "$NXS" platforms >/dev/null 2>trace
grep -qxF "startup: Package $WORK/nothing-built/makehl.so is missing; it is left out" trace ||
  fail "the missing package is traced: $(cat trace)"

# A package whose registration raises: answered No, it is disabled for the next start.
settings '[IDEPackages]' "$SHIPPED/failreg.so=\"Fails\"" "$SHIPPED/makehl.so=\"\""
expect_out "a failed registration leaves the command running" "$("$NXS" --no-packages platforms)" \
  "$NXS" --answer no platforms
want="Registration procedure, Failreg.IDERegister in package $SHIPPED/failreg.so raised exception class std::runtime_error: this package fails its registration on purpose"
[ "$(head -1 "$WORK/stderr")" == "question: $want" ] || fail "the registration's failure is told: $(head -1 "$WORK/stderr")"
grep -qF "Do you want to attempt to load this IDE package the next time nxs is run? -> no" "$WORK/stderr" ||
  fail "the question is asked: $(cat "$WORK/stderr")"
expect_out "and is listed as disabled" "ide disabled $SHIPPED/failreg.so \"Fails\" -
ide loaded $SHIPPED/makehl.so \"\" -" "$NXS" packages list
[ ! -s "$WORK/stderr" ] || fail "the next start asks nothing: $(cat "$WORK/stderr")"
expect_out "enabled again" "" "$NXS" packages enable failreg.so
expect_out "Yes keeps it enabled" "ide unloaded $SHIPPED/failreg.so \"Fails\" -
ide loaded $SHIPPED/makehl.so \"\" -" "$NXS" --answer yes packages list
grep -qF "$want" "$WORK/stderr" || fail "an enabled package loads again: $(cat "$WORK/stderr")"

# A required package that fails ends the process before the command runs.
settings '[IDEPackages]' "$SHIPPED/failreg.so=\"\"" '[Required IDE Packages]' "$SHIPPED/failreg.so=\"\""
expect_status "a required package's failure ends the process" 1 "$want" "$NXS" platforms
[ ! -s "$WORK/stdout" ] || fail "the command did not run: $(cat "$WORK/stdout")"
grep -qF "nxs will now exit." "$WORK/stderr" || fail "the exit is told: $(cat "$WORK/stderr")"

# Personalities: a package listed under a personality loads for it alone.
settings '[IDEPackages\Vellum.Personality]' "$SHIPPED/makehl.so=\"\""
expect_out "listed with its personality" "ide loaded $SHIPPED/makehl.so \"\" Vellum.Personality" "$NXS" packages list

# Reading the information runs nothing: the test package's constructor would leave a mark.
settings
export NXS_TEST_PACKAGE_MARK=$WORK/constructor-ran
expect_out "info reads the section" "package $TESTPKGS/testpkg_targets.so
description Targets and flags
flags 0x0a100005
producer 2
consumer 1
targets 0x00000006
symbols 
contains Testpkg 0x00000000" "$NXS" --no-packages packages info "$TESTPKGS/testpkg_targets.so"
[ ! -e "$WORK/constructor-ran" ] || fail "info ran the package's code"
expect_status "info on a file it cannot read says why" 1 "nxs: Can't load package $WORK/none.so." \
  "$NXS" --no-packages packages info "$WORK/none.so"
[ "$(sed -n 2p "$WORK/stderr")" == "Cannot open $WORK/none.so: No such file or directory" ] ||
  fail "the system's reason is told: $(cat "$WORK/stderr")"

# Design packages: installed, loaded by the next start, uninstalled. An unsafe copy is refused.
cp "$TESTPKGS/testpkg_ok.so" mine.so
chmod 0664 mine.so
expect_status "a package others may write is refused" 1 \
  "nxs: Refusing to load package $WORK/mine.so: $WORK/mine.so may be written by other users (mode 0664)" \
  "$NXS" packages install mine.so
[ ! -e "$WORK/constructor-ran" ] || fail "the refused package ran"
chmod 0644 mine.so
expect_out "installed" "" "$NXS" packages install mine.so
expect_out "and loaded by the next start" "ide loaded \$(NXSLIB)/makehl.so \"Makefile highlighting and keys\" -
ide loaded \$(NXSLIB)/gdbmi.so \"The gdb debugger kernel\" -
design loaded $WORK/mine.so \"Test package\" -" "$NXS" packages list
expect_status "installed once" 1 "nxs: package $WORK/mine.so is installed already" "$NXS" packages install mine.so
expect_out "uninstalled" "" "$NXS" packages uninstall mine.so
expect_out "and gone" "ide loaded \$(NXSLIB)/makehl.so \"Makefile highlighting and keys\" -
ide loaded \$(NXSLIB)/gdbmi.so \"The gdb debugger kernel\" -" "$NXS" packages list
expect_status "an IDE package is not uninstalled" 1 "nxs: makehl.so is an IDE package; disable it instead" \
  "$NXS" packages uninstall makehl.so

# Installed as an IDE package, it loads after the list at every start; a plain library that
# packages link against is installed as an assembly and loads before them.
expect_out "installed as an IDE package" "" "$NXS" packages install --ide mine.so
lib=$(ldd "$NXS" | awk '/libstdc\+\+/ {print $3}')
expect_out "a library installed as an assembly" "" "$NXS" packages install --assembly "$lib"
expect_out "both load at the next start" "ide loaded \$(NXSLIB)/makehl.so \"Makefile highlighting and keys\" -
ide loaded \$(NXSLIB)/gdbmi.so \"The gdb debugger kernel\" -
ide loaded $WORK/mine.so \"Test package\" -
assembly loaded $lib \"\" -" "$NXS" packages list
expect_status "one kind at a time" 2 "" "$NXS" packages install --ide --assembly mine.so
expect_out "uninstalled both" "" "$NXS" packages uninstall mine.so
expect_out "the assembly too" "" "$NXS" packages uninstall "$lib"
printf '[Known IDE Assemblies]\n%s="The C++ library"\n' "$lib" >>"$NXS_SETTINGS_DIR/settings.ini"
expect_out "the environment's own assemblies load too" "ide loaded \$(NXSLIB)/makehl.so \"Makefile highlighting and keys\" -
ide loaded \$(NXSLIB)/gdbmi.so \"The gdb debugger kernel\" -
assembly loaded $lib \"The C++ library\" -" "$NXS" packages list
expect_out "and are uninstalled the same way" "" "$NXS" packages uninstall "$lib"
expect_out "and gone" "ide loaded \$(NXSLIB)/makehl.so \"Makefile highlighting and keys\" -
ide loaded \$(NXSLIB)/gdbmi.so \"The gdb debugger kernel\" -" "$NXS" packages list
unset NXS_TEST_PACKAGE_MARK

# The start-up's steps with their times, packages among them.
NXS_TRACE_STARTUP=1 "$NXS" platforms >/dev/null 2>trace
steps=$(sed -n 's/^startup: start \(.*\) [0-9.]* ms$/\1/p' trace | tr '\n' ',')
[ "$steps" == "cancel key,message lines,build host,compile tasks,environment variables,debugger,packages,open handlers,container creators,highlighters,module directory services,region services,open buffer text,desktop handlers,debugger line marks,autorecover," ] ||
  fail "traced steps: $steps"
grep -qF "startup: Loading package $SHIPPED/makehl.so" trace || fail "the package load is traced: $(cat trace)"
for stage in "TPackage.Load: $SHIPPED/makehl.so" "IDERegister Procedure: Makehl" "Startup: IDE Package Load"; do
  grep -F "startup: timing $stage " trace | grep -qE ' [0-9.]+ ms$' || fail "$stage is timed: $(cat trace)"
done

finish
