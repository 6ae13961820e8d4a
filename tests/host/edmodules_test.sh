# nxs ed with several modules: backups on save, the module list, closing with its question,
# renaming with the form file following, reloading files changed on disk.
. "$(dirname "$0")/lib.sh"

printf 'unit u;\n' > u.pas
printf 'object F: TForm\nend\n' > u.vfm
printf 'notes\n' > notes.txt
expect_status "three saves" 0 "" "$NXS" ed u.pas --script <(printf 'InsertText 1\nSaveFile\nInsertText 2\nSaveFile\nInsertText 3\nSaveFile\n')
checks=$((checks + 1))
[ "$(ls __history | sort | tr '\n' ' ')" == "u.pas.~1~ u.pas.~2~ u.pas.~3~ u.vfm.~1~ u.vfm.~2~ u.vfm.~3~ " ] ||
  fail "three saves leave three numbered backups: $(ls __history | tr '\n' ' ')"
[ "$(cat __history/u.pas.~1~)" == "unit u;" ] || fail "the first backup holds the text before the first save"
[ "$(cat u.pas)" == "123unit u;" ] || fail "the saved text: $(cat u.pas)"

expect_out "modules, most recently activated first" "$WORK/notes.txt modified
$WORK/u.pas saved
xnotes
$WORK/u.pas saved
$WORK/notes.txt modified" "$NXS" ed u.pas notes.txt --script <(printf 'Switch notes.txt\nInsertText x\nModules\nPrint\nSwitch ./u.pas\nModules\n')

# Close asks about a modified module: cancel keeps it open, no closes it unsaved.
cp notes.txt notes.orig
expect_out "close cancelled" "$WORK/notes.txt modified" \
  "$NXS" ed notes.txt --script <(printf 'InsertText x\nClose\nModules\n')
checks=$((checks + 1))
grep -q "^question: Save changes to notes.txt? -> cancel$" "$WORK/stderr" || fail "the close question: $(cat "$WORK/stderr")"
expect_out "close answered no" "$WORK/u.pas saved" \
  "$NXS" ed u.pas notes.txt --answer no --script <(printf 'Switch notes.txt\nInsertText x\nClose\nModules\n')
same_file "a module closed unsaved leaves its file alone" notes.txt notes.orig
expect_out "the closed file is remembered" "$WORK/notes.txt" "$NXS" history closed
expect_out "close answered yes" "" "$NXS" ed notes.txt --answer yes --script <(printf 'InsertText y\nClose\nModules\n')
# Reopened, the file has its cursor back where it was at closing (after the "n").
[ "$(cat notes.txt)" == "nyotes" ] || fail "yes saves before closing: $(cat notes.txt)"
expect_out "a file opened again leaves the list" "nyotes" "$NXS" ed notes.txt --script <(printf 'Print\n')
expect_out "the list without it" "" "$NXS" history closed
expect_status "no module left" 1 "nxs: line 2: no module is open" "$NXS" ed notes.txt --script <(printf 'Close\nLines\n')

# Renaming a unit renames its form file on disk.
expect_out "rename" "$WORK/main.pas modified" "$NXS" ed u.pas --script <(printf 'Rename main\nModules\n')
checks=$((checks + 1))
[ -f main.pas ] && [ -f main.vfm ] && [ ! -e u.pas ] && [ ! -e u.vfm ] || fail "the unit and its form file were not renamed: $(ls)"
printf 'taken\n' > taken.pas
expect_status "rename over another file" 1 "nxs: line 1: Unable to rename '$WORK/main.pas' to '$WORK/taken.pas'" \
  "$NXS" ed main.pas --script <(printf 'Rename taken.pas\n')
[ "$(cat taken.pas)" == "taken" ] || fail "renaming replaced another file"
# The refusal names the file that is in the way, here the form file, not the free unit name.
printf 'object G: TForm\nend\n' > free.vfm
expect_status "rename onto a taken form file" 1 "nxs: line 1: Unable to rename '$WORK/main.vfm' to '$WORK/free.vfm'" \
  "$NXS" ed main.pas --script <(printf 'Rename free\n')
[ -f main.pas ] && [ ! -e free.pas ] || fail "a refused rename renamed the unit: $(ls)"

# A file changed on disk is reloaded only when the answer is yes; a modified one asks the
# longer question.
# The driver runs "!" lines in the shell between commands, once nxs has done every command
# before them.
cat > drive.sh <<'EOS'
#!/bin/bash
nxs=$1; shift
dir=$(mktemp -d)
mkfifo "$dir/in" "$dir/out"
"$nxs" ed "$@" < "$dir/in" > "$dir/out" &
pid=$!
exec 3>"$dir/in" 4<"$dir/out"
while IFS= read -r line; do
  case "$line" in
    '!'*)
      printf 'Find - /@@sync@@/\n' >&3
      while IFS= read -r out <&4 && [ "$out" != "not found" ]; do printf '%s\n' "$out"; done
      bash -c "${line#!}" ;;
    *) printf '%s\n' "$line" >&3 ;;
  esac
done
exec 3>&-
cat <&4
wait "$pid"
rc=$?
rm -rf "$dir"
exit $rc
EOS
chmod +x drive.sh
# reload_case DESCRIPTION ANSWER SCRIPT EXPECTED: r.txt holds "one" until the script's "!"
# line writes "two" into it an hour ahead.
reload_case() {
  printf 'one\n' > r.txt
  printf "$3" '!printf "two\\n" > r.txt; touch -d "+1 hour" r.txt' > case.nxs
  expect_out "$1" "$4" ./drive.sh "$NXS" r.txt --answer "$2" < case.nxs
}
reload_case "reload answered no" no 'Print\n%s\nReload\nPrint\n' "one
one"
checks=$((checks + 1))
grep -q "^question: Module $WORK/r.txt's time/date changed. Reload? -> no$" "$WORK/stderr" || fail "the reload question: $(cat "$WORK/stderr")"
reload_case "reload answered yes" yes 'Print\n%s\nReload\nPrint\n' "one
two"
reload_case "a modified module asks the longer question" yes 'InsertText x\n%s\nReload\nPrint\nModified\n' "two
false"
checks=$((checks + 1))
grep -q "In-memory changes to this module have been detected as well" "$WORK/stderr" || fail "the longer question: $(cat "$WORK/stderr")"

# A copy that keeps the time (cp -p) is seen by its size.
printf 'one\n' > r.txt
printf 'Print\n%s\nReload\nPrint\n' '!printf "three, longer\\n" > new.txt; touch -r r.txt new.txt; cp -p new.txt r.txt' > case.nxs
expect_out "a change that kept the time" "one
three, longer" ./drive.sh "$NXS" r.txt --answer yes < case.nxs

# Every question can come from an answers file, in order; --answer takes the rest.
printf 'a\n' > a.txt
printf 'b\n' > b.txt
printf 'c\n' > c.txt
printf 'no\nyes\n' > answers
expect_out "answers in order" "$WORK/c.txt modified" "$NXS" ed a.txt b.txt c.txt --answers answers --answer cancel \
  --script <(printf 'InsertText 1\nClose\nSwitch b.txt\nInsertText 2\nClose\nInsertText 3\nClose\nModules\n')
[ "$(cat a.txt)" == "a" ] || fail "the first answer (no) saved a.txt"
[ "$(cat b.txt)" == "2b" ] || fail "the second answer (yes) did not save b.txt"
[ "$(cat c.txt)" == "c" ] || fail "the fallback answer (cancel) saved c.txt"
expect_status "a bad answer" 2 "" "$NXS" ed a.txt --answer maybe --script /dev/null
printf 'perhaps\n' > bad.answers
expect_status "a bad answer in the file" 1 "nxs: line 2: answers line 1: 'perhaps' is not an answer" \
  "$NXS" ed a.txt --answers bad.answers --script <(printf 'InsertText x\nClose\n')
expect_status "a missing file" 1 "nxs: Cannot read file \"$WORK/missing.txt\": No such file or directory" "$NXS" ed missing.txt --script /dev/null
finish
