#!/usr/bin/env bash
# nxs debug as a user runs it, with the fake kernel loaded as an IDE package: breakpoints
# given on the command line and in the script stop the program, answers come one per line,
# the breakpoints come back in the next session from the project's desktop, and an unknown
# kernel named on the command line lists the registered ones.
source "$2/tests/host/lib.sh"
FAKE=$3

mkdir -p "$NXS_SETTINGS_DIR"
printf '%s\n' '[IDEPackages]' "$FAKE=\"\"" >"$NXS_SETTINGS_DIR/settings.ini"

mkdir "my proj"
cd "my proj" || exit 1
"$NXS" project new p.kzproj --personality Kestrel.Personality >/dev/null
# The program the fake kernel runs stands where the project's program is built, newer than
# the project, so that nothing is rebuilt.
cat >p <<'PROG'
a.c:1
a.c:2 i=1
  b.c:10 n=1
a.c:3 i=1 s='x'
a.c:2 i=2
  b.c:10 n=2
a.c:3 i=2 s='y'
print bye
exit 3
PROG

expect_out "a breakpoint from the command line stops; the script steps and evaluates" \
"stopped a.c:2 breakpoint
i = 1
stopped b.c:10 step
#0 depth1 b.c:10
#1 depth0 a.c:2
ended 3" \
  "$NXS" debug p.kzproj --break a.c:2 --script <(printf '%s\n' Run Wait 'Eval i' StepInto Wait Stack 'Toggle a.c:2' Run Wait)

expect_out "a condition with a single quote is kept in the desktop and holds in the next session" \
"stopped a.c:3 breakpoint
i = 2
ended -1" \
  "$NXS" debug p.kzproj --script <(printf '%s\n' "Break a.c:3 condition=s=='y'" Run Wait 'Eval i' Reset)
checks=$((checks + 1))
grep -qF "Breakpoint0='$PWD/a.c',3,'s==''y''',0,1,'',1,0,0,'',1,'','','',0,''" p.dsk ||
  fail "the desktop holds the breakpoint with its quote doubled: $(cat p.dsk)"

expect_out "the breakpoints come back with their hints" \
"$PWD/a.c:3 enabled | Condition: s=='y' | Action: Break | Pass Count: 0" \
  "$NXS" debug p.kzproj --script <(printf '%s\n' Breakpoints)

expect_status "a failing command names its line and keeps what was set before it" 1 \
  "nxs: line 2: Not a location (FILE:LINE): b.c" \
  "$NXS" debug p.kzproj --script <(printf '%s\n' 'Toggle b.c:10' 'Toggle b.c')
expect_out "the breakpoint set before the failure is kept" \
"$PWD/a.c:3 enabled | Condition: s=='y' | Action: Break | Pass Count: 0
$PWD/b.c:10 enabled | Action: Break | Pass Count: 0" \
  "$NXS" debug p.kzproj --script <(printf '%s\n' Breakpoints)

printf 'one\ntwo\nthree\n' >e.c
expect_out "nxs ed keeps the breakpoint it sets in the project's desktop, beside the file it opened" "" \
  "$NXS" ed e.c --desktop p.kzproj --script <(printf '%s\n' 'GoToLine 2' Toggle)
expect_out "nxs debug takes one breakpoint away through the same desktop" \
"$PWD/b.c:10 enabled | Action: Break | Pass Count: 0
$PWD/e.c:2 enabled | Action: Break | Pass Count: 0" \
  "$NXS" debug p.kzproj --script <(printf '%s\n' 'Toggle a.c:3' Breakpoints)
expect_out "the desktop still opens the file, which shows its breakpoint's mark" "2 breakpoint" \
  "$NXS" ed --desktop p.kzproj --script <(printf '%s\n' LineMarks)

"$NXS" group new g.groupproj && "$NXS" group add g.groupproj p.kzproj >/dev/null
expect_out "a group runs its active project, with the breakpoints of the group's own desktop" \
"stopped b.c:10 breakpoint
ended -1" \
  "$NXS" debug g.groupproj --script <(printf '%s\n' 'Toggle b.c:10' Run Wait Reset)

expect_status "an unknown kernel lists the registered ones" 1 \
  "nxs: The specified debugger 'gdb' is not registered.  Use one of the following registered debuggers:" \
  "$NXS" debug p.kzproj --debugger gdb --script /dev/null
checks=$((checks + 1))
[ "$(sed -n 2p "$WORK/stderr")" == "  fake (Fake debugger 1.0)" ] || fail "the kernel list: $(cat "$WORK/stderr")"

expect_out "nxs ed toggles a breakpoint on the cursor's line or the line given, and marks its line" \
"$PWD/e.c:2 enabled | Action: Break | Pass Count: 0
2 breakpoint" \
  "$NXS" ed e.c --script <(printf '%s\n' 'GoToLine 2' Toggle 'Toggle 3' 'Toggle 3' Breakpoints LineMarks)

finish
