# Projects written by hand, laid out as no writer of this system would lay them out (a mark,
# an XML declaration, comments, tabs, CR LF line ends, attributes on several lines): the
# build reads them through the project document, which lays them out anew, and every message
# still names the line and column of the file on disk (columns in characters, a tab one).
. "$(dirname "$0")/lib.sh"

"$NXS" options set Compiling ShowCommandLine False
printf 'int main() { return 0; }\n' > main.cpp
crlf() { sed 's/$/\r/'; }

# Checks of the user's own that stop the build before anything is compiled.
{
  printf '\xef\xbb\xbf<?xml version="1.0" encoding="utf-8"?>\n'
  cat <<'XML'
<!-- written by hand,
     over two lines -->
<Project xmlns="http://schemas.microsoft.com/developer/msbuild/2003">
	<PropertyGroup>
		<Config Condition="'$(Config)'==''">Debug</Config>
	</PropertyGroup>
	<ItemGroup><KestrelCompile Include="main.cpp"/></ItemGroup>
	<ProjectExtensions>
		<Tarvos.Personality>Kestrel.Personality.12</Tarvos.Personality>
		<Tarvos.ProjectType>Application</Tarvos.ProjectType>
	</ProjectExtensions>
	<Import Project="$(NXS)\data\targets\Kestrel.Common.Targets"/>

	<!-- checks of our own -->
	<Target Name="Checks"
	        BeforeTargets="PreBuildEvent">
		<Warning
			Text="look here" />   <Error Text="and here"/>
	</Target>
</Project>
XML
} | crlf > checks.kzproj
expect_status "the checks fail the build" 1 "" "$NXS" build checks.kzproj --messages gcc
expect_out "the warning and the error where they stand on disk" "$WORK/checks.kzproj:18:3: warning: look here
$WORK/checks.kzproj:19:26: error: and here" grep -v '^Failed\|^Elapsed' "$WORK/stdout"

# A malformed condition on an element whose attributes run over several lines.
crlf > cond.kzproj <<'XML'
<Project xmlns="http://schemas.microsoft.com/developer/msbuild/2003">
	<ItemGroup><KestrelCompile Include="main.cpp"/></ItemGroup>
	<ProjectExtensions>
		<Tarvos.Personality>Kestrel.Personality.12</Tarvos.Personality>
		<Tarvos.ProjectType>Application</Tarvos.ProjectType>
	</ProjectExtensions>
	<!-- a condition the user got wrong -->
	<Import Project="$(NXS)\data\targets\Kestrel.Common.Targets"/>
	<PropertyGroup>	<Extra
		Condition="'$(Config)' = 'Debug'">yes</Extra>
	</PropertyGroup>
</Project>
XML
expect_status "the malformed condition fails the build" 1 "" "$NXS" build cond.kzproj --messages gcc
checks=$((checks + 1))
grep -q "^$WORK/cond.kzproj:9:18: error: The condition \"'\$(Config)' = 'Debug'\" is malformed" "$WORK/stdout" ||
  fail "the condition's place on disk: $(cat "$WORK/stdout")"
finish
