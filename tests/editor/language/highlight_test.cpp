// The highlight manager, the registration at kernel start-up and the generic highlighters.
#include "editor/language/highlight.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <sstream>
#include <string>
#include <vector>

#include "editor/buffers/attributes.h"
#include "editor/buffers/ekinit.h"
#include "editor/language/generic.h"
#include "editor/language/tokens.h"
#include "shared/settings.h"
#include "shared/testdir.h"
#include "tokensupport.h"

namespace nxs {
namespace {

std::string Map(THighlighter& H, const std::string& Line, uint8_t Start = 0) {
  std::vector<uint8_t> Codes(Line.size() + 1, 0xEE);
  H.Tokenize(Start, Line.data(), static_cast<int32_t>(Line.size()), Codes.data());
  return tokentest::Letters(Codes, 0, Line.size());
}

std::vector<std::string> Lines(THighlighter& H, const std::vector<std::string>& Text) {
  std::vector<std::string> R;
  uint8_t Class = 0;
  for (const auto& L : Text) {
    R.push_back(Map(H, L, Class));
    uint8_t Next = H.TokenizeLineClass(Class, L.data(), static_cast<int32_t>(L.size()));
    std::vector<uint8_t> Codes(L.size() + 1);
    EXPECT_EQ(+Next, +H.Tokenize(Class, L.data(), static_cast<int32_t>(L.size()), Codes.data())) << L;
    Class = Next;
  }
  return R;
}

// Starts the kernel with the highlighters installed and stops it again.
struct TStartedKernel {
  TStartedKernel() {
    ResetHighlightManager();
    InstallHighlighters(&AddGenericHighlighters);
    InitEditorKernel();
  }
  ~TStartedKernel() {
    DoneEditorKernel();
    SetEditorKernelStartupHook(nullptr);
    ResetHighlightManager();
  }
  TStartedKernel(const TStartedKernel&) = delete;
  TStartedKernel& operator=(const TStartedKernel&) = delete;
};

TEST(HighlightManager, AddingAHighlighterBeforeTheKernelRunsFails) {
  ResetHighlightManager();
  ASSERT_FALSE(EditorKernelRunning());
  try {
    HighlightManager().AddHighlighter(MakeIniHighlighter());
    FAIL() << "no error";
  } catch (const Exception& E) {
    EXPECT_STREQ(E.what(), "Adding new syntax highlighter failed: the IDE has not initialized");
  }
  EXPECT_EQ(HighlightManager().GetHighlighterCount(), 0);
}

TEST(HighlightManager, KernelStartUpRegistersEveryHighlighterInOrderWithItsCode) {
  TStartedKernel K;
  THighlightManager& M = HighlightManager();
  const std::vector<std::string> IDs = {
      "Tarvos.Highlighter.None",       "Tarvos.Highlighter.Cpp",        "Tarvos.Highlighter.Pascal",
      "Tarvos.Highlighter.SQL",        "Tarvos.Highlighter.IDL",        "Tarvos.Highlighter.C#",
      "Tarvos.Highlighter.HTML",       "Tarvos.Highlighter.StyleSheet", "Tarvos.Highlighter.PHP",
      "Tarvos.Highlighter.JavaScript", "Tarvos.Highlighter.INI"};
  ASSERT_EQ(M.GetHighlighterCount(), static_cast<int>(IDs.size()));
  for (size_t I = 0; I < IDs.size(); ++I) EXPECT_EQ(M.GetHighlighter(static_cast<int>(I))->GetIDString(), IDs[I]);
  const uint8_t Fixed[] = {0, 1, 2, 3, 5, 6};
  for (int I = 0; I < 6; ++I) EXPECT_EQ(M.GetSyntaxCode(I), Fixed[I]) << IDs[static_cast<size_t>(I)];
  // The generic ones get new codes above the fixed ones, each with a kernel tokenizer.
  for (int I = 6; I < M.GetHighlighterCount(); ++I) {
    EXPECT_GT(M.GetSyntaxCode(I), M.GetSyntaxCode(I - 1));
    EXPECT_TRUE(EGD.Instance->EkTokenizerIsRegistered(M.GetSyntaxCode(I)));
  }
  for (uint8_t Code : {1, 2, 3, 5, 6}) EXPECT_TRUE(EGD.Instance->EkTokenizerIsRegistered(Code)) << +Code;
  EXPECT_EQ(M.LookupHighlighter(std::string_view("Tarvos.Highlighter.Nothing")), -1);
  EXPECT_EQ(M.LookupHighlighter(uint8_t{200}), -1);
  EXPECT_EQ(M.LookupHighlighter(uint8_t{5}), 4);
  EXPECT_EQ(M.GetSyntaxLangFromID("Tarvos.Highlighter.Pascal"), 2);
  EXPECT_EQ(M.GetSyntaxLangFromID("Tarvos.Highlighter.Nothing"), 0);
  EXPECT_EQ(M.GetHighlighter(99), nullptr);
  // Internal highlighters were given the kernel's tokenizer records and tokenize through them.
  auto* Pascal = dynamic_cast<TInternalHighlighter*>(M.GetHighlighter(2));
  ASSERT_NE(Pascal, nullptr);
  ASSERT_NE(Pascal->GetTokenizer(), nullptr);
  EXPECT_EQ(Pascal->GetTokenizer()->NTables, 4);
  EXPECT_EQ(Pascal->GetTokenizer()->SymTables[0].NBuckets, 101);
  EXPECT_EQ(Map(*Pascal, "begin x"), "rrrrr i");
  EXPECT_EQ(Map(*M.GetHighlighter(0), "begin x"), "       ");
  // A highlighter added later gets the next code; removed, its kernel tokenizer paints nothing.
  uint8_t Code = M.AddHighlighter(MakeIniHighlighter());
  EXPECT_EQ(Code, M.GetSyntaxCode(10) + 1);
  M.RemoveHighlighter(M.GetHighlighter(M.LookupHighlighter(Code)));
  EXPECT_EQ(M.LookupHighlighter(Code), -1);
}

TEST(HighlightManager, TheRegistryAddsNoHighlightersButTheKernelsOwnUnlessStartUpGivesThem) {
  ResetHighlightManager();
  InstallHighlighters(nullptr);
  InitEditorKernel();
  THighlightManager& M = HighlightManager();
  EXPECT_EQ(M.GetHighlighterCount(), 6);
  EXPECT_EQ(M.LookupHighlighter(std::string_view("Tarvos.Highlighter.HTML")), -1);
  DoneEditorKernel();
  SetEditorKernelStartupHook(nullptr);
  ResetHighlightManager();
}

TEST(HighlightManager, AKernelStartedAgainHasOneSetOfHighlightersEachWithItsTokenizer) {
  ResetHighlightManager();
  InstallHighlighters(&AddGenericHighlighters);
  InitEditorKernel();
  THighlightManager& M = HighlightManager();
  const int Count = M.GetHighlighterCount();
  std::vector<uint8_t> Codes;
  for (int I = 0; I < Count; ++I) Codes.push_back(M.GetSyntaxCode(I));
  DoneEditorKernel();
  InitEditorKernel();
  EXPECT_EQ(M.GetHighlighterCount(), Count);
  for (int I = 0; I < M.GetHighlighterCount(); ++I) {
    EXPECT_EQ(M.GetSyntaxCode(I), Codes[static_cast<size_t>(I)]) << I;
    if (Codes[static_cast<size_t>(I)] != slNone) {
      EXPECT_TRUE(EGD.Instance->EkTokenizerIsRegistered(Codes[static_cast<size_t>(I)])) << M.GetHighlighter(I)->GetIDString();
    }
  }
  EXPECT_EQ(Map(*M.GetHighlighter(M.LookupHighlighter(uint8_t{slPascal})), "begin x"), "rrrrr i");
  EXPECT_EQ(Map(*M.GetHighlighter(M.LookupHighlighter(uint8_t{slCpp})), "int x"), "rrr i");
  DoneEditorKernel();
  SetEditorKernelStartupHook(nullptr);
  ResetHighlightManager();
}

TEST(GenericHighlighters, ReservedWordsHashAndMatchWithOrWithoutCase) {
  EXPECT_EQ(TGenericHighlighter::HashWord("ab", 2, true), size_t('a' + 'b'));
  EXPECT_EQ(TGenericHighlighter::HashWord("AB", 2, false), size_t('a' + 'b'));
  EXPECT_EQ(TGenericHighlighter::HashWord("zzz", 3, true), size_t(3 * 'z') & 255);
  auto H = MakeIniHighlighter();
  int Data = 0;
  H->EnterReservedWord("Word", true, tcReserved, &Data);
  H->EnterReservedWord("other", false, tcHotLink);
  EXPECT_EQ(H->FindReservedWord("word", 4, true), nullptr);
  ASSERT_NE(H->FindReservedWord("Word", 4, true), nullptr);
  EXPECT_EQ(H->FindReservedWord("Word", 4, true)->Data, &Data);
  EXPECT_EQ(H->FindReservedWord("Wor", 3, true), nullptr);
  ASSERT_NE(H->FindReservedWord("OTHER", 5, false), nullptr);
  EXPECT_EQ(H->FindReservedWord("OTHER", 5, false)->Class, tcHotLink);
  // The latest entry of a word is found first.
  H->EnterReservedWord("Word", true, tcString);
  EXPECT_EQ(H->FindReservedWord("Word", 4, true)->Class, tcString);
}

TEST(GenericHighlighters, HTMLHandsStyleElementsToTheStyleSheetHighlighter) {
  auto H = MakeHTMLHighlighter();
  EXPECT_EQ(Map(*H, "<p class=\"x\">a &amp; b</p>"), "tt NNNNNsVVVt..CCCCC..tttt");
  EXPECT_EQ(Lines(*H, {"<style", " type='text/css'>", "p { color: red }", "</style> x"}),
            (std::vector<std::string>{"tttttt", " NNNNsVVVVVVVVVVt", "t s rrrrrs VVV s", "tttttttt.."}));
  EXPECT_EQ(Lines(*H, {"<style>/* a", "color */ p", "</STYLE>"}),
            (std::vector<std::string>{"tttttttcccc", "cccccccc t", "tttttttt"}));
  EXPECT_EQ(Lines(*H, {"<a href=\"x", "y\">t"}), (std::vector<std::string>{"tt NNNNsVV", "VVt."}));
  EXPECT_EQ(Lines(*H, {"<script>var x;", "</script>"}), (std::vector<std::string>{"ttttttttjjjjjj", "ttttttttt"}));
}

TEST(GenericHighlighters, ScriptsStyleSheetsAndIniFiles) {
  auto JS = MakeJavaScriptHighlighter();
  EXPECT_EQ(Map(*JS, "var x = 'a'; // c"), "rrr i s SSSs cccc");
  EXPECT_EQ(Map(*JS, "Var"), "iii");
  EXPECT_EQ(Lines(*JS, {"/* a", "b */ if"}), (std::vector<std::string>{"cccc", "cccc rr"}));
  auto PHP = MakePHPHighlighter();
  EXPECT_EQ(Map(*PHP, "<b><?php ECHO $x; ?>t"), "...ttttt rrrr iis tt.");
  EXPECT_EQ(Lines(*PHP, {"<?php $s = \"a", "b\"; ?>x"}), (std::vector<std::string>{"ttttt ii s SS", "SSs tt."}));
  auto CSS = MakeStyleSheetHighlighter();
  EXPECT_EQ(Map(*CSS, "h1 { margin: 0; bogus: 1 }"), "tt s rrrrrrs ns iiiiis n s");
  auto Ini = MakeIniHighlighter();
  EXPECT_EQ(Map(*Ini, "[Sec]"), "rrrrr");
  EXPECT_EQ(Map(*Ini, " key=a=b"), " NNNsSSS");
  EXPECT_EQ(Map(*Ini, "; note"), "cccccc");
}

TEST(GenericHighlighters, EveryReservedWordOfTheScriptLanguagesIsPaintedAsOne) {
  // Written out as the languages' references list them, not taken from the highlighters.
  const char* const JavaScript =
      "abstract boolean break byte case catch char class const continue default delete do double else extends false "
      "final finally float for function goto if implements import in instanceof int interface long native new null "
      "package private protected public return short static super switch synchronized this throw throws transient "
      "true try typeof var void while with";
  const char* const PHP =
      "abstract array and as break case catch class clone const continue declare default die do echo else elseif "
      "empty enddeclare endfor endforeach endif endswitch endwhile eval E_ALL E_PARSE E_ERROR E_WARNING exception "
      "exit extends FALSE final for foreach function if unset implements include include_once interface isset "
      "global list new not or PHP_OS PHP_VERSION php_user_filter print private protected public require "
      "require_once return static switch this throw try TRUE use var xor virtual while __FUNCTION__ __CLASS__ "
      "__METHOD__ __FILE__ __LINE__";
  auto JS = MakeJavaScriptHighlighter();
  auto Php = MakePHPHighlighter();
  std::istringstream InJS(JavaScript);
  for (std::string W; InJS >> W;) {
    EXPECT_EQ(Map(*JS, W + " x"), std::string(W.size(), 'r') + " i") << W;
    std::string Upper = W;
    for (char& C : Upper) C = static_cast<char>(std::toupper(static_cast<unsigned char>(C)));
    EXPECT_EQ(Map(*JS, Upper), std::string(W.size(), 'i')) << Upper;  // case matters
  }
  std::istringstream InPHP(PHP);
  for (std::string W; InPHP >> W;) {
    std::string Lower = W;
    for (char& C : Lower) C = static_cast<char>(std::tolower(static_cast<unsigned char>(C)));
    EXPECT_EQ(Map(*Php, "<?php " + W + " " + Lower + " ?>"),
              "ttttt " + std::string(W.size(), 'r') + " " + std::string(W.size(), 'r') + " tt")
        << W;  // case does not
  }
  // A JavaScript string goes on past its line only after a backslash; an INI comment may
  // start with either mark.
  EXPECT_EQ(Lines(*JS, {"s = 'a\\", "b' + x", "t = 'c", "d"}),
            (std::vector<std::string>{"i s SSS", "SS s i", "i s SS", "i"}));
  auto Ini = MakeIniHighlighter();
  EXPECT_EQ(Map(*Ini, "# note"), "cccccc");
  EXPECT_EQ(Map(*Ini, "  [Sec] x"), "  rrrrrrr");
}

// The lines of a sample text, without the empty one after its last break.
std::vector<std::string> SampleLines(const THighlighterSample& S) {
  std::vector<std::string> R;
  std::istringstream In(S.Text);
  for (std::string L; std::getline(In, L);) R.push_back(L);
  return R;
}

TEST(GenericHighlighters, SamplesShowEveryClassTheirHighlighterPaintsAndMarkTheSearchedWord) {
  TStartedKernel Started;
  // Every colour the options page sets for a highlighter shows in its sample.
  const std::vector<std::pair<std::string, std::string>> Shown = {
      {"Tarvos.Highlighter.HTML", " .CNVcjrst"},
      {"Tarvos.Highlighter.StyleSheet", " SVcinrst"},
      {"Tarvos.Highlighter.PHP", " .Scfhinrst"},
      {"Tarvos.Highlighter.JavaScript", " Scfhinrs"},
      {"Tarvos.Highlighter.INI", " NScirs"},
  };
  for (const auto& [ID, Letters] : Shown) {
    SCOPED_TRACE(ID);
    THighlighter* H = HighlightManager().GetHighlighter(HighlightManager().LookupHighlighter(ID));
    ASSERT_NE(H, nullptr);
    const THighlighterSample S = H->GetSample();
    std::string Seen;
    for (const std::string& L : Lines(*H, SampleLines(S))) Seen += L;
    std::sort(Seen.begin(), Seen.end());
    Seen.erase(std::unique(Seen.begin(), Seen.end()), Seen.end());
    EXPECT_EQ(Seen, Letters);
    // The marked block holds the searched word; nothing is said of the debugger's lines.
    const std::vector<std::string> Text = SampleLines(S);
    ASSERT_GE(S.BlockLine, 1);
    ASSERT_LE(S.BlockLine, static_cast<int>(Text.size()));
    EXPECT_EQ(Text[static_cast<size_t>(S.BlockLine - 1)].substr(static_cast<size_t>(S.BlockStartCol - 1),
                                                                 static_cast<size_t>(S.BlockEndCol - S.BlockStartCol)),
              S.SearchText);
    EXPECT_EQ(S.ExecPointLine, -1);
    EXPECT_EQ(S.ValidBreakLine, -1);
    EXPECT_EQ(S.ErrorLine, -1);
  }
  // Every highlighter's sample holds the searched text, and each line it names is in it.
  for (int I = 0; I < HighlightManager().GetHighlighterCount(); ++I) {
    const THighlighterSample S = HighlightManager().GetHighlighter(I)->GetSample();
    if (S.Text.empty()) continue;  // the highlighter that highlights nothing
    SCOPED_TRACE(HighlightManager().GetHighlighter(I)->GetIDString());
    EXPECT_NE(S.Text.find(S.SearchText), std::string::npos);
    const int Count = static_cast<int>(SampleLines(S).size());
    for (int Line : {S.BlockLine, S.ExecPointLine, S.InvalidBreakLine, S.ValidBreakLine, S.DisabledBreakLine,
                     S.ErrorLine, S.FoldableStart, S.FoldableEnd, S.FoldedStart, S.FoldedEnd})
      EXPECT_TRUE(Line == -1 || (Line >= 1 && Line <= Count)) << Line;
    if (S.FoldedStart != -1) {
      EXPECT_TRUE(S.FoldableStart <= S.FoldedStart && S.FoldedEnd <= S.FoldableEnd);
    }
  }
  THighlighterSample P = HighlightManager().GetHighlighter(2)->GetSample();
  EXPECT_EQ(P.BlockLine, 8);
  EXPECT_EQ(P.BlockStartCol, 24);
  EXPECT_EQ(P.BlockEndCol, 29);
  EXPECT_EQ(P.ExecPointLine, 10);
  EXPECT_EQ(P.FoldedText, "Region Test");
}

}  // namespace
}  // namespace nxs

namespace nxs {
namespace {

TEST(DisplayElements, AttributesReadAndWriteTheColourSettings) {
  ASSERT_EQ(DisplayElements.size(), 40u);
  for (const char* Name : DisplayElements) ASSERT_NE(Name, nullptr);
  EXPECT_EQ(DisplayElementIndex("Reserved word"), tcReserved);
  EXPECT_EQ(DisplayElementIndex("Preprocessor"), tcPreprocessor);
  EXPECT_EQ(DisplayElementIndex("Plain text"), tcPlainText);
  EXPECT_EQ(DisplayElementIndex("Additional search match highlight"), 39);
  EXPECT_EQ(DisplayElementIndex("reserved word"), -1);

  test::TTempDir Dir;
  TSettingsStore Store(Dir / "settings.ini");
  Store.WriteBool("Editor\\Highlight\\Comment", "Italic", false);
  Store.WriteBool("Editor\\Highlight\\Comment", "Underline", true);
  Store.WriteInteger("Editor\\Highlight\\Comment", "Foreground Color New", 0x123456);
  Store.WriteBool("Editor\\Highlight\\Whitespace", "Default Background", false);
  Store.WriteInteger("Editor\\Highlight\\Whitespace", "Background Color New", 0x000000);
  Store.WriteInteger("Editor\\Highlight\\String", "Foreground Color New", int64_t{1} << 40);  // out of range
  TAttributeArray A;
  const int32_t StringColor = A[tcString].ForegroundColor;
  A.Load(Store);
  EXPECT_EQ(A[tcComment].Modifier, fsUnderline);
  EXPECT_EQ(A[tcComment].ForegroundColor, 0x123456);
  EXPECT_EQ(A[tcString].ForegroundColor, StringColor);
  // Elements that keep the default background show the editor's.
  EXPECT_EQ(A.Background(tcIdentifier), 0x000000);
  EXPECT_EQ(A.Background(tcIllegalChar), A[tcIllegalChar].BackgroundColor);

  A[tcHex].Modifier = fsBold | fsItalic;
  A[tcHex].DefaultFG = false;
  A[tcHex].ForegroundColor = 0x00AB00;
  A.Save(Store);
  TSettingsStore Again(Dir / "settings.ini");
  TAttributeArray B;
  B.Load(Again);
  EXPECT_EQ(B[tcHex].Modifier, fsBold | fsItalic);
  EXPECT_EQ(B.Foreground(tcHex), 0x00AB00);
  EXPECT_EQ(B[tcComment].ForegroundColor, 0x123456);
  EXPECT_FALSE(Again.ReadBool("Editor\\Highlight\\Hex", "Default Foreground", true));
}

}  // namespace
}  // namespace nxs
