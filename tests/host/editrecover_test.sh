#!/usr/bin/env bash
# nxs edit after a crash: text typed and not saved is copied by autorecover; the program is
# killed; started again with no argument, it offers the recovery list, and recovering puts
# the text back exactly, characters beyond ASCII included. The environment's desktop, saved
# at a clean end, reopens the file.
source "$(dirname "$0")/lib.sh"
source "$ROOT/tests/host/tuilib.sh"
"$NXS" options set "Auto Save" Desktop true >/dev/null 2>&1 || fail "nxs options set"
printf 'first line\nsecond line\n' >a.txt
typed=' and café 日本, $HOME 100% {x};'

tui_start a.txt
wait_screen "the file opens" "first line" || { finish; exit 1; }
keys End
type_text "$typed"
wait_screen "the text is typed" "first line$typed"
prompt "AutoRecoverTick"
wait_status "autorecover copies the one modified file" ' 1$'
pid=$(cat edit.pid)
kill -KILL "$pid"
_gone() { ! kill -0 "$pid" 2>/dev/null; }
checks=$((checks + 1))
wait_until 10 _gone || fail "the program is killed"
same_file "nothing was saved" <(printf 'first line\nsecond line\n') a.txt

tui_restart
wait_screen "the recovery list is offered at start" "Recovered Files" || { finish; exit 1; }
wait_screen "it names the file" "$WORK/a.txt"
keys Enter
wait_gone "the list closes with its last file" "Recovered Files"
wait_screen "the text is back in its editor" "first line$typed"
wait_status "the recovered text is unsaved" "Modified"
keys C-s
wait_gone "Ctrl+S saves it" "Modified"
same_file "the saved text is exactly what was typed" <(printf 'first line%s\nsecond line\n' "$typed") a.txt
checks=$((checks + 1))
[ -z "$(ls -A __recovery 2>/dev/null)" ] || fail "the copies go with the recovery: $(ls -A __recovery)"

prompt "Quit"
wait_screen "Quit ends the program" "EXITED 0"
tui_restart
wait_screen "the environment's desktop reopens the file" "first line$typed"
checks=$((checks + 1))
! screen | grep -qF "Recovered Files" || fail "a clean end leaves nothing to recover"
prompt "Quit"
wait_screen "Quit ends the program again" "EXITED 0"
finish
