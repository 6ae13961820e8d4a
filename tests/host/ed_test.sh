# nxs ed: scripted editing, exact output, and the file changing only through SaveFile.
. "$(dirname "$0")/lib.sh"

# Mixed line endings, tabs, wide and combining characters, and a very long line.
{
  printf 'first line\r\n'
  printf '\tindented\twith tabs\n'
  printf 'wide \xe4\xb8\xad\xe6\x96\x87 and e\xcc\x81 combining\r'
  printf 'mac line\r\n'
  head -c 100000 /dev/zero | tr '\0' 'x'
  printf '\nlast line without break'
} > mixed.txt
cp mixed.txt mixed.orig
printf 'GoToLine 2 1\nInsertText abc\nGoToLine 1 1\nInsertText \\n\nSaveFile\n' > edit.nxs
expect_status "edit and save" 0 "" "$NXS" ed mixed.txt --script edit.nxs
checks=$((checks + 1))
cmp -s mixed.txt mixed.orig && fail "the edits reached the file"
# Undo everything: the original bytes come back.
printf 'Undo\nUndo\nUndo\nUndo\nUndo\nUndo\nSaveFile\n' > undo.nxs
cp mixed.orig again.txt
printf 'GoToLine 2 1\nInsertText abc\nGoToLine 1 1\nInsertText \\n\nUndo\nUndo\nUndo\nUndo\nSaveFile\n' > roundtrip.nxs
expect_status "edit then undo" 0 "" "$NXS" ed again.txt --script roundtrip.nxs
same_file "undoing every edit gives back the original bytes" again.txt mixed.orig
cp mixed.orig plain.txt
printf 'SaveFile\n' > save.nxs
expect_status "load and save" 0 "" "$NXS" ed plain.txt --script save.nxs
same_file "a file with mixed endings survives load and save" plain.txt mixed.orig

printf 'alpha beta\nGamma alpha\n' > s.txt
cp s.txt s.orig
expect_out "queries" "3
1 1
false
found 1 1 5
found 2 7 5
2 7
not found
not found
found 1 7 4
found 1 1 5" "$NXS" ed s.txt --script <(printf 'Lines\nPos\nModified\nFind c /alpha/\nFind c /alpha/\nPos\nFind c /zzz/\nFind r /G.m+a/\nFind a /beta/\nFind u /ALPHA/\n')
checks=$((checks + 1))
out=$(printf 'ReplaceAll - /ALPHA/omega/\nPrint\nModified\n' | "$NXS" ed s.txt)
[ "$out" == "2
omega beta
Gamma omega
true" ] || fail "ReplaceAll without case: $out"
checks=$((checks + 1))
out=$(printf 'Find c /omega/\nFind c /Gamma/\nReplaceAll c /Gamma/Delta/\nPrint\n' | "$NXS" ed s.txt)
[ "$out" == "not found
found 2 1 5
1
alpha beta
Delta alpha" ] || fail "ReplaceAll takes the match found at the cursor: $out"
same_file "the file changes only through SaveFile" s.txt s.orig
expect_status "an unknown command" 1 "" "$NXS" ed s.txt --script <(printf 'Lines\nFrobnicate\n')
checks=$((checks + 1))
grep -q '^nxs: line 2: ' "$WORK/stderr" || fail "a failed line is named: $(cat "$WORK/stderr")"
same_file "a failed script writes nothing" s.txt s.orig
expect_status "usage" 2 "" "$NXS" ed
finish
