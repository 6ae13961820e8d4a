// The folding parser on the real kernel: parser results applied again keep what was folded,
// and the parse-thread round trip drops stale results.
#include "editor/language/folding.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "editor/buffers/editbuffer.h"
#include "editor/buffers/editview.h"
#include "editor/buffers/edkrnl.h"
#include "editor/buffers/elisions.h"
#include "editor/buffers/foldfixture.h"
#include "shared/mainthread.h"

namespace nxs {
namespace {

using test::Folding;

TEST_F(Folding, FoldedBlocksSurviveAReparseWithTheSameRangeAndDescription) {
  PEkView V = Open(Lines(30));
  auto Region = [](int S, int E, std::string D) {
    TRegion R;
    R.StartLine = S;
    R.EndLine = E;
    R.EndIndex = 3;
    R.Description = std::move(D);
    return R;
  };
  ApplyElisions(V, {Region(2, 8, "procedure A;"), Region(10, 20, "procedure B;"), Region(22, 25, "")});
  EXPECT_EQ(0, NumElidedLines(V));
  ASSERT_TRUE(ElideLine(V, 2, true));
  ASSERT_TRUE(ElideLine(V, 10, true));
  // B's description changed: it comes back unfolded; A stays folded.
  ApplyElisions(V, {Region(2, 8, "procedure A;"), Region(10, 20, "procedure B2;"), Region(22, 25, "")});
  EXPECT_TRUE(BlockIsElided(V, 2));
  EXPECT_FALSE(BlockIsElided(V, 10));
  EXPECT_TRUE(IsStartOfElisionBlock(V, 10));
  // A region without description gets the placeholder; a region flagged 0 asks the option.
  ASSERT_TRUE(ElideLine(V, 22, true));
  EXPECT_EQ("Folded Region", GetAllElidedBlocks(V).back().Desc);
  TRegion Asked = Region(10, 20, "procedure B2;");
  Asked.Flag = 0;
  ApplyElisions(V, {Asked}, [](const TRegion&) { return true; });
  EXPECT_TRUE(BlockIsElided(V, 10));
  EXPECT_FALSE(IsStartOfElisionBlock(V, 2));
}

TEST_F(Folding, TheParseThreadAppliesCurrentResultsAndDropsStaleOnes) {
  PEkView V = Open("procedure A;\nbegin\n  x;\nend;\n");
  auto Module = std::make_shared<TElisionModule>(V, Path, std::shared_ptr<IRegionParser>(MakePascalRegionParser()));
  auto Parser = std::make_shared<TElisionParser>();
  Parser->AddModule(Module);
  TParseThread Thread;
  Thread.SetDelay(0);
  Thread.Add(Parser);
  ASSERT_TRUE(Thread.WaitForParse(true, 5000));
  MainThreadQueue().ProcessPending();
  EXPECT_TRUE(IsStartOfElisionBlock(V, 1));

  // A result computed before a change is not applied.
  TParserContext Stale;
  Stale.Module = Module;
  Stale.FileName = Path;
  Stale.Generation = ElisionGeneration().load();
  Stale.Result.Regions.push_back(TRegion{2, 0, 4, 3, "x", "stale"});
  ++ElisionGeneration();
  EXPECT_FALSE(Stale.Apply());
  Stale.Generation = ElisionGeneration().load();
  Stale.FileName = Path + ".other";  // the editor shows another file now
  EXPECT_FALSE(Stale.Apply());
  Stale.FileName = Path;
  EXPECT_TRUE(Stale.Apply());
  EXPECT_TRUE(IsStartOfElisionBlock(V, 2));
  Thread.Remove(Parser.get());
}

TEST_F(Folding, EmptyLinesAreFoundWhereRegionsStartAtALinesFirstByte) {
  const std::string Text = "a\n\nb\n\n\nc";
  auto At = [](int32_t Line, int32_t Index) { return TRegion{Line, Index, Line + 1, 0, "r", "r"}; };
  // Line 3 is not empty, line 2 starts a region only past its first byte, line 7 is past the
  // text; the regions come in any order.
  EXPECT_EQ((std::vector<int32_t>{4, 5, 7}), EmptyRegionStartLines({At(7, 0), At(5, 0), At(3, 0), At(2, 1), At(4, 0), At(1, 0)}, Text));
  EXPECT_EQ((std::vector<int32_t>{1}), EmptyRegionStartLines({At(1, 0)}, ""));
}

TEST_F(Folding, AnEditOfAWatchedTextBringsAFreshParseOnceTheTypingPauses) {
  PEkView V = Open("procedure A;\nbegin\n  x;\nend;\n");
  TParseThread Thread;
  Thread.SetDelay(0);
  TRegionServicesRegistry Registry;
  Registry.Add(MakePascalRegionServices());
  TElisionParserEditorHooks Hooks(Thread, Registry);
  auto Module = Hooks.EditorOpened(V, Path);
  ASSERT_NE(nullptr, Module);
  // Waits on the folds the main thread is given, never asking for a parse itself.
  auto FoldsAt = [&](int32_t Line) {
    for (auto Until = std::chrono::steady_clock::now() + std::chrono::seconds(10); std::chrono::steady_clock::now() < Until;) {
      MainThreadQueue().ProcessPending();
      if (IsStartOfElisionBlock(V, Line)) return true;
      std::this_thread::yield();
    }
    return false;
  };
  ASSERT_TRUE(FoldsAt(1));
  const uint64_t Before = ElisionGeneration().load();
  GotoLineCol(V, 5, 1);
  InsertString(V, "procedure B;\rbegin\r  y;\rend;\r");  // typed: CR is the Enter key
  EXPECT_GT(ElisionGeneration().load(), Before);
  EXPECT_TRUE(FoldsAt(5));
  Hooks.EditorClosed(Module.get());
}

TEST_F(Folding, FoldedBlocksBeyondOneKernelArraySurviveAReparseAndTheSavedForm) {
  const int32_t N = 5000;  // more than two arrays' worth
  PEkView V = Open(Lines(2 * N + 1));
  std::vector<TRegion> Regions;
  for (int32_t L = 1; L < 2 * N; L += 2) {
    Regions.push_back(TRegion{L, 0, L + 1, 2, "block", "b" + std::to_string(L)});
    Regions.back().Type = 7;
  }
  ApplyElisions(V, Regions);
  ElideByType(V, 7);
  ASSERT_EQ(static_cast<size_t>(N), GetAllElidedBlocks(V).size());
  ApplyElisions(V, Regions);
  EXPECT_EQ(N, NumElidedLines(V));
  const std::string Saved = PrintElisions(V);
  EXPECT_NE(std::string::npos, Saved.find("{{" + std::to_string(2 * N - 1) + ",0},{" + std::to_string(2 * N) + ",2},{'b"));
  UnElideAll(V);
  InsertSavedElisions(V, Saved);
  EXPECT_EQ(N, NumElidedLines(V));
}

TEST_F(Folding, ParsersCountBytesOfTheLineAndAFoldAfterWideCharactersSurvivesAReparse) {
  // "end" ends at byte 14 of line 2 but at its 11th character; the line has only 12.
  PEkView V = Open("begin\n  '\xC3\xA4\xC3\xB6\xC3\xBC' end;\nx\n");
  const TRegion Block{1, 0, 2, 14, "begin", "begin"};
  ApplyElisions(V, {Block});
  ASSERT_TRUE(ElideRange(V, 1, 2, true));
  ASSERT_EQ(1u, GetAllElidedBlocks(V).size());
  EXPECT_EQ(11, GetAllElidedBlocks(V)[0].End.Index);
  ApplyElisions(V, {Block});
  EXPECT_TRUE(LineIsElided(V, 2));
  EXPECT_EQ("{{1,0},{2,11},{'begin'}}", PrintElisions(V));
}

TEST_F(Folding, AReparseKeepsUndescribedRegionsFoldedAndSkipsALeadingLineBreak) {
  PEkView V = Open("a\n\nb\nc\nd\ne\n");
  const std::string Text = "a\n\nb\nc\nd\ne\n";
  TRegion Unnamed{3, 0, 5, 1, "region", ""};
  TRegion FromBreak{2, 0, 6, 1, "comment", "x"};  // line 2 is empty: the block starts on line 3
  // The empty lines asked of the kernel, looked up in the parsed text, or found beforehand as
  // the parse thread does.
  const std::vector<int32_t> Empty = EmptyRegionStartLines({FromBreak, Unnamed}, Text);
  EXPECT_EQ(std::vector<int32_t>{2}, Empty);
  for (int Way = 0; Way < 3; ++Way) {
    auto Apply = [&] {
      if (Way == 2) ApplyElisions(V, {FromBreak, Unnamed}, {}, Empty);
      else ApplyElisions(V, {FromBreak, Unnamed}, {}, Way == 1 ? &Text : nullptr);
    };
    ClearAllElisions(V);
    Apply();
    EXPECT_FALSE(IsStartOfElisionBlock(V, 2));
    ASSERT_TRUE(ElideRange(V, 3, 5, true));
    Apply();
    // The unnamed region was folded under the placeholder text and finds itself again.
    EXPECT_TRUE(LineIsElided(V, 4));
    ASSERT_EQ(1u, GetAllElidedBlocks(V).size());
    EXPECT_EQ("Folded Region", GetAllElidedBlocks(V)[0].Desc);
    EXPECT_EQ(3, GetAllElidedBlocks(V)[0].Start.LineNum);
  }
}

// A language no personality knows, as a package would add it: every "[section]" of an INI
// file folds up to the next one.
class TIniRegions : public IRegionParser, public IRegionServices {
 public:
  TRegionResult Parse(std::string_view Text, const std::function<bool()>&) const override {
    Runs.fetch_add(1);
    TRegionResult R;
    int32_t Line = 1, Open = 0;
    for (size_t At = 0; At <= Text.size(); ++Line) {
      const size_t End = std::min(Text.find('\n', At), Text.size());
      if (At < Text.size() && Text[At] == '[') {
        if (Open > 0 && Line - 1 > Open) R.Regions.push_back(TRegion{Open, 0, Line - 1, 1, "section", "section"});
        Open = Line;
      }
      At = End + 1;
    }
    return R;
  }
  std::string Personality() const override { return "Ini.Package"; }
  bool HandlesFile(std::string_view Name) const override { return Name.ends_with(".pas"); }
  std::shared_ptr<IRegionParser> RegionParser() const override { return Self.lock(); }
  std::weak_ptr<TIniRegions> Self;
  mutable std::atomic<int> Runs{0};
};

TEST_F(Folding, AParserRegisteredFromOutsideIsRunOnTheParseThread) {
  PEkView V = Open("[a]\nx=1\ny=2\n[b]\nz=3\n");
  TParseThread Thread;
  Thread.SetDelay(0);
  TRegionServicesRegistry Registry;
  TElisionParserEditorHooks Hooks(Thread, Registry);
  Registry.Add(MakePascalRegionServices());
  EXPECT_EQ("Vellum.Personality", Registry.ServicesForFile(Path)->Personality());
  // The package registers after the personality and takes over its files.
  auto Ini = std::make_shared<TIniRegions>();
  Ini->Self = Ini;
  Registry.Add(Ini);
  auto Module = Hooks.EditorOpened(V, Path);
  ASSERT_NE(nullptr, Module);
  ASSERT_TRUE(Thread.WaitForParse(true, 5000));
  MainThreadQueue().ProcessPending();
  EXPECT_GE(Ini->Runs.load(), 1);
  EXPECT_TRUE(IsStartOfElisionBlock(V, 1));
  Hooks.EditorClosed(Module.get());
  Registry.Remove(Ini.get());
  EXPECT_EQ("Vellum.Personality", Registry.ServicesForFile(Path)->Personality());
  EXPECT_EQ(nullptr, Hooks.EditorOpened(V, Path + ".txt"));
}

}  // namespace
}  // namespace nxs
