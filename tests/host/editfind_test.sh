#!/usr/bin/env bash
# Find in files in nxs edit: the dialog's form searches every project of the group, the hits
# come into the message view grouped by file, and Enter on a hit opens its file there.
source "$(dirname "$0")/lib.sh"
source "$ROOT/tests/host/tuilib.sh"
cp -r "$ROOT/examples/group" group

tui_start group/demo.groupproj
wait_screen "the tree shows the group" "- demo.groupproj" || { finish; exit 1; }
keys M-f
wait_screen "Alt+F opens the form" "Find in Files"
keys C-u
type_text "Shout"
keys Enter
wait_screen "the search names its text" "[Search for 'Shout']"
wait_screen "the unit's hits come under its file" "pasutil/pasutil.pas [2]"
wait_screen "the program's hit comes too" "pasapp.vpr(8):   WriteLn(Shout("
wait_gone "the form is gone" "Find in Files"

# The messages are the pane after the tree; the unit's second hit is two rows down.
keys F6 Down Down Enter
wait_screen "Enter opens the file of the hit" " pasutil.pas  |"
wait_status "the cursor is at the hit" '^ *14:10\b'

# A search from the prompt finds what is typed since in the editor, unsaved.
keys End
type_text " { Shout again }"
prompt "Grep again }"
wait_screen "Grep searches the editor's text" "pasutil.pas(14): function Shout(const Text: string): string; { Shout again }"
prompt "Quit"
wait_screen "Quit asks about the unsaved unit" "Save changes to pasutil.pas?"
keys n
wait_screen "and ends" "EXITED 0"
finish
