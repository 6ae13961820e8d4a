#include "packages/pkginfo.h"

#include <cstdio>

#include "packages/resstrings.h"
#include "shared/format.h"
#include "shared/text.h"

namespace nxs {

namespace {

constexpr std::string_view Magic = "NXS package 1";
// Far more than any package's information; a larger section is a hostile file's.
constexpr uint64_t MaxInfoBytes = 1u << 20;

std::string Hex(uint32_t V) {
  char Buf[16];
  std::snprintf(Buf, sizeof Buf, "0x%08x", V);
  return Buf;
}

std::string Escape(std::string_view S) {
  std::string Out;
  for (char C : S) {
    if (C == '\\') Out += "\\\\";
    else if (C == '\n') Out += "\\n";
    else if (C == '\r') Out += "\\r";
    else Out += C;
  }
  return Out;
}

std::string Unescape(std::string_view S) {
  std::string Out;
  for (size_t I = 0; I < S.size(); ++I) {
    if (S[I] != '\\' || I + 1 == S.size()) {
      Out += S[I];
      continue;
    }
    const char N = S[++I];
    Out += N == 'n' ? '\n' : N == 'r' ? '\r' : N;
  }
  return Out;
}

// A name in the list: one word, no blanks or control characters.
bool IsName(std::string_view S) {
  if (S.empty()) return false;
  for (unsigned char C : S)
    if (C <= ' ' || C == 0x7f) return false;
  return true;
}

}  // namespace

std::string EncodePackageInfo(const TPackageInfoRecord& Info) {
  std::string Out = std::string(Magic) + "\n";
  Out += "flags " + Hex(Info.Flags) + "\n";
  for (const std::string& R : Info.Requires) Out += "requires " + R + "\n";
  for (const TContainedUnit& U : Info.Contains) Out += "contains " + U.Name + " " + Hex(U.Flags) + "\n";
  if (!Info.SymbolFileName.empty()) Out += "symbols " + Escape(Info.SymbolFileName) + "\n";
  if (Info.Targets) Out += "targets " + Hex(Info.Targets) + "\n";
  if (!Info.Description.empty()) Out += "description " + Escape(Info.Description) + "\n";
  return Out;
}

TPackageInfoRecord DecodePackageInfo(std::string_view Text, const std::string& FileName) {
  TPackageInfoRecord Info;
  int LineNo = 0;
  bool SawMagic = false;
  auto Fail = [&](std::string_view Line) {
    throw EElfError(Format(res::SPackageInfoBad, FileName, LineNo, std::string(Line.substr(0, 80))));
  };
  auto Number = [&](std::string_view Line, std::string_view Word, uint64_t Max) {
    const std::optional<int64_t> N = TryStrToInt(Word);
    if (!N || *N < 0 || static_cast<uint64_t>(*N) > Max) Fail(Line);
    return static_cast<uint64_t>(*N);
  };
  // The writer's padding (the section may be aligned with NULs) ends the text.
  Text = Text.substr(0, Text.find('\0'));
  size_t Pos = 0;
  while (Pos < Text.size()) {
    size_t End = Text.find('\n', Pos);
    if (End == std::string_view::npos) End = Text.size();
    std::string_view Line = Text.substr(Pos, End - Pos);
    Pos = End + 1;
    if (!Line.empty() && Line.back() == '\r') Line.remove_suffix(1);
    ++LineNo;
    if (!SawMagic) {
      if (Line != Magic) Fail(Line);
      SawMagic = true;
      continue;
    }
    if (Line.empty()) continue;
    const size_t Blank = Line.find(' ');
    const std::string_view Key = Line.substr(0, Blank);
    const std::string_view Value = Blank == std::string_view::npos ? std::string_view() : Line.substr(Blank + 1);
    if (Key == "flags") {
      Info.Flags = static_cast<uint32_t>(Number(Line, Value, UINT32_MAX));
    } else if (Key == "requires") {
      if (!IsName(Value)) Fail(Line);
      Info.Requires.emplace_back(Value);
    } else if (Key == "contains") {
      const size_t Sep = Value.find(' ');
      if (Sep == std::string_view::npos || !IsName(Value.substr(0, Sep))) Fail(Line);
      Info.Contains.push_back({std::string(Value.substr(0, Sep)), static_cast<uint8_t>(Number(Line, Value.substr(Sep + 1), 0xff))});
    } else if (Key == "symbols") {
      Info.SymbolFileName = Unescape(Value);
    } else if (Key == "targets") {
      Info.Targets = static_cast<uint32_t>(Number(Line, Value, UINT32_MAX));
    } else if (Key == "description") {
      Info.Description = Unescape(Value);
    }
  }
  if (!SawMagic) {
    LineNo = 1;
    Fail("");
  }
  return Info;
}

std::string PackageInfoSource(const TPackageInfoRecord& Info) {
  const std::string Text = EncodePackageInfo(Info);
  std::string Out = "// Generated: the package information, in a section of its own that is not loaded.\n";
  Out += std::string("__asm__(\".pushsection ") + PackageInfoSection + ",\\\"\\\",@progbits\\n\"\n";
  for (size_t I = 0; I < Text.size(); I += 16) {
    Out += "        \".byte ";
    for (size_t J = I; J < std::min(Text.size(), I + 16); ++J) {
      if (J > I) Out += ",";
      Out += std::to_string(static_cast<unsigned char>(Text[J]));
    }
    Out += "\\n\"\n";
  }
  Out += "        \".popsection\");\n";
  return Out;
}

TPackageInfoRecord ReadPackageInfo(TElfFile& File, const std::string& FileName) {
  const TElfSection* Section = File.FindSection(PackageInfoSection);
  if (!Section) throw EElfError(Format(res::SPackageInfoMissing, FileName));
  return DecodePackageInfo(File.SectionBytes(*Section, MaxInfoBytes), FileName);
}

TPackageInfoRecord ReadPackageInfo(const std::string& FileName) {
  TElfFile File(ElfFileBytes(FileName), FileName);
  return ReadPackageInfo(File, FileName);
}

}  // namespace nxs
