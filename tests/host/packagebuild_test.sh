#!/usr/bin/env bash
# A package built by nxs from a Package project: installed, it registers a highlighter that
# nxs highlight uses; a build of the project unloads it before the library is rewritten and
# loads the new one when the build is over; the next command shows the change.
source "$(dirname "$0")/lib.sh"

mkdir -p pkg && cd pkg
cat >hl.kzproj <<'XML'
<Project xmlns="http://schemas.microsoft.com/developer/msbuild/2003">
    <PropertyGroup>
        <Config Condition="'$(Config)'==''">Debug</Config>
        <Platform Condition="'$(Platform)'==''">Linux64</Platform>
        <AppType>Package</AppType>
        <Cpp_LanguageStandard>c++20</Cpp_LanguageStandard>
        <PackageDescription>Words highlighted</PackageDescription>
    </PropertyGroup>
    <PropertyGroup Condition="'$(Config)'=='Base' or '$(Base)'!=''">
        <Base>true</Base>
    </PropertyGroup>
    <PropertyGroup Condition="'$(Config)'=='Debug' or '$(Cfg_1)'!=''">
        <Cfg_1>true</Cfg_1>
        <CfgParent>Base</CfgParent>
        <Base>true</Base>
    </PropertyGroup>
    <ItemGroup>
        <KestrelCompile Include="hl.cpp"/>
    </ItemGroup>
    <ProjectExtensions>
        <Tarvos.Personality>Kestrel.Personality.12</Tarvos.Personality>
        <ProjectFileVersion>12</ProjectFileVersion>
    </ProjectExtensions>
    <Import Project="$(NXS)\data\targets\Kestrel.Common.Targets"/>
</Project>
XML
# The package: every word of a ".words" file in the class CLASS. Its library notes in LOG when
# it is loaded and unloaded.
source_with() {
  cat >hl.cpp <<CPP
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "editor/language/highlight.h"
#include "editor/language/tokens.h"
#include "packages/pkgservices.h"

namespace {

void Note(const char* What) {
  if (std::FILE* F = std::fopen(std::getenv("HL_LOG"), "a")) {
    std::fprintf(F, "%s\n", What);
    std::fclose(F);
  }
}

struct TNotes {
  TNotes() { Note("loaded"); }
  ~TNotes() { Note("unloaded"); }
} Notes;

class TWords : public nxs::THighlighter {
 public:
  std::string GetIDString() const override { return "Test.Highlighter.Words"; }
  std::string GetName() const override { return "Words"; }
  uint8_t Tokenize(uint8_t, const char* Line, int32_t Length, uint8_t* Codes) override {
    for (int32_t I = 0; Codes && I < Length; ++I) Codes[I] = Line[I] == ' ' ? nxs::tcWhitespace : nxs::$1;
    return 0;
  }
  uint8_t TokenizeLineClass(uint8_t, const char*, int32_t) override { return 0; }
};

std::unique_ptr<nxs::THighlighter> Make() { return std::make_unique<TWords>(); }

}  // namespace

NXS_PACKAGE_ENTRY("@Hl@Register\$qqrv", RegisterHl)
static void RegisterHl() { nxs::RegisterPackageHighlighter(&Make, {"*.words"}); }
CPP
}
export HL_LOG=$WORK/log
echo "two words" >a.words

source_with tcReserved
expect_status "the package builds" 0 "" "$NXS" build hl.kzproj
expect_out "its information" "description Words highlighted
contains hl 0x00000000" bash -c "'$NXS' --no-packages packages info hl.so | grep -E '^(description|contains)'"
expect_out "installed" "" "$NXS" packages install hl.so
expect_out "its highlighter is used" "1 1 3 Reserved word
1 5 5 Reserved word" "$NXS" highlight --tokens a.words

# Rebuilt with a change: the build unloads the package before it links and loads it again.
source_with tcString
: >"$HL_LOG"
expect_status "rebuilt" 0 "" "$NXS" build hl.kzproj
expect_out "unloaded for the build, loaded again after it" "loaded
unloaded
loaded
unloaded" cat "$HL_LOG"
expect_out "the change shows" "1 1 3 String
1 5 5 String" "$NXS" highlight --tokens a.words

finish
