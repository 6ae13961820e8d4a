// Searching the text: literal patterns (case-sensitive or not, whole words) with a vector
// scan over the pieces, regular expressions (and literal patterns that fold case beyond
// ASCII) with PCRE2 over windows of the text that run across pieces and lines.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "editor/kernel/ek.h"
#include "editor/kernel/ektext.h"

namespace nxs::ek {

// In a text with CR LF breaks \n and \r each match a whole line break (CR LF, and a lone LF
// or CR respectively), \r\n matches CR LF, and no match starts or ends between the CR and the
// LF of a pair: $ matches before the CR, ^ after the LF.
class TSearcher {
 public:
  TSearcher();
  ~TSearcher();
  TSearcher(const TSearcher&) = delete;  // owns compiled patterns
  TSearcher& operator=(const TSearcher&) = delete;

  // Compiles the pattern; returns a TSearchResult (SearchOk when usable).
  [[nodiscard]] uint8_t Prepare(std::string_view Pattern, TSearchFlags Flags);

  // The first match that starts in [From, To). It may run past To, up to the whole text.
  bool FindForward(const TTextBuffer& Text, uint64_t From, uint64_t To, uint64_t& Pos, uint64_t& Len);
  // The last match that starts in [Lo, From): the same match for a literal pattern and for the
  // same pattern as a regular expression.
  bool FindBackward(const TTextBuffer& Text, uint64_t Lo, uint64_t From, uint64_t& Pos, uint64_t& Len);
  // Every match that starts in [From, To), in order and never overlapping: after an empty match
  // the next one starts a character further. Sink returns false to stop. During the call
  // Expand gives the replacement for the match just handed to Sink.
  void FindAll(const TTextBuffer& Text, uint64_t From, uint64_t To,
               const std::function<bool(uint64_t Pos, uint64_t Len)>& Sink);
  // The first match in a string at or after From.
  bool FindIn(std::string_view Text, size_t From, size_t& Pos, size_t& Len);
  // The replacement for the match last found in Text (regular expressions expand \0..\9, \n
  // and \t; other patterns take Replace as it is).
  std::string Expand(const TTextBuffer& Text, std::string_view Replace) const;

 private:
  struct TRegex;
  bool WordAt(const TTextBuffer& Text, uint64_t Pos, uint64_t Len) const;
  bool WordAtIn(std::string_view S, size_t Pos, size_t Len) const;
  bool LiteralForward(const TTextBuffer& Text, uint64_t From, uint64_t To, uint64_t& Pos);
  // Runs the expression over the text for matches that start in [From, To) (only at From when
  // Anchored). OnMatch gets each acceptable match and returns where the next may start, or
  // UINT64_MAX to stop.
  void RegexScan(const TTextBuffer& Text, uint64_t From, uint64_t To, bool Anchored,
                 const std::function<uint64_t(uint64_t, uint64_t)>& OnMatch);
  void KeepGroups(uint64_t Base);

  std::string FPattern;
  std::string FFolded;  // the pattern in lower case (ASCII) when case does not matter
  TSearchFlags FFlags;
  bool FUseRegex = false;
  uint64_t FBehind = 8;  // bytes before a match that the expression may look at
  std::unique_ptr<TRegex> FRegex;
  std::vector<uint64_t> FGroups;  // offsets of the last match's groups, UINT64_MAX when unset
};

}  // namespace nxs::ek
