# nxs ed on a unit with its form file: the form is a file of the module as much as the unit is,
# whichever of the two changes, is refused or goes missing.
. "$(dirname "$0")/lib.sh"
write_driver

smile=$'\xF0\x9F\x98\x80'
unit() {
  rm -rf __history ./*.pas ./*.vfm
  printf 'unit u;\n' > u.pas
  printf "object F: TForm\n  Caption = '%s'\nend\n" "$smile" > u.vfm
  cp u.vfm form.orig
}

# Saving an edited unit writes its form file back byte for byte, four-byte characters and all,
# and keeps a backup of each.
unit
expect_status "save a unit with a form" 0 "" "$NXS" ed u.pas --script <(printf 'InsertText x\nSaveFile\n')
same_file "the form file keeps its characters" u.vfm form.orig
same_file "the form's backup keeps them too" __history/u.vfm.~1~ form.orig
[ "$(cat u.pas)" == "xunit u;" ] || fail "the unit was not saved: $(cat u.pas)"

# The form file changed on disk while the unit did not: the module asks, and after yes the
# form's new text is what a save writes.
unit
printf 'Print\n%s\nReload\nSaveFile\n' '!printf "object G: TForm\\nend\\n" > u.vfm; touch -d "+1 hour" u.vfm' > case.nxs
expect_out "a form changed on disk" "unit u;" ./drive.sh "$NXS" u.pas --answer yes < case.nxs
checks=$((checks + 1))
grep -q "^question: Module $WORK/u.pas's time/date changed. Reload? -> yes$" "$WORK/stderr" ||
  fail "a change of the form file alone is asked about: $(cat "$WORK/stderr")"
[ "$(cat u.vfm)" == "$(printf 'object G: TForm\nend')" ] || fail "the reloaded form was saved over: $(cat u.vfm)"

# A read-only form file refuses the save before anything is written or backed up.
unit
chmod 0444 u.vfm
expect_status "a read-only form file" 1 "nxs: line 2: Cannot write file \"$WORK/u.vfm\": the file is read-only" \
  "$NXS" ed u.pas --script <(printf 'InsertText x\nSaveFile\n')
[ "$(cat u.pas)" == "unit u;" ] || fail "the unit was written although its form could not be: $(cat u.pas)"
checks=$((checks + 1))
[ ! -e __history ] || fail "a refused save made backups: $(ls __history)"
chmod 0644 u.vfm

# A form file deleted on disk after the unit was opened: renaming the unit moves the unit and
# makes no form file.
unit
printf 'Print\n%s\nRename main\nModules\n' '!rm u.vfm' > case.nxs
expect_out "rename after the form went" "unit u;
$WORK/main.pas modified" ./drive.sh "$NXS" u.pas < case.nxs
checks=$((checks + 1))
[ -f main.pas ] && [ ! -e u.pas ] && [ ! -e main.vfm ] && [ ! -e u.vfm ] || fail "the files after the rename: $(ls)"
# Renamed twice, in the editor and in a project: the form follows each time, and the project's
# references follow both files.
unit
expect_out "rename twice" "$WORK/b.pas modified" "$NXS" ed u.pas --script <(printf 'Rename a\nRename b\nModules\n')
checks=$((checks + 1))
[ "$(ls ./*.pas ./*.vfm | tr '\n' ' ')" == "./b.pas ./b.vfm " ] || fail "the files after two renames: $(ls)"
unit
expect_status "a project" 0 "" "$NXS" project new p.vproj --personality Vellum.Personality
expect_status "its unit and form" 0 "" "$NXS" project add p.vproj u.pas u.vfm --folder Forms
expect_status "the first rename" 0 "" "$NXS" project rename p.vproj u.pas a.pas
expect_status "the second rename" 0 "" "$NXS" project rename p.vproj a.pas b
expect_out "the project after two renames" "p
  Forms
    b.pas
    b.vfm
  p.vpr" "$NXS" project tree p.vproj
same_file "the form moved unchanged" b.vfm form.orig
finish
