// The generic highlighters: HTML (whose STYLE elements go to the style-sheet highlighter), style
// sheets, PHP, JavaScript and INI files. Each keeps its reserved words in a hash table of its
// own and tokenizes one line at a time from the class the line before left.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>

#include "editor/language/highlight.h"

namespace nxs {

class TGenericHighlighter : public THighlighter {
 public:
  static constexpr size_t TableSize = 256;
  struct TReservedWord {
    std::unique_ptr<TReservedWord> Next;
    std::string Word;
    uint8_t Class;
    void* Data;
  };

  TGenericHighlighter(std::string ID, std::string Name) : FID(std::move(ID)), FName(std::move(Name)) {}
  std::string GetIDString() const override { return FID; }
  std::string GetName() const override { return FName; }
  uint8_t TokenizeLineClass(uint8_t StartClass, const char* Line, int32_t Length) override {
    return Tokenize(StartClass, Line, Length, nullptr);
  }

  // The bucket of a word: the sum of the low bytes of its characters (OR 0x20 when case does not
  // matter), masked with the table size less one.
  static size_t HashWord(const char* Word, size_t Length, bool CaseSensitive);
  void EnterReservedWord(const std::string& Word, bool CaseSensitive, uint8_t Class, void* Data = nullptr);
  const TReservedWord* FindReservedWord(const char* Text, size_t Length, bool CaseSensitive) const;

 private:
  std::string FID, FName;
  std::array<std::unique_ptr<TReservedWord>, TableSize> FTable;
};

std::unique_ptr<TGenericHighlighter> MakeHTMLHighlighter();
std::unique_ptr<TGenericHighlighter> MakeStyleSheetHighlighter();
std::unique_ptr<TGenericHighlighter> MakePHPHighlighter();
std::unique_ptr<TGenericHighlighter> MakeJavaScriptHighlighter();
std::unique_ptr<TGenericHighlighter> MakeIniHighlighter();

// Adds the five, in their order, each with a new syntax code.
void AddGenericHighlighters(THighlightManager& Manager);

}  // namespace nxs
