# What nxs keeps of a hand-written project: a change writes what it owns, and a value the
# file cannot hold is refused before anything is written.
. "$(dirname "$0")/lib.sh"

cat > hand.vproj <<'XML'
<Project xmlns="http://schemas.microsoft.com/developer/msbuild/2003">
  <PropertyGroup Condition="'$(Config)'=='Base' or '$(Base)'!=''"><Base>true</Base></PropertyGroup>
  <PropertyGroup Condition=" '$(Config)' == 'Release' Or '$(Cfg_2)' != '' "><Cfg_2>true</Cfg_2><CfgParent>Base</CfgParent></PropertyGroup>
  <PropertyGroup Condition=" '$(Cfg_2)' != '' "><Defines>R1</Defines><Defines>$(Defines);R2</Defines></PropertyGroup>
  <PropertyGroup Condition="'$(Config)'=='Release' And '$(Platform)'=='Linux64'"><OutputDir>out</OutputDir></PropertyGroup>
</Project>
XML
expect_out "values spelled by hand are read" "R1;R2" "$NXS" config get hand.vproj Defines --config Release
expect_status "an unrelated change" 0 "" "$NXS" config set hand.vproj Optimize true --config Release
checks=$((checks + 1))
grep -q "<OutputDir>out</OutputDir>" hand.vproj || fail "a group shaped like build events keeps its properties"
checks=$((checks + 1))
[ "$(grep -c '<Defines>' hand.vproj)" -eq 2 ] || fail "both Defines are kept"
checks=$((checks + 1))
grep -q "Cfg_2_Linux64" hand.vproj && fail "no sub-configuration appears"
expect_out "the tree has no new configuration" "Active: Release Win32
Base (Base)
  Release (Cfg_2)" "$NXS" config list hand.vproj
expect_status "remove a configuration written by hand" 0 "" "$NXS" config remove hand.vproj Release
checks=$((checks + 1))
grep -q "Cfg_2" hand.vproj && fail "the removed configuration's groups are gone"

expect_status "new project" 0 "" "$NXS" project new p.vproj --personality Vellum.Personality
cp p.vproj p.before
expect_status "a control character" 1 "nxs: The text \"a\\x01b\" cannot be written to a project file: it holds the control character U+0001" \
  "$NXS" config set p.vproj Defines "$(printf 'a\001b')" --config Debug
expect_status "bytes that are not UTF-8" 1 "" "$NXS" config set p.vproj Defines "$(printf 'caf\351')" --config Debug
expect_status "a configuration name" 1 "" "$NXS" config add p.vproj "$(printf 'D\002')"
same_file "refused values left the file alone" p.vproj p.before
expect_status "a local override of a quoted file name" 0 "" "$NXS" config set p.vproj Defines Q --config Debug --file "it's.pas"
expect_out "reads back" "Q" "$NXS" config get p.vproj Defines --config Debug --file "it's.pas"

printf '<Project xmlns="http://schemas.microsoft.com/developer/msbuild/2003"><Project xmlns="urn:o"><ProjectExtensions><Tarvos.Personality>V.24</Tarvos.Personality></ProjectExtensions></Project></Project>' > nested.vproj
expect_status "format a nested project of another namespace" 0 "" "$NXS" project format nested.vproj -o nested2.vproj
expect_status "what format wrote reads again" 0 "" "$NXS" project show nested2.vproj

finish
