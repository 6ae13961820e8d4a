#include "environment/searchtext.h"

#include "environment/resstrings.h"
#include "shared/format.h"
#include "shared/utf8.h"
#include "shared/wildcard.h"

namespace nxs {

std::string FormTextOf(std::string_view Text) {
  // Plain runs as they are, each character above 127 as "#" and its code, a "'" at every
  // switch between the two: "ab\u00e9" becomes "ab'#233", as a form's text form holds it.
  std::string Out;
  int Last = 0;  // 0: nothing yet, 1: plain, 2: coded
  for (size_t I = 0; I < Text.size();) {
    unsigned char C = static_cast<unsigned char>(Text[I]);
    const int Kind = C < 0x80 ? 1 : 2;
    if (Last && Kind != Last) Out += '\'';
    Last = Kind;
    if (Kind == 1) {
      Out += static_cast<char>(C);
      ++I;
      continue;
    }
    // One UTF-8 sequence: its code point (a stray byte stands for itself).
    uint32_t Code;
    bool Valid;
    I += static_cast<size_t>(DecodeUtf8(Text.substr(I), Code, Valid, TUtf8Policy::Framing));
    Out += '#' + std::to_string(Code);
  }
  return Out;
}

std::string SearchGroupTitle(std::string_view Text) {
  // Cut at 20 characters, not bytes.
  size_t Bytes = 0, Chars = 0;
  while (Bytes < Text.size() && Chars < 20) {
    ++Bytes;
    while (Bytes < Text.size() && (static_cast<unsigned char>(Text[Bytes]) & 0xC0) == 0x80) ++Bytes;
    ++Chars;
  }
  std::string Shown(Text.substr(0, Bytes));
  if (Bytes < Text.size()) Shown += "...";
  std::string Doubled;
  for (char C : Shown) {
    Doubled += C;
    if (C == '&') Doubled += '&';
  }
  return Format(res::SSearchForTitle, Doubled);
}

std::vector<std::string> SplitSearchList(std::string_view Text) {
  std::vector<std::string> Out;
  size_t Start = 0;
  for (size_t I = 0; I <= Text.size(); ++I) {
    if (I < Text.size() && Text[I] != ',' && Text[I] != ';') continue;
    std::string_view Item = Text.substr(Start, I - Start);
    while (!Item.empty() && (Item.front() == ' ' || Item.front() == '\t')) Item.remove_prefix(1);
    while (!Item.empty() && (Item.back() == ' ' || Item.back() == '\t')) Item.remove_suffix(1);
    if (!Item.empty()) Out.emplace_back(Item);
    Start = I + 1;
  }
  return Out;
}

bool MatchesSearchMask(std::string_view Name, std::string_view Mask) {
  if (Mask == "*.*" || Mask == "*") return true;
  return MatchesWildcard(Mask, Name, wfIgnoreCase);
}

}  // namespace nxs
