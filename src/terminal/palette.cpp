#include "terminal/palette.h"

#include <algorithm>
#include <array>
#include <cstdlib>

#include "editor/buffers/attributes.h"

namespace nxs::term {

namespace {

struct TRgb {
  int R, G, B;
};

TRgb FromBGR(int32_t C) { return TRgb{C & 0xFF, (C >> 8) & 0xFF, (C >> 16) & 0xFF}; }

int Distance(TRgb A, TRgb B) {
  // Weighted as the eye sees: green counts most, blue least.
  const int DR = A.R - B.R, DG = A.G - B.G, DB = A.B - B.B;
  return 3 * DR * DR + 4 * DG * DG + 2 * DB * DB;
}

// The eight basic colours in their usual order (black, red, green, yellow, blue, magenta,
// cyan, white), as terminals commonly show them.
constexpr std::array<TRgb, 8> Basic = {TRgb{0, 0, 0},   TRgb{205, 0, 0},   TRgb{0, 205, 0},   TRgb{205, 205, 0},
                                       TRgb{0, 0, 238}, TRgb{205, 0, 205}, TRgb{0, 205, 205}, TRgb{229, 229, 229}};
constexpr std::array<int, 6> CubeLevels = {0, 95, 135, 175, 215, 255};

int NearestLevel(int V) {
  int Best = 0;
  for (int I = 1; I < 6; ++I)
    if (std::abs(CubeLevels[I] - V) < std::abs(CubeLevels[Best] - V)) Best = I;
  return Best;
}

}  // namespace

int16_t TPalette::Index(int32_t BGR) const {
  if (FColors < 8) return -1;
  const TRgb C = FromBGR(BGR);
  if (FColors < 256) {
    int Best = 0;
    for (int I = 1; I < 8; ++I)
      if (Distance(C, Basic[I]) < Distance(C, Basic[Best])) Best = I;
    return static_cast<int16_t>(Best);
  }
  // The 6x6x6 cube from 16, or the grey ramp from 232, whichever is nearer.
  const int R = NearestLevel(C.R), G = NearestLevel(C.G), B = NearestLevel(C.B);
  const TRgb Cube{CubeLevels[R], CubeLevels[G], CubeLevels[B]};
  const int Grey = std::clamp((C.R + C.G + C.B) / 3 - 3, 0, 237) / 10;
  const int GreyLevel = 8 + 10 * std::min(Grey, 23);
  const TRgb Ramp{GreyLevel, GreyLevel, GreyLevel};
  if (Distance(C, Ramp) < Distance(C, Cube)) return static_cast<int16_t>(232 + std::min(Grey, 23));
  return static_cast<int16_t>(16 + 36 * R + 6 * G + B);
}

TCellStyle TPalette::ElementStyle(const TAttributeArray& Colors, int Element) const {
  TCellStyle S;
  const TSyntaxAttribute& A = Colors[Element];
  if (A.Modifier & fsBold) S.Attr |= caBold;
  if (A.Modifier & fsUnderline) S.Attr |= caUnderline;
  if (A.Modifier & fsItalic) S.Attr |= caItalic;
  if (FColors < 8) {
    if (Element == deMarkedBlock || Element == deSearchMatch) S.Attr |= caReverse;
    return S;
  }
  S.Fg = Index(Colors.Foreground(Element));
  S.Bg = Index(Colors.Background(Element));
  // Two colours that fall on one palette entry would hide the text.
  if (S.Fg == S.Bg) S.Fg = Index(Colors.Background(Element) == 0 ? 0xFFFFFF : 0);
  return S;
}

}  // namespace nxs::term
