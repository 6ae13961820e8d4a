// BRIEF pattern conversion, one input character (or escape) at a time.
#include "editor/buffers/briefexpr.h"

#include "editor/buffers/charwidth.h"

namespace nxs {

std::string BriefToEk(std::string_view Pattern) {
  static constexpr char Hex[] = "0123456789ABCDEF";
  std::string Out;
  size_t I = 0;
  bool AfterOpenBracket = false;
  while (I < Pattern.size()) {
    const char C = Pattern[I];
    std::string Piece;
    size_t Used = 1;
    switch (C) {
      case '%':
      case '<': Piece = "^"; break;
      case '(':
      case ')': Piece = std::string("\\") + C; break;
      case '*': Piece = ".*"; break;
      case '.': Piece = "\\."; break;
      case '@': Piece = "*"; break;
      case '>': Piece = "$"; break;
      case '?': Piece = "."; break;
      case '~': Piece = AfterOpenBracket ? "^" : "~"; break;
      case '\\':
        if (I + 1 < Pattern.size() && (Pattern[I + 1] == '<' || Pattern[I + 1] == '>' || Pattern[I + 1] == 'd')) {
          const auto Escaped = static_cast<unsigned char>(Pattern[I + 1]);
          Piece = {'\\', 'x', Hex[Escaped >> 4], Hex[Escaped & 15]};
          Used = 2;
        } else {
          // Any other escape passes through with the character it escapes: converting
          // that character as well would turn the literal "\*" into "\.*".
          Used = I + 1 < Pattern.size()
                     ? 1 + static_cast<size_t>(Utf8SequenceLength(static_cast<unsigned char>(Pattern[I + 1])))
                     : 1;
          if (I + Used > Pattern.size()) Used = Pattern.size() - I;
          Piece = std::string(Pattern.substr(I, Used));
        }
        break;
      default:
        // "$", "[" and everything else is copied; a multi-byte character goes whole.
        Used = static_cast<size_t>(Utf8SequenceLength(static_cast<unsigned char>(C)));
        if (I + Used > Pattern.size()) Used = Pattern.size() - I;
        Piece = std::string(Pattern.substr(I, Used));
        break;
    }
    if (Out.size() + Piece.size() > MaxKernelPatternLength) break;
    Out += Piece;
    AfterOpenBracket = C == '[';
    I += Used;
  }
  return Out;
}

}  // namespace nxs
