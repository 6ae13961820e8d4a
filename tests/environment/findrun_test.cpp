// A search as a host without windows asks for it: the scope chosen from the places named and
// the places that exclude each other, files open in the text of a stand-in, and a run to the
// end whose lines reach a sink, with the search group and without it.
#include "environment/findrun.h"

#include <gtest/gtest.h>

#include "build/messages/msglines.h"
#include "shared/dialogs.h"
#include "shared/mainthread.h"
#include "support/errorof.h"
#include "support/files.h"
#include "support/tempdir.h"

namespace nxs {
namespace {

using Strings = std::vector<std::string>;

// Every line shown, the group's title before each run of lines from a new title, children
// indented; problems after "!".
class TRecorder : public IFindSink {
 public:
  void Line(const std::string& GroupTitle, const TLine& Line) override {
    if (Title != GroupTitle) Lines.push_back("# " + GroupTitle);
    Title = GroupTitle;
    Lines.push_back(Line.GetLineText());
    for (int I = 0; I < Line.GetChildCount(); ++I) Lines.push_back("  " + Line.GetChild(I)->GetLineText());
  }
  void Problem(const std::string& Text) override { Lines.push_back("! " + Text); }
  std::string Title;
  Strings Lines;
};

struct TSilent : IUserQuestions {
  int MessageDlg(const std::string&, TMsgDlgType, unsigned, int D) override { return D; }
  void ShowMessage(const std::string&) override {}
  bool PromptForFileName(std::string&, const std::string&, bool) override { return false; }
};

class HostSearch : public ::testing::Test {
 protected:
  void SetUp() override {
    MainThreadQueue().SetMainThread();
    SetQuestions(std::make_shared<TSilent>());
    test::WriteText(T.Path() + "/a.pas", "hit\n");
    test::WriteText(T.Path() + "/b.pas", "x\nhit hit\n");
    test::WriteText(T.Path() + "/unsaved.txt", "new\nnew hit\n");
  }
  void TearDown() override {
    ResetFindInFiles();
    SetOpenFileNamesHook(nullptr);
    SetSearchProjectsHook(nullptr);
    SetQuestions(nullptr);
    FinalizeMessageLines();
  }
  // The scope chosen for Places, or the conflict raised; Opened counts the projects opened.
  TFindRequest Select(const TFindPlaces& Places) {
    TFindRequest R;
    SelectFindScope(R, Places, [&](const TFindPlaces&) {
      ++Opened;
      return TSearchProjects{};
    });
    return R;
  }
  Strings Run(TFindRequest R) {
    R.Text = "hit";
    R.Masks = "*.pas";
    TRecorder Sink;
    RunFindToSink(R, Sink);
    return Sink.Lines;
  }
  std::string P(const std::string& Name) const { return T.Path() + "/" + Name; }
  int Opened = 0;
  test::TTempDir T;
};

TEST_F(HostSearch, TheScopeFollowsThePlacesAndAProjectExcludesTheOthers) {
  TFindPlaces Both;
  Both.ProjectFile = "p.nxsproj";
  Both.GroupFile = "g.groupproj";
  EXPECT_EQ(test::ErrorOf<EFindScope>([&] { Select(Both); }), "A project and a group exclude each other");
  TFindPlaces WithDirs;
  WithDirs.GroupFile = "g.groupproj";
  WithDirs.Directories = {T.Path()};
  EXPECT_EQ(test::ErrorOf<EFindScope>([&] { Select(WithDirs); }),
            "Directories and a project or a group exclude each other");
  try {
    Select(WithDirs);
  } catch (const EFindScope& E) {
    EXPECT_EQ(E.Conflict(), fcDirectoriesAndProjects);
  }
  EXPECT_EQ(Opened, 0) << "nothing is opened for places that exclude each other";

  TFindPlaces Project;
  Project.ProjectFile = "";  // named, though empty: the project layer says what is wrong with it
  EXPECT_EQ(Select(Project).Scope, asProjectFiles);
  TFindPlaces Group;
  Group.GroupFile = "g.groupproj";
  EXPECT_EQ(Select(Group).Scope, asProjectGroup);
  EXPECT_EQ(Opened, 2);

  // Open files alone are the scope; with directories, the directories are, whole.
  TFindPlaces Open;
  Open.OpenFiles = {{P("a.pas"), ""}, {P("b.pas"), P("unsaved.txt")}};
  TFindRequest R = Select(Open);
  EXPECT_EQ(R.Scope, asOpenFiles);
  EXPECT_EQ(R.Files, (Strings{P("a.pas"), P("b.pas")}));
  Open.Directories = {T.Path() + "/x;y"};
  R = Select(Open);
  EXPECT_EQ(R.Scope, asFileMask);
  EXPECT_EQ(R.DirectoryList, Open.Directories);
  EXPECT_TRUE(R.Files.empty());
  EXPECT_EQ(Select(TFindPlaces{}).Scope, asFileMask);
}

TEST_F(HostSearch, ARunToTheEndShowsEachLineOnceWithOrWithoutTheGroup) {
  // b.pas is open in the editor with the text of unsaved.txt; a.pas is named without a text.
  TFindPlaces Places;
  Places.OpenFiles = {{P("a.pas"), ""}, {P("b.pas"), P("unsaved.txt")}};
  Places.Directories = {T.Path()};
  TFindRequest R;
  SelectFindScope(R, Places, nullptr);
  EXPECT_EQ(Run(R), (Strings{"# Search for 'hit'", P("a.pas") + "(1): hit", P("b.pas") + "(2): new hit"}));
  EXPECT_TRUE(SearchGroups().empty()) << "the lines went to the sink without the message view";

  R.Advanced = AdvFlag(asfGroupByFile);
  EXPECT_EQ(Run(R), (Strings{"# Search for 'hit'", P("a.pas") + " [1]", "  " + P("a.pas") + "(1): hit",
                             P("b.pas") + " [1]", "  " + P("b.pas") + "(2): new hit"}));
  // The group was let go line by line.
  ASSERT_EQ(SearchGroups().size(), 1u);
  EXPECT_EQ(SearchGroups().back()->GetCount(), 0);

  R.Directories.clear();
  R.DirectoryList = {P("missing")};
  EXPECT_EQ(test::ErrorOf<Exception>([&] { Run(R); }), "Cannot find the specified path: \"" + P("missing/") + "\"");
  R.DirectoryList = {T.Path()};
  R.Flags.Include(sfRegExp);
  EXPECT_NE(test::ErrorOf([&] {
              TRecorder Sink;
              R.Text = "(unclosed";
              RunFindToSink(R, Sink);
            }),
            "(no error)");
}

}  // namespace
}  // namespace nxs
