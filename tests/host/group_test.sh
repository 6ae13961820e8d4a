# nxs group and nxs project add/remove/rename/tree: exact listings, exit codes, and groups
# that load back as they were written.
. "$(dirname "$0")/lib.sh"

cp -r "$ROOT/examples/hello" "$ROOT/examples/shapes" .
expect_status "new group" 0 "" "$NXS" group new g.groupproj
expect_status "add projects" 0 "" "$NXS" group add g.groupproj hello/hello.vproj shapes/shapes.kzproj
expect_status "add a new project" 0 "" "$NXS" group add g.groupproj --new My.App --personality Vellum.Personality
expect_status "depend" 0 "" "$NXS" group depend g.groupproj hello --on My.App shapes
expect_status "a cycle is refused" 1 "nxs: My.App cannot depend on hello: that would make the cycle My.App -> hello -> My.App" \
  "$NXS" group depend g.groupproj My.App --on hello
expect_status "activate" 0 "" "$NXS" group activate g.groupproj shapes
expect_status "order" 0 "" "$NXS" group order g.groupproj My.App --sooner
expect_status "order again" 0 "" "$NXS" group order g.groupproj My.App --sooner
expect_status "the first cannot go sooner" 1 "nxs: My.App is already the first project of the group" \
  "$NXS" group order g.groupproj My.App --sooner
expect_out "show" "  My.App.vproj
  hello/hello.vproj -> My.App, shapes
* shapes/shapes.kzproj" "$NXS" group show g.groupproj
grep -q '<Target Name="My_App:Clean">' g.groupproj || fail "target names follow the dot rule"
cp g.groupproj formatted.groupproj
expect_status "format the group" 0 "" "$NXS" project format formatted.groupproj
same_file "formatting a written group changes no byte" g.groupproj formatted.groupproj
expect_status "nodepend" 0 "" "$NXS" group nodepend g.groupproj hello --on shapes
expect_status "remove" 0 "" "$NXS" group remove g.groupproj My.App
expect_out "show after removing" "  hello/hello.vproj
* shapes/shapes.kzproj" "$NXS" group show g.groupproj

# A deleted project: the group opens with the rest and reports it once; the status stays 0.
# Changes meanwhile keep it, where it stood and with the dependencies on it.
expect_status "depend on shapes" 0 "" "$NXS" group depend g.groupproj hello --on shapes
mv shapes/shapes.kzproj gone.kzproj
expect_out "show without shapes" "* hello/hello.vproj" "$NXS" group show g.groupproj
grep -q "^nxs: Unable to locate project $PWD/shapes/shapes.kzproj.  The project reference is kept" "$WORK/stderr" ||
  fail "the missing project is reported: $(cat "$WORK/stderr")"
expect_status "a change without shapes" 0 "" "$NXS" group activate g.groupproj hello
checks=$((checks + 1))
[ "$(grep -c "Unable to locate project" "$WORK/stderr")" = 1 ] || fail "reported once: $(cat "$WORK/stderr")"
mv gone.kzproj shapes/shapes.kzproj
expect_out "shapes is back with the dependency on it" "* hello/hello.vproj -> shapes
  shapes/shapes.kzproj" "$NXS" group show g.groupproj
mv shapes/shapes.kzproj gone.kzproj
expect_status "remove the missing project" 0 "" "$NXS" group remove g.groupproj shapes
mv gone.kzproj shapes/shapes.kzproj
expect_out "removing took it out" "* hello/hello.vproj" "$NXS" group show g.groupproj
expect_status "add it again" 0 "" "$NXS" group add g.groupproj shapes/shapes.kzproj
expect_status "activate it again" 0 "" "$NXS" group activate g.groupproj shapes
cp g.groupproj kept.groupproj
expect_status "a new group is never written over one" 1 "nxs: g.groupproj already exists" "$NXS" group new g.groupproj
same_file "the group is as it was" g.groupproj kept.groupproj

# The legacy format: made, checked, upgraded.
expect_status "new legacy group" 0 "" "$NXS" group new old.nxsgroup
expect_status "add to it" 0 "" "$NXS" group add old.nxsgroup hello/hello.vproj shapes/shapes.kzproj
expect_status "depend in it" 0 "" "$NXS" group depend old.nxsgroup shapes --on hello
grep -q "<Targets>hello shapes</Targets>" old.nxsgroup || fail "the legacy group keeps its format"
expect_status "upgrade" 0 "" "$NXS" group upgrade old.nxsgroup
expect_out "the upgraded group" "* hello/hello.vproj
  shapes/shapes.kzproj -> hello" "$NXS" group show old.groupproj
sed 's/<Targets>hello shapes/<Targets>hello ghost shapes/' old.nxsgroup > bad.nxsgroup
expect_status "an inconsistent legacy group" 1 \
  'nxs: Project group inconsistent.  Cannot locate project file(s) for target(s) "ghost"' "$NXS" group show bad.nxsgroup

# The files of a project.
printf 'unit extra;\n' > hello/src/extra.pas
printf 'object F end\n' > hello/src/extra.vfm
expect_status "add files" 0 "" "$NXS" project add hello/hello.vproj hello/src/extra.pas hello/src/extra.vfm --folder Forms
expect_status "a missing file is refused" 1 "nxs: $PWD/hello/src/none.pas does not exist" \
  "$NXS" project add hello/hello.vproj hello/src/none.pas
expect_status "rename" 0 "" "$NXS" project rename hello/hello.vproj hello/src/extra.pas main.pas
expect_out "tree" "hello
  src
    greeting.pas
  Forms
    main.pas
    main.vfm
  hello.vpr" "$NXS" project tree hello/hello.vproj
expect_out "tree by type" "hello
  src
    greeting.pas
  Forms
    main.pas
    main.vfm
  hello.vpr" "$NXS" project tree hello/hello.vproj --sort type
expect_status "remove a file" 0 "" "$NXS" project remove hello/hello.vproj hello/src/main.vfm
expect_status "remove it again" 1 "nxs: $PWD/hello/src/main.vfm is not a file of project hello" \
  "$NXS" project remove hello/hello.vproj hello/src/main.vfm
expect_status "bad sort" 2 "" "$NXS" project tree hello/hello.vproj --sort bogus
expect_status "unknown group command" 2 "" "$NXS" group frobnicate
finish
