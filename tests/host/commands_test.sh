# The command table: every group and command answers --help with status 0 and its usage
# first; wrong words and missing arguments are usage errors (status 2) that name the group.
. "$(dirname "$0")/lib.sh"

expect_status "help" 0 "" "$NXS" --help
checks=$((checks + 1))
for g in project config optionset macros platforms options history ed; do
  grep -q "^  $g  *[a-z]" "$WORK/stdout" || fail "nxs --help does not list $g"
done
for cmd in "project" "project format" "project show" "project new" "config" "config list" "config get" "config set" \
  "config add" "config remove" "config activate" "config reference" "optionset new" "macros expand" "platforms" \
  "options show" "options set" "options filetype" "options searchflags" "history backup" "history closed" \
  "history favorites" "ed"; do
  # shellcheck disable=SC2086
  expect_status "$cmd --help" 0 "" "$NXS" $cmd --help
  checks=$((checks + 1))
  [[ "$(head -1 "$WORK/stdout")" == "usage: nxs $cmd"* ]] || fail "$cmd --help: $(head -1 "$WORK/stdout")"
done
expect_status "missing command" 2 "nxs: missing command" "$NXS"
expect_status "unknown group" 2 "nxs: unknown command 'frob'" "$NXS" frob
expect_status "unknown command" 2 "nxs: unknown command 'config frob'" "$NXS" config frob
expect_status "missing subcommand" 2 "nxs: missing command" "$NXS" history
expect_status "unknown option" 2 "nxs: unknown option --frob" "$NXS" history closed --frob
expect_status "a value where none is taken" 2 "nxs: option --projects takes no value" "$NXS" history closed --projects=1
# After "--" a word is an argument, even --help: here one too many.
expect_status "help after --" 2 "nxs: too many arguments" "$NXS" history closed -- --help

# Numbers, as options and as words of a script, in one wording: a value outside the bounds or
# no number at all is refused; every number form within them is taken.
printf 'a\nb\n' > two.txt
for j in 0 1025 -1 x "" 1.5; do
  expect_status "build -j '$j'" 2 "nxs: -j takes a number from 1 to 1024" "$NXS" build none.nxsproj -j "$j"
done
for j in 0 -1 4x ""; do
  expect_status "grep -j '$j'" 2 "nxs: -j takes a number from 1" "$NXS" grep a two.txt -j "$j"
done
expect_out "grep -j in its forms" "$WORK/two.txt:1:1:a
$WORK/two.txt:1:1:a
$WORK/two.txt:1:1:a" bash -c "'$NXS' grep a two.txt -j 1 --format gcc; '$NXS' grep a two.txt -j ' 0x2' --format gcc; \
  '$NXS' grep a two.txt -j 4294967295 --format gcc"
expect_status "a line before the first" 1 "nxs: line 1: LINE takes a number from 1" \
  "$NXS" ed two.txt --script <(printf 'GoToLine 0\n')
expect_status "a fold line that is no number" 1 "nxs: line 1: LINE takes a number from 1" \
  "$NXS" ed two.txt --script <(printf 'Fold x\n')
expect_status "a message number below 0" 1 "nxs: line 1: N takes a number from 0" \
  "$NXS" ed two.txt --script <(printf 'GotoMessage -1\n')
expect_out "a line in hexadecimal" "2 1" "$NXS" ed two.txt --script <(printf 'GoToLine $2\nPos\n')

# Exit statuses: 2 for wrong usage, 1 for an error, except nxs grep, whose 1 says "not found"
# and whose errors are 2.
expect_status "an error" 1 "nxs: line 1: unknown command 'Frob'" "$NXS" ed two.txt --script <(printf 'Frob\n')
expect_status "grep: an error" 2 "" "$NXS" grep a missing.txt
expect_status "grep: nothing found" 1 "" "$NXS" grep zzz two.txt
expect_status "grep: wrong usage" 2 "nxs: --project and --group exclude each other" "$NXS" grep a --project p --group g
finish
