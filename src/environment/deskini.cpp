#include "environment/deskini.h"

#include "environment/resstrings.h"
#include "shared/exceptions.h"
#include "shared/format.h"
#include "shared/text.h"

namespace nxs {

TDesktopIniFile::TDesktopIniFile(std::string_view Text) {
  if (Text.substr(0, 3) == "\xEF\xBB\xBF") Text.remove_prefix(3);
  TSection* Current = nullptr;
  size_t Pos = 0;
  for (std::string_view Line; NextLine(Text, Pos, Line);) {
    // A value never ends in CR (the writer refuses one), so the CRs a line ends with are
    // breaks, however many an editor left there.
    while (!Line.empty() && Line.back() == '\r') Line.remove_suffix(1);
    if (Line.empty() || Line.front() == ';') continue;
    if (Line.front() == '[') {
      // The name runs to the last "]": a file name may hold one of its own.
      const size_t Close = Line.rfind(']');
      Current = Close == std::string_view::npos ? nullptr : &FindOrAdd(Line.substr(1, Close - 1));
      continue;
    }
    const size_t Eq = Line.find('=');
    if (!Current || Eq == std::string_view::npos) continue;
    const std::string Ident = Trim(Line.substr(0, Eq));
    if (!StorableIdent(Ident)) continue;
    const std::string_view Value = Line.substr(Eq + 1);
    auto& Values = Current->Values;
    auto It = std::find_if(Values.begin(), Values.end(), [&](const auto& V) { return SameText(V.first, Ident); });
    if (It != Values.end()) It->second = Value;
    else Values.emplace_back(Ident, Value);
  }
}

const TDesktopIniFile::TSection* TDesktopIniFile::Find(std::string_view Name) const {
  for (const TSection& S : FSections)
    if (S.Name == Name) return &S;
  return nullptr;
}

TDesktopIniFile::TSection& TDesktopIniFile::FindOrAdd(std::string_view Name) {
  if (const TSection* S = Find(Name)) return const_cast<TSection&>(*S);
  FSections.push_back(TSection{std::string(Name), {}});
  return FSections.back();
}

std::string TDesktopIniFile::ReadString(std::string_view Section, std::string_view Ident, std::string_view Default) {
  if (const TSection* S = Find(Section))
    for (const auto& [Name, Value] : S->Values)
      if (SameText(Name, Ident)) return Value;
  return std::string(Default);
}

int64_t TDesktopIniFile::ReadInteger(std::string_view Section, std::string_view Ident, int64_t Default) {
  return StrToIntDef(Trim(ReadString(Section, Ident, "")), Default);
}

bool TDesktopIniFile::Storable(std::string_view Text) { return Text.find_first_of("\r\n") == std::string_view::npos; }

// A value's name reads back as written: not empty, no "=", no blank around it, and not
// starting as a section or a comment line does.
bool TDesktopIniFile::StorableIdent(std::string_view Ident) {
  return !Ident.empty() && Storable(Ident) && Ident.find('=') == std::string_view::npos && Trim(Ident) == Ident &&
         Ident.front() != '[' && Ident.front() != ';';
}

void TDesktopIniFile::WriteString(std::string_view Section, std::string_view Ident, std::string_view Value) {
  if (!Storable(Section) || !Storable(Value) || !StorableIdent(Ident))
    throw Exception(Format(res::SDesktopValueNotStorable, OneLine(Section), OneLine(Ident)));
  auto& Values = FindOrAdd(Section).Values;
  for (auto& [Name, Old] : Values)
    if (SameText(Name, Ident)) {
      Old = Value;
      return;
    }
  Values.emplace_back(std::string(Ident), std::string(Value));
}

void TDesktopIniFile::WriteInteger(std::string_view Section, std::string_view Ident, int64_t Value) {
  WriteString(Section, Ident, IntToStr(Value));
}

std::vector<std::string> TDesktopIniFile::ReadSection(std::string_view Section) {
  std::vector<std::string> Names;
  if (const TSection* S = Find(Section))
    for (const auto& V : S->Values) Names.push_back(V.first);
  return Names;
}

void TDesktopIniFile::EraseSection(std::string_view Section) {
  std::erase_if(FSections, [&](const TSection& S) { return S.Name == Section; });
}

std::vector<std::string> TDesktopIniFile::Sections() const {
  std::vector<std::string> Names;
  for (const TSection& S : FSections) Names.push_back(S.Name);
  return Names;
}

std::string TDesktopIniFile::Text() const {
  std::string R;
  for (const TSection& S : FSections) {
    if (!R.empty()) R += '\n';
    R += '[' + S.Name + "]\n";
    for (const auto& [Name, Value] : S.Values) R += Name + '=' + Value + '\n';
  }
  return R;
}

}  // namespace nxs
