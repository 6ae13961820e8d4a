#!/usr/bin/env bash
# nxs edit as a person uses it on the examples' group: the tree, a Pascal unit opened from
# it, a syntax error typed and built in the background, Enter on the error lands on its line
# and column, the fix builds, and the file on disk changes only when the user saves.
source "$(dirname "$0")/lib.sh"
source "$ROOT/tests/host/tuilib.sh"
cp -r "$ROOT/examples/group" group
unit=group/pasutil/pasutil.pas
cp "$unit" original.pas

tui_start group/demo.groupproj
wait_screen "the tree shows the group" "- demo.groupproj" || { finish; exit 1; }
wait_screen "the tree shows the unit" "pasutil.pas"
keys Down Down Enter
wait_screen "the unit opens from the tree" "unit pasutil;"

# Line 16 ends in "' ***';": a statement that names nothing declared goes after it.
prompt "GoToLine 16"
keys End
type_text " oops;"
wait_screen "the text is typed" "' ***'; oops;"
keys M-m
wait_screen "the build fails on the word" 'Identifier not found "oops"' 20
wait_screen "the build ends" "Failed" 20
same_file "a build leaves the file on disk alone" original.pas "$unit"

# F6 moves to the project tree, then to the messages; the error is the first line there.
keys F6 F6
keys Down Down Enter
wait_status "Enter on the error puts the cursor on its line and column" '^ *16:4[89]\b'
wait_screen "the error line is marked" "! 16 "

# The fix: the word goes again, the build succeeds, and only the save writes the file.
keys End BSpace BSpace BSpace BSpace BSpace BSpace
type_text " { checked }"
keys M-m
wait_screen "the fixed unit builds" "Success" 20
same_file "the file is not saved by the build" original.pas "$unit"
keys C-s
checks=$((checks + 1))
wait_until 10 grep -qF "' ***'; { checked }" "$unit" || fail "Ctrl+S saves the unit"

prompt "Quit"
wait_screen "Quit ends the program" "EXITED 0"
finish
