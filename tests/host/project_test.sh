# nxs project format and show.
. "$(dirname "$0")/lib.sh"

for f in "$ROOT"/examples/*/*.vproj "$ROOT"/examples/*/*.kzproj; do
  cp "$f" in.proj
  expect_status "format $f" 0 "" "$NXS" project format in.proj -o out.proj
  same_file "a file in the system's layout formats unchanged ($f)" "$f" out.proj
  expect_status "format over the file" 0 "" "$NXS" project format in.proj
  same_file "formatting in place changes nothing ($f)" "$f" in.proj
done

# A foreign MSBuild file: stable after one format, and what it holds survives.
printf '%s\n' '<?xml version="1.0" encoding="utf-8"?>' \
  '<!-- an ordinary comment -->' \
  '<Project DefaultTargets="Build" xmlns="http://schemas.microsoft.com/developer/msbuild/2003">' \
  '  <PropertyGroup Condition=" '"'"'$(Config)'"'"' == '"'"'Debug'"'"' ">' \
  '    <Defines>DEBUG;TRACE</Defines>' \
  '    <Empty>' \
  '    </Empty>' \
  '    <Spaced>  leading kept</Spaced>' \
  '    <Data><![CDATA[<raw> & text]]></Data>' \
  '    <Quote>it'"'"'s &amp; "so"</Quote>' \
  '  </PropertyGroup>' \
  '  <!-- __node42 -->' \
  '  <ItemGroup><Compile Include="a.pas"><DependentUpon>b.pas</DependentUpon></Compile></ItemGroup>' \
  '  <Target Name="Build"><Message Text="hi" Importance="high"/></Target>' \
  '</Project>' > foreign.proj
expect_status "format a foreign file" 0 "" "$NXS" project format foreign.proj -o once.proj
expect_status "format it again" 0 "" "$NXS" project format once.proj -o twice.proj
same_file "a second format changes no byte" once.proj twice.proj
checks=$((checks + 1))
head -c 3 once.proj | od -An -tx1 | grep -q "ef bb bf" || fail "the output starts with the UTF-8 byte-order mark"
for needle in '<Defines>DEBUG;TRACE</Defines>' '<Empty/>' '<Spaced>  leading kept</Spaced>' \
  '<Data><![CDATA[<raw> & text]]></Data>' '<Quote>it&apos;s &amp; &quot;so&quot;</Quote>' \
  '<!-- __node42 -->' '<DependentUpon>b.pas</DependentUpon>' 'Importance="high"' 'DefaultTargets="Build"' \
  "Condition=\" '\$(Config)' == 'Debug' \""; do
  checks=$((checks + 1))
  grep -qF -- "$needle" once.proj || fail "formatted file keeps $needle"
done
checks=$((checks + 1))
grep -q "ordinary comment" once.proj && fail "ordinary comments are not kept"

expect_out "show" "Personality: 
ProjectType: 
ProjectGuid: 
ProjectFileVersion: 12
Targets: Build" "$NXS" project show foreign.proj
checks=$((checks + 1))
cmp -s foreign.proj <(cat foreign.proj) || fail "show writes nothing"

# Failures: status 1, a message, nothing written.
printf '<Project xmlns="http://schemas.microsoft.com/developer/msbuild/2003"><ProjectExtensions><ProjectFileVersion>13</ProjectFileVersion></ProjectExtensions></Project>' > newer.proj
cp newer.proj newer.orig
expect_status "a newer file version is refused" 1 \
  'nxs: Project is a newer version (13) incompatible with current version (12).' "$NXS" project format newer.proj
same_file "a refused file is left alone" newer.proj newer.orig
printf '<Project><Unclosed></Project>' > broken.proj
expect_status "malformed XML" 1 "" "$NXS" project format broken.proj -o never.proj
checks=$((checks + 1))
[ -e never.proj ] && fail "nothing is written when a command fails"
printf '<?xml version="1.0"?><!DOCTYPE Project SYSTEM "http://example.invalid/x.dtd"><Project/>' > dtd.proj
expect_status "a document type declaration is refused" 1 "" "$NXS" project show dtd.proj
expect_status "missing file" 1 "" "$NXS" project show nosuch.proj
expect_status "usage" 2 "" "$NXS" project format
expect_status "unknown option" 2 "" "$NXS" project show foreign.proj --bogus
expect_status "unknown subcommand" 2 "" "$NXS" project frobnicate
expect_status "help" 0 "" "$NXS" project format --help
finish
