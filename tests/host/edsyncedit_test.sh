# nxs ed's sync edit: the points of a marked block in each language, typing that reaches every
# occurrence, undo and redo across the entry, code templates and the refusals.
. "$(dirname "$0")/lib.sh"

mark='GoToLine 1 1\nSetBlockBeg\nGoToLine 3 1\nSetBlockEnd\n'
printf 'Foo := foo + 1;\nBar(FOO, Bar);\nend\n' > u.pas
cp u.pas u.cpp
expect_out "Pascal ignores the case of identifiers" "* Foo 3 1:1 1:8 2:5
  Bar 2 2:1 2:10" "$NXS" ed u.pas --script <(printf "${mark}SyncEdit\n")
expect_out "C++ keeps it" "* Bar 2 2:1 2:10" "$NXS" ed u.cpp --script <(printf "${mark}SyncEdit\n")
printf 'int Foo = foo;\nint x = Foo + foo;\n\n' > two.cpp
expect_out "two points in C++" "* Foo 2 1:5 2:9
  foo 2 1:11 2:15" "$NXS" ed two.cpp --script <(printf "${mark}SyncEdit\n")

# Backspace, typing and navigation: every occurrence follows the one edited.
expect_out "edits replicate" "* Foo 3 1:1 1:8 2:5
  Bar 2 2:1 2:10
Count := Count + 1;
Bar(Count, Bar);
end
  Counter 3 1:1 1:12 2:5
* Bar 2 2:1 2:14
2 1" "$NXS" ed u.pas --script <(printf "${mark}SyncEdit\nGoToLine 1 4\nBackspaceDelete\nBackspaceDelete\nBackspaceDelete\nInsertText Count\nPrint\nInsertText er\nNextPoint\nPoints\nPos\n")

# A point's text with a blank or a line break, or none, is quoted: each point stays one line.
printf 'ab := ab;\nab := 1;\n' > q.pas
expect_out "quoted point texts" '* ab 3 1:1 1:7 2:1
* "a b" 3 1:1 1:8 2:1
* "a\nb" 3 1:1 2:6 4:1
* "" 3 1:1 1:5 2:1' "$NXS" ed q.pas --script <(printf "${mark}SyncEdit\nGoToLine 1 2\nInsertText  \nPoints\nBackspaceDelete\nInsertText \\\\n\nPoints\nUnDo\nGoToLine 1 1\nDeleteChar\nDeleteChar\nPoints\n")

# The first keystroke in the mode undoes alone; the entry, the first change since the file
# was opened, is the next step: undoing it ends the mode with the block marked again, and redo
# enters it again.
expect_out "undo and redo across the entry" "* Foo 3 1:1 1:8 2:5
  Bar 2 2:1 2:10
Foos := Foos + 1;
Bar(Foos, Bar);
end
Foo := foo + 1;
Bar(FOO, Bar);
end
* Foo 3 1:1 1:8 2:5
  Bar 2 2:1 2:10
1 1 3 1 noninclusive
none
* Foo 3 1:1 1:8 2:5
  Bar 2 2:1 2:10
Foos := Foos + 1;
Bar(Foos, Bar);
end
* Foos 3 1:1 1:9 2:5
  Bar 2 2:1 2:11" "$NXS" ed u.pas --script <(printf "${mark}SyncEdit\nGoToLine 1 4\nInsertText s\nPrint\nUnDo\nPrint\nPoints\nUnDo\nBlock\nPoints\nReDo\nPoints\nReDo\nPrint\nPoints\n")

# A template's fields are points even when they occur once.
printf 'begin\n\nend.\n' > t.pas
expect_out "template" "* i 2 2:5 3:7
  n 1 2:15
begin
for k := 1 to Count do
  Inc(k);
end." "$NXS" ed t.pas --script <(printf 'GoToLine 2 1\nTemplate for $i$ := 1 to $n$ do\\n  Inc($i$);\nDeleteChar\nInsertText k\nNextPoint\nDeleteChar\nInsertText Count\nCancelSyncEdit\nPrint\n')

# In the mode Tab and Shift+Tab move between the points and Esc ends it.
expect_out "keys" "* Foo 3 1:1 1:8 2:5
  Bar 2 2:1 2:10
2 1
1 1
2 1
none" "$NXS" ed u.pas --script <(printf "${mark}SyncEdit\nKey Tab\nPos\nKey Shift+Tab\nPos\nKey Shift+Tab\nPos\nKey Esc\nPoints\n")

expect_status "no block" 1 "nxs: line 1: SyncEdit: no block is marked" "$NXS" ed u.pas --script <(printf 'SyncEdit\n')
printf 'a := b;\nc;\n' > once.pas
expect_status "nothing repeated" 1 "nxs: line 5: SyncEdit: no identifier occurs more than once in the block" \
  "$NXS" ed once.pas --script <(printf "${mark}SyncEdit\n")
expect_status "no sync edit to move in" 1 "nxs: line 1: NextPoint: not in sync edit mode" \
  "$NXS" ed u.pas --script <(printf 'NextPoint\n')
[ "$(cat u.pas)" == "$(printf 'Foo := foo + 1;\nBar(FOO, Bar);\nend')" ] || fail "nxs ed changed the file on disk"
finish
