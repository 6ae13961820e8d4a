#!/usr/bin/env bash
# nxs edit --answers: the core's questions are answered from the file instead of a dialog, and
# each question shows on the message line with its answer.
source "$(dirname "$0")/lib.sh"
source "$ROOT/tests/host/tuilib.sh"
printf 'text\n' > a.txt
printf 'no\nyes\n' > answers

tui_start a.txt --answers answers
wait_screen "the file opens" "text" || { finish; exit 1; }
type_text "more "
wait_screen "the text is typed" "more text"
# The first answer keeps the IDE running without saving: Quit asks, the script says no.
prompt "Close"
wait_screen "Close asked and was answered" "Save changes to a.txt? No"
checks=$((checks + 1))
[ "$(cat a.txt)" == "text" ] || fail "a No leaves the file alone"
prompt "Open a.txt"
wait_screen "the file opens again" "text"
keys Home
type_text "new "
prompt "Quit"
wait_screen "the second answer saves on the way out" "EXITED 0"
checks=$((checks + 1))
[ "$(cat a.txt)" == "new text" ] || fail "a Yes saves the file: $(cat a.txt)"
finish
