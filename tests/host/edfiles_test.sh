# nxs ed and the files behind its modules: read-only files, files with several names, text
# in UTF-16 and in 8 bits, and the state kept for a file closed without saving.
. "$(dirname "$0")/lib.sh"

# Typing into a read-only file is refused, for the superuser too, whichever way the change
# comes; moving about is not.
printf 'fixed\n' > ro.txt
chmod 0444 ro.txt
refused="The edit buffer of '$WORK/ro.txt' is marked read-only"
for change in 'InsertText x' 'Key a' 'ReplaceAll - /xed/loose/' 'DeleteChar'; do
  expect_status "$change into a read-only file" 1 "nxs: line 2: $refused" \
    "$NXS" ed ro.txt --script <(printf 'GoToLine 1 3\n%s\nSaveFile\n' "$change")
done
expect_out "moving about a read-only file" "1 4
false" "$NXS" ed ro.txt --script <(printf 'GoToLine 1 4\nPos\nModified\n')
[ "$(cat ro.txt)" == "fixed" ] || fail "the read-only file changed: $(cat ro.txt)"
checks=$((checks + 1))
[ ! -d __history ] || fail "a backup was made of a file nothing was typed into"

# A file with a second name: saving changes the file both names lead to, and the backup keeps
# the old text.
printf 'shared\n' > linked.txt
mkdir other
ln linked.txt other/alias.txt
expect_status "save a file with two names" 0 "" "$NXS" ed linked.txt --script <(printf 'InsertText new \nSaveFile\n')
checks=$((checks + 1))
[ "$(cat other/alias.txt)" == "new shared" ] || fail "the other name kept the old text: $(cat other/alias.txt)"
[ "$(stat -c %i linked.txt)" == "$(stat -c %i other/alias.txt)" ] || fail "the names no longer share one file"
[ "$(cat __history/linked.txt.~1~)" == "shared" ] || fail "the backup: $(cat __history/linked.txt.~1~)"

# UTF-16 with its mark opens as text and is saved back as UTF-16 with the same mark.
printf '\xff\xfeh\x00i\x00\n\x00' > le.txt
printf '\xfe\xff\x00h\x00i\x00\n' > be.txt
expect_out "UTF-16 lines" "2
found 1 1 2" "$NXS" ed le.txt --script <(printf 'Lines\nFind - /hi/\n')
expect_status "type into UTF-16 files" 0 "" "$NXS" ed le.txt be.txt --script <(printf 'GoToLine 1 3\nInsertText \xc3\xa9!\nSaveFile\nSwitch be.txt\nGoToLine 1 3\nInsertText \xc3\xa9!\nSaveFile\n')
checks=$((checks + 1))
[ "$(od -An -tx1 le.txt | tr -d ' \n')" == "fffe68006900e90021000a00" ] || fail "little-endian UTF-16: $(od -An -tx1 le.txt)"
[ "$(od -An -tx1 be.txt | tr -d ' \n')" == "feff0068006900e90021000a" ] || fail "big-endian UTF-16: $(od -An -tx1 be.txt)"

# An 8-bit file becomes UTF-8 only when the user says so.
printf 'caf\xe9\n' > latin.txt
cp latin.txt latin.orig
euro='InsertText \xe2\x82\xac\nSaveFile\nModified\n'
expect_out "answered no" "true" "$NXS" ed latin.txt --answer no --script <(printf "$euro")
checks=$((checks + 1))
grep -q "^question: latin.txt holds characters that its 8-bit encoding cannot store. Save it as UTF-8 instead? -> no$" \
  "$WORK/stderr" || fail "the encoding question: $(cat "$WORK/stderr")"
same_file "no keeps the file as it was" latin.txt latin.orig
[ ! -e __history/latin.txt.~1~ ] || fail "no left a backup behind"
expect_out "answered yes" "false" "$NXS" ed latin.txt --answer yes --script <(printf "$euro")
checks=$((checks + 1))
[ "$(od -An -tx1 latin.txt | tr -d ' \n')" == "e282ac636166c3a90a" ] || fail "saved as UTF-8: $(od -An -tx1 latin.txt)"
same_file "the backup keeps the 8-bit text" __history/latin.txt.~1~ latin.orig

# Closed without saving, a file reopens with its cursor, folds and bookmarks on the lines
# they stood on in the file on disk, not on the lines of the text thrown away.
printf 'unit v;\ninterface\nimplementation\nprocedure A;\nbegin\n  x := 1;\nend;\nprocedure B;\nbegin\n  y := 2;\nend;\nend.\n' > v.pas
cp v.pas v.orig
expect_status "fold, mark, type, close unsaved" 0 "" "$NXS" ed v.pas --answer no --script \
  <(printf 'Parse\nFold 4\nGoToLine 10 3\nSetMark 1\nGoToLine 1 1\nInsertText // one\\n// two\\n\nGoToLine 12 5\nClose\n')
same_file "closing unsaved leaves the file" v.pas v.orig
expect_out "reopened on the lines of the file on disk" "10 5
{{4,0},{7,3},{'procedure A;'}}
10 3" "$NXS" ed v.pas --script <(printf 'Pos\nFolds\nMoveToMark 1\nPos\n')
# A cursor on a line that was typed goes to the line the typing replaced, its column kept;
# marks and folds on changed lines are left out.
expect_status "mark a changed line, close unsaved" 0 "" "$NXS" ed v.pas --answer no --script \
  <(printf 'GoToLine 6 3\nInsertText z\nSetMark 2\nGoToLine 10 1\nInsertText \\nnew line\nGoToLine 11 4\nClose\n')
expect_out "reopened where the typing was" "10 4" "$NXS" ed v.pas --script <(printf 'Pos\n')
expect_status "a mark on a changed line is left out" 1 "nxs: line 1: bookmark 2 is not set" \
  "$NXS" ed v.pas --script <(printf 'MoveToMark 2\n')
finish
