// Painted lines carry token classes, each from the class its line starts in, which the kernel
// keeps per line and brings up to date after edits, stopping where the classes converge.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "editor/kernel/ekdocument.h"
#include "editor/kernel/ekfixture.h"
#include "editor/language/tokens.h"
#include "editor/buffers/ekinit.h"
#include "editor/language/generic.h"
#include "editor/language/highlight.h"
#include "editor/language/tokensupport.h"

namespace nxs {
namespace {

using ektest::TKernelView;

struct TPaintedView : TKernelView {
  explicit TPaintedView(uint8_t Lang) {
    REGISTERPASTOKENIZER(*Kernel);
    REGISTERCTOKENIZER(*Kernel);
    EXPECT_EQ(Run(ekSetSyntaxLang, TByteArgs{Lang}), 0);
    View.WinWidth = 200;
    View.FWinLength = 10;
  }
  ek::TEkDocument& Doc() { return *static_cast<ek::TEkDocument*>(Buffer().EditorData); }
  // The painted line as class letters, one per column.
  std::string Painted(int Line) {
    char Text[512];
    TAttrEntry Attrs[256];
    TPaintContext Ctx{};
    Ctx.LineBuffer = Text;
    Ctx.LineBufferSize = sizeof Text;
    Ctx.Attrs = Attrs;
    Ctx.AttrCapacity = 256;
    Ctx.Highlighting = 1;
    EXPECT_TRUE(Kernel->EkGetLineContents(&View, Line, &Ctx));
    std::string R;
    uint16_t Col = 0;
    for (int I = 0; I < Ctx.NAttrs; ++I) {
      for (; Col < Attrs[I].ToCol; ++Col) R += tokentest::Letter(Attrs[I].SyntaxCode);
    }
    return R;
  }
  uint64_t Retokenized() { return Doc().LineClasses.LastRetokenized(); }
  void Insert(int Line, int Col, const std::string& Text) {
    Goto(Line, Col);
    ASSERT_EQ(Run(ekInsertLiteral, TStringArgs{Text.data(), static_cast<uint32_t>(Text.size())}), 0);
  }
};

std::string Repeat(const std::string& Line, int Count) {
  std::string R;
  for (int I = 0; I < Count; ++I) R += Line;
  return R;
}

TEST(LineClasses, APaintedLineStartsInTheClassTheLinesBeforeItLeave) {
  TPaintedView K(slPascal);
  K.Load("x := 1;\n(* open\ninside\n*) y;\n" + Repeat("a := b;\n", 1000));
  EXPECT_EQ(K.Painted(3), "cccccc");
  EXPECT_EQ(K.Retokenized(), 2u);  // lines 1 and 2, once
  EXPECT_EQ(K.Painted(4), "cc is");
  EXPECT_EQ(K.Painted(1), "i ss ns");
  EXPECT_EQ(K.Retokenized(), 0u);  // known already
  EXPECT_EQ(K.Painted(1004), "i ss is");
  // Without highlighting the line has no classes.
  TPaintContext Plain{};
  EXPECT_TRUE(K.Kernel->EkGetLineContents(&K.View, 3, &Plain));
  EXPECT_EQ(Plain.NAttrs, 0);
}

TEST(LineClasses, AnEditRetokenizesOnlyUntilTheClassesConverge) {
  TPaintedView K(slPascal);
  K.Load(Repeat("a := b;\n", 2000));
  EXPECT_EQ(K.Painted(2000), "i ss is");
  // Typing a character that opens nothing: one line is tokenized again.
  K.Insert(1, 1, "x");
  EXPECT_EQ(K.Painted(2000), "i ss is");
  EXPECT_EQ(K.Retokenized(), 1u);
  // Opening a comment that runs to the end: every line up to the painted one.
  K.Insert(1, 1, "{");
  EXPECT_EQ(K.Painted(2000), "ccccccc");
  EXPECT_EQ(K.Retokenized(), 1999u);
  EXPECT_EQ(K.Run(ekUndo), 0);
  EXPECT_EQ(K.Painted(2000), "i ss is");
  // Lines added and removed keep the classes of the lines after them in place.
  K.Insert(5, 1, "(* one\ntwo\n");
  EXPECT_EQ(K.Painted(6), "ccc");
  EXPECT_EQ(K.Painted(7), "ccccccc");
  K.Insert(6, 4, " *)");
  EXPECT_EQ(K.Painted(7), "i ss is");
  EXPECT_EQ(K.Painted(2001), "i ss is");
  // A comment opened on a line in the middle of the inserted ones.
  K.Insert(1, 1, "a\n(* b\nc\nd");
  EXPECT_EQ(K.Painted(3), "c");
  EXPECT_EQ(K.Painted(4), "ccccccccc");
}

TEST(LineClasses, ChangingTheTokenizerOrReloadingStartsAgain) {
  TPaintedView K(slPascal);
  K.Load("/* a\n{ b\nc */ d\n");
  EXPECT_EQ(K.Painted(3), "cccccc");  // "{" opened a comment
  EXPECT_EQ(K.Run(ekSetSyntaxLang, TByteArgs{slCpp}), 0);
  EXPECT_EQ(K.Painted(3), "cccc i");
  K.Load("x\ny\n");
  EXPECT_EQ(K.Painted(2), "i");
  EXPECT_LE(K.Doc().LineClasses.MemoryBytes(), 3u + 64u);
}

TEST(LineClasses, RandomEditsLeaveTheSameClassesAsTokenizingFromTheTop) {
  const char* Pieces[] = {"{", "}", "(*", "*)", "{$", "//", "'", "x", " ", "\n", "\n", "asm", "end", ";",
                          "property", "read", "\n\n", "(*$"};
  std::mt19937 Random(77);
  TPaintedView K(slPascal);
  K.Load(Repeat("a := b; { c }\n(* d *) e\n", 100));
  for (int Round = 0; Round < 200; ++Round) {
    const int Lines = K.Buffer().NLines;
    const int Line = 1 + static_cast<int>(Random() % static_cast<unsigned>(Lines));
    const int Col = 1 + static_cast<int>(Random() % 12);
    if (Random() % 3 == 0) {
      K.Goto(Line, Col);
      K.Run(ekDeleteChar);
    } else {
      std::string Text;
      for (int I = 0, N = 1 + static_cast<int>(Random() % 4); I < N; ++I) Text += Pieces[Random() % std::size(Pieces)];
      K.Insert(Line, Col, Text);
    }
    // Paint a line or two, as a window would, so that some edits find the classes current.
    K.Painted(1 + static_cast<int>(Random() % static_cast<unsigned>(K.Buffer().NLines)));
  }
  const int Lines = K.Buffer().NLines;
  uint8_t Class = 0;
  for (int L = 1; L <= Lines; ++L) {
    const std::string Text = K.Line(L);
    std::vector<uint8_t> Codes(Text.size() + 1);
    const uint8_t Next = ScanPascal(Class, Text.data(), Text.size(), Codes.data());
    ASSERT_EQ(K.Painted(L), tokentest::Letters(Codes, 0, Text.size())) << "line " << L << ": " << Text;
    Class = Next;
  }
}

TEST(LineClasses, TheKernelPaintsAGenericHighlighterThroughItsStub) {
  ResetHighlightManager();
  InstallHighlighters(&AddGenericHighlighters);
  InitEditorKernel();
  ektest::TKernelView K;
  const uint8_t HTML = HighlightManager().GetSyntaxLangFromID("Tarvos.Highlighter.HTML");
  ASSERT_NE(HTML, 0);
  K.Load("<!-- a\nb --><p>");
  ASSERT_EQ(K.Run(ekSetSyntaxLang, TByteArgs{HTML}), 0);
  char Text[64];
  TAttrEntry Attrs[16];
  TPaintContext Ctx{};
  Ctx.LineBuffer = Text;
  Ctx.LineBufferSize = sizeof Text;
  Ctx.Attrs = Attrs;
  Ctx.AttrCapacity = 16;
  Ctx.Highlighting = 1;
  K.View.WinWidth = 40;
  ASSERT_TRUE(K.Kernel->EkGetLineContents(&K.View, 2, &Ctx));
  ASSERT_EQ(Ctx.NAttrs, 2);
  EXPECT_EQ(Attrs[0].SyntaxCode, tcComment);
  EXPECT_EQ(Attrs[0].ToCol, 5);
  EXPECT_EQ(Attrs[1].SyntaxCode, tcTags);
  // Removed, the highlighter leaves a tokenizer that paints nothing, even after the manager
  // itself is gone.
  THighlightManager& M = HighlightManager();
  M.RemoveHighlighter(M.GetHighlighter(M.LookupHighlighter(HTML)));
  K.Load("<p>");
  ASSERT_TRUE(K.Kernel->EkGetLineContents(&K.View, 1, &Ctx));
  ASSERT_EQ(Ctx.NAttrs, 1);
  EXPECT_EQ(Attrs[0].SyntaxCode, tcWhitespace);
  ResetHighlightManager();
  K.Load("<p>");
  ASSERT_TRUE(K.Kernel->EkGetLineContents(&K.View, 1, &Ctx));
  EXPECT_EQ(Attrs[0].SyntaxCode, tcWhitespace);
  DoneEditorKernel();
  SetEditorKernelStartupHook(nullptr);
  ResetHighlightManager();
}

}  // namespace
}  // namespace nxs
