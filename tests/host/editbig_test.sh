#!/usr/bin/env bash
# nxs edit on a file large enough to be read as the program starts: its first screen, keys
# typed before it is in all applied in order, the whole file there once it is (its last
# line), a byte-order mark and CR LF line ends saved byte for byte, and a file rewritten as
# it opens shown as one version or the other, never a mix of the two.
source "$(dirname "$0")/lib.sh"
source "$ROOT/tests/host/tuilib.sh"
version() { awk -v v="$1" 'BEGIN { printf "\xef\xbb\xbf"; for (i = 1; i <= 200000; i++) printf "line %d of the %s version\r\n", i, v }'; }
version first > big.txt
version second > second.txt
cp big.txt original.txt
[ "$(stat -c %s big.txt)" -gt $((5 << 20)) ] || fail "the file is large enough to be read ahead"

# Typed at once, before the program has even started.
tui_start big.txt
type_text "abc"
wait_screen "the keys typed at once are in the text" "abcline 1 of the first version" 30 || { finish; exit 1; }
wait_status "and the cursor after them" "^ *1:4 Modified"
keys C-End
wait_status "the last line is there" "^ *200001:1 Modified" 30
wait_screen "and shows" "line 200000 of the first version"
keys C-s
wait_gone "saving" "Modified"
checks=$((checks + 1))
cmp -s big.txt <(printf '\xef\xbb\xbfabc'; tail -c +4 original.txt) || fail "the file saved byte for byte: $(head -c 40 big.txt | od -c | head -3)"
prompt Quit
wait_screen "the program ends" "EXITED 0"

# Rewritten in place as it opens: whichever version the program read, it is one of them.
cp original.txt racing.txt
tui_restart racing.txt
dd if=second.txt of=racing.txt conv=notrunc status=none
wait_status "the file opens" "^ *1:1" 30
keys C-End
wait_status "to the end" "^ *200001:1" 30
last=$(screen | grep -o "line 200000 of the [a-z]* version")
keys C-Home
wait_status "back to the start" "^ *1:1$"
first=$(screen | grep -o "line 1 of the [a-z]* version")
checks=$((checks + 1))
[ -n "$last" ] && [ "${first/line 1 /line 200000 }" == "$last" ] || fail "one version shows: [$first] and [$last]"
finish
