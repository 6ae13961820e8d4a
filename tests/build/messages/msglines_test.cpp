// Message lines: the texts the view shows, groups and their removal, the error count, the
// walk to the next message, and positions that follow edits of the file they point into.
#include "build/messages/msglines.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "editor/buffers/edkrnl.h"
#include "editor/buffers/editbuffer.h"
#include "editor/buffers/editview.h"
#include "editor/buffers/edtracker.h"

namespace nxs {
namespace {

namespace fs = std::filesystem;

class MessageLines : public ::testing::Test {
 protected:
  void SetUp() override {
    FinalizeMessageLines();
    SetShowSourceHook(nullptr);
    Dir = fs::path(NXS_TEST_TMP) / ("msglines-" + std::to_string(::getpid()) + "-" +
                                    ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::create_directories(Dir);
  }
  void TearDown() override {
    FinalizeMessageLines();
    SetShowSourceHook(nullptr);
    fs::remove_all(Dir);
  }
  std::string Write(const std::string& Name, const std::string& Data) {
    const std::string P = (Dir / Name).string();
    std::ofstream(P, std::ios::binary) << Data;
    return P;
  }
  static std::unique_ptr<TCompilerMsgLine> Msg(TMsgKind Kind, const std::string& File, int Line,
                                               const std::string& Text, const std::string& Prefix = "cc") {
    return std::make_unique<TCompilerMsgLine>(Kind, Prefix, File, Line, 1, Text);
  }
  fs::path Dir;
};

TEST_F(MessageLines, CompilerMessagesReadAsTheViewShowsThem) {
  TLineBuffer* Build = LineBufferList().AddList("Build");
  TLine* Top = Build->Add(Msg(msgError, "C:\\src\\Unit1.pas", 28, "Undeclared identifier"));
  EXPECT_EQ(Top->GetLineText(), "[cc Error] Unit1.pas(28): Undeclared identifier");
  EXPECT_EQ(Build->Add(Msg(msgError, "C:\\src\\Unit1.pas", 0, "Undeclared identifier"))->GetLineText(),
            "[cc Error] Undeclared identifier");
  EXPECT_EQ(Build->Add(Msg(msgInfo, "/src/a.pas", 3, "Compiling", ""))->GetLineText(), "a.pas(3): Compiling");
  EXPECT_EQ(Build->Add(Msg(msgInfo, "", 0, "Done", "vcc"))->GetLineText(), "[vcc] Done");
  EXPECT_EQ(Build->Add(Msg(msgFatal, "", 0, "Out of memory", ""))->GetLineText(), "[Fatal Error] Out of memory");
  EXPECT_EQ(Build->Add(Msg(msgHint, "/a.pas", 1, "h"))->GetLineText(), "[cc Hint] a.pas(1): h");
  EXPECT_EQ(Build->Add(Msg(msgWarn, "/a.pas", 1, "w"))->GetLineText(), "[cc Warning] a.pas(1): w");
  TLine* Child = Top->AddChild(Msg(msgError, "/src/Unit2.pas", 5, "Related"));
  EXPECT_EQ(Child->GetLineText(), "Unit2.pas(5): Related");
  EXPECT_EQ(Child->Parent(), Top);
  EXPECT_EQ(Child->Group(), Build);

  auto* Found = static_cast<TFindTitleLine*>(Build->Add(std::make_unique<TFindTitleLine>(Build, "Searching for x", true)));
  EXPECT_EQ(Found->GetLineText(), "Searching for x");
  Found->AddChild(std::make_unique<TFileFindLine>("/src/a.pas", 7, 3, "  x := 1;", 2, 1));
  EXPECT_EQ(Found->GetLineText(), "Searching for x [1]");
  EXPECT_EQ(Found->GetChild(0)->GetLineText(), "/src/a.pas(7):   x := 1;");
  TTitleLine::Make(*Build, "Sub", Found);
  EXPECT_EQ(Found->GetLineText(), "Searching for x [2]");
  EXPECT_EQ(MessageViewText(),
            "[cc Error] Unit1.pas(28): Undeclared identifier\n"
            "  Unit2.pas(5): Related\n"
            "[cc Error] Undeclared identifier\n"
            "a.pas(3): Compiling\n"
            "[vcc] Done\n"
            "[Fatal Error] Out of memory\n"
            "[cc Hint] a.pas(1): h\n"
            "[cc Warning] a.pas(1): w\n"
            "Searching for x [2]\n"
            "  /src/a.pas(7):   x := 1;\n"
            "  Sub\n");
}

TEST_F(MessageLines, ErrorCountTakesTopLevelErrorsOnlyAndClearingSendsItsEvents) {
  TLineBuffer* Build = LineBufferList().AddList("Build");
  TLine* E = Build->Add(Msg(msgError, "/a.pas", 1, "e"));
  E->AddChild(Msg(msgError, "/a.pas", 2, "child error"));
  Build->Add(Msg(msgFatal, "/a.pas", 3, "f"));
  Build->Add(Msg(msgWarn, "/a.pas", 4, "w"));
  TTitleLine::Make(*Build, "title");
  EXPECT_EQ(Build->GetCount(), 4);
  EXPECT_EQ(Build->GetErrorCount(), 2);
  EXPECT_EQ(LineBufferList().FileBuffer().Find("/a.pas")->LineCount(), 4);

  int Removed = 0;
  Build->EvLinesRemoved().Add(this, [&](TEvMessageLine&) { ++Removed; });
  Build->ClearLineClass(&IsLineClass<TFindTitleLine>);  // nothing of that class: no event
  EXPECT_EQ(Removed, 0);
  Build->SetAutoScroll(false);
  Build->ClearLineClass(&IsLineClass<TCompilerMsgLine>);
  EXPECT_EQ(Removed, 1);
  EXPECT_EQ(Build->GetCount(), 1);
  EXPECT_EQ(Build->GetErrorCount(), 0);
  EXPECT_TRUE(Build->GetAutoScroll());  // an automatic group scrolls again after a clear
  // The lines and their children left the file buffer.
  EXPECT_EQ(LineBufferList().FileBuffer().Find("/a.pas"), nullptr);
  Build->Clear();
  EXPECT_EQ(Removed, 2);
  EXPECT_EQ(Build->GetCount(), 0);
}

TEST_F(MessageLines, GroupsAreFoundByNameAndTheFirstAlwaysStays) {
  TLineBufferList& L = LineBufferList();
  std::vector<std::string> Log;
  L.EvGroupAdded().Add(this, [&](TEvMessageGroup& A) { Log.push_back("+" + A.Group.GetGroupName()); });
  L.EvGroupRemoved().Add(this, [&](TEvMessageGroup& A) { Log.push_back("-" + A.Group.GetGroupName()); });
  TLineBuffer* Build = L.AddList("Build");
  TLineBuffer* Output = L.AddList("Output");
  EXPECT_EQ(L.AddList("Build"), Build);
  EXPECT_EQ(L.GetGroup("build"), nullptr);  // exact names
  // A search group of a name a plain group has is a new group.
  TSearchLineBuffer* Search = L.AddSearchList("Output");
  EXPECT_NE(static_cast<TLineBuffer*>(Search), Output);
  EXPECT_EQ(L.AddSearchList("Output"), Search);
  EXPECT_EQ(Search->GetGroupIndex(), 2);
  EXPECT_EQ(L.GetCount(), 3);

  L.RemoveList(Build);  // index 0 stays
  EXPECT_EQ(L.GetCount(), 3);
  Output->Add(Msg(msgError, "/o.pas", 1, "x"));
  L.RemoveList(Output);
  EXPECT_EQ(L.GetCount(), 2);
  EXPECT_EQ(Search->GetGroupIndex(), 1);
  EXPECT_EQ(L.GetName(1), "Output");
  EXPECT_EQ(L.FileBuffer().Count(), 0);

  Build->Add(Msg(msgError, "/b.pas", 1, "x"));
  Build->SetCanClose(false);
  L.ClearAll();
  EXPECT_EQ(L.GetCount(), 1);
  EXPECT_EQ(Build->GetCount(), 0);
  EXPECT_EQ(Log, (std::vector<std::string>{"+Build", "+Output", "+Output", "-Output", "-Output"}));
}

TEST_F(MessageLines, NextMessageWalksTheViewOrderAndGoesToSource) {
  std::vector<std::string> Shown;
  SetShowSourceHook([&](const std::string& File, int32_t Line, int32_t Col, int32_t, bool Focus) {
    Shown.push_back(File + ":" + std::to_string(Line) + ":" + std::to_string(Col) + (Focus ? "" : " nofocus"));
  });
  TLineBuffer* Build = LineBufferList().AddList("Build");
  TTitleLine::Make(*Build, "Building");
  TLine* W = Build->Add(Msg(msgWarn, "/w.pas", 4, "w"));
  W->AddChild(Msg(msgError, "/c.pas", 9, "child"));
  Build->Add(std::make_unique<TCompilerMsgLine>(msgError, "cc", "/e.pas", 0, 0, "no line"));
  EXPECT_EQ(NextMessage(true), W);
  EXPECT_EQ(NextMessage(true), W->GetChild(0));
  EXPECT_EQ(NextMessage(false), W);
  EXPECT_NE(NextErrorMessage(true, true), nullptr);
  EXPECT_EQ(LineBufferList().Selected(), W->GetChild(0));
  NextErrorMessage(true);
  EXPECT_EQ(NextErrorMessage(true), nullptr);  // nothing after the last
  static_cast<TFileMessageLine*>(W)->TrackSource();
  // A line without a number opens its file without a place.
  EXPECT_EQ(Shown, (std::vector<std::string>{"/w.pas:4:1", "/c.pas:9:1", "/w.pas:4:1", "/c.pas:9:1", "/e.pas:0:0",
                                             "/w.pas:4:1 nofocus"}));
  // Clearing forgets a selection among the freed lines.
  Build->Clear();
  EXPECT_EQ(LineBufferList().Selected(), nullptr);
  EXPECT_EQ(NextMessage(true), nullptr);
}

TEST_F(MessageLines, TheViewsAreShownUpdatedAndHiddenAsHostsAreTold) {
  TLineBuffer* Build = LineBufferList().AddList("Build");
  TLineBuffer* Output = LineBufferList().AddList("Output");
  std::vector<std::string> Told;
  LineBufferList().EvViewsChanged().Add(this, [&](TEvMessageViews& A) {
    const char* Change[] = {"show ", "update ", "hide "};
    Told.push_back(Change[static_cast<int>(A.Change)] + A.Group->GetGroupName());
  });
  // Off screen nothing is drawn: an update or a hide tells no one.
  UpdateMsgViews();
  HideMsgViews();
  OpenMsgView(Output, false);
  EXPECT_FALSE(LineBufferList().ViewsVisible());
  EXPECT_EQ(LineBufferList().CurrentGroup(), Output);
  OpenMsgView(Build, true);
  EXPECT_TRUE(LineBufferList().ViewsVisible());
  OpenMsgView(Output, true);  // on screen already, now with the other group
  UpdateMsgViews();
  HideMsgViews();
  HideMsgViews();
  EXPECT_FALSE(LineBufferList().ViewsVisible());
  EXPECT_EQ(Told, (std::vector<std::string>{"show Build", "show Output", "update Output", "hide Output"}));
  LineBufferList().EvViewsChanged().Remove(this);
}

TEST_F(MessageLines, PositionsFollowEditsWhileTheFileIsOpenAndKeepTheStoredPlaceWhenTheirLineGoes) {
  std::string Text;
  for (int I = 1; I <= 20; ++I) Text += (I == 10 ? "\tline " : "line ") + std::to_string(I) + "\n";
  const std::string File = Write("unit1.pas", Text);
  TLineBuffer* Build = LineBufferList().AddList("Build");
  // Made before the file is open: attached when its buffer comes.
  auto* Early = static_cast<TFileMessageLine*>(Build->Add(std::make_unique<TCompilerMsgLine>(msgError, "cc", File, 10, 3, "ten")));
  auto B = TEditBuffer::Create(File, true);
  auto V = B->OpenNewView();
  auto* Late = static_cast<TFileMessageLine*>(Build->Add(Msg(msgError, File, 15, "fifteen")));
  auto* Gone = static_cast<TFileMessageLine*>(Build->Add(Msg(msgError, File, 5, "five")));

  GotoLineCol(V->EkView(), 1, 1);
  InsertString(V->EkView(), "a\rb\r");
  EXPECT_EQ(Early->CurrentLine(), 12);
  EXPECT_EQ(Late->CurrentLine(), 17);
  EXPECT_EQ(Early->Line(), 10);  // the stored place stays what the tool said
  Early->GotoSource();
  EXPECT_EQ(static_cast<int32_t>(V->EkView()->Cursor.LineNum), 12);  // a packed field: by value
  // Column 3 counts characters: after the tab and "l", on the "i".
  EXPECT_EQ(GetLineText(V->EkView(), 12).substr(static_cast<size_t>(ConvertPos(V->EkView(), V->EkView()->Cursor).Index)), "ine 10");

  GotoLineCol(V->EkView(), 7, 1);  // "line 5"
  MarkCurrentLine(V->EkView());
  DeleteBlock(V->EkView());
  EXPECT_FALSE(Gone->Tracked());
  EXPECT_EQ(Gone->CurrentLine(), 5);
  Gone->GotoSource();
  EXPECT_EQ(static_cast<int32_t>(V->EkView()->Cursor.LineNum), 5);  // a packed field: by value
  EXPECT_EQ(Early->CurrentLine(), 11);

  // Closed, the file's messages keep their last tracked places; reopened, they follow again.
  V.reset();
  B.reset();
  EXPECT_EQ(Early->CurrentLine(), 11);
  B = TEditBuffer::Create(File, true);
  V = B->OpenNewView();
  GotoLineCol(V->EkView(), 1, 1);
  InsertString(V->EkView(), "c\r");
  EXPECT_EQ(Early->CurrentLine(), 12);
  Build->Clear();
  V.reset();
  B.reset();
}

TEST_F(MessageLines, LinesOfOneFileLeaveInAnyOrderAndTheOthersFollowTheirOwnPlaces) {
  std::string Text;
  for (int I = 1; I <= 40; ++I) Text += "line " + std::to_string(I) + "\n";
  const std::string File = Write("unit2.pas", Text);
  LineBufferList().AddList("Build");  // the group that always stays
  TLineBuffer* A = LineBufferList().AddList("A");
  TLineBuffer* B = LineBufferList().AddList("B");
  std::vector<TFileMessageLine*> Lines;
  for (int I = 1; I <= 30; ++I)
    Lines.push_back(static_cast<TFileMessageLine*>((I % 3 ? A : B)->Add(Msg(msgHint, File, I, "m"))));
  A->Remove(Lines[0]);  // the first, then one from the middle: their slots are taken again
  A->Remove(Lines[13]);
  auto* New1 = static_cast<TFileMessageLine*>(B->Add(Msg(msgHint, File, 35, "n")));
  auto* New2 = static_cast<TFileMessageLine*>(B->Add(Msg(msgHint, File, 36, "n")));
  auto Buf = TEditBuffer::Create(File, true);
  auto V = Buf->OpenNewView();
  GotoLineCol(V->EkView(), 1, 1);
  InsertString(V->EkView(), "x\r");
  for (int I = 1; I <= 30; ++I)
    if (I != 1 && I != 14) {
      EXPECT_EQ(Lines[static_cast<size_t>(I - 1)]->CurrentLine(), I + 1) << I;
    }
  EXPECT_EQ(New1->CurrentLine(), 36);
  EXPECT_EQ(New2->CurrentLine(), 37);
  EXPECT_EQ(LineBufferList().FileBuffer().Find(File)->LineCount(), 30);
  LineBufferList().RemoveList(A);
  EXPECT_EQ(New2->CurrentLine(), 37);
  EXPECT_EQ(LineBufferList().FileBuffer().Find(File)->LineCount(), 12);
  LineBufferList().RemoveList(B);
  EXPECT_EQ(LineBufferList().FileBuffer().Count(), 0);
  V.reset();
  Buf.reset();
}

TEST_F(MessageLines, MessagesBeyondWhatAFilesTableTakesKeepTheirReportedPlaces) {
  const std::string File = Write("unit3.pas", "a\nb\nc\nd\n");
  TLineBuffer* Build = LineBufferList().AddList("Build");
  const int N = TEdTracker::MaxEntries + 2;
  std::vector<TFileMessageLine*> Lines;
  for (int I = 0; I < N; ++I) Lines.push_back(static_cast<TFileMessageLine*>(Build->Add(Msg(msgHint, File, 2, "m"))));
  auto Buf = TEditBuffer::Create(File, true);  // the table fills in the order the lines came
  auto V = Buf->OpenNewView();
  InsertTextAtTop(V->EkView(), "top\r");
  EXPECT_EQ(Lines.front()->CurrentLine(), 3);
  EXPECT_EQ(Lines[N - 3]->CurrentLine(), 3);
  EXPECT_FALSE(Lines[N - 2]->Tracked());
  EXPECT_EQ(Lines.back()->CurrentLine(), 2);
  EXPECT_EQ(LineBufferList().FileBuffer().Find(File)->LineCount(), TEdTracker::MaxEntries);
  Build->Clear();
  EXPECT_EQ(LineBufferList().FileBuffer().Count(), 0);
  V.reset();
  Buf.reset();
}

}  // namespace
}  // namespace nxs
