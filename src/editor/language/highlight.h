// Syntax highlighters: the internal ones that forward to the kernel's tokenizers, the generic
// ones with reserved-word tables of their own, and THighlightManager, which holds them all,
// hands out syntax codes and finds a highlighter by code or identifier.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "editor/kernel/ek.h"
#include "shared/exceptions.h"

namespace nxs {

// What a highlighter shows on the colour options page. Lines are 1-based; -1 for none.
struct THighlighterSample {
  std::string Text;
  std::string SearchText = "Match";
  int BlockLine = -1, BlockStartCol = -1, BlockEndCol = -1;
  int ExecPointLine = -1;
  int InvalidBreakLine = -1, ValidBreakLine = -1, DisabledBreakLine = -1;
  int ErrorLine = -1;
  int FoldableStart = -1, FoldableEnd = -1;
  int FoldedStart = -1, FoldedEnd = -1;
  std::string FoldedText;
};

// One token of a tokenized line: byte offset and length, class.
struct TToken {
  size_t Start;
  size_t Length;
  uint8_t Class;
};

class THighlighter {
 public:
  virtual ~THighlighter() = default;
  virtual std::string GetIDString() const = 0;
  virtual std::string GetName() const = 0;
  // Writes one class per byte of the line; returns the class the next line starts in.
  virtual uint8_t Tokenize(uint8_t StartClass, const char* Line, int32_t Length, uint8_t* Codes) = 0;
  virtual uint8_t TokenizeLineClass(uint8_t StartClass, const char* Line, int32_t Length) = 0;
  virtual THighlighterSample GetSample() const { return {}; }
  // Highlighters that take the kernel's tokenizer record say so here.
  virtual bool ReceivesTokenizer() const { return false; }
  virtual void SetTokenizer(TTokenizer*) {}
};

// Forwards to a kernel tokenizer; highlights nothing until it is given one.
class TInternalHighlighter : public THighlighter {
 public:
  TInternalHighlighter(std::string ID, std::string Name) : FID(std::move(ID)), FName(std::move(Name)) {}
  std::string GetIDString() const override { return FID; }
  std::string GetName() const override { return FName; }
  uint8_t Tokenize(uint8_t StartClass, const char* Line, int32_t Length, uint8_t* Codes) override;
  uint8_t TokenizeLineClass(uint8_t StartClass, const char* Line, int32_t Length) override;
  bool ReceivesTokenizer() const override { return true; }
  TTokenizer* GetTokenizer() const { return FTokenizer; }
  void SetTokenizer(TTokenizer* Tokenizer) override { FTokenizer = Tokenizer; }

 private:
  std::string FID, FName;
  TTokenizer* FTokenizer = nullptr;
};

class THighlightManager {
 public:
  THighlightManager() = default;
  THighlightManager(const THighlightManager&) = delete;  // owns the highlighters
  THighlightManager& operator=(const THighlightManager&) = delete;

  void AddInternalHighlighter(std::unique_ptr<THighlighter> Highlighter, uint8_t Code);
  // Gives the highlighter a new syntax code and registers a kernel tokenizer that forwards to
  // it. Raises Exception before the kernel runs. Returns the code.
  uint8_t AddHighlighter(std::unique_ptr<THighlighter> Highlighter);
  void RemoveHighlighter(const THighlighter* Highlighter);
  // Index of the highlighter, -1 when none has the code or identifier.
  int LookupHighlighter(uint8_t Code) const;
  int LookupHighlighter(std::string_view ID) const;
  THighlighter* GetHighlighter(int Index) const;
  int GetHighlighterCount() const { return static_cast<int>(FItems.size()); }
  uint8_t GetSyntaxCode(int Index) const;
  // The syntax code of the identifier's highlighter, 0 (none) when there is none.
  uint8_t GetSyntaxLangFromID(std::string_view ID) const;
  // Tells the painted views to paint again (their colours or highlighters changed).
  void RepaintEditor();
  uint64_t RepaintCount() const { return FRepaints; }

 private:
  struct TItem {
    std::unique_ptr<THighlighter> Highlighter;
    uint8_t Code;
  };
  std::vector<TItem> FItems;
  uint64_t FRepaints = 0;
};

THighlightManager& HighlightManager();
// Drops the manager and its highlighters (tests, shutdown).
void ResetHighlightManager();

// Adds highlighters to the manager, each with a new syntax code (AddGenericHighlighters).
using THighlighterRegistration = void (*)(THighlightManager& Manager);

// Registers the tokenizers with the kernel and the highlighters with the manager, in start-up
// order: the internal ones, then those of the registration that InstallHighlighters was given.
// Installed as the kernel's start-up hook by InstallHighlighters.
void RegisterHighlighters(TEkInstance& Instance);
// The start-up wires the highlighters: Others (nullptr: none) adds the highlighters that are
// not the kernel's, once the kernel has started and can hand out their syntax codes. It runs
// at every start of the kernel and must skip the highlighters the manager has already.
void InstallHighlighters(THighlighterRegistration Others);

// The Pascal language display name, set at start-up.
extern std::string PascalLanguageName;

// The tokens of one line (whitespace left out) and the class the next line starts in.
uint8_t TokenizeLine(THighlighter& Highlighter, uint8_t StartClass, std::string_view Line,
                     std::vector<TToken>& Tokens);

}  // namespace nxs
