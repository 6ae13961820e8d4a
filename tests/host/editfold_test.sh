#!/usr/bin/env bash
# Folding, sync edit and key macros in nxs edit, a resize in the middle, and undo back to the
# text the file started with: the screen shows the buffer's lines throughout.
source "$(dirname "$0")/lib.sh"
source "$ROOT/tests/host/tuilib.sh"
cp "$ROOT/examples/group/pasutil/pasutil.pas" unit.pas
cp unit.pas original.pas

tui_start unit.pas
wait_screen "the unit opens" "unit pasutil;" || { finish; exit 1; }
wait_screen "its routine can fold" " 14- function Shout"

# Fold the routine and open it again.
prompt "GoToLine 14"
keys M-k
wait_screen "the routine folds" " 14+ function Shout(const Text: string): string; ..."
checks=$((checks + 1))
screen | grep -A1 -F " 14+ function Shout" | tail -1 | grep -q "^  18" || fail "line 18 follows the fold: $(screen)"
wait_gone "the folded lines are hidden" " 16    Result"
keys M-u
wait_screen "unfolding shows them again" " 16    Result := '*** ' + UpperCase(Text) + ' ***';"

# Sync edit of the routine: the parameter's two uses change together.
keys Home C-k b Down Down Down C-k k M-j
wait_status "sync edit is on" "SyncEdit"
type_text "Msg"
wait_screen "the declaration changes" "function Shout(const MsgText: string): string;"
wait_screen "and so does the use" " 16    Result := '*** ' + UpperCase(MsgText) + ' ***';"
keys Escape
wait_gone "Escape ends sync edit" "SyncEdit"

# A resize in the middle: the rows still show the buffer's lines, and the frame is laid out
# for the new size.
sed '14s/Text/MsgText/; 16s/(Text)/(MsgText)/' original.pas > edited.pas
tmux -L "$TUI_SOCKET" resize-window -x 90 -y 24
wait_until 10 editor_rows_match edited.pas >/dev/null
checks=$((checks + 1))
editor_rows_match edited.pas || fail "after the resize the rows show the buffer's lines"
checks=$((checks + 1))
wait_until 10 frame_fits 24 || fail "after the resize the status line is the last row: $(screen)"

# A macro that comments a line and goes down, recorded once and played twice.
prompt "GoToLine 3"
keys M-r Home
type_text "// "
keys Down M-r M-p M-p
wait_screen "the macro played on the lines after" "// interface"
wait_screen "and on the empty line" "  4  //"
wait_screen "the recorded line" "  3  // {\$mode objfpc}{\$H+}"

# Undo takes everything back; the file on disk never changed.
for i in $(seq 1 12); do keys C-z; done
wait_gone "undo leaves nothing modified" "Modified"
tmux -L "$TUI_SOCKET" resize-window -x 120 -y 40
wait_until 10 editor_rows_match original.pas >/dev/null
checks=$((checks + 1))
editor_rows_match original.pas || fail "after undo the rows show the original text"
checks=$((checks + 1))
wait_until 10 frame_fits 40 || fail "grown again, the status line is the last row: $(screen)"
same_file "the file was never saved" original.pas unit.pas
prompt "Quit"
wait_screen "Quit ends without a question" "EXITED 0"
finish
