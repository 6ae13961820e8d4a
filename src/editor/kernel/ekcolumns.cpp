// Character classes, widths and tab stops.
#include "editor/kernel/ekcolumns.h"

#include <cctype>
#include <cstdlib>
#include <cstring>

#include "editor/kernel/ekutf8.h"

namespace nxs::ek {

TCallbacks& Callbacks() {
  static TCallbacks C;
  return C;
}

void* KernelAlloc(size_t Size) {
  if (Callbacks().Malloc) return Callbacks().Malloc(Size);
  return std::malloc(Size);
}

void KernelFree(void* P) {
  if (!P) return;
  if (Callbacks().Free) return Callbacks().Free(P);
  std::free(P);
}

uint32_t ToUpper(uint32_t Ch) {
  if (Ch < 0x80) return (Ch >= 'a' && Ch <= 'z') ? Ch - 32 : Ch;
  return Callbacks().ToUpper ? Callbacks().ToUpper(Ch) : Ch;
}

uint32_t ToLower(uint32_t Ch) {
  if (Ch < 0x80) return (Ch >= 'A' && Ch <= 'Z') ? Ch + 32 : Ch;
  return Callbacks().ToLower ? Callbacks().ToLower(Ch) : Ch;
}

bool IsWordChar(uint32_t Ch) {
  if (Callbacks().IsWordChar) return Callbacks().IsWordChar(Ch);
  return Ch == '_' || (Ch < 0x80 && std::isalnum(static_cast<int>(Ch))) || Ch >= 0x80;
}

bool IsWhite(uint32_t Ch) {
  if (Callbacks().IsWhiteSpace) return Callbacks().IsWhiteSpace(Ch);
  return Ch == ' ' || Ch == '\t';
}

int CharWidth(std::string_view S, size_t I) {
  auto B = static_cast<unsigned char>(S[I]);
  if (B < 0x80) return 1;
  int Len = Utf8CharLength(S, I);
  if (Callbacks().GetCharWidth) {
    // The callback reads a whole sequence; hand it a terminated copy of this one.
    char Buf[5] = {};
    std::memcpy(Buf, S.data() + I, static_cast<size_t>(Len));
    int W = Callbacks().GetCharWidth(Buf);
    return W == 2 ? 2 : 1;
  }
  int L;
  return EkEastAsianWidth(Utf8Decode(S, I, L));
}

// Past the rack's own stops, stops repeat every tab width (else the last gap, else 8) from the
// last of them.
static int64_t RepeatWidth(const TTabRack& Rack, int N) {
  int64_t Width = Rack.TabWidth;
  if (Width <= 0) Width = N >= 2 ? Rack.Stops[N - 1] - Rack.Stops[N - 2] : 8;
  return Width <= 0 ? 8 : Width;
}

int64_t NextTabStop(const TTabRack& Rack, int64_t Col) {
  int N = Rack.Length > EkMaxTabStops ? EkMaxTabStops : Rack.Length;
  for (int I = 0; I < N; ++I)
    if (Rack.Stops[I] > Col) return Rack.Stops[I];
  const int64_t Width = RepeatWidth(Rack, N);
  int64_t Last = N > 0 ? Rack.Stops[N - 1] : 1;
  return Last + ((Col - Last) / Width + 1) * Width;
}

// The last stop before Col (1 when there is none), found by arithmetic: columns reach two
// billion, and stepping stop by stop there takes seconds.
int64_t PrevTabStop(const TTabRack& Rack, int64_t Col) {
  const int N = Rack.Length > EkMaxTabStops ? EkMaxTabStops : Rack.Length;
  int64_t Prev = 1;
  for (int I = 0; I < N; ++I) {
    if (Rack.Stops[I] >= Col) return Prev;
    Prev = Rack.Stops[I];
  }
  const int64_t Width = RepeatWidth(Rack, N);
  const int64_t Last = N > 0 ? Rack.Stops[N - 1] : 1;
  if (Col - 1 - Last >= Width) Prev = Last + (Col - 1 - Last) / Width * Width;
  return Prev;
}

bool ValidTabRack(const TTabRack& Rack) {
  if (Rack.Length > EkMaxTabStops) return false;
  for (int I = 0; I < Rack.Length; ++I) {
    if (Rack.Stops[I] < 1) return false;
    if (I > 0 && Rack.Stops[I] <= Rack.Stops[I - 1]) return false;
  }
  return true;
}

int64_t ColumnOfByte(std::string_view Line, uint64_t Col, const TTabRack& Rack) {
  int64_t Column = 1;
  size_t I = 0;
  while (I < Line.size() && I < Col) {
    if (Line[I] == '\t') {
      Column = NextTabStop(Rack, Column);
      ++I;
      continue;
    }
    Column += CharWidth(Line, I);
    I += Utf8CharLength(Line, I);
  }
  if (Col > Line.size()) Column += static_cast<int64_t>(Col - Line.size());
  return Column;
}

uint64_t ByteOfColumn(std::string_view Line, int64_t Column, const TTabRack& Rack, int64_t& Beyond, int64_t* Start) {
  Beyond = 0;
  int64_t At = 1;
  size_t I = 0;
  if (Start) *Start = Column;
  while (I < Line.size()) {
    int64_t Next = Line[I] == '\t' ? NextTabStop(Rack, At) : At + CharWidth(Line, I);
    if (Column < Next) {
      if (Start) *Start = At;
      return I;
    }
    At = Next;
    I += Line[I] == '\t' ? 1 : Utf8CharLength(Line, I);
  }
  if (Column > At) Beyond = Column - At;
  return Line.size();
}

}  // namespace nxs::ek
