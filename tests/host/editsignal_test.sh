#!/usr/bin/env bash
# nxs edit gives the terminal back however it ends: SIGTERM, SIGHUP and a crash leave the
# full screen and show the cursor again, and the text typed is not written to the file.
source "$(dirname "$0")/lib.sh"
source "$ROOT/tests/host/tuilib.sh"
printf 'first line\n' > a.txt

pane() { tmux -L "$TUI_SOCKET" display -p "$1"; }

for sig in TERM HUP SEGV; do
  # A server of its own for each run: one being killed still answers for a moment.
  tmux -L "$TUI_SOCKET" kill-server 2>/dev/null
  TUI_SOCKET=nxs-edit-$$-$sig
  rm -f edit.pid
  tui_start a.txt
  wait_screen "$sig: the file opens" "first line" || continue
  type_text "typed "
  wait_screen "$sig: the text is typed" "typed first line"
  checks=$((checks + 1))
  [ "$(pane '#{alternate_on}')" == 1 ] || fail "$sig: the IDE runs on the alternate screen"
  kill -"$sig" "$(cat edit.pid)"
  wait_screen "$sig: the program ends by the signal" "EXITED"
  checks=$((checks + 1))
  [ "$(pane '#{alternate_on}')" == 0 ] || fail "$sig: the alternate screen is left"
  checks=$((checks + 1))
  [ "$(pane '#{cursor_flag}')" == 1 ] || fail "$sig: the cursor shows again"
  checks=$((checks + 1))
  [ "$(cat a.txt)" == "first line" ] || fail "$sig: the file is as it was"
done
finish
