#include "shared/unquote.h"

#include "shared/text.h"

namespace nxs {

bool ReadCQuoted(std::string_view S, size_t& I, std::string& Out) {
  if (I >= S.size() || S[I] != '"') return false;
  ++I;
  Out.clear();
  while (I < S.size()) {
    char C = S[I++];
    if (C == '"') return true;
    if (C != '\\') {
      Out += C;
      continue;
    }
    if (I >= S.size()) return false;
    char E = S[I++];
    switch (E) {
      case '\\': Out += '\\'; break;
      case '"': Out += '"'; break;
      case 'n': Out += '\n'; break;
      case 'r': Out += '\r'; break;
      case 't': Out += '\t'; break;
      case 'x': {
        if (I + 2 > S.size()) return false;
        const int Hi = HexDigitValue(S[I]), Lo = HexDigitValue(S[I + 1]);
        if (Hi < 0 || Lo < 0) return false;
        Out += static_cast<char>(Hi * 16 + Lo);
        I += 2;
        break;
      }
      default: return false;
    }
  }
  return false;
}

std::string FromOneLine(std::string_view S) {
  size_t I = 0;
  std::string Out;
  if (ReadCQuoted(S, I, Out) && I == S.size()) return Out;
  return std::string(S);
}

}  // namespace nxs
