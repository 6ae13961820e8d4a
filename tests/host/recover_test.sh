# Killed mid-work: a session editing two files of a project is killed after autorecover ran;
# nxs recover lists both files, gives back their text as of the copy, and saving that text
# leaves nothing of the copies behind. The user's files are never touched until then.
. "$(dirname "$0")/lib.sh"

mkdir -p proj
printf 'program demo;\nbegin\nend.\n' > proj/demo.vpr
printf 'unit util;\ninterface\nimplementation\nend.\n' > proj/util.pas
printf '<Project xmlns="http://schemas.microsoft.com/developer/msbuild/2003"/>\n' > proj/demo.vproj
cp proj/demo.vpr demo.before
cp proj/util.pas util.before

# The session is driven through pipes: each step waits for what nxs prints, never for a time.
mkfifo in out
"$NXS" ed proj/demo.vpr proj/util.pas < in > out 2> ed.err &
pid=$!
exec 3> in 4< out
say() { printf '%s\n' "$1" >&3; }
answer() { IFS= read -r -t 30 line <&4 && printf '%s' "$line"; }
say 'InsertText // kept in demo\n'
say 'Switch proj/util.pas'
say 'InsertText // kept in util\n'
say 'AutoRecoverTick'
checks=$((checks + 1))
[ "$(answer)" == "2" ] || fail "the tick writes both modules: $(cat ed.err)"
say 'InsertText // typed after the copy\n'
say 'Switch proj/demo.vpr'
say 'InsertText // also lost\n'
say 'Modified'
checks=$((checks + 1))
[ "$(answer)" == "true" ] || fail "the session did not take the last edits"
{ kill -KILL "$pid" && wait "$pid"; } 2>/dev/null
exec 3>&- 4<&-

same_file "the killed session left demo.vpr as it was" demo.before proj/demo.vpr
same_file "the killed session left util.pas as it was" util.before proj/util.pas

# The time of a file's copy, as its record holds it and as the list shows it.
shown() {
  local stamp
  stamp=$(awk -v s="[$1]" '$0 == s { on = 1; next } /^\[/ { on = 0 } on && sub(/^SaveTime=/, "") { print }' \
    proj/__recovery/__recovery.ini)
  date -d "$stamp" '+%H:%M %A, %B %d, %Y'
}
demo_time=$(shown demo.vpr)
util_time=$(shown util.pas)
expect_out "the list shows both files with the time of their copy" "$WORK/proj/demo.vpr	$demo_time
$WORK/proj/util.pas	$util_time" "$NXS" recover --list

expect_out "restoring prints the text as of the copy" "// kept in demo
program demo;
begin
end." "$NXS" recover --restore proj/demo.vpr
same_file "restoring alone writes nothing" demo.before proj/demo.vpr
expect_out "restoring alone keeps the copies" "$WORK/proj/demo.vpr	$demo_time
$WORK/proj/util.pas	$util_time" "$NXS" recover --list

expect_out "restore and save" "saved $WORK/proj/demo.vpr" "$NXS" recover --restore proj/demo.vpr --save
printf '// kept in demo\nprogram demo;\nbegin\nend.\n' > demo.want
same_file "the saved file holds the recovered text" demo.want proj/demo.vpr
expect_out "one file is left to recover" "$WORK/proj/util.pas	$util_time" "$NXS" recover --list

# The editor's own way: Recover FILE, then save.
printf 'Recover proj/util.pas\nSaveFile\nModified\n' > script
expect_out "nxs ed recovers and saves" "false" "$NXS" ed proj/demo.vpr --script script
printf '// kept in util\nunit util;\ninterface\nimplementation\nend.\n' > util.want
same_file "the saved util.pas holds the recovered text" util.want proj/util.pas

expect_out "nothing is left to recover" "" "$NXS" recover --list
checks=$((checks + 1))
[ -z "$(ls -A proj/__recovery)" ] || fail "copies or the record are left: $(ls -A proj/__recovery)"
checks=$((checks + 1))
! grep -q 'Recover Files' "$NXS_SETTINGS_DIR/settings.ini" || fail "the settings still list the folder"
expect_status "a file without copies" 1 "nxs: no recovered text for $WORK/proj/demo.vpr" \
  "$NXS" recover --restore proj/demo.vpr

# Discarding: asked once for the rest, kept on No.
mkdir -p other/__recovery
printf 'x\n' > other/a.txt
printf 'copy\n' > other/__recovery/a.txt
printf '[a.txt]\nSaveTime=2026-01-02 03:04:05\nFileCount=1\nFile0=%s\n' "$WORK/other/a.txt" > other/__recovery/__recovery.ini
printf '[Recover Files]\nDir0="%s"\nDir1="%s"\n' "$WORK/other/__recovery" "$WORK/gone/__recovery" >> "$NXS_SETTINGS_DIR/settings.ini"
expect_status "a folder that is gone is reported" 0 "nxs: AutoRecover folder not found: $WORK/gone/__recovery" \
  "$NXS" recover --list
expect_out "No keeps them" "" "$NXS" recover --discard-all
expect_out "Yes discards them" "discarded $WORK/other/a.txt" "$NXS" recover --discard-all --answer yes
checks=$((checks + 1))
[ ! -e other/__recovery/a.txt ] && [ ! -e other/__recovery/__recovery.ini ] || fail "discarded copies are left"

finish
