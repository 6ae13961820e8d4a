#!/usr/bin/env bash
# nxs edit debugging a program with the gdb kernel loaded as an IDE package: a breakpoint set
# with its key in the C++ library shows in the gutter and the breakpoints pane; the run stops
# there with the execution point on the line and the argument's value in the locals pane; a
# step out lands in the caller, whose local the pane then shows; the program runs to its end and the debug panes go again.
source "$2/tests/host/lib.sh"
source "$ROOT/tests/host/tuilib.sh"
GDBMI=$3
if ! command -v gdb >/dev/null || ! command -v g++ >/dev/null; then
  echo "skipped: gdb or g++ is missing"
  exit 0
fi

mkdir -p "$NXS_SETTINGS_DIR"
printf '%s\n' '[IDEPackages]' "$GDBMI=\"\"" >"$NXS_SETTINGS_DIR/settings.ini"
cp -r "$ROOT/examples/group" group
{ "$NXS" build group/cpplib/cpplib.kzproj && "$NXS" build group/cppapp/cppapp.kzproj; } >"$WORK/build.log" 2>&1 || fail "the example builds: $(tail -5 "$WORK/build.log")"

tui_start group/cppapp/cppapp.kzproj group/cpplib/src/area.cpp
wait_screen "the library's file opens" "double Area(const Rect& R)" || { finish; exit 1; }
prompt "GoToLine 3"
keys F5
wait_screen "the breakpoint shows in the gutter" "*  3  double Area"

keys F9
wait_screen "the debug layout shows the call stack" "Call Stack" 30
wait_screen "the execution point stands on the breakpoint's line" ">  3  double Area" 30
wait_screen "the stack names the caller" "#1 Describe"
wait_screen "the locals pane shows the argument" "R = "
wait_screen "the locals pane shows its value" "Width = 3"
wait_screen "the breakpoints pane shows it with its hint text" "area.cpp:3 | "

keys S-F8
wait_screen "a step out stops in the caller" "describe.cpp:8 step" 30
wait_screen "the execution point moves to the caller" ">  8  " 10
wait_gone "the old execution point goes" ">  3  double Area"
wait_screen "the locals pane follows to the caller's own variable" "S = "

prompt "Toggle $WORK/group/cpplib/src/area.cpp:3"
keys F9
wait_screen "the program runs to its end" "ended 0" 30
wait_gone "the debug panes go with the program" "Call Stack"

prompt "Quit"
wait_screen "Quit ends the program" "EXITED 0"
finish
