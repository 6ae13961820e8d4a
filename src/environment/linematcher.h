// The line matcher of find in files: a text matched line by line exactly as the editor
// kernel's line search matches one line, with only the lines that may hold a match searched,
// and hits that show their line whole or, when it is long, cut to a piece around the match.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "editor/kernel/ek.h"
#include "shared/searchflags.h"

namespace nxs {

// A line of more than ShownLineWidth characters is shown as ShownLineWidth characters around
// its hit, starting at most ShownBeforeMatch characters before the match, with CutMark where
// it was cut (so at most ShownLineWidth + 6 characters in all).
inline constexpr int32_t ShownLineWidth = 200;
inline constexpr int32_t ShownBeforeMatch = 60;
inline constexpr std::string_view CutMark = "...";

// One hit: columns count from 1; the character column counts UTF-8 characters, the match
// length UTF-16 units, as the message view measures them. Its line text, the line as a find
// line shows it, is the piece TextStart, TextLength of the texts of the run that holds the hit
// (the hits of a line shown whole share it); TextColumn is where the match starts in it, in
// characters.
struct TFindHit {
  int32_t Line = 0;
  int32_t ByteColumn = 0;
  int32_t CharColumn = 0;
  int32_t MatchLength = 0;
  int32_t TextColumn = 0;
  uint32_t TextLength = 0;
  size_t TextStart = 0;
};

// A run of hits and the line texts they show, all in one block: a hit costs no allocation of
// its own, and a run goes from thread to thread as two buffers.
struct TFoundHits {
  std::vector<TFindHit> Hits;
  std::string Texts;
  std::string_view LineText(const TFindHit& Hit) const {
    return std::string_view(Texts).substr(Hit.TextStart, Hit.TextLength);
  }
  bool empty() const { return Hits.empty(); }
  size_t size() const { return Hits.size(); }
  void clear() {
    Hits.clear();
    Texts.clear();
  }
};

// Takes a run of hits (and leaves it empty).
using THitRun = std::function<void(TFoundHits&)>;

// Matches a text line by line with the kernel's string search (a search of its own, used on
// the calling thread): one pass over the whole text finds the next place a match may be (the
// literals the pattern requires, or the pattern itself), and only a line holding one is
// searched line by line, so the hits are exactly those of the kernel's line search. Lines end
// at LF, CR, CR LF or LF CR; a final line without a break is searched; a line of any length
// is searched whole.
class TLineMatcher {
 public:
  TLineMatcher(std::string Pattern, TSearchFlags Flags, bool Brief);
  ~TLineMatcher();
  TLineMatcher(const TLineMatcher&) = delete;  // owns a compiled pattern
  TLineMatcher& operator=(const TLineMatcher&) = delete;

  // Appends the hits of Text, whose first line is line FirstLine, to Hits, handing them to
  // Flush (when given) whenever FlushAt have gathered; false when Stop was raised meanwhile.
  bool Search(std::string_view Text, TFoundHits& Hits, const std::atomic<bool>* Stop = nullptr,
              int32_t FirstLine = 1, const THitRun* Flush = nullptr);
  // The kernel's status for the pattern (0: usable).
  int Status() const { return FStatus; }
  // Why the kernel refused the pattern (Status not 0), in the words of its expression engine.
  std::string StatusMessage() const;
  static constexpr size_t FlushAt = 1024;

 private:
  bool Find(std::string_view Text, size_t& Pos, size_t& Len);
  size_t FindCandidate(std::string_view Text) const;
  void SearchLine(std::string_view Line, int32_t LineNo, TFoundHits& Hits, const THitRun* Flush);
  // A pattern whose matches are its occurrences: one scan over the whole text finds every hit.
  bool SearchBytes(std::string_view Text, TFoundHits& Hits, const std::atomic<bool>* Stop,
                   int32_t FirstLine, const THitRun* Flush);

  std::string FPattern;
  std::string FKernelPattern;  // after BRIEF conversion
  // The runs of characters that mark a place a match may be; none: the pattern finds them.
  std::unique_ptr<ek::TNeedles> FNeedles;
  size_t FLiteralLength = 0;  // with FBytesOnly: the one needle's length
  bool FBytesOnly = false;    // its matches are exactly the needle's occurrences: no kernel call at all
  TSearchFlags FFlags;
  int FStatus = 0;
  ek::TStringSearch FSearch;
};

// Raises Exception when the pattern is empty or the kernel cannot use it.
void CheckSearchPattern(const std::string& Pattern, TSearchFlags Flags, bool Brief);

// Lines of text for a reader that takes a file in pieces.
// The number of the line after Text, a run of whole lines ending with a break whose first is
// line FirstLine.
int32_t LineAfter(std::string_view Text, int32_t FirstLine);
// Where the last line break of Data that is whole for certain ends (a CR or LF as the last
// byte may be the first half of a pair); 0 when there is none.
size_t WholeLinesEnd(std::string_view Data);
// Where the first line break of Data ends, when it is whole for certain (or Complete: nothing
// follows Data); npos otherwise.
size_t FirstBreakEnd(std::string_view Data, bool Complete);

}  // namespace nxs
