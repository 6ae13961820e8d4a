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

# Each run below has a time bound: a search or replace that loops fails instead of hanging.
ed_run() { timeout 20 "$NXS" ed "$@"; }
check_out() {
  local what=$1 want=$2 got=$3
  checks=$((checks + 1))
  [ "$got" == "$want" ] || fail "$what: got [$got] want [$want]"
}

printf 'Caf\xc3\xa9 au lait\nCAF\xc3\x89\n' > cafe.txt
check_out "case-insensitive non-ASCII search" "found 1 1 4
found 2 1 4" "$(printf 'Find - /caf\xc3\xa9/\nFind - /caf\xc3\xa9/\n' | ed_run cafe.txt 2>&1)"
check_out "whole words and expressions fold case too" "found 2 1 4
found 1 1 4" "$(printf 'GoToLine 2 1\nFind w /caf\xc3\xa9/\nGoToLine 1 1\nFind r /c.f\xc3\x89/\n' | ed_run cafe.txt 2>&1)"

printf 'a\nb\n' > ab.txt
check_out "an expression across a line break" "found 1 1 3" "$(printf 'Find r /a\\nb/\n' | ed_run ab.txt 2>&1)"
printf 'ab  \r\ncd\t\r\nef' > crlf.txt
check_out "CR LF breaks each match as a whole" "2
ab  ;cd	;ef" "$(printf 'ReplaceAll ra /\\r\\n/;/\nPrint\n' | ed_run crlf.txt 2>&1)"
check_out "\\r alone takes the whole pair" "2
ab  Zcd	Zef" "$(printf 'ReplaceAll ra /\\r/Z/\nPrint\n' | ed_run crlf.txt 2>&1)"
got=$(printf 'ReplaceAll ra /\\s+$//\nPrint\n' | ed_run crlf.txt 2>&1)
check_out "trailing blanks go and the breaks stay" "$(printf '2\nab\r\ncd\r\nef')" "$got"
check_out "empty matches advance" "3
;ab  \r
;cd	\r
;ef" "$(printf 'ReplaceAll ra /^/;/\nPrint\n' | ed_run crlf.txt 2>&1 | sed 's/\r/\\r/')"

check_out "a malformed expression is explained by the engine, at its byte" \
  "nxs: line 1: Invalid search expression 'a(b': missing closing parenthesis at offset 3" \
  "$(printf 'Find r /a(b/\n' | ed_run ab.txt 2>&1)"
printf 'ab\r\n\r\ncd\r\n' > blank.txt
check_out "replacing the last character of each line keeps the blank CR LF line" "2
a!\r
\r
c!\r" "$(printf 'ReplaceAll r /[^\\n]\\n/!\\n/\nPrint\n' | ed_run blank.txt 2>&1 | sed 's/\r/\\r/')"

printf 'aaa\n' > aaa.txt
check_out "backward expression and literal agree" "found 1 2 2
found 1 2 2" "$(printf 'GoToLine 1 4\nFind u /aa/\nGoToLine 1 4\nFind ur /aa/\n' | ed_run aaa.txt 2>&1)"

# A line of 100,000 characters: every column is reachable, and undoing all restores it.
head -c 100000 /dev/zero | tr '\0' 'x' > long.txt
printf '\n' >> long.txt
cp long.txt long.orig
out=$(printf 'GoToLine 1 50000\nInsertText ABCDE\nInsertText FGH\nPos\nFind - /x/\nReplaceAll - /x/yy/\nPos\nUndo\nUndo\nUndo\nSaveFile\n' | ed_run long.txt 2>&1)
check_out "typing, finding and replacing past column 32,767" "1 50008
found 1 50008 1
50001
1 150010" "$out"
same_file "undoing all gives back the long line" long.txt long.orig
want=$(head -c 49999 /dev/zero | tr '\0' 'x'; printf 'ABCDEFGH'; head -c 50001 /dev/zero | tr '\0' 'y' | sed 's/y/yy/g')
got=$(printf 'GoToLine 1 50000\nInsertText ABCDEFGH\nReplaceAll - /x/yy/\nPrint\n' | ed_run long.txt 2>&1 | tail -n +2)
check_out "the long line's bytes after typing and replacing" "$want" "$got"
printf 'RightOfLine\nInsertText !\nPos\n' > eol.nxs
check_out "the end of a long line" "1 100002" "$(ed_run long.txt --script eol.nxs 2>&1)"
check_out "an unreachable column is refused" "nxs: line 1: COLUMN takes a number from 1" "$(printf 'GoToLine 1 3000000000\n' | ed_run long.txt 2>&1)"
expect_status "usage" 2 "" "$NXS" ed
finish
