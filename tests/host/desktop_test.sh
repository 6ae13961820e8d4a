# nxs desktop and nxs layout: a desktop's modules and views as they are shown, the layouts of
# the user's data folder, and desktops that nxs ed saves and puts back.
. "$(dirname "$0")/lib.sh"

# A desktop written by hand: a module without a type, one of an unknown handler, a view
# with folds and bookmarks, and the breakpoints another part keeps there.
cat > hand.dsk <<EOS
[Modules]
Count=2
Module0=$WORK/a b.txt
Module1=$WORK/form.vfm
EditWindowCount=1

[$WORK/form.vfm]
ModuleType=TFormDesigner

[EditWindow0]
ViewCount=1
View0=V

[V]
Module=$WORK/a b.txt
CursorX=3
CursorY=4
TopLine=2
LeftCol=1
Elisions={5,0,8,2,0}
Bookmarks={1,4,2}

[Breakpoints]
Count=1
Breakpoint0='$WORK/a b.txt',4,'',0,1,'',1,0,0,'',0,'','','',0,''
EOS
expect_out "a hand-written desktop" "module $WORK/a b.txt
  handler SourceModule
  view cursor 4:3 top 2 left 1
    folds {5,0,8,2,0}
    bookmarks {1,4,2}
module $WORK/form.vfm
  handler TFormDesigner
breakpoints
  Count=1
  Breakpoint0='$WORK/a b.txt',4,'',0,1,'',1,0,0,'',0,'','','',0,''" "$NXS" desktop show hand.dsk
expect_status "a desktop that is not there" 1 "nxs: Cannot read file \"$WORK/none.dsk\": No such file or directory" \
  "$NXS" desktop show none.dsk

# Layouts: the shipped ones appear on first use; a saved one is selected; names that would
# reach outside the folder are refused.
layouts=$XDG_DATA_HOME/Orvanti/NXS/20.0
expect_out "the shipped layouts, the start-up one selected until another is" "  Classic Undocked
  Debug Layout
  Default Layout
* Startup Layout" "$NXS" layout list
expect_out "a layout saved" "" "$NXS" layout save "Mine & Yours"
[ -f "$layouts/Mine & Yours.dst" ] || fail "no layout file written"
expect_out "the saved layout selected" "  Classic Undocked
  Debug Layout
  Default Layout
* Mine & Yours
  Startup Layout" "$NXS" layout list
expect_out "another layout selected" "" "$NXS" layout select "debug layout"
expect_out "the layout deleted" "" "$NXS" layout delete "Mine & Yours"
[ ! -e "$layouts/Mine & Yours.dst" ] || fail "the layout file is still there"
expect_out "the selection after delete" "  Classic Undocked
* Debug Layout
  Default Layout
  Startup Layout" "$NXS" layout list
expect_status "a name with a path" 1 "nxs: \"../x\" is not a valid layout name" "$NXS" layout save ../x
[ ! -e "$XDG_DATA_HOME/Orvanti/NXS/x.dst" ] || fail "a layout was written outside the folder"
expect_status "a layout that is not there" 1 "nxs: There is no layout named \"Nope\"" "$NXS" layout select Nope

# A session opens three files, moves, folds and bookmarks, and saves its desktop; the next
# session puts each file back as it was.
for f in one two three; do
  printf 'unit %s;\ninterface\nimplementation\nprocedure P;\nbegin\n  x := 1;\nend;\nend.\n' $f > "$f.pas"
done
cat > s1 <<EOS
Parse
Fold 4
GoToLine 2 3
SetMark 1
GoToLine 3 5
Open two.pas
GoToLine 6 2
SetMark 4
Open three.pas
GoToLine 8 1
Parse
Fold 4
SaveDesktop
EOS
expect_out "the first session" "" "$NXS" ed one.pas --desktop w.dsk --script s1
cat > s2 <<EOS
Modules
Pos
Folds
Switch one.pas
Pos
Folds
MoveToMark 1
Pos
Switch two.pas
Pos
Folds
MoveToMark 4
Pos
EOS
expect_out "each file back, the one looked at last current" "$WORK/three.pas saved
$WORK/two.pas saved
$WORK/one.pas saved
8 1
{{4,0},{7,3},{'procedure P;'}}
3 5
{{4,0},{7,3},{'procedure P;'}}
2 3
6 2

6 2" "$NXS" ed --desktop w.dsk --script s2
expect_out "the desktop shown" "module $WORK/three.pas
  handler TSourceModule
  view cursor 8:1 top 1 left 1
    folds {{4,0},{7,3},{'procedure P;'}}
module $WORK/two.pas
  handler TSourceModule
  view cursor 6:2 top 1 left 1
    bookmarks {4,6,1}
module $WORK/one.pas
  handler TSourceModule
  view cursor 3:5 top 1 left 1
    folds {{4,0},{7,3},{'procedure P;'}}
    bookmarks {1,2,2}" "$NXS" desktop show w.dsk

# The second file is gone: the other two come back, and one message tells what was left.
cp w.dsk w.saved
rm two.pas
expect_out "two files of three" "$WORK/three.pas saved
$WORK/one.pas saved" "$NXS" ed --desktop w.dsk --script <(echo Modules)
checks=$((checks + 1))
[ "$(cat "$WORK/stderr")" == "Some entries of the desktop \"$WORK/w.dsk\" could not be restored and were skipped:
$WORK/two.pas: the file does not exist" ] || fail "the message of the entry left out: $(cat "$WORK/stderr")"
same_file "a desktop only read" w.dsk w.saved

# With "Auto Save" "Desktop" on, the session's end saves it; a project's desktop lies beside it.
"$NXS" options set "Auto Save" Desktop true >/dev/null 2>&1 || fail "nxs options set"
printf '<Project/>\n' > app.vproj
printf 'GoToLine 5 3\n' > s3
expect_out "a project session" "" "$NXS" ed one.pas --desktop app.vproj --script s3
expect_out "the project's desktop" "module $WORK/one.pas
  handler TSourceModule
  view cursor 5:3 top 1 left 1" "$NXS" desktop show app.vproj
checks=$((checks + 1))
grep -qF "Project=\"$WORK/app.vproj\"" "$NXS_SETTINGS_DIR"/* || fail "the session does not record the project: $(cat "$NXS_SETTINGS_DIR"/*)"
expect_status "no file and no desktop" 2 "" "$NXS" ed --script s3

# Breakpoints set in an editing session come back with its desktop; once the last is gone,
# the desktop keeps no section of them.
printf 'GoToLine 6\nToggle\nSaveDesktop\n' > s4
expect_out "a breakpoint toggled" "" "$NXS" ed one.pas --desktop bp.dsk --script s4
printf 'Breakpoints\nGoToLine 6\nToggle\nSaveDesktop\n' > s5
expect_out "comes back with the desktop" "$WORK/one.pas:6 enabled | Action: Break | Pass Count: 0" \
  "$NXS" ed --desktop bp.dsk --script s5
checks=$((checks + 1))
! grep -q '^\[Breakpoints\]' bp.dsk || fail "an empty breakpoints section is kept: $(cat bp.dsk)"

finish
