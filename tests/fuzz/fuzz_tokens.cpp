// Fuzzes the tokenizers and highlighters with random text, random start classes and random
// edits.
//
// Input: one byte choosing the tokenizer, one byte of start class, then text. Every internal
// tokenizer must give the same classes for the text whole and line by line from the carried
// class, with and without codes; every highlighter must take any start class. Then the text is
// loaded into a kernel buffer, edited at places the remaining bytes choose, and each line's
// painted classes must equal those of tokenizing the edited text from the top.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "editor/language/generic.h"
#include "editor/kernel/ek.h"
#include "editor/language/tokens.h"

namespace {

using namespace nxs;

using TScan = uint8_t (*)(uint8_t, const char*, size_t, uint8_t*);

uint8_t Pascal(uint8_t K, const char* T, size_t N, uint8_t* C) { return ScanPascal(K, T, N, C); }
uint8_t Cpp(uint8_t K, const char* T, size_t N, uint8_t* C) { return ScanC(TCFamily::Cpp, K, T, N, C); }
uint8_t CSharp(uint8_t K, const char* T, size_t N, uint8_t* C) { return ScanC(TCFamily::CSharp, K, T, N, C); }
uint8_t IDL(uint8_t K, const char* T, size_t N, uint8_t* C) { return ScanC(TCFamily::IDL, K, T, N, C); }
uint8_t SQL(uint8_t K, const char* T, size_t N, uint8_t* C) { return ScanSQL(K, T, N, C); }
const TScan Scans[] = {Pascal, Cpp, CSharp, IDL, SQL};
const uint8_t Langs[] = {slPascal, slCpp, slCSharp, slIDL, slSQL};

void Check(bool Ok) {
  if (!Ok) std::abort();
}

// The carried classes agree with the whole text (lines joined by "\n").
void CheckAgreement(TScan Scan, uint8_t Start, const std::string& Text) {
  std::vector<uint8_t> All(Text.size() + 1, 0xEE), Line;
  const uint8_t End = Scan(Start, Text.data(), Text.size(), All.data());
  uint8_t Class = Start;
  size_t From = 0;
  while (true) {
    size_t Break = Text.find('\n', From);
    const size_t Stop = Break == std::string::npos ? Text.size() : Break;
    Line.assign(Stop - From + 1, 0xEE);
    const uint8_t Next = Scan(Class, Text.data() + From, Stop - From, Line.data());
    Check(Next == Scan(Class, Text.data() + From, Stop - From, nullptr));
    Check(Next != UnknownLineClass);
    Check(std::memcmp(Line.data(), All.data() + From, Stop - From) == 0);
    Class = Next;
    if (Break == std::string::npos) break;
    From = Break + 1;
  }
  Check(Class == End);
}

struct TSource {
  const std::string* Text;
  size_t At = 0;
  static int32_t Read(void* Context, char* Buffer, int32_t Count) {
    auto* S = static_cast<TSource*>(Context);
    size_t N = std::min(static_cast<size_t>(Count), S->Text->size() - S->At);
    std::memcpy(Buffer, S->Text->data() + S->At, N);
    S->At += N;
    return static_cast<int32_t>(N);
  }
};

struct TKernel {
  TEkInstance* Instance;
  TEkView View{};
  TKernel() {
    Instance = EK_INIT(EkKernelVersion, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                       nullptr, nullptr, nullptr);
    REGISTERPASTOKENIZER(*Instance);
    REGISTERCTOKENIZER(*Instance);
    REGISTERIDLTOKENIZER(*Instance);
    REGISTERCSHARPTOKENIZER(*Instance);
    Instance->EkRegisterTokenizer(&SQLTokenizer());
    Instance->EkNew(nullptr, &View, 0);
    View.WinWidth = 30000;
  }
  ~TKernel() { Instance->EkEnd(&View); }
  TKernel(const TKernel&) = delete;
  TKernel& operator=(const TKernel&) = delete;
  template <class TArgs>
  void Run(TEkOp Op, const TArgs& Args) {
    TEkScript S;
    S.Add(Op, Args);
    S.EndMacroStep();
    Instance->EkEval(&View, S.Data(), S.Length());
  }
  std::string LineText(int Line) {
    std::vector<char> Buf(70000);
    uint32_t Len = 0;
    Run(ekGetLineText, TGetLineTextArgs{Line, Buf.data(), static_cast<uint32_t>(Buf.size()), &Len});
    return std::string(Buf.data(), Len);
  }
};

// Painted classes per column equal the bytes' classes for plain ASCII text without tabs.
void CheckIncremental(TKernel& K, TScan Scan) {
  uint8_t Class = 0;
  std::vector<char> Text(70000);
  std::vector<TAttrEntry> Attrs(EkMaxAttrEntries);
  for (int Line = 1; Line <= K.View.Editor->NLines; ++Line) {
    const std::string L = K.LineText(Line);
    std::vector<uint8_t> Codes(L.size() + 1);
    const uint8_t Next = Scan(Class, L.data(), L.size(), Codes.data());
    bool Plain = true;
    for (char C : L) Plain = Plain && C >= 32 && C < 127;
    if (Plain && L.size() < 30000) {
      TPaintContext Ctx{};
      Ctx.LineBuffer = Text.data();
      Ctx.LineBufferSize = static_cast<uint32_t>(Text.size());
      Ctx.Attrs = Attrs.data();
      Ctx.AttrCapacity = static_cast<uint16_t>(Attrs.size());
      Ctx.Highlighting = 1;
      Check(K.Instance->EkGetLineContents(&K.View, Line, &Ctx));
      size_t Col = 0;
      for (int I = 0; I < Ctx.NAttrs; ++I)
        for (; Col < Attrs[static_cast<size_t>(I)].ToCol && Col < L.size(); ++Col)
          Check(Attrs[static_cast<size_t>(I)].SyntaxCode == Codes[Col]);
    }
    Class = Next;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  if (Size < 2) return 0;
  const size_t Which = Data[0] % 10;
  const uint8_t Start = Data[1];
  std::string Text(reinterpret_cast<const char*>(Data + 2), Size - 2);
  if (Which < 5) {
    CheckAgreement(Scans[Which], Start, Text);
  } else {
    static const std::unique_ptr<TGenericHighlighter> Generic[] = {MakeHTMLHighlighter(), MakeStyleSheetHighlighter(),
                                                                   MakePHPHighlighter(), MakeJavaScriptHighlighter(),
                                                                   MakeIniHighlighter()};
    TGenericHighlighter& H = *Generic[Which - 5];
    std::vector<uint8_t> Codes(Text.size() + 1);
    const int32_t N = static_cast<int32_t>(Text.size());
    Check(H.Tokenize(Start, Text.data(), N, Codes.data()) == H.TokenizeLineClass(Start, Text.data(), N));
    return 0;
  }
  // The text's first half is loaded; the second half is cut into edits.
  TKernel K;
  const std::string Load = Text.substr(0, Text.size() / 2);
  TSource S{&Load};
  K.Run(ekReadBuffer, TReadBufferArgs{&TSource::Read, &S});
  K.Run(ekSetSyntaxLang, TByteArgs{Langs[Which]});
  CheckIncremental(K, Scans[Which]);
  size_t At = Text.size() / 2;
  while (At + 3 <= Text.size()) {
    const int Lines = K.View.Editor->NLines;
    const int Line = 1 + static_cast<uint8_t>(Text[At]) % std::max(Lines, 1);
    const int Col = 1 + static_cast<uint8_t>(Text[At + 1]) % 40;
    const size_t Len = static_cast<uint8_t>(Text[At + 2]) % 8;
    K.Run(ekGotoLineCol, TGotoLineColArgs{TEdPos{Col, Line}, 1});
    if (Len == 0) {
      K.Run(ekDeleteChar, TEkNoArgs{});
    } else {
      const std::string Piece = Text.substr(At + 3, std::min(Len, Text.size() - At - 3));
      K.Run(ekInsertLiteral, TStringArgs{Piece.data(), static_cast<uint32_t>(Piece.size())});
    }
    const bool Paint = Text[At + 2] & 0x80;
    At += 3 + Len;
    if (Paint) CheckIncremental(K, Scans[Which]);
  }
  CheckIncremental(K, Scans[Which]);
  return 0;
}
