// The Makefile package: a highlighter for Makefiles ("Makefile", "GNUmakefile", "*.mk") and a
// keymap of its own, "Makefile": the default keymap, but Tab inserts a plain tab stop (a recipe
// line begins with one; the smart tab would line it up with the words above) and F9 runs make
// rather than the program.
//
// The highlighter reads one line at a time. Directives (include, ifeq, define, ...) are
// reserved words, variable references ("$(NAME)", "${NAME}", "$@") preprocessor text, the
// assignment and rule operators symbols, and "#" starts a comment that a trailing backslash
// carries on to the next line. Recipe lines (those that begin with a tab) are shell text:
// only their variable references stand out. The body of a "define" is plain text until
// "endef".
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "editor/keyboard/cmdmap.h"
#include "editor/keyboard/keyboard.h"
#include "editor/language/highlight.h"
#include "editor/language/tokens.h"
#include "packages/pkgservices.h"

namespace {

using nxs::tcComment, nxs::tcIdentifier, nxs::tcNumber, nxs::tcPlainText, nxs::tcPreprocessor, nxs::tcReserved,
    nxs::tcString, nxs::tcSymbol, nxs::tcWhitespace;

// Line classes carried from one line to the next.
enum : uint8_t { lcNormal = 0, lcCommentContinues = 1, lcInDefine = 2 };

constexpr const char* Directives[] = {"include", "-include", "sinclude", "ifeq",   "ifneq",    "ifdef",
                                      "ifndef",  "else",     "endif",    "define", "endef",    "export",
                                      "unexport", "override", "vpath",   "undefine", "private"};

bool IsDirective(std::string_view Word) {
  for (const char* D : Directives)
    if (Word == D) return true;
  return false;
}

bool IsWordChar(char C) {
  return (C >= 'a' && C <= 'z') || (C >= 'A' && C <= 'Z') || (C >= '0' && C <= '9') || C == '_' || C == '-' ||
         C == '.' || C == '/' || C == '%' || C == '*';
}

class TMakefileHighlighter : public nxs::THighlighter {
 public:
  std::string GetIDString() const override { return "Makefile.Highlighter.Make"; }
  std::string GetName() const override { return "Makefile"; }
  uint8_t TokenizeLineClass(uint8_t StartClass, const char* Line, int32_t Length) override {
    return Tokenize(StartClass, Line, Length, nullptr);
  }

  uint8_t Tokenize(uint8_t StartClass, const char* Line, int32_t Length, uint8_t* Codes) override {
    const std::string_view Text(Line, Length > 0 ? static_cast<size_t>(Length) : 0);
    auto Mark = [&](size_t From, size_t To, uint8_t Class) {
      if (Codes && To > From) std::memset(Codes + From, Class, To - From);
    };
    const bool Continued = !Text.empty() && Text.back() == '\\';
    if (StartClass == lcCommentContinues) {
      Mark(0, Text.size(), tcComment);
      return Continued ? lcCommentContinues : lcNormal;
    }
    size_t First = Text.find_first_not_of(" \t");
    if (First == std::string_view::npos) First = Text.size();
    const std::string_view FirstWord = Text.substr(First, WordEnd(Text, First) - First);
    if (StartClass == lcInDefine) {
      if (FirstWord == "endef") {
        Mark(0, Text.size(), tcWhitespace);
        Mark(First, First + FirstWord.size(), tcReserved);
        return lcNormal;
      }
      Mark(0, Text.size(), tcPlainText);
      return lcInDefine;
    }
    const bool Recipe = !Text.empty() && Text[0] == '\t';
    size_t I = 0;
    while (I < Text.size()) {
      const char C = Text[I];
      if (C == ' ' || C == '\t') {
        Mark(I, I + 1, tcWhitespace);
        ++I;
      } else if (C == '$') {
        const size_t End = VariableEnd(Text, I);
        Mark(I, End, tcPreprocessor);
        I = End;
      } else if (C == '#' && !Recipe) {
        Mark(I, Text.size(), tcComment);
        return Continued ? lcCommentContinues : lcNormal;
      } else if (Recipe) {
        const size_t End = std::min(Text.find('$', I), Text.size());
        Mark(I, End, tcPlainText);
        I = End;
      } else if (C == '"' || C == '\'') {
        size_t End = Text.find(C, I + 1);
        End = End == std::string_view::npos ? Text.size() : End + 1;
        Mark(I, End, tcString);
        I = End;
      } else if (IsWordChar(C)) {
        const size_t End = WordEnd(Text, I);
        const std::string_view Word = Text.substr(I, End - I);
        uint8_t Class = tcIdentifier;
        if (I == First && IsDirective(Word)) Class = tcReserved;
        else if (Word.find_first_not_of("0123456789") == std::string_view::npos) Class = tcNumber;
        Mark(I, End, Class);
        I = End;
      } else {
        Mark(I, I + 1, tcSymbol);
        ++I;
      }
    }
    return FirstWord == "define" && !Recipe ? lcInDefine : lcNormal;
  }

  nxs::THighlighterSample GetSample() const override {
    nxs::THighlighterSample S;
    S.Text =
        "# Build the sample\n"
        "CFLAGS := -O2 -Wall\n"
        "app: main.o util.o\n"
        "\t$(CC) $(CFLAGS) -o $@ $^\n"
        "ifeq ($(DEBUG),1)\n"
        "CFLAGS += -g\n"
        "endif\n";
    return S;
  }

 private:
  static size_t WordEnd(std::string_view Text, size_t I) {
    while (I < Text.size() && IsWordChar(Text[I])) ++I;
    return I;
  }
  // The end of a variable reference at I ("$"): "$(...)" and "${...}" with nesting, else "$"
  // and one character.
  static size_t VariableEnd(std::string_view Text, size_t I) {
    if (I + 1 >= Text.size()) return Text.size();
    const char Open = Text[I + 1];
    if (Open != '(' && Open != '{') return I + 2;
    const char Close = Open == '(' ? ')' : '}';
    int Depth = 0;
    for (size_t J = I + 1; J < Text.size(); ++J) {
      if (Text[J] == Open) ++Depth;
      if (Text[J] == Close && --Depth == 0) return J + 1;
    }
    return Text.size();
  }
};

std::unique_ptr<nxs::THighlighter> MakeHighlighter() { return std::make_unique<TMakefileHighlighter>(); }

// The default keymap with the Makefile keys in place of the default's.
std::vector<nxs::TKeyBinding> MakefileKeys() {
  const struct {
    const char* Keys;
    const char* Command;
  } Own[] = {{"Tab", "ForeTab"}, {"F9", "MakeProject"}};
  std::vector<nxs::TKeyBinding> Keys = nxs::KeymapBindings(nxs::LoadKeymapResource("INTERNAL"));
  for (const auto& O : Own) {
    const std::vector<uint32_t> Sequence = nxs::ParseKeySequence(O.Keys).value();
    std::erase_if(Keys, [&](const nxs::TKeyBinding& B) { return B.Keys == Sequence; });
    Keys.push_back({Sequence, static_cast<uint16_t>(nxs::CmdMapManager().IndexOf(O.Command))});
  }
  return Keys;
}

}  // namespace

// The registration procedure of unit "Makehl".
NXS_PACKAGE_ENTRY("@Makehl@IDERegister$qqrv", RegisterMakehl)
static void RegisterMakehl() {
  nxs::RegisterPackageHighlighter(&MakeHighlighter, {"Makefile", "makefile", "GNUmakefile", "*.mk"});
  nxs::TKeyboardBinding Keys;
  Keys.Name = "Makefile.Keys";
  Keys.DisplayName = "Makefile";
  Keys.Keys = MakefileKeys();
  nxs::RegisterPackageKeyBinding(Keys);
}
