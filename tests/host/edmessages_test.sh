# nxs ed: a compiler's view of open files, and message lines that follow edits.
. "$(dirname "$0")/lib.sh"

for i in $(seq 1 12); do echo "line $i"; done > u.pas
printf 'other\n' > o.pas
cp u.pas u.orig

# The unsaved text for the open file, the disk's for another; nothing is saved.
printf 'disk\n' > r.pas
cp r.pas r.orig
expect_out "read through" "ed disk
other" "$NXS" ed r.pas --script <(printf '%s\n' 'InsertText ed ' 'ReadThrough r.pas' 'ReadThrough o.pas')
same_file "reading through changes nothing on disk" r.pas r.orig
expect_status "a missing file" 1 'nxs: line 1: Cannot read file "'"$WORK"'/none.pas": No such file or directory' \
  "$NXS" ed u.pas --script <(printf 'ReadThrough none.pas\n')

# A message at line 10 goes to line 12 after two lines are inserted above it, and keeps its
# place once its line is deleted; a message in another file opens that file.
expect_out "messages" "[Error] u.pas(10): Undeclared identifier x
[Hint] o.pas(1): Unused
Done
12 3
10 3
1 1
$WORK/o.pas saved
$WORK/u.pas modified" "$NXS" ed u.pas --script <(printf '%s\n' \
  'Message error u.pas 10 3 Undeclared identifier x' 'Message hint o.pas 1 1 Unused' 'Message info u.pas 0 0 Done' \
  'GoToLine 1 1' 'InsertText a\nb\n' 'Messages' 'GotoMessage 1' \
  'GoToLine 12 1' 'ExtendBlockBeg' 'GoToLine 13 1' 'ExtendBlockEnd' 'DeleteBlock' 'GotoMessage 1' \
  'GotoMessage 2' 'Modules')
expect_status "a kind it does not know" 1 "nxs: line 1: unknown message kind 'severe' (hint, warning, error, fatal or info)" \
  "$NXS" ed u.pas --script <(printf 'Message severe u.pas 1 1 x\n')
expect_status "no such message" 1 "nxs: line 1: there is no message 1" "$NXS" ed u.pas --script <(printf 'GotoMessage 1\n')
expect_status "a line that is no number" 1 "nxs: line 1: LINE must be a number: 'ten'" \
  "$NXS" ed u.pas --script <(printf 'Message error u.pas ten 1 x\n')
finish
