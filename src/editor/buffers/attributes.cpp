#include "editor/buffers/attributes.h"

#include "shared/settings.h"

namespace nxs {

const std::array<const char*, DisplayElementCount> DisplayElements = {
    "Whitespace",        "Comment",          "Reserved word",       "Identifier",           "Symbol",
    "String",            "Character",        "Number",              "Float",                "Octal",
    "Hex",               "Assembler",        "Hot Link",            "Tags",                 "Attribute Names",
    "Attribute Values",  "Scripts",          "Brace Highlight",     "Line Highlight",       "Preprocessor",
    "Illegal Char",      "Plain text",       "Marked block",        "Search match",         "Execution point",
    "Enabled break",     "Disabled break",   "Invalid break",       "Error line",           "Right margin",
    "Code folding tree", "Folded code",      "Line Number",         "Sync edit background", "Sync edit highlight",
    "Diff addition",     "Diff deletion",    "Diff move",           "Modified line",
    "Additional search match highlight",
};

int DisplayElementIndex(const std::string& Name) {
  for (int I = 0; I < DisplayElementCount; ++I)
    if (Name == DisplayElements[static_cast<size_t>(I)]) return I;
  return -1;
}

namespace {

constexpr const char* KeyHighlight = "Editor\\Highlight";
constexpr int32_t clBlack = 0x000000, clMaroon = 0x000080, clGreen = 0x008000, clNavy = 0x800000,
                  clTeal = 0x808000, clGray = 0x808080, clSilver = 0xC0C0C0, clRed = 0x0000FF,
                  clBlue = 0xFF0000, clWhite = 0xFFFFFF, clYellow = 0x00FFFF, clPurple = 0x800080;

struct TDefault {
  int Element;
  int32_t FG;
  int32_t BG;  // -1: the default background
  uint8_t Style;
};
constexpr TDefault Defaults[] = {
    {1, clGreen, -1, fsItalic},  {2, clNavy, -1, fsBold},      {5, clBlue, -1, 0},       {6, clBlue, -1, 0},
    {7, clBlue, -1, 0},          {8, clBlue, -1, 0},           {9, clBlue, -1, 0},       {10, clBlue, -1, 0},
    {11, clBlack, clSilver, 0},  {12, clBlue, -1, fsUnderline}, {13, clNavy, -1, fsBold}, {14, clRed, -1, 0},
    {15, clBlue, -1, 0},         {16, clMaroon, -1, 0},        {17, clBlue, clSilver, 0}, {19, clTeal, -1, 0},
    {20, clRed, clYellow, 0},    {22, clWhite, clNavy, 0},     {23, clBlack, clYellow, 0}, {24, clWhite, clNavy, 0},
    {25, clWhite, clRed, 0},     {26, clGray, -1, 0},          {27, clWhite, clGreen, 0}, {28, clWhite, clMaroon, 0},
    {29, clSilver, -1, 0},       {31, clGray, -1, 0},          {32, clGray, -1, 0},      {35, clBlack, 0xC0FFC0, 0},
    {36, clBlack, 0xC0C0FF, 0},  {37, clPurple, -1, 0},        {38, clYellow, -1, 0},
};

}  // namespace

TAttributeArray::TAttributeArray() {
  for (const auto& D : Defaults) {
    TSyntaxAttribute& A = FSlots[static_cast<size_t>(D.Element)];
    A.ForegroundColor = D.FG;
    A.DefaultFG = false;
    if (D.BG >= 0) {
      A.BackgroundColor = D.BG;
      A.DefaultBG = false;
    }
    A.Modifier = D.Style;
  }
}

int32_t TAttributeArray::Foreground(int Slot) const {
  const TSyntaxAttribute& A = (*this)[Slot];
  return A.DefaultFG ? (*this)[deWhitespace].ForegroundColor : A.ForegroundColor;
}

int32_t TAttributeArray::Background(int Slot) const {
  const TSyntaxAttribute& A = (*this)[Slot];
  return A.DefaultBG ? (*this)[deWhitespace].BackgroundColor : A.BackgroundColor;
}

void TAttributeArray::Load(TSettingsStore& Store) {
  for (int I = 0; I < DisplayElementCount; ++I) {
    const std::string Key = std::string(KeyHighlight) + "\\" + DisplayElements[static_cast<size_t>(I)];
    if (!Store.SectionExists(Key)) continue;
    TSyntaxAttribute& A = FSlots[static_cast<size_t>(I)];
    auto Flag = [&](const char* Name, uint8_t Bit) {
      if (Store.ReadBool(Key, Name, (A.Modifier & Bit) != 0)) A.Modifier |= Bit;
      else A.Modifier &= static_cast<uint8_t>(~Bit);
    };
    Flag("Bold", fsBold);
    Flag("Italic", fsItalic);
    Flag("Underline", fsUnderline);
    A.DefaultFG = Store.ReadBool(Key, "Default Foreground", A.DefaultFG);
    A.DefaultBG = Store.ReadBool(Key, "Default Background", A.DefaultBG);
    auto Color = [&](const char* Name, int32_t& Into) {
      int64_t V = Store.ReadInteger(Key, Name, Into);
      if (V >= INT32_MIN && V <= INT32_MAX) Into = static_cast<int32_t>(V);
    };
    Color("Foreground Color New", A.ForegroundColor);
    Color("Background Color New", A.BackgroundColor);
  }
}

void TAttributeArray::Save(TSettingsStore& Store) const {
  TSettingsUpdate Batch(Store);
  for (int I = 0; I < DisplayElementCount; ++I) {
    const std::string Key = std::string(KeyHighlight) + "\\" + DisplayElements[static_cast<size_t>(I)];
    const TSyntaxAttribute& A = FSlots[static_cast<size_t>(I)];
    Store.WriteBool(Key, "Bold", (A.Modifier & fsBold) != 0);
    Store.WriteBool(Key, "Italic", (A.Modifier & fsItalic) != 0);
    Store.WriteBool(Key, "Underline", (A.Modifier & fsUnderline) != 0);
    Store.WriteBool(Key, "Default Foreground", A.DefaultFG);
    Store.WriteBool(Key, "Default Background", A.DefaultBG);
    Store.WriteInteger(Key, "Foreground Color New", A.ForegroundColor);
    Store.WriteInteger(Key, "Background Color New", A.BackgroundColor);
  }
}

}  // namespace nxs
