// Searching the text: literal patterns (case-sensitive or not, whole words) with a vector
// scan over the pieces, regular expressions with PCRE2 over runs of whole lines.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "editor/kernel/ek.h"
#include "editor/kernel/ektext.h"

namespace nxs::ek {

class TSearcher {
 public:
  TSearcher();
  ~TSearcher();
  TSearcher(const TSearcher&) = delete;  // owns compiled patterns
  TSearcher& operator=(const TSearcher&) = delete;

  // Compiles the pattern; returns a TSearchResult (SearchOk when usable).
  [[nodiscard]] uint8_t Prepare(std::string_view Pattern, TSearchFlags Flags);

  // The first match that starts in [From, To).
  bool FindForward(const TTextBuffer& Text, uint64_t From, uint64_t To, uint64_t& Pos, uint64_t& Len);
  // The last match that starts in [Lo, From).
  bool FindBackward(const TTextBuffer& Text, uint64_t Lo, uint64_t From, uint64_t& Pos, uint64_t& Len);
  // The first match in a string at or after From.
  bool FindIn(std::string_view Text, size_t From, size_t& Pos, size_t& Len);
  // The replacement for the match just found in Subject (regular expressions expand \0..\9).
  std::string Expand(std::string_view Subject, std::string_view Replace);

 private:
  struct TRegex;
  bool WordAt(const TTextBuffer& Text, uint64_t Pos, uint64_t Len) const;
  bool WordAtIn(std::string_view S, size_t Pos, size_t Len) const;
  bool LiteralForward(const TTextBuffer& Text, uint64_t From, uint64_t To, uint64_t& Pos);
  bool RegexForward(const TTextBuffer& Text, uint64_t From, uint64_t To, uint64_t& Pos, uint64_t& Len,
                    bool Last);

  std::string FPattern;
  std::string FFolded;  // the pattern in lower case (ASCII) when case does not matter
  TSearchFlags FFlags;
  bool FUseRegex = false;
  std::unique_ptr<TRegex> FRegex;
};

// Finds Needle in Hay (ASCII case folded when Fold); npos when absent.
size_t FindLiteral(const char* Hay, size_t HayLen, std::string_view Needle, bool Fold);
// The same with the two needle positions that the vector scan compares first.
size_t FindLiteral(const char* Hay, size_t HayLen, std::string_view Needle, bool Fold, size_t I1, size_t I2);
// The two rarest positions of the needle in source text.
void RarePositions(std::string_view Needle, size_t& I1, size_t& I2);

}  // namespace nxs::ek
