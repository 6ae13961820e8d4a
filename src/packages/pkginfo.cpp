#include "packages/pkginfo.h"


#include "packages/resstrings.h"
#include "shared/format.h"
#include "shared/text.h"

namespace nxs {

namespace {

// Far more than any package's information; a larger section is a hostile file's.
constexpr uint64_t MaxInfoBytes = 1u << 20;

// A name in the list: one word, no blanks or control characters.
bool IsName(std::string_view S) {
  if (S.empty()) return false;
  for (unsigned char C : S)
    if (C <= ' ' || C == 0x7f) return false;
  return true;
}

}  // namespace

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
  for (std::string_view Line; NextLine(Text, Pos, Line);) {
    ++LineNo;
    if (!SawMagic) {
      if (Line != PackageInfoMagic) Fail(Line);
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
      Info.SymbolFileName = UnescapePackageInfoText(std::string(Value));
    } else if (Key == "targets") {
      Info.Targets = static_cast<uint32_t>(Number(Line, Value, UINT32_MAX));
    } else if (Key == "description") {
      Info.Description = UnescapePackageInfoText(std::string(Value));
    }
  }
  if (!SawMagic) {
    LineNo = 1;
    Fail("");
  }
  return Info;
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
