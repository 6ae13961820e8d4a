#include "editor/language/highlight.h"

#include <algorithm>

#include "editor/buffers/ekinit.h"
#include "editor/buffers/resstrings.h"
#include "editor/language/tokens.h"

namespace nxs {

std::string PascalLanguageName = "Pascal";

uint8_t TInternalHighlighter::Tokenize(uint8_t StartClass, const char* Line, int32_t Length, uint8_t* Codes) {
  if (!FTokenizer || !FTokenizer->Tokenize) {
    if (Codes && Length > 0) std::fill(Codes, Codes + Length, uint8_t{tcWhitespace});
    return 0;
  }
  return FTokenizer->Tokenize(FTokenizer, StartClass, Line, Length, Codes);
}

uint8_t TInternalHighlighter::TokenizeLineClass(uint8_t StartClass, const char* Line, int32_t Length) {
  if (!FTokenizer || !FTokenizer->CalcLineClass) return 0;
  return FTokenizer->CalcLineClass(FTokenizer, StartClass, Line, Length);
}

namespace {

class TNoHighlighter : public TInternalHighlighter {
 public:
  TNoHighlighter() : TInternalHighlighter("Tarvos.Highlighter.None", "None") {}
  bool ReceivesTokenizer() const override { return false; }
};

class TPascalHighlighter : public TInternalHighlighter {
 public:
  TPascalHighlighter() : TInternalHighlighter("Tarvos.Highlighter.Pascal", PascalLanguageName) {}
  THighlighterSample GetSample() const override {
    THighlighterSample S;
    S.Text =
        "{ Syntax Highlighting }\n"
        "procedure TForm1.Button1Click(Sender: TObject);\n"
        "var\n"
        "  Number, I, X: Integer;\n"
        "begin\n"
        "  Number := 123456;\n"
        "  Caption := 'The Number is ' + IntToStr(Number);\n"
        "  for I := 0 to Number do begin { search Match }\n"
        "    Inc(X);\n"
        "    Dec(X);\n"
        "    X := X + 1.0;\n"
        "    X := X - $5E;\n"
        "  end;\n"
        "  {$R+}\n"
        "  asm\n"
        "    MOV AX,1234H\n"
        "    MOV Number,AX\n"
        "  end;\n"
        "  {$R-}\n"
        "  // a line comment\n"
        "  X := #13;\n"
        "  {$REGION 'Region Test'}\n"
        "  X := X;\n"
        "  {$ENDREGION}\n"
        "end;\n";
    S.BlockLine = 8;
    S.BlockStartCol = 24;
    S.BlockEndCol = 29;
    S.ExecPointLine = 10;
    S.InvalidBreakLine = 9;
    S.ValidBreakLine = 12;
    S.DisabledBreakLine = 13;
    S.ErrorLine = 14;
    S.FoldableStart = 2;
    S.FoldableEnd = 25;
    S.FoldedStart = 22;
    S.FoldedEnd = 24;
    S.FoldedText = "Region Test";
    return S;
  }
};

class TCFamilySample : public TInternalHighlighter {
 public:
  using TInternalHighlighter::TInternalHighlighter;
  THighlighterSample GetSample() const override {
    THighlighterSample S;
    S.Text =
        "#include <stdio.h>\n"
        "/* Syntax Highlighting */\n"
        "int main(int argc, char** argv)\n"
        "{\n"
        "  int number = 123456;\n"
        "  char c = 'c';\n"
        "  double d = 1.5e3;\n"
        "  for (int i = 0; i < number; i++) { // search Match\n"
        "    number += 0x1F;\n"
        "    number -= 017;\n"
        "  }\n"
        "  printf(\"The number is %d\\n\", number);\n"
        "  return 0;\n"
        "}\n";
    S.BlockLine = 8;
    S.BlockStartCol = 38;
    S.BlockEndCol = 43;
    S.ExecPointLine = 9;
    S.InvalidBreakLine = 10;
    S.ValidBreakLine = 5;
    S.DisabledBreakLine = 6;
    S.ErrorLine = 7;
    S.FoldableStart = 4;
    S.FoldableEnd = 14;
    S.FoldedStart = 8;
    S.FoldedEnd = 11;
    S.FoldedText = "for";
    return S;
  }
};

class TCppHighlighter : public TCFamilySample {
 public:
  TCppHighlighter() : TCFamilySample("Tarvos.Highlighter.Cpp", "C/C++") {}
};

class TCSharpHighlighter : public TCFamilySample {
 public:
  TCSharpHighlighter() : TCFamilySample("Tarvos.Highlighter.C#", "C#") {}
};

class TIDLHighlighter : public TCFamilySample {
 public:
  TIDLHighlighter() : TCFamilySample("Tarvos.Highlighter.IDL", "IDL") {}
};

class TSQLHighlighter : public TInternalHighlighter {
 public:
  TSQLHighlighter() : TInternalHighlighter("Tarvos.Highlighter.SQL", "SQL") {}
  THighlighterSample GetSample() const override {
    THighlighterSample S;
    S.Text =
        "/* Syntax Highlighting */\n"
        "SELECT NAME, PRICE FROM ITEMS -- search Match\n"
        "WHERE PRICE > 12.5 AND NAME LIKE 'A%'\n"
        "ORDER BY NAME;\n";
    S.BlockLine = 2;
    S.BlockStartCol = 8;
    S.BlockEndCol = 12;
    return S;
  }
};

THighlighterRegistration OtherHighlighters = nullptr;

std::unique_ptr<THighlightManager>& ManagerSlot() {
  static std::unique_ptr<THighlightManager> M;
  return M;
}

// The kernel tokenizer of a generic highlighter: it asks the manager for the highlighter of
// its code at each call, so that removing the highlighter leaves a tokenizer that highlights
// nothing.
uint8_t StubTokenize(TTokenizer* T, uint8_t Start, const char* Line, int32_t Length, uint8_t* Codes) {
  THighlightManager& M = HighlightManager();
  int I = M.LookupHighlighter(T->SyntaxLang);
  if (I < 0) {
    if (Codes && Length > 0) std::fill(Codes, Codes + Length, uint8_t{tcWhitespace});
    return 0;
  }
  uint8_t Next = Codes ? M.GetHighlighter(I)->Tokenize(Start, Line, Length, Codes)
                       : M.GetHighlighter(I)->TokenizeLineClass(Start, Line, Length);
  return Next == UnknownLineClass ? 0 : Next;
}

uint8_t StubLineClass(TTokenizer* T, uint8_t Start, const char* Line, int32_t Length) {
  return StubTokenize(T, Start, Line, Length, nullptr);
}

void StubDestroy(TTokenizer*) {}

}  // namespace

void THighlightManager::AddInternalHighlighter(std::unique_ptr<THighlighter> Highlighter, uint8_t Code) {
  FItems.push_back(TItem{std::move(Highlighter), Code});
}

uint8_t THighlightManager::AddHighlighter(std::unique_ptr<THighlighter> Highlighter) {
  TEkInstance* Instance = EGD.Instance;
  if (!Instance || !Instance->EkMakeSyntaxID || !Instance->EkRegisterTokenizer)
    throw Exception(res::SHighlighterNotInitialized);
  const uint8_t Code = Instance->EkMakeSyntaxID();
  if (Code == 0) throw Exception(res::SHighlighterNotInitialized);
  // The kernel keeps pointing at a registered tokenizer record for as long as the process runs,
  // so the records live in one table of their own, one per code, whatever becomes of the
  // highlighter or the manager.
  static TTokenizer Stubs[256];
  TTokenizer& Stub = Stubs[Code];
  Stub = TTokenizer{};
  Stub.SyntaxLang = Code;
  Stub.Tokenize = StubTokenize;
  Stub.CalcLineClass = StubLineClass;
  Stub.DestroyTokenizer = StubDestroy;
  Stub.EkInst = Instance;
  Instance->EkRegisterTokenizer(&Stub);
  FItems.push_back(TItem{std::move(Highlighter), Code});
  return Code;
}

void THighlightManager::RemoveHighlighter(const THighlighter* Highlighter) {
  // A generic highlighter's kernel tokenizer stays registered (the kernel cannot unregister)
  // and from now on finds no highlighter for its code.
  auto It = std::find_if(FItems.begin(), FItems.end(),
                         [&](const TItem& I) { return I.Highlighter.get() == Highlighter; });
  if (It != FItems.end()) FItems.erase(It);
}

int THighlightManager::LookupHighlighter(uint8_t Code) const {
  for (size_t I = 0; I < FItems.size(); ++I)
    if (FItems[I].Code == Code) return static_cast<int>(I);
  return -1;
}

int THighlightManager::LookupHighlighter(std::string_view ID) const {
  for (size_t I = 0; I < FItems.size(); ++I)
    if (FItems[I].Highlighter->GetIDString() == ID) return static_cast<int>(I);
  return -1;
}

THighlighter* THighlightManager::GetHighlighter(int Index) const {
  if (Index < 0 || Index >= GetHighlighterCount()) return nullptr;
  return FItems[static_cast<size_t>(Index)].Highlighter.get();
}

uint8_t THighlightManager::GetSyntaxCode(int Index) const {
  if (Index < 0 || Index >= GetHighlighterCount()) return 0;
  return FItems[static_cast<size_t>(Index)].Code;
}

uint8_t THighlightManager::GetSyntaxLangFromID(std::string_view ID) const { return GetSyntaxCode(LookupHighlighter(ID)); }

void THighlightManager::RepaintEditor() { ++FRepaints; }

THighlightManager& HighlightManager() {
  auto& M = ManagerSlot();
  if (!M) M = std::make_unique<THighlightManager>();
  return *M;
}

void ResetHighlightManager() { ManagerSlot().reset(); }

void RegisterHighlighters(TEkInstance& Instance) {
  REGISTERPASTOKENIZER(Instance);
  REGISTERCTOKENIZER(Instance);
  REGISTERIDLTOKENIZER(Instance);
  Instance.EkMakeSyntaxID();
  REGISTERCSHARPTOKENIZER(Instance);
  Instance.EkMakeSyntaxID();
  SQLSETOPTIONS(0);
  TTokenizer& SQL = SQLTokenizer();
  SQL.EkInst = &Instance;
  Instance.EkRegisterTokenizer(&SQL);
  Instance.EkMakeSyntaxID();

  // A kernel started again finds the highlighters of its first start.
  THighlightManager& M = HighlightManager();
  if (M.LookupHighlighter(std::string_view("Tarvos.Highlighter.None")) < 0) {
    M.AddInternalHighlighter(std::make_unique<TNoHighlighter>(), slNone);
    M.AddInternalHighlighter(std::make_unique<TCppHighlighter>(), slCpp);
    M.AddInternalHighlighter(std::make_unique<TPascalHighlighter>(), slPascal);
    M.AddInternalHighlighter(std::make_unique<TSQLHighlighter>(), slSQL);
    M.AddInternalHighlighter(std::make_unique<TIDLHighlighter>(), slIDL);
    M.AddInternalHighlighter(std::make_unique<TCSharpHighlighter>(), slCSharp);
  }
  // At every start: a kernel started again adds what was registered while it was stopped (a
  // package loaded meanwhile). The registration leaves alone what the manager has.
  if (OtherHighlighters) OtherHighlighters(M);
  struct TContext {
    THighlightManager* Manager;
  } Context{&M};
  Instance.EkEnumRegisteredTokenizers(
      [](void* C, TTokenizer* T) {
        THighlightManager& Mgr = *static_cast<TContext*>(C)->Manager;
        int I = Mgr.LookupHighlighter(T->SyntaxLang);
        if (I >= 0 && Mgr.GetHighlighter(I)->ReceivesTokenizer()) Mgr.GetHighlighter(I)->SetTokenizer(T);
      },
      &Context);
}

void InstallHighlighters(THighlighterRegistration Others) {
  OtherHighlighters = Others;
  SetEditorKernelStartupHook(&RegisterHighlighters);
}

uint8_t TokenizeLine(THighlighter& Highlighter, uint8_t StartClass, std::string_view Line, std::vector<TToken>& Tokens) {
  Tokens.clear();
  std::vector<uint8_t> Codes(Line.size() + 1, 0);
  const int32_t Length = static_cast<int32_t>(std::min<size_t>(Line.size(), INT32_MAX));
  uint8_t Next = Highlighter.Tokenize(StartClass, Line.data(), Length, Codes.data());
  // Tokens of one class that touch are one token, but words and symbols each stand alone.
  size_t I = 0;
  while (I < static_cast<size_t>(Length)) {
    size_t J = I + 1;
    const uint8_t K = Codes[I];
    if (K == tcSymbol) {
      J = I + 1;
    } else {
      while (J < static_cast<size_t>(Length) && Codes[J] == K) ++J;
    }
    if (K != tcWhitespace) Tokens.push_back(TToken{I, J - I, K});
    I = J;
  }
  return Next;
}

}  // namespace nxs
