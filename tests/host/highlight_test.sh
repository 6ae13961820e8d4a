# nxs highlight: the highlighter follows the file's source group, tokens are exact, and the
# coloured forms carry the display elements' colours.
. "$(dirname "$0")/lib.sh"

printf 'unit U;\n{$mode objfpc}\n(* a\n b *) x := $1F; // c\n' > u.pp
expect_out ".pp files are Pascal" "1 1 4 Reserved word
1 6 1 Identifier
1 7 1 Symbol
2 1 14 Preprocessor
3 1 4 Comment
4 1 5 Comment
4 7 1 Identifier
4 9 1 Symbol
4 10 1 Symbol
4 12 3 Hex
4 15 1 Symbol
4 17 4 Comment" "$NXS" highlight u.pp --tokens

printf 'int s = "\xc3\xa9\\\nx"; /* y */\n' > a.c
expect_out "columns count characters; a continued string" "1 1 3 Reserved word
1 5 1 Identifier
1 7 1 Symbol
1 9 3 String
2 1 2 String
2 3 1 Symbol
2 5 7 Comment" "$NXS" highlight a.c --tokens
expect_out "--syntax chooses another highlighter" "1 1 3 Identifier
1 5 1 Identifier
1 7 1 Symbol
1 9 3 Identifier
2 1 11 Identifier" "$NXS" highlight a.c --tokens --syntax SQL
# Lines that end in a lone CR: the highlighter counts them as the editor and find in files do.
printf 'int a;\rint b;\r\rint c;' > cr.c
expect_out "a lone CR ends a line" "1 1 3 Reserved word
1 5 1 Identifier
1 6 1 Symbol
2 1 3 Reserved word
2 5 1 Identifier
2 6 1 Symbol
4 1 3 Reserved word
4 5 1 Identifier
4 6 1 Symbol" "$NXS" highlight cr.c --tokens
checks=$((checks + 1))
h=$("$NXS" highlight cr.c --tokens | tail -1 | cut -d' ' -f1)
e=$("$NXS" ed cr.c --script <(printf 'Find c /int c/\n') | cut -d' ' -f2)
g=$("$NXS" grep 'int c' . | sed -n 's/^.*cr\.c(\([0-9]*\)): .*$/\1/p')
[ "$h $e $g" == "4 4 4" ] || fail "the line of 'int c' in a CR-only file: highlight $h, ed $e, grep $g"
expect_status "unknown highlighter" 2 "nxs: unknown highlighter 'Cobol'" "$NXS" highlight a.c --syntax Cobol
expect_status "two formats" 2 "nxs: --tokens, --ansi and --html exclude one another" "$NXS" highlight a.c --tokens --html
expect_status "missing file" 1 "" "$NXS" highlight missing.pas

checks=$((checks + 1))
out=$("$NXS" highlight u.pp --ansi | head -1)
[ "$out" == $'\e[1;38;2;0;0;128munit\e[0m U;' ] || fail "ansi: $(printf '%q' "$out")"
"$NXS" options set 'Editor\Highlight\Reserved word' 'Foreground Color New' '$000000FF' >/dev/null
"$NXS" options set 'Editor\Highlight\Reserved word' 'Bold' False >/dev/null
checks=$((checks + 1))
out=$("$NXS" highlight u.pp --ansi | head -1)
[ "$out" == $'\e[38;2;255;0;0munit\e[0m U;' ] || fail "ansi after a colour change: $(printf '%q' "$out")"
checks=$((checks + 1))
"$NXS" highlight u.pp --html > u.html
grep -q '^\.e2 { color: #FF0000; }$' u.html || fail "html colour of reserved words: $(grep '^\.e2' u.html)"
grep -q '<span class="e2">unit</span> <span class="e3">U</span>' u.html || fail "html text: $(grep unit u.html)"
printf '<b>&</b>\n' > x.html
checks=$((checks + 1))
"$NXS" highlight x.html --html | grep -q '<span class="e13">&lt;b&gt;</span><span class="e21">&amp;</span>' || fail "html escapes"
finish
