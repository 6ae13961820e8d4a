# nxs eval: values of a hand-written MSBuild file, one per line, for the project's own
# configuration or the one asked for; items, metadata and added properties.
. "$(dirname "$0")/lib.sh"

cat >"$WORK/plain.proj" <<'XML'
<Project xmlns="http://schemas.microsoft.com/developer/msbuild/2003">
  <PropertyGroup>
    <Config Condition="'$(Config)'==''">Release</Config>
    <Name>demo</Name>
    <Out>bin/$(Config)/$(Name)</Out>
  </PropertyGroup>
  <ItemGroup>
    <Compile Include="a.c"><Kind>main</Kind></Compile>
    <Compile Include="b.c"><Kind>lib</Kind></Compile>
  </ItemGroup>
</Project>
XML

expect_out "two names in their order" "bin/Release/demo
demo" "$NXS" eval "$WORK/plain.proj" Out Name
expect_out "configuration given" "bin/Debug/demo" "$NXS" eval "$WORK/plain.proj" Out --config Debug
expect_out "added property" "bin/Release/other" "$NXS" eval "$WORK/plain.proj" Out --property Name=other
expect_out "undefined property is empty" "" "$NXS" eval "$WORK/plain.proj" Nothing
expect_out "items" "a.c;b.c" "$NXS" eval "$WORK/plain.proj" Compile --item
expect_out "metadata" "main;lib" "$NXS" eval "$WORK/plain.proj" Compile --item --metadata Kind
expect_status "missing name" 2 "nxs: missing arguments" "$NXS" eval "$WORK/plain.proj"
expect_status "missing file" 1 "" "$NXS" eval "$WORK/none.proj" Out
grep -q 'An unknown error occurred reading' "$WORK/stderr" || fail "missing file: $(cat "$WORK/stderr")"
# A project of this system answers through the shipped evaluation targets.
"$NXS" project new "$WORK/app.vproj" --personality Vellum.Personality >/dev/null 2>&1 || fail "project new"
expect_out "through the targets" "Debug
Linux64" env -u NXS "$NXS" eval "$WORK/app.vproj" Config Platform
expect_out "through the targets, configuration given" "Release" env -u NXS "$NXS" eval "$WORK/app.vproj" Config --config Release

# MSBuildStartupDirectory is the folder the command was started from, not the project's,
# which the run makes current.
mkdir -p started elsewhere
cat >elsewhere/where.proj <<'XML'
<Project><PropertyGroup><Start>$(MSBuildStartupDirectory)</Start><Root>$(NXS)</Root></PropertyGroup></Project>
XML
expect_out "the startup directory" "$(cd started && pwd -P)" bash -c "cd started && '$NXS' eval ../elsewhere/where.proj Start"

# A variable NXS in the environment gives way to the installation directory, for eval as for
# build: the shipped targets and the tasks they call come from the nxs that runs.
root=$(env -u NXS "$NXS" eval elsewhere/where.proj Root)
[ -f "$root/data/targets/Vellum.Common.Targets" ] || fail "the installation directory: $root"
expect_out "NXS in the environment, eval" "$root" env NXS=/nowhere "$NXS" eval elsewhere/where.proj Root
expect_out "NXS in the environment, through the targets" "Debug
Linux64" env NXS=/nowhere "$NXS" eval "$WORK/app.vproj" Config Platform
cat >root.kzproj <<'XML'
<Project xmlns="http://schemas.microsoft.com/developer/msbuild/2003">
  <ProjectExtensions><Tarvos.Personality>Kestrel.Personality.12</Tarvos.Personality></ProjectExtensions>
  <Import Project="$(NXS)\data\targets\Kestrel.Common.Targets"/>
  <Target Name="Root" BeforeTargets="PreBuildEvent"><Error Text="root=$(NXS)"/></Target>
</Project>
XML
expect_status "NXS in the environment, build" 1 "" env NXS=/nowhere "$NXS" build root.kzproj
checks=$((checks + 1))
grep -qx "\[Error\] root.kzproj(4): root=$root" "$WORK/stdout" || fail "build sees the same \$(NXS): $(cat "$WORK/stdout")"
finish
