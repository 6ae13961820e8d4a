# The files of a hand-written project: a file named twice is one file of the project, and
# taking it out takes out every reference; items that name no file are no files.
. "$(dirname "$0")/lib.sh"

mkdir src
printf 'unit a;\n' > src/a.pas
printf 'notes\n' > notes.txt
cat > p.vproj <<'EOF'
<Project xmlns="http://schemas.microsoft.com/developer/msbuild/2003">
  <PropertyGroup><ProjectGuid>{00000000-0000-4000-8000-000000000001}</ProjectGuid></PropertyGroup>
  <ItemGroup>
    <UnitReference Include="src\a.pas"/>
    <None Include="notes.txt"/>
    <UnitReference Include="src/a.pas"/>
    <VirtualFolder Include="{00000000-0000-4000-8000-0000000000F0}"><Name>Docs</Name></VirtualFolder>
    <BuildConfiguration Include="Base"><Key>Base</Key></BuildConfiguration>
  </ItemGroup>
  <ProjectExtensions><Tarvos.Personality>Vellum.Personality</Tarvos.Personality></ProjectExtensions>
</Project>
EOF
expect_out "a file named twice shows once" "p
  src
    a.pas
  Docs
  notes.txt" "$NXS" project tree p.vproj
expect_status "take it out" 0 "" "$NXS" project remove p.vproj src/a.pas
expect_out "no reference is left" "p
  Docs
  notes.txt" "$NXS" project tree p.vproj
checks=$((checks + 1))
grep -q 'a\.pas' p.vproj && fail "a reference stayed: $(grep 'a\.pas' p.vproj)"
expect_status "it is no file of the project now" 1 "nxs: $WORK/src/a.pas is not a file of project p" \
  "$NXS" project remove p.vproj src/a.pas
# A unit's own options, its dependent file and its references follow a rename; renaming it to
# its own name changes nothing; taking it out takes its options with it.
expect_status "a project" 0 "" "$NXS" project new q.vproj --personality Vellum.Personality
printf 'unit u;\n' > u.pas
printf 'about u\n' > u.txt
expect_status "its files" 0 "" "$NXS" project add q.vproj u.pas u.txt
expect_status "options of the unit alone" 0 "" "$NXS" config set q.vproj Defines LOCAL --config Base --file u.pas
sed -i 's|<None Include="u.txt"/>|<None Include="u.txt"><DependentOn>u.pas</DependentOn></None>|' q.vproj
expect_status "in the system's layout" 0 "" "$NXS" project format q.vproj
grep -q '<DependentOn>u.pas</DependentOn>' q.vproj || fail "the test could not make u.txt depend on u.pas"
cp q.vproj q.before
expect_status "rename to its own name" 0 "" "$NXS" project rename q.vproj u.pas u.pas
same_file "a rename to the same name changes nothing" q.vproj q.before
expect_status "rename" 0 "" "$NXS" project rename q.vproj u.pas main.pas
expect_out "the options follow the unit" "LOCAL" "$NXS" config get q.vproj Defines --config Base --file main.pas
checks=$((checks + 1))
grep -q '<DependentOn>main.pas</DependentOn>' q.vproj || fail "the dependent file names the old unit: $(grep -A1 'u.txt' q.vproj)"
expect_status "take the unit out" 0 "" "$NXS" project remove q.vproj main.pas
expect_out "no options are left for it" "Active: Debug Linux64
Base (Base)
  Debug (Cfg_1)
  Release (Cfg_2)" "$NXS" config list q.vproj
finish
