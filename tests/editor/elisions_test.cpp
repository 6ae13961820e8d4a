// Folding on the real kernel: adding and refusing blocks, the saved form and its tolerant
// reader, re-applying parser results, and the parse-thread round trip with stale results.
#include "editor/elisions.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "editor/editbuffer.h"
#include "editor/editview.h"
#include "editor/edkrnl.h"
#include "shared/mainthread.h"

namespace nxs {
namespace {

namespace fs = std::filesystem;

class Folding : public ::testing::Test {
 protected:
  void SetUp() override {
    Path = (fs::path(NXS_TEST_TMP) / ("elisions-" + std::to_string(::getpid()) + "-" +
                                      ::testing::UnitTest::GetInstance()->current_test_info()->name() + ".pas"))
               .string();
    fs::create_directories(fs::path(Path).parent_path());
    MainThreadQueue().SetMainThread();
  }
  void TearDown() override {
    Buffer.reset();
    fs::remove(Path);
  }
  PEkView Open(const std::string& Text) {
    std::ofstream(Path, std::ios::binary) << Text;
    Buffer = TEditBuffer::Create(Path, true);
    return Buffer->EkView();
  }
  static std::string Lines(int N) {
    std::string S;
    for (int I = 1; I <= N; ++I) S += "line " + std::to_string(I) + "\n";
    return S;
  }
  std::string Path;
  std::shared_ptr<TEditBuffer> Buffer;
};

TEST_F(Folding, BlocksOutsideTheBufferOrBackwardsAreRefused) {
  PEkView V = Open(Lines(10));
  EXPECT_FALSE(AddElisionBlock(V, {0, 5}, {0, 3}, true, "back"));
  EXPECT_FALSE(AddElisionBlock(V, {4, 5}, {2, 5}, true, "same line, backwards"));
  EXPECT_FALSE(AddElisionBlock(V, {0, 8}, {0, 40}, true, "past the end"));
  EXPECT_FALSE(AddElisionBlock(V, {0, 0}, {0, 3}, true, "line 0"));
  EXPECT_FALSE(IsElisionTreePresent(V));
  ASSERT_TRUE(AddElisionBlock(V, {0, 2}, {6, 5}, true, "body"));
  EXPECT_TRUE(IsElisionTreePresent(V));
  EXPECT_TRUE(LineIsElided(V, 3));
  EXPECT_FALSE(LineIsElided(V, 2));
  EXPECT_EQ(3, NumElidedLines(V));
  EXPECT_TRUE(IsStartOfElisionBlock(V, 2));
  EXPECT_TRUE(IsEndOfElisionBlock(V, 5));
  EXPECT_TRUE(ElideLine(V, 4, false));  // the block around line 4 opens
  EXPECT_EQ(0, NumElidedLines(V));
  V->Cursor = TEdPos{1, 2};
  EXPECT_TRUE(ToggleElide(V));
  EXPECT_TRUE(BlockIsElided(V, 2));
  EXPECT_TRUE(ToggleElide(V));
  EXPECT_FALSE(BlockIsElided(V, 2));
}

TEST_F(Folding, TheSavedFormQuotesDescriptionsAndRestoresThem) {
  PEkView V = Open(Lines(20));
  const std::string Odd = "it's {a} (b) \\c";
  ASSERT_TRUE(AddElisionBlock(V, {0, 2}, {3, 6}, true, Odd));
  ASSERT_TRUE(AddElisionBlock(V, {0, 10}, {0, 12}, true, ""));
  ASSERT_TRUE(AddElisionBlock(V, {0, 14}, {0, 16}, false, "open"));  // not folded: not saved
  std::string Saved = PrintElisions(V);
  EXPECT_EQ("{{2,0},{6,3},{'it\\'s \\{a\\} \\(b\\) \\\\c'}}{{10,0},{12,0},{''}}", Saved);
  ClearAllElisions(V);
  EXPECT_FALSE(IsElisionTreePresent(V));
  InsertSavedElisions(V, Saved);
  auto Blocks = GetAllElidedBlocks(V);
  ASSERT_EQ(2u, Blocks.size());
  EXPECT_EQ(Odd, Blocks[0].Desc);
  EXPECT_EQ(6, Blocks[0].End.LineNum);
  EXPECT_EQ(3, Blocks[0].End.Index);
}

TEST_F(Folding, TheSavedFormReaderForgivesDamage) {
  PEkView V = Open(Lines(10));
  // A bad number reads as 0, a block beyond the end is skipped, a cut tail stops quietly.
  InsertSavedElisions(V, "{{2,x},{4,0},{'a'}}{{5,0},{99,0},{'far'}}{{6,0},{8,0}}{{7,0},{9");
  auto Blocks = GetAllElidedBlocks(V);
  ASSERT_EQ(2u, Blocks.size());
  EXPECT_EQ("a", Blocks[0].Desc);
  EXPECT_EQ(0, Blocks[0].Start.Index);
  EXPECT_EQ(6, Blocks[1].Start.LineNum);
  InsertSavedElisions(V, "{'unterminated");
  InsertSavedElisions(V, "");
  EXPECT_EQ(2u, GetAllElidedBlocks(V).size());
}

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

TEST_F(Folding, FoldsSurviveSavingAndRestoringTheViewState) {
  Open(Lines(12));
  auto View = std::make_unique<TEditView>(Buffer);
  PEkView V = View->EkView();
  ASSERT_TRUE(AddElisionBlock(V, {0, 3}, {2, 7}, true, "{$REGION 'x'}"));
  TViewState State;
  View->SaveViewState(State);
  EXPECT_FALSE(State["Elisions"].empty());
  ClearAllElisions(V);
  View->LoadViewState(State);
  ASSERT_EQ(1u, GetAllElidedBlocks(V).size());
  EXPECT_EQ("{$REGION 'x'}", GetAllElidedBlocks(V)[0].Desc);
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

TEST_F(Folding, ManyBlocksGoInAtOnceAsTheyWouldOneByOne) {
  PEkView V = Open(Lines(5000));
  std::vector<TElidedBlock> Blocks;
  for (int32_t L = 1; L < 5000; L += 2) Blocks.push_back({{0, L}, {2, L + 1}, 3, "b" + std::to_string(L), false});
  Blocks[1].Folded = true;
  Blocks.push_back({{0, 4999}, {2, 6000}, 3, "past the end", true});  // refused, the rest still go in
  Blocks.push_back({{0, 1}, {2, 2}, 4, "again", true});                // the same range: replaces the first
  EXPECT_FALSE(AddElisionBlocks(V, Blocks));
  EXPECT_TRUE(IsStartOfElisionBlock(V, 4997));
  EXPECT_EQ(2, NumElidedLines(V));
  const std::vector<TElidedBlock> Folded = GetAllElidedBlocks(V);
  ASSERT_EQ(2u, Folded.size());
  EXPECT_EQ("again", Folded[0].Desc);  // kept its place before line 3's block
  EXPECT_EQ(3, Folded[1].Start.LineNum);
  EXPECT_TRUE(AddElisionBlocks(V, {}));
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

TEST_F(Folding, BlockPositionsFarOutOnLongLinesOfWideCharactersComeBackTheSame) {
  // Lines of two-byte characters, 10,000 of them; every block ends on the long last line.
  std::string Long;
  for (int I = 0; I < 10000; ++I) Long += "\xC3\xA9";
  PEkView V = Open("a\nb\nc\n" + Long + "\n");
  std::vector<TElidedBlock> Blocks;
  for (int32_t Index : {0, 1, 4095, 4096, 4097, 8192, 9999, 10000})
    Blocks.push_back({{Index % 2, 1 + Index % 3}, {Index, 4}, 0, std::to_string(Index), true});
  Blocks.push_back({{0, 1}, {12345, 4}, 0, "past the end", true});  // reads as the line's end
  ASSERT_TRUE(AddElisionBlocks(V, Blocks));
  const std::vector<TElidedBlock> Back = GetAllElidedBlocks(V);
  ASSERT_EQ(Blocks.size(), Back.size());
  for (size_t I = 0; I + 1 < Blocks.size(); ++I) {
    EXPECT_EQ(Blocks[I].Start.Index, Back[I].Start.Index) << Blocks[I].Desc;
    EXPECT_EQ(Blocks[I].End.Index, Back[I].End.Index) << Blocks[I].Desc;
  }
  EXPECT_EQ(10000, Back.back().End.Index);
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
  for (const std::string* Parsed : {static_cast<const std::string*>(nullptr), &Text}) {
    ClearAllElisions(V);
    ApplyElisions(V, {FromBreak, Unnamed}, {}, Parsed);
    EXPECT_FALSE(IsStartOfElisionBlock(V, 2));
    ASSERT_TRUE(ElideRange(V, 3, 5, true));
    ApplyElisions(V, {FromBreak, Unnamed}, {}, Parsed);
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
  TElisionParserEditorHooks Hooks(Thread);
  Hooks.AddRegionServices(MakePascalRegionServices());
  EXPECT_EQ("Vellum.Personality", Hooks.ServicesForFile(Path)->Personality());
  // The package registers after the personality and takes over its files.
  auto Ini = std::make_shared<TIniRegions>();
  Ini->Self = Ini;
  Hooks.AddRegionServices(Ini);
  auto Module = Hooks.EditorOpened(V, Path);
  ASSERT_NE(nullptr, Module);
  ASSERT_TRUE(Thread.WaitForParse(true, 5000));
  MainThreadQueue().ProcessPending();
  EXPECT_GE(Ini->Runs.load(), 1);
  EXPECT_TRUE(IsStartOfElisionBlock(V, 1));
  Hooks.EditorClosed(Module.get());
  Hooks.RemoveRegionServices(Ini.get());
  EXPECT_EQ("Vellum.Personality", Hooks.ServicesForFile(Path)->Personality());
  EXPECT_EQ(nullptr, Hooks.EditorOpened(V, Path + ".txt"));
}

}  // namespace
}  // namespace nxs
