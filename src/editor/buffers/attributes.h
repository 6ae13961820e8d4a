// The display elements (the colour settings that token classes and editor states map to) and
// the attribute array that holds one TSyntaxAttribute per element, read from and written to the
// editor's colour settings.
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace nxs {

class TSettingsStore;

// Font style bits of TSyntaxAttribute::Modifier.
enum : uint8_t { fsBold = 1, fsItalic = 2, fsUnderline = 4 };

// Colours are 0x00BBGGRR.
struct TSyntaxAttribute {
  uint8_t Modifier = 0;
  int32_t ForegroundColor = 0x000000;
  int32_t BackgroundColor = 0xFFFFFF;
  bool DefaultFG = true;
  bool DefaultBG = true;
};

inline constexpr int DisplayElementCount = 40;
inline constexpr int AttributeSlots = 47;
// The element names, in order; a token class is the index of its element.
extern const std::array<const char*, DisplayElementCount> DisplayElements;
// Index of the named element, -1 when there is none.
int DisplayElementIndex(const std::string& Name);

enum : int {
  deWhitespace = 0,
  dePlainText = 21,
  deMarkedBlock = 22,
  deSearchMatch = 23,
};

class TAttributeArray {
 public:
  TAttributeArray();  // the default colours
  TSyntaxAttribute& operator[](int Slot) { return FSlots[static_cast<size_t>(Slot)]; }
  const TSyntaxAttribute& operator[](int Slot) const { return FSlots[static_cast<size_t>(Slot)]; }
  // The colours an element shows with: the default colours of whitespace (the editor's
  // background and text) where the element keeps the default.
  int32_t Foreground(int Slot) const;
  int32_t Background(int Slot) const;
  // "Editor\Highlight\<element>": "Bold", "Italic", "Underline", "Default Foreground",
  // "Default Background", "Foreground Color New", "Background Color New". Values that are
  // missing or out of range keep the defaults.
  void Load(TSettingsStore& Store);
  void Save(TSettingsStore& Store) const;

 private:
  std::array<TSyntaxAttribute, AttributeSlots> FSlots;
};

}  // namespace nxs
