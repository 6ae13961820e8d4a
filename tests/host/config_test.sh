# nxs project new, config, optionset, macros and platforms.
. "$(dirname "$0")/lib.sh"

expect_status "new project" 0 "" "$NXS" project new p.vproj --personality Vellum.Personality
expect_out "a new project's tree" "Active: Debug Linux64
Base (Base)
  Debug (Cfg_1)
  Release (Cfg_2)" "$NXS" config list p.vproj
cp p.vproj p.before
expect_status "new never overwrites" 1 "" "$NXS" project new p.vproj --personality Kestrel.Personality
same_file "the refused new left the file alone" p.vproj p.before

# A project new builds through its personality's targets file; a Pascal one gets its main
# source, which is never written over.
expect_status "new C++ library" 0 "" "$NXS" project new lib.kzproj --personality Kestrel.Personality --type Library
grep -q '<Import Project="$(NXS)\\data\\targets\\Kestrel.Common.Targets"/>' lib.kzproj || fail "the C++ project imports no targets"
grep -q '<AppType>Library</AppType>' lib.kzproj || fail "the C++ library is not one"
[ -f "$("$NXS" macros expand '$(NXS)' --project lib.kzproj)/data/targets/Kestrel.Common.Targets" ] ||
  fail "the import names no shipped targets file"
expect_status "new Pascal archive" 0 "" "$NXS" project new "my units.vproj" --personality Vellum.Personality --type StaticLibrary
grep -q '<Import Project="$(NXS)\\data\\targets\\Vellum.Common.Targets"/>' "my units.vproj" || fail "the Pascal project imports no targets"
grep -q '<MainSource>my_units.pas</MainSource>' "my units.vproj" || fail "no main source in the Pascal project"
grep -q '^unit my_units;$' my_units.pas || fail "the archive's main source is no unit"
echo "program keep; begin end." > app.vpr
expect_status "new Pascal program" 0 "" "$NXS" project new app.vproj --personality Vellum.Personality
[ "$(cat app.vpr)" == "program keep; begin end." ] || fail "an existing main source was written over"

expect_status "set a merged list" 0 "" "$NXS" config set p.vproj Defines DEBUG --config Debug --merge
expect_status "set on the base" 0 "" "$NXS" config set p.vproj Defines BASE --config Base
expect_out "a merged list extends the inherited one" "DEBUG;BASE" "$NXS" config get p.vproj Defines --config Debug
expect_out "an unmerged value stands alone" "BASE" "$NXS" config get p.vproj Defines --config Release
expect_status "add a child" 0 "" "$NXS" config add p.vproj Profile --parent Release
expect_status "a platform value" 0 "" "$NXS" config set p.vproj Optimize true --config Release --platform Linux64
expect_status "a local override" 0 "" "$NXS" config set p.vproj IncludePath inc --config Base --file src/main.pas
expect_out "the override wins for its file" "inc" "$NXS" config get p.vproj IncludePath --config Base --file src/main.pas
expect_out "other configurations keep their own" "" "$NXS" config get p.vproj IncludePath --config Debug --file src/main.pas
expect_status "activate" 0 "" "$NXS" config activate p.vproj Release
expect_out "the changed tree" "Active: Release Linux64
Base (Base)
  Base {src/main.pas}
  Debug (Cfg_1)
  Release (Cfg_2)
    Release [Linux64] (Cfg_2_Linux64)
    Profile (Cfg_3)" "$NXS" config list p.vproj
expect_out "a platform value resolves for the active platform" "true" "$NXS" config get p.vproj Optimize
expect_status "an option set" 0 "" "$NXS" optionset new w.optset --personality Vellum.Personality
expect_status "refer to it" 0 "" "$NXS" config reference p.vproj w.optset --config Debug
checks=$((checks + 1))
grep -q '<CfgDependentOn>w.optset</CfgDependentOn>' p.vproj || fail "the reference is written"
cp p.vproj p.again
expect_status "format the changed project" 0 "" "$NXS" project format p.again
same_file "a project changed through nxs config formats unchanged" p.vproj p.again
expect_status "empty value removes" 0 "" "$NXS" config set p.vproj Defines "" --config Debug
expect_out "the inherited value shows again" "BASE" "$NXS" config get p.vproj Defines --config Debug
expect_status "remove a configuration" 0 "" "$NXS" config remove p.vproj Profile
checks=$((checks + 1))
"$NXS" config list p.vproj | grep -q Profile && fail "a removed configuration is gone"

# A chain thousands deep lists in proportion to its length: below level 20 the indent stays
# that of level 20 and each line names its depth.
awk -v q="'" 'BEGIN {
  print "<Project xmlns=\"http://schemas.microsoft.com/developer/msbuild/2003\">"
  printf "<PropertyGroup Condition=\"%s$(Config)%s==%sBase%s or %s$(Base)%s!=%s%s\"><Base>true</Base></PropertyGroup>\n",
    q, q, q, q, q, q, q, q
  for (i = 1; i <= 3000; i++)
    printf "<PropertyGroup Condition=\"%s$(Config)%s==%sC%d%s or %s$(Cfg_%d)%s!=%s%s\"><Cfg_%d>true</Cfg_%d>" \
      "<CfgParent>%s</CfgParent></PropertyGroup>\n", q, q, q, i, q, q, i, q, q, q, i, i, i == 1 ? "Base" : "Cfg_" (i - 1)
  printf "<PropertyGroup Condition=\"(%s$(Platform)%s==%sLinux64%s and %s$(Cfg_3000)%s==%strue%s) or " \
    "%s$(Cfg_3000_Linux64)%s!=%s%s\"><Cfg_3000_Linux64>true</Cfg_3000_Linux64><CfgParent>Cfg_3000</CfgParent>" \
    "</PropertyGroup>\n", q, q, q, q, q, q, q, q, q, q, q, q
  print "</Project>"
}' >deep.vproj
"$NXS" config list deep.vproj >deep.out
checks=$((checks + 1))
[ "$(wc -c <deep.out)" -lt 300000 ] || fail "a deep chain's list grows with the square of its depth: $(wc -c <deep.out) bytes"
indent=$(printf '%40s' '')
expect_out "the last indented level and the first below it" "${indent:2}C19 (Cfg_19)
${indent}C20 (Cfg_20)
$indent(depth 21) C21 (Cfg_21)" sed -n '21,23p' deep.out
expect_out "the deep end" "$indent(depth 3000) C3000 (Cfg_3000)
$indent(depth 3001) C3000 [Linux64] (Cfg_3000_Linux64)" tail -2 deep.out

expect_out "macros" "p \$ $ROOT" "$NXS" macros expand '$(PROJECTNAME) $$ $(NXS)' --project p.vproj
expect_status "an unmatched parenthesis" 1 "" "$NXS" macros expand '$(PROJECTNAME' --project p.vproj
checks=$((checks + 1))
"$NXS" platforms | grep -q '^Linux64 ' || fail "Linux64 is registered"
expect_status "usage" 2 "" "$NXS" config get p.vproj
finish
