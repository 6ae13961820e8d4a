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

finish
