#include "modules/recoverini.h"

#include "shared/text.h"
#include "shared/unquote.h"

namespace nxs {

TRecoveryIni TRecoveryIni::Parse(std::string_view Text) {
  TRecoveryIni Ini;
  TSection* Current = nullptr;
  size_t Pos = 0;
  for (std::string_view Line; NextLine(Text, Pos, Line);) {
    if (Line.empty() || Line[0] == ';') continue;
    if (Line[0] == '[') {
      // The name runs to the last bracket: a file name may hold "]" itself.
      const size_t Close = Line.rfind(']');
      Current = nullptr;
      if (Close == 0 || Close == std::string_view::npos) continue;
      const std::string Name = FromOneLine(Line.substr(1, Close - 1));
      std::erase_if(Ini.FSections, [&](const TSection& S) { return S.Name == Name; });
      Ini.FSections.push_back(TSection{Name, {}});
      Current = &Ini.FSections.back();
      continue;
    }
    const size_t Eq = Line.find('=');
    if (!Current || Eq == std::string_view::npos || Eq == 0) continue;
    Current->Values.emplace_back(std::string(Line.substr(0, Eq)), FromOneLine(Line.substr(Eq + 1)));
  }
  return Ini;
}

std::string TRecoveryIni::Text() const {
  std::string Out;
  for (const TSection& S : FSections) {
    if (!Out.empty()) Out += '\n';
    Out += "[" + OneLine(S.Name) + "]\n";
    for (const auto& [Name, Value] : S.Values) Out += Name + "=" + OneLine(Value) + "\n";
  }
  return Out;
}

const TRecoveryIni::TSection* TRecoveryIni::Find(std::string_view Section) const {
  for (const TSection& S : FSections)
    if (S.Name == Section) return &S;
  return nullptr;
}

std::string TRecoveryIni::Read(std::string_view Section, std::string_view Name, std::string_view Default) const {
  if (const TSection* S = Find(Section))
    for (const auto& [Key, Value] : S->Values)
      if (SameText(Key, Name)) return Value;
  return std::string(Default);
}

void TRecoveryIni::WriteSection(std::string_view Section, std::vector<std::pair<std::string, std::string>> Values) {
  for (TSection& S : FSections)
    if (S.Name == Section) {
      S.Values = std::move(Values);
      return;
    }
  FSections.push_back(TSection{std::string(Section), std::move(Values)});
}

bool TRecoveryIni::EraseSection(std::string_view Section) {
  const size_t Before = FSections.size();
  std::erase_if(FSections, [&](const TSection& S) { return S.Name == Section; });
  return FSections.size() != Before;
}

}  // namespace nxs
