// The command layer on the real kernel: replacing everything, reading long lines, and
// setting the whole content of a buffer whose line ends are not preserved.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "editor/edkrnl.h"
#include "editor/editbuffer.h"
#include "editor/editsource.h"

namespace nxs {
namespace {

namespace fs = std::filesystem;

class CommandLayerOnKernel : public ::testing::Test {
 protected:
  void SetUp() override {
    Path = (fs::path(NXS_TEST_TMP) / ("edcommands-" + std::to_string(::getpid()) + "-" +
                                      ::testing::UnitTest::GetInstance()->current_test_info()->name() + ".txt"))
               .string();
    fs::create_directories(fs::path(Path).parent_path());
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
  std::string Text() {
    std::string Out;
    EXPECT_TRUE(WriteToStream(Buffer->EkView(), Out, true));
    return Out;
  }
  std::string Path;
  std::shared_ptr<TEditBuffer> Buffer;
};

TEST_F(CommandLayerOnKernel, ReplaceAllUndoesAsOneStepAndCountsCharactersOfMatches) {
  PEkView V = Open("caf\xC3\xA9 x caf\xC3\xA9\r\nCAF\xC3\x89\r\n");
  TSearchResult R = SearchInternalError;
  EXPECT_EQ(ReplaceAll(V, {sfGoForward, sfWrapAround}, false, "caf\xC3\xA9", "tea", &R), 3);
  EXPECT_EQ(R, SearchOk);
  EXPECT_EQ(Text(), "tea x tea\r\ntea\r\n");
  Undo(V);
  EXPECT_EQ(Text(), "caf\xC3\xA9 x caf\xC3\xA9\r\nCAF\xC3\x89\r\n");
  EXPECT_EQ(ReplaceAll(V, {sfGoForward, sfRegExp}, false, "(", "", &R), 0);
  EXPECT_EQ(R, SearchUnmatchedParen);
  TEkSearchState S{};
  ASSERT_TRUE(DoOneSearch(V, {sfGoForward, sfFromCursor}, false, "CAF\xC3\x89 X", S));
  EXPECT_EQ(MatchCharLength(V, S), 6);  // five bytes of "café" count as four characters
}

TEST_F(CommandLayerOnKernel, LinesLongerThanTheFirstGuessAreReadWhole) {
  const std::string Long(300, 'q');
  PEkView V = Open("short\n" + Long + "\n");
  EXPECT_EQ(GetLineText(V, 2), Long);
  EXPECT_EQ(Buffer->GetLine(1), Long);
  EXPECT_EQ(GetLineText(V, 1), "short");
  EXPECT_EQ(GetLineText(V, 9), "");
}

TEST_F(CommandLayerOnKernel, SetContentReplacesEverythingWhateverTheLineEnds) {
  Open("one\r\ntwo\r\nthree\r\n");
  Buffer->SetPreserveLineEnds(false);
  Buffer->EditSource().SetContent("new\ntext");
  EXPECT_EQ(Text(), "new\ntext");
}

}  // namespace
}  // namespace nxs
