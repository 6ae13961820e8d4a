# nxs keys and the keyboard commands of nxs ed: bindings as other programs read them, keys
# through a keymap, and a recorded macro played twice and undone.
. "$(dirname "$0")/lib.sh"

checks=$((checks + 1))
line=$("$NXS" keys --keymap Classic | grep -P '^Ctrl\+K B\t')
[ "$line" == $'Ctrl+K B\tSetBlockBeg' ] || fail "Classic Ctrl+K B: $line"
checks=$((checks + 1))
n=$("$NXS" keys | grep -c -P '^[^\t]+\t[A-Za-z]+$')
[ "$n" == "$("$NXS" keys | wc -l)" ] && [ "$n" -gt 100 ] || fail "every line is a sequence and a command: $n"
for k in Default Classic Brief Epsilon VisualStudio VisualBasic VD32; do
  checks=$((checks + 1))
  "$NXS" keys --keymap $k | grep -q -P '^Up\tCursorUp$' || fail "$k binds Up"
done
expect_status "unknown keymap" 2 "nxs: unknown keymap 'Nope'" "$NXS" keys --keymap Nope

printf 'alpha\nbeta\n' > k.txt
expect_out "a macro of keys, played twice, undone play by play" "4 1
xy
xy
xy
alpha
beta
xy
xy
alpha
beta" "$NXS" ed k.txt --script <(printf 'RecordMacro\nKey X Y Enter\nStopMacro\nPlayMacro\nPlayMacro\nPos\nPrint\nUndo\nPrint\n')
expect_out "chords of another keymap" "1 6
2 1" "$NXS" ed k.txt --script <(printf 'Keymap Classic\nKey Ctrl+Q D\nPos\nKey Ctrl+X Ctrl+Q Ctrl+S\nPos\n')
expect_status "a bad key" 1 "nxs: line 1: not a key sequence: 'Ctrl+Nope'" "$NXS" ed k.txt --script <(printf 'Key Ctrl+Nope\n')

printf 'x := 1;\n(* a\nb *) begin\n' > t.pas
expect_out "the current line's tokens" "3 1 4 Comment
3 6 5 Reserved word" "$NXS" ed t.pas --script <(printf 'GoToLine 3 1\nTokens\n')
finish
