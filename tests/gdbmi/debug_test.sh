#!/usr/bin/env bash
# nxs debug with the gdb kernel loaded as an IDE package, on the examples group in a folder
# whose name holds a blank: breakpoints in a C++ library function, a Pascal program and a
# Pascal library unit stop; the stack, the locals and an expression read; a step enters a
# library function or unit and a step out returns; the program's output reaches the event log;
# without gdb on the path the run fails with the message that says so.
source "$2/tests/host/lib.sh"
GDBMI=$3
if ! command -v gdb >/dev/null || ! command -v g++ >/dev/null || ! command -v fpc >/dev/null; then
  echo "skipped: gdb, g++ or fpc is missing"
  exit 0
fi

mkdir -p "$NXS_SETTINGS_DIR"
printf '%s\n' '[IDEPackages]' "$GDBMI=\"\"" >"$NXS_SETTINGS_DIR/settings.ini"
cp -r "$ROOT/examples/group" "my group"
cd "my group" || exit 1
"$NXS" build demo.groupproj >"$WORK/build.log" 2>&1 || fail "the examples build: $(tail -5 "$WORK/build.log")"

# Addresses, which the system chooses, are compared without their digits.
expect_out "C++: a breakpoint in a library function stops; the stack, the locals, an argument and a step out read" \
"stopped $PWD/cpplib/src/area.cpp:3 breakpoint
#0 Area $PWD/cpplib/src/area.cpp:3
#1 Describe[abi:cxx11](Rect const&) $PWD/cpplib/src/describe.cpp:8
#2 main $PWD/cppapp/src/main.cpp:7
R = @ADDRESS: {Width = 3, Height = 4}
R.Width * R.Height = 12
stopped $PWD/cpplib/src/describe.cpp:8 step
ended 0" \
  bash -c '"$@" | sed "s/0x[0-9a-f]*/ADDRESS/g"' - "$NXS" debug cppapp/cppapp.kzproj --break cpplib/src/area.cpp:3 \
  --script <(printf '%s\n' Run Wait Stack Locals 'Eval R.Width * R.Height' StepOut Wait 'Toggle cpplib/src/area.cpp:3' Run Wait)

expect_out "C++: a step into the library function from its caller enters it" \
"stopped $PWD/cpplib/src/describe.cpp:8 breakpoint
stopped $PWD/cpplib/src/area.cpp:3 step
R.Height = 4
ended -1" \
  "$NXS" debug cppapp/cppapp.kzproj --break cpplib/src/describe.cpp:8 \
  --script <(printf '%s\n' Run Wait StepInto Wait 'Eval R.Height' 'Toggle cpplib/src/describe.cpp:8' Reset)

expect_out "Pascal: a step enters the library unit, its argument reads, a step out returns" \
"stopped $PWD/pasapp/pasapp.vpr:8 breakpoint
stopped $PWD/pasutil/pasutil.pas:15 step
Text = ADDRESS 'hello from pascal'
stopped $PWD/pasapp/pasapp.vpr:8 step
ended 0" \
  bash -c '"$@" | sed "s/0x[0-9a-f]*/ADDRESS/g"' - "$NXS" debug pasapp/pasapp.vproj --break pasapp/pasapp.vpr:8 \
  --script <(printf '%s\n' Run Wait StepInto Wait 'Eval Text' StepOut Wait 'Toggle pasapp/pasapp.vpr:8' Run Wait)

expect_out "Pascal: a breakpoint in the library unit stops; its locals and the stack read" \
"stopped $PWD/pasutil/pasutil.pas:16 breakpoint
TEXT = ADDRESS 'hello from pascal'
result = ADDRESS
SHOUT = ADDRESS
RESULT = ADDRESS
#0 SHOUT $PWD/pasutil/pasutil.pas:16
#1 main $PWD/pasapp/pasapp.vpr:8
ended 0" \
  bash -c '"$@" | sed "s/0x[0-9a-f]*/ADDRESS/g"' - "$NXS" debug pasapp/pasapp.vproj --break pasutil/pasutil.pas:16 \
  --script <(printf '%s\n' Run Wait Locals Stack 'Toggle pasutil/pasutil.pas:16' Run Wait)

checks=$((checks + 1))
"$NXS" debug pasapp/pasapp.vproj --script <(printf '%s\n' Run Wait Log) >"$WORK/log" 2>&1
grep -qx '\*\*\* HELLO FROM PASCAL \*\*\*' "$WORK/log" || fail "the program's output is in the event log: $(cat "$WORK/log")"

# The group's active program is built, but the library it links has changed since, and then
# is gone: each run makes the library first and the program with it.
"$NXS" group activate demo.groupproj cppapp >/dev/null || fail "cppapp made active"
sed -i 's/return R.Width \* R.Height;/return 2 * R.Width * R.Height;/' cpplib/src/area.cpp
checks=$((checks + 1))
"$NXS" debug demo.groupproj --script <(printf '%s\n' Run Wait Log) >"$WORK/log" 2>&1
grep -q '^3 x 4 = 24 ' "$WORK/log" || fail "the changed library is built before the run: $(cat "$WORK/log")"
lib=$(find cpplib -name '*.a' | head -1)
[ -n "$lib" ] || fail "the library's archive: $(find cpplib)"
rm -f "$lib"
checks=$((checks + 1))
"$NXS" debug demo.groupproj --script <(printf '%s\n' Run Wait) >"$WORK/log" 2>&1
[ -f "$lib" ] && grep -qx 'ended 0' "$WORK/log" || fail "the missing library is built before the run: $(cat "$WORK/log")"

mkdir "$WORK/empty"
expect_status "without gdb on the path nothing runs, and the message says why" 1 \
  'nxs: line 1: The debugger program "gdb" was not found on the path. Install gdb to debug programs.' \
  env PATH="$WORK/empty" "$NXS" debug cppapp/cppapp.kzproj --script <(printf '%s\n' Run Wait)

finish
