// The line matcher: candidates found over the whole text, lines searched by the kernel's
// string search, hits made with their columns counted on along the line.
#include "environment/linematcher.h"

#include <algorithm>
#include <cstring>
#include <optional>

#include "editor/buffers/briefexpr.h"
#include "editor/buffers/edkrnl.h"
#include "shared/prefilter.h"
#include "environment/resstrings.h"
#include "shared/exceptions.h"
#include "shared/format.h"
#include "shared/linescan.h"
#include "shared/text.h"

namespace nxs {

namespace {

// Characters (UTF-8 lead bytes and single bytes) in S.
int32_t CharCount(std::string_view S) {
  int32_t N = 0;
  for (unsigned char C : S) N += (C & 0xC0) != 0x80;
  return N;
}

// UTF-16 units of S.
int32_t Utf16Count(std::string_view S) {
  int32_t N = 0;
  for (unsigned char C : S) {
    if ((C & 0xC0) != 0x80) ++N;
    if (C >= 0xF0) ++N;
  }
  return N;
}

inline bool IsBreak(char C) { return C == '\n' || C == '\r'; }

// Where the break at Pos ends (CR LF and LF CR are one break).
inline size_t AfterBreak(std::string_view T, size_t Pos) {
  if (Pos + 1 < T.size() && IsBreak(T[Pos + 1]) && T[Pos + 1] != T[Pos]) return Pos + 2;
  return Pos + 1;
}

// The next line break at or after From, or the size.
size_t NextBreak(std::string_view T, size_t From) {
  const char* B = T.data();
  const char* E = B + T.size();
  const char* Lf = static_cast<const char*>(std::memchr(B + From, '\n', T.size() - From));
  const char* Cr = static_cast<const char*>(std::memchr(B + From, '\r', (Lf ? Lf : E) - (B + From)));
  const char* P = Cr ? Cr : Lf;
  return P ? static_cast<size_t>(P - B) : T.size();
}

// Moves LineStart (the start of line LineNo) on to the start of the line that holds Pos; a
// position at a break belongs to the line the break ends.
void SeekLine(std::string_view T, size_t Pos, size_t& LineStart, int32_t& LineNo) {
  bool HasCr = false;
  const size_t Lfs = CountLineFeeds(T.data() + LineStart, Pos - LineStart, HasCr);
  if (!HasCr) {
    if (Lfs == 0) return;
    const void* Last = memrchr(T.data() + LineStart, '\n', Pos - LineStart);
    LineStart = static_cast<size_t>(static_cast<const char*>(Last) - T.data()) + 1;
    LineNo += static_cast<int32_t>(Lfs);
    return;
  }
  for (size_t B = NextBreak(T, LineStart); B < Pos; B = NextBreak(T, LineStart)) {
    LineStart = AfterBreak(T, B);
    ++LineNo;
  }
}

inline bool IsContinuation(char C) { return (static_cast<unsigned char>(C) & 0xC0) == 0x80; }

// The place one character on from I (a stray continuation byte stands for itself).
inline size_t NextChar(std::string_view S, size_t I) {
  ++I;
  for (int K = 0; K < 3 && I < S.size() && IsContinuation(S[I]); ++K) ++I;
  return I;
}
inline size_t PrevChar(std::string_view S, size_t I) {
  --I;
  for (int K = 0; K < 3 && I > 0 && IsContinuation(S[I]); ++K) --I;
  return I;
}

// Makes the hits of one line, in order: the character column is counted on from the last
// hit, so that many hits on a long line cost no more than the line; a line shown whole is
// one text that all its hits in a run share, and so is a piece that several hits show.
class TLineHits {
 public:
  TLineHits(std::string_view Line, int32_t LineNo) : FLine(Line), FLineNo(LineNo) {}

  void Add(size_t Pos, size_t Len, TFoundHits& Out) {
    if (Pos < FCursor) {
      FCursor = 0;
      FChars = 0;
    }
    FChars += CharCount(FLine.substr(FCursor, Pos - FCursor));
    FCursor = Pos;
    TFindHit H;
    H.Line = FLineNo;
    H.ByteColumn = static_cast<int32_t>(Pos + 1);
    H.CharColumn = FChars + 1;
    H.MatchLength = Utf16Count(FLine.substr(Pos, Len));
    if (ShownWhole()) {
      // The run that held the text may have been handed over since: the text is written
      // again into the run that takes this hit.
      if (!Holds(Out)) {
        const size_t At = Out.Texts.size();
        Out.Texts.append(FLine);
        Written(Out, At);
      }
      H.TextColumn = H.CharColumn;
    } else {
      // A piece of ShownLineWidth characters that starts up to ShownBeforeMatch characters
      // before the match, earlier near the line's end.
      size_t Start = Pos, End;
      for (int32_t Back = 0; Start > 0 && Back < ShownBeforeMatch; ++Back) Start = PrevChar(FLine, Start);
      int32_t Shown = 0;
      for (End = Start; End < FLine.size() && Shown < ShownLineWidth; ++Shown) End = NextChar(FLine, End);
      for (; Start > 0 && Shown < ShownLineWidth; ++Shown) Start = PrevChar(FLine, Start);
      if (!Holds(Out) || Start != FPieceStart || End != FPieceEnd) {
        const size_t At = Out.Texts.size();
        if (Start > 0) Out.Texts += CutMark;
        Out.Texts.append(FLine.substr(Start, End - Start));
        if (End < FLine.size()) Out.Texts += CutMark;
        Written(Out, At);
        FPieceStart = Start;
        FPieceEnd = End;
      }
      H.TextColumn =
          (Start > 0 ? static_cast<int32_t>(CutMark.size()) : 0) + CharCount(FLine.substr(Start, Pos - Start)) + 1;
    }
    H.TextStart = FTextStart;
    H.TextLength = FTextLength;
    Out.Hits.push_back(H);
  }

 private:
  bool ShownWhole() {
    if (FWholeKnown < 0)
      FWholeKnown = FLine.size() <= static_cast<size_t>(ShownLineWidth) ||
                    (FLine.size() <= 4 * static_cast<size_t>(ShownLineWidth) && CharCount(FLine) <= ShownLineWidth);
    return FWholeKnown > 0;
  }
  // Whether the text last written is in Out: only this line's hits are added meanwhile, so it
  // is there while the hit that first showed it is.
  bool Holds(const TFoundHits& Out) const { return FTextHit < Out.Hits.size(); }
  // The text from At to the end of Out's texts was written for the hit about to be added.
  void Written(const TFoundHits& Out, size_t At) {
    FTextHit = Out.Hits.size();
    FTextStart = At;
    FTextLength = static_cast<uint32_t>(Out.Texts.size() - At);
  }

  std::string_view FLine;
  int32_t FLineNo;
  size_t FCursor = 0;  // the characters before it: FChars
  int32_t FChars = 0;
  int FWholeKnown = -1;
  size_t FTextHit = SIZE_MAX;  // the first hit in Out that shows the text last written
  size_t FTextStart = 0;
  uint32_t FTextLength = 0;
  size_t FPieceStart = 0, FPieceEnd = 0;  // of the piece last written, when not shown whole
};

// The window one kernel call or scan covers: the kernel measures texts in 31 bits, and a
// cancel is seen between windows. It ends at a line break (or the text's end) at or after
// From + Window.
constexpr size_t Window = size_t{1} << 24;
size_t WindowEnd(std::string_view Text, size_t From) {
  size_t End = std::min(Text.size(), From + Window);
  return End < Text.size() ? NextBreak(Text, End) : End;
}

// Hands a full run over; it is empty after, whatever the taker did with it.
void HandOver(TFoundHits& Hits, const THitRun& Flush) {
  Flush(Hits);
  Hits.clear();
}

}  // namespace

TLineMatcher::TLineMatcher(std::string Pattern, TSearchFlags Flags, bool Brief)
    : FPattern(std::move(Pattern)), FFlags(Flags + TSearchFlags{sfGoForward}) {
  FKernelPattern = Brief && FFlags.Contains(sfRegExp) ? BriefToEk(FPattern) : FPattern;
  const bool Fold = !FFlags.Contains(sfCase);
  std::vector<std::string> Needles;
  if (FFlags.Contains(sfRegExp)) {
    Needles = RequiredLiterals(FKernelPattern, Fold);
  } else if (!FPattern.empty()) {
    // The kernel finds a literal as its bytes, with the case of ASCII letters folded when
    // case does not count; a pattern with other characters it folds by its expression
    // engine, which this scan leaves to it.
    const bool Ascii = std::all_of(FPattern.begin(), FPattern.end(), [](char C) { return (C & 0x80) == 0; });
    if (!Fold || Ascii) {
      std::string Literal = FPattern;
      if (Fold)
        for (char& C : Literal) C = AsciiLower(C);
      // Its matches are exactly its occurrences: no kernel call at all.
      FBytesOnly = !FFlags.Contains(sfWord) && Literal.find_first_of("\r\n") == std::string::npos;
      FLiteralLength = Literal.size();
      Needles.push_back(std::move(Literal));
    }
  }
  if (!Needles.empty()) FNeedles = std::make_unique<ek::TNeedles>(std::move(Needles), Fold);
  if (!FPattern.empty()) FStatus = FSearch.Prepare(FKernelPattern, FFlags);
}

TLineMatcher::~TLineMatcher() = default;

std::string TLineMatcher::StatusMessage() const {
  return SearchErrorMessage(FKernelPattern, static_cast<TSearchResult>(FStatus), FSearch.ErrorText(),
                            static_cast<int32_t>(FSearch.ErrorOffset()));
}

size_t TLineMatcher::FindCandidate(std::string_view Text) const { return FNeedles->Find(Text.data(), Text.size()); }

bool TLineMatcher::Find(std::string_view Text, size_t& Pos, size_t& Len) { return FSearch.Find(Text, 0, Pos, Len); }

void TLineMatcher::SearchLine(std::string_view Line, int32_t LineNo, TFoundHits& Hits, const THitRun* Flush) {
  TLineHits Made(Line, LineNo);
  size_t From = 0;
  while (From <= Line.size()) {
    size_t Pos, Len;
    if (!FSearch.Find(Line, From, Pos, Len)) return;
    Made.Add(Pos, Len, Hits);
    if (Flush && Hits.size() >= FlushAt) HandOver(Hits, *Flush);
    From = Pos + (Len ? Len : 1);
    if (Len == 0)
      while (From < Line.size() && IsContinuation(Line[From])) ++From;
  }
}

bool TLineMatcher::SearchBytes(std::string_view Text, TFoundHits& Hits, const std::atomic<bool>* Stop,
                               int32_t FirstLine, const THitRun* Flush) {
  // The pattern holds no line break, so no occurrence spans one: the next occurrence is on
  // the current line or on a later one, which the break count finds.
  const size_t Len = FLiteralLength;
  size_t LineStart = 0, LineEnd = std::string_view::npos;  // of line LineNo once it had a hit
  int32_t LineNo = FirstLine;
  std::optional<TLineHits> Made;
  size_t From = 0;
  while (From < Text.size()) {
    if (Stop && Stop->load(std::memory_order_relaxed)) return false;
    const size_t End = WindowEnd(Text, From);
    const size_t At = FindCandidate(Text.substr(From, End - From));
    if (At == std::string_view::npos) {
      From = End;
      continue;
    }
    const size_t Cand = From + At;
    if (LineEnd == std::string_view::npos || Cand > LineEnd) {
      if (LineEnd != std::string_view::npos) {
        LineStart = AfterBreak(Text, LineEnd);
        ++LineNo;
      }
      SeekLine(Text, Cand, LineStart, LineNo);
      LineEnd = NextBreak(Text, LineStart);
      Made.emplace(Text.substr(LineStart, LineEnd - LineStart), LineNo);
    }
    Made->Add(Cand - LineStart, Len, Hits);
    if (Flush && Hits.size() >= FlushAt) HandOver(Hits, *Flush);
    From = Cand + Len;
  }
  return true;
}

bool TLineMatcher::Search(std::string_view Text, TFoundHits& Hits, const std::atomic<bool>* Stop,
                          int32_t FirstLine, const THitRun* Flush) {
  if (FPattern.empty() || Text.empty() || FStatus != 0) return true;
  if (FBytesOnly) return SearchBytes(Text, Hits, Stop, FirstLine, Flush);
  size_t LineStart = 0;  // start of line LineNo
  int32_t LineNo = FirstLine;
  size_t From = 0;
  while (From < Text.size()) {
    if (Stop && Stop->load(std::memory_order_relaxed)) return false;
    const size_t End = WindowEnd(Text, From);
    std::string_view Part = Text.substr(From, End - From);
    size_t At, Len;
    if (FNeedles) {
      At = FindCandidate(Part);
    } else if (!Find(Part, At, Len)) {
      At = std::string_view::npos;
    }
    if (At == std::string_view::npos) {
      if (End >= Text.size()) return true;
      From = End;
      continue;
    }
    const size_t Cand = From + At;
    // Nothing follows a final line break: a match there is on no line.
    if (Cand >= Text.size() && IsBreak(Text.back())) return true;
    SeekLine(Text, Cand, LineStart, LineNo);
    size_t LineEnd = NextBreak(Text, LineStart);
    SearchLine(Text.substr(LineStart, LineEnd - LineStart), LineNo, Hits, Flush);
    if (LineEnd >= Text.size()) return true;
    LineStart = AfterBreak(Text, LineEnd);
    ++LineNo;
    From = LineStart;
  }
  return true;
}

void CheckSearchPattern(const std::string& Pattern, TSearchFlags Flags, bool Brief) {
  if (Pattern.empty()) throw Exception(res::SEmptySearchText);
  if (!Flags.Contains(sfRegExp)) return;
  TLineMatcher R(Pattern, Flags, Brief);
  if (R.Status() != 0) throw Exception(R.StatusMessage());
}

int32_t LineAfter(std::string_view Text, int32_t FirstLine) {
  size_t LineStart = 0;
  int32_t LineNo = FirstLine;
  SeekLine(Text, Text.size(), LineStart, LineNo);
  return LineNo;
}

size_t WholeLinesEnd(std::string_view Data) {
  if (Data.size() < 2) return 0;
  // The last break byte with a byte after it, then the run of break bytes it is in, split
  // from its start as the line scan splits it.
  const auto* Lf = static_cast<const char*>(memrchr(Data.data(), '\n', Data.size() - 1));
  const auto* Cr = static_cast<const char*>(memrchr(Data.data(), '\r', Data.size() - 1));
  const char* Last = std::max(Lf ? Lf : nullptr, Cr ? Cr : nullptr, [](const char* A, const char* B) { return A < B; });
  if (!Last) return 0;
  const size_t P = static_cast<size_t>(Last - Data.data());
  size_t Start = P;
  while (Start > 0 && IsBreak(Data[Start - 1])) --Start;
  size_t End = Start;
  while (End <= P) End = AfterBreak(Data, End);
  return End;
}

size_t FirstBreakEnd(std::string_view Data, bool Complete) {
  const size_t B = NextBreak(Data, 0);
  if (B >= Data.size()) return std::string_view::npos;
  if (B + 1 >= Data.size() && !Complete) return std::string_view::npos;
  return AfterBreak(Data, B);
}

}  // namespace nxs
