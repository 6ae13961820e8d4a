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

// In a text with CR LF breaks an expression sees every CR LF pair as one LF: it gives the
// matches it gives in the same text with LF breaks, and no match starts or ends between the CR
// and the LF of a pair. Outside a character class \r still matches a whole break that starts
// with CR (a pair, or a lone CR) and \r\n a pair.
class TSearcher {
 public:
  TSearcher();
  ~TSearcher();
  TSearcher(const TSearcher&) = delete;  // owns compiled patterns
  TSearcher& operator=(const TSearcher&) = delete;

  // Compiles the pattern; returns a TSearchResult (SearchOk when usable). When an expression
  // does not compile, ErrorText is the expression engine's reason and ErrorOffset the byte of
  // the pattern where it was found.
  [[nodiscard]] uint8_t Prepare(std::string_view Pattern, TSearchFlags Flags);
  const std::string& ErrorText() const { return FErrorText; }
  uint32_t ErrorOffset() const { return FErrorOffset; }

  // The first match that starts in [From, To) (an empty one at the text's end too when To is
  // the end). It may run past To, up to the whole text.
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
  // Where a match may start next after one that starts at Pos: a character on, never between
  // the CR and the LF of a pair.
  static uint64_t NextStart(const TTextBuffer& Text, uint64_t Pos);
  // Off, an expression runs over the whole text even where it knows the literals that every
  // match starts with (to compare both ways of finding the same matches).
  void SetLeadScan(bool On) { FLeadScan = On; }

 private:
  struct TRegex;
  class TSource;
  struct TSubject;
  bool WordAt(const TTextBuffer& Text, uint64_t Pos, uint64_t Len) const;
  bool WordAtIn(std::string_view S, size_t Pos, size_t Len) const;
  // Every occurrence of Needle (folded when Fold; whole words only when Words) that starts in
  // [From, To), in one pass over the source's chunks. OnMatch gets each and returns where the
  // next may start, or UINT64_MAX to stop.
  void LiteralScan(const TSource& Src, std::string_view Needle, bool Fold, bool Words, uint64_t From, uint64_t To,
                   const std::function<uint64_t(uint64_t)>& OnMatch) const;
  // The same for needles none longer than Longest, which Find finds in a run of bytes (where
  // the first starts, npos when none does). Words takes Longest as the length of a match.
  void NeedleScan(const TSource& Src, const std::function<size_t(const char*, size_t)>& Find, size_t Longest, bool Words,
                  uint64_t From, uint64_t To, const std::function<uint64_t(uint64_t)>& OnMatch) const;
  // The same for the literal pattern; LiteralForward gives the first match.
  void LiteralScan(const TTextBuffer& Text, uint64_t From, uint64_t To, const std::function<uint64_t(uint64_t)>& OnMatch);
  bool LiteralForward(const TTextBuffer& Text, uint64_t From, uint64_t To, uint64_t& Pos);
  // Runs the expression over the source for matches that start in [From, To) (only at From
  // when Anchored), in windows that start Window bytes long. OnMatch as for LiteralScan.
  void RegexScan(const TSource& Src, uint64_t From, uint64_t To, bool Anchored, uint64_t Window,
                 const std::function<uint64_t(uint64_t, uint64_t)>& OnMatch);
  void KeepGroups(const TRegex& R, const TSubject& S);
  // Compiles the expression anchored for the leading needles; false (and no needles) when it
  // cannot be compiled to machine code.
  bool PrepareLeadRegex();

  std::string FPattern;
  std::string FFolded;  // the pattern in lower case (ASCII) when case does not matter
  TSearchFlags FFlags;
  bool FUseRegex = false;
  uint64_t FBehind = 8;  // bytes before a match that the expression may look at
  std::unique_ptr<TRegex> FRegex;
  // The needles one of which every match of the expression starts with, when they are known:
  // the expression then runs only where one stands.
  std::unique_ptr<TNeedles> FLeads;
  std::unique_ptr<TRegex> FLeadRegex;  // the expression anchored where it is tried, once asked for
  std::string FSource;                 // the expression as compiled, and its options
  uint32_t FOptions = 0;
  size_t FLeadLongest = 0;
  bool FLeadScan = true;
  std::unique_ptr<TSubject> FSubject;   // the last window, kept for its buffers
  mutable std::string FStage;           // short chunks gathered for a needle scan
  std::vector<uint64_t> FGroups;  // offsets of the last match's groups, UINT64_MAX when unset
  std::string FErrorText;
  uint32_t FErrorOffset = 0;
};

}  // namespace nxs::ek
