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
finish
