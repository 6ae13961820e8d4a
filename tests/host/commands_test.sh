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
finish
