# nxs group with several projects asked the same thing twice: a dependency chosen again, a
# project of a hand-written group named twice, an active project taken out.
. "$(dirname "$0")/lib.sh"

for p in a b c d; do
  mkdir "$p"
  expect_status "project $p" 0 "" "$NXS" project new "$p/$p.vproj" --personality Vellum.Personality
done
expect_status "new group" 0 "" "$NXS" group new g.groupproj
expect_status "four projects" 0 "" "$NXS" group add g.groupproj a/a.vproj b/b.vproj c/c.vproj d/d.vproj

# A dependency chosen a second time, alone and beside a new one, is kept once.
expect_status "a depends on b" 0 "" "$NXS" group depend g.groupproj a --on b
expect_status "b chosen again with c" 0 "" "$NXS" group depend g.groupproj a --on b c b
expect_out "each dependency once" "* a/a.vproj -> b, c
  b/b.vproj
  c/c.vproj
  d/d.vproj" "$NXS" group show g.groupproj

# Taking out the active project passes the activation to the one after it.
expect_status "activate b" 0 "" "$NXS" group activate g.groupproj b
expect_status "remove b" 0 "" "$NXS" group remove g.groupproj b
expect_out "c is active, b no dependency" "  a/a.vproj -> c
* c/c.vproj
  d/d.vproj" "$NXS" group show g.groupproj

# A hand-written group that names a project twice in its build order opens it once, and a
# project that names itself among its dependencies does not depend on itself.
cat > hand.groupproj <<'EOF'
<Project xmlns="http://schemas.microsoft.com/developer/msbuild/2003">
  <Target Name="a" DependsOnTargets="a;c"><MSBuild Projects="a\a.vproj"/></Target>
  <Target Name="c"><MSBuild Projects="c\c.vproj"/></Target>
  <Target Name="Build"><CallTarget Targets="c;a;c"/></Target>
</Project>
EOF
expect_out "a hand-written group" "* c/c.vproj
  a/a.vproj -> c" "$NXS" group show hand.groupproj
finish
