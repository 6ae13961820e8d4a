// The build host as the builders use it: one build at a time, foreground and background runs,
// the end of a build in the "Build" group, and the engine's messages reaching the groups.
#include "build/buildhost.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "build/engine/programs.h"
#include "build/messages/filesvc.h"
#include "build/progress.h"
#include "hostsupport.h"
#include "options/envoptions.h"
#include "shared/mainthread.h"
#include "support/wait.h"
#include "support/files.h"

namespace nxs::test {
namespace {

using namespace std::chrono_literals;

const TBuildControl Foreground = TBuildControl::Create(cmMake, true, true, false, false, false, false);
const TBuildControl Background = TBuildControl::Create(cmMake, false, true, false, false, true, false);

TEST(ElapsedTime, HoursMinutesSecondsAndTruncatedTenths) {
  EXPECT_EQ(FormatElapsedTime(1h + 2min + 3450ms), "01:02:03.4");
  EXPECT_EQ(FormatElapsedTime(0ms), "00:00:00.0");
  EXPECT_EQ(FormatElapsedTime(59999ms), "00:00:59.9");
  EXPECT_EQ(FormatElapsedTime(100h), "100:00:00.0");
}

TEST_F(BuildHostTest, ForegroundBuildEndsWithSuccessAndElapsedTime) {
  std::vector<std::string> Seen;
  BuildHost().EvBuilderStartedEvent().Add(this, [&](TEvBuilder& E) { Seen.push_back("started"); });
  BuildHost().EvBuilderFinishedEvent().Add(this, [&](TEvBuilder& E) {
    Seen.push_back(E.Result == crSucceeded ? "finished ok" : "finished failed");
  });
  auto B = std::make_shared<TScriptedBuilder>([&] {
    EXPECT_TRUE(BuildHost().Building());
    return crSucceeded;
  });
  EXPECT_EQ(BuildHost().Build(B, Foreground), crSucceeded);
  EXPECT_FALSE(BuildHost().Building());
  EXPECT_EQ(B->GetHost(), &BuildHost());
  EXPECT_EQ(Seen, (std::vector<std::string>{"started", "finished ok"}));
  std::vector<std::string> Lines = GroupLines("Build");
  ASSERT_EQ(Lines.size(), 2u);
  EXPECT_EQ(Lines[0], "Success");
  EXPECT_EQ(Lines[1].rfind("Elapsed time: 00:00:0", 0), 0u) << Lines[1];
  EXPECT_EQ(ProgressMonitor().GetErrorCounts({msgError, msgFatal}), 0);
}

TEST_F(BuildHostTest, EachBuildLooksForItsToolsAgain) {
  // A tool found on PATH before is remembered; one put earlier on PATH since is found by the
  // next build.
  const std::string Path = Dir / "first" + ":" + Dir / "second";
  for (const char* Folder : {"first", "second"}) {
    std::filesystem::create_directories(Dir / Folder);
    WriteText(Dir / Folder + "/tool", "#!/bin/sh\n");
  }
  std::filesystem::permissions(Dir / "second/tool", std::filesystem::perms::owner_all);
  EXPECT_EQ(engine::FindProgram("tool", Path).Program, Dir / "second/tool");
  std::filesystem::permissions(Dir / "first/tool", std::filesystem::perms::owner_all);
  EXPECT_EQ(engine::FindProgram("tool", Path).Program, Dir / "second/tool");
  std::string Found;
  BuildHost().Build(std::make_shared<TScriptedBuilder>([&] {
                      Found = engine::FindProgram("tool", Path).Program;
                      return crSucceeded;
                    }),
                    Foreground);
  EXPECT_EQ(Found, Dir / "first/tool");
}

TEST_F(BuildHostTest, SecondBuildWhileOneRunsFailsAndLeavesTheFirstAlone) {
  TCompileResult Inner = crSucceeded;
  auto Second = std::make_shared<TScriptedBuilder>([] { return crSucceeded; });
  auto First = std::make_shared<TScriptedBuilder>([&] {
    Inner = BuildHost().Build(Second, Background);
    // The running build keeps its control and its place.
    EXPECT_TRUE(BuildHost().Control().FWait);
    return crSucceeded;
  });
  EXPECT_EQ(BuildHost().Build(First, Foreground), crSucceeded);
  EXPECT_EQ(Inner, crFailed);
  EXPECT_EQ(Second->GetHost(), nullptr);
  // Only the first build wrote its end.
  EXPECT_EQ(GroupLines("Build")[0], "Success");
  EXPECT_EQ(GroupLines("Build").size(), 2u);
}

TEST_F(BuildHostTest, FailedBuildWithoutCountedErrorsCountsOneFatal) {
  auto B = std::make_shared<TScriptedBuilder>([] { return crFailed; });
  EXPECT_EQ(BuildHost().Build(B, Foreground), crFailed);
  EXPECT_EQ(ProgressMonitor().GetErrorCount(msgFatal), 1);
  EXPECT_EQ(GroupLines("Build")[0], "Failed");

  // With an error counted already, nothing is added.
  auto Counted = std::make_shared<TScriptedBuilder>([] {
    ProgressMonitor().IncErrorCount(msgError);
    return crFailed;
  });
  EXPECT_EQ(BuildHost().Build(Counted, Foreground), crFailed);
  EXPECT_EQ(ProgressMonitor().GetErrorCount(msgFatal), 0);
  EXPECT_EQ(ProgressMonitor().GetErrorCount(msgError), 1);
}

TEST_F(BuildHostTest, FailedPreBuildEndsTheBuildWithoutRunningIt) {
  bool Ran = false;
  auto B = std::make_shared<TScriptedBuilder>([&] {
    Ran = true;
    return crSucceeded;
  });
  B->PreBuildResult = false;
  EXPECT_EQ(BuildHost().Build(B, Foreground), crFailed);
  EXPECT_FALSE(Ran);
  EXPECT_FALSE(BuildHost().Building());
  EXPECT_EQ(GroupLines("Build")[0], "Failed");
}

TEST_F(BuildHostTest, ARaisingBuilderStillEndsTheBuild) {
  auto B = std::make_shared<TScriptedBuilder>([]() -> TCompileResult { throw Exception("broken"); });
  EXPECT_THROW(BuildHost().Build(B, Foreground), Exception);
  EXPECT_FALSE(BuildHost().Building());
  EXPECT_EQ(BuildHost().Build(std::make_shared<TScriptedBuilder>([] { return crSucceeded; }), Foreground),
            crSucceeded);
}

TEST_F(BuildHostTest, ClearMessagesEmptiesBuildAndOutputGroups) {
  TTitleLine::Make(*LineBufferList().AddList("Output"), "old output");
  TTitleLine::Make(*LineBufferList().AddList("Build"), "old build");
  auto Keep = TBuildControl::Create(cmMake, true, false, false, false, false, false);
  BuildHost().Build(std::make_shared<TScriptedBuilder>([] { return crSucceeded; }), Keep);
  EXPECT_EQ(GroupLines("Output"), std::vector<std::string>{"old output"});
  EXPECT_EQ(GroupLines("Build").size(), 3u);
  BuildHost().Build(std::make_shared<TScriptedBuilder>([] { return crSucceeded; }), Foreground);
  EXPECT_TRUE(GroupLines("Output").empty());
  EXPECT_EQ(GroupLines("Build").size(), 2u);
}

TEST_F(BuildHostTest, BackgroundBuildRunsOnTheCompileThreadAndFinishesOnTheMainOne) {
  SetCompiling("BackgroundCompilation", true);
  std::atomic<bool> Release{false}, OnCompileThreadSeen{false};
  std::thread::id Finisher;
  BuildHost().EvBuilderFinishedEvent().Add(this, [&](TEvBuilder&) { Finisher = std::this_thread::get_id(); });
  auto B = std::make_shared<TScriptedBuilder>([&] {
    OnCompileThreadSeen = OnCompileThread();
    while (!Release) std::this_thread::sleep_for(1ms);
    return crSucceeded;
  });
  EXPECT_EQ(BuildHost().Build(B, Background), crBackground);
  EXPECT_TRUE(BuildHost().BuildingInBackground());
  EXPECT_TRUE(BuildHost().Control().FBackground);
  // Another build is refused while this one runs.
  EXPECT_EQ(BuildHost().Build(std::make_shared<TScriptedBuilder>([] { return crSucceeded; }), Foreground), crFailed);
  Release = true;
  BuildHost().WaitForBuild();
  EXPECT_TRUE(OnCompileThreadSeen);
  EXPECT_EQ(Finisher, std::this_thread::get_id());
  EXPECT_EQ(BuildHost().Result(), crSucceeded);
  EXPECT_EQ(GroupLines("Build")[0], "Success");
  EXPECT_FALSE(FileCacheInForce());
}

TEST_F(BuildHostTest, ABuildAskedForInTheBackgroundGoesThereWithTheOptionOffAndLeavesItOff) {
  SetCompiling("BackgroundCompilation", false);
  auto Quick = [] { return std::make_shared<TScriptedBuilder>([] { return crSucceeded; }); };
  EXPECT_EQ(BuildHost().Build(Quick(), Background), crSucceeded);  // the option decides
  EXPECT_EQ(BuildHost().Build(Quick(), Background, true), crBackground);
  EXPECT_TRUE(BuildHost().Control().FBackground);
  BuildHost().WaitForBuild();
  EXPECT_EQ(BuildHost().Result(), crSucceeded);
  EXPECT_FALSE(EnvironmentOptions().Compiling().GetBool("BackgroundCompilation"));
  // A control that allows no background build keeps it in the foreground.
  EXPECT_EQ(BuildHost().Build(Quick(), Foreground, true), crSucceeded);
}

TEST_F(BuildHostTest, CancelledBackgroundBuildEndsFailed) {
  SetCompiling("BackgroundCompilation", true);
  std::atomic<bool> Running{false};
  auto B = std::make_shared<TScriptedBuilder>([&] {
    Running = true;
    // A tool reports progress until it is told to stop.
    for (int I = 0; I < 20000; ++I) {
      if (!CompilerUpdateProgress(progCompiling, "/src/unit.pas", I, 0)) return crFailed;
      std::this_thread::sleep_for(1ms);
    }
    return crSucceeded;
  });
  ProgressMonitor().SetOnUpdate([](TProgressMonitor&, bool&) {});
  ASSERT_EQ(BuildHost().Build(B, Background), crBackground);
  ASSERT_TRUE(PumpUntil([&] { return Running.load(); })) << "the background build did not start";
  ProgressMonitor().Cancel();
  BuildHost().WaitForBuild();
  EXPECT_EQ(BuildHost().Result(), crFailed);
  EXPECT_EQ(GroupLines("Build")[0], "Failed");
  EXPECT_EQ(ProgressMonitor().GetErrorCount(msgFatal), 1);
}

TEST_F(BuildHostTest, BackgroundIsOnlyForControlsThatAllowItWithTheOptionOn) {
  auto Probe = [&](const TBuildControl& C) {
    bool Bg = false;
    TCompileResult R = BuildHost().Build(std::make_shared<TScriptedBuilder>([&] {
      Bg = OnCompileThread();
      return crSucceeded;
    }), C);
    if (R == crBackground) BuildHost().WaitForBuild();
    return Bg;
  };
  EXPECT_FALSE(Probe(Background));  // the option is off
  SetCompiling("BackgroundCompilation", true);
  EXPECT_FALSE(Probe(Foreground));
  DisableBackgroundCompiling();
  EXPECT_FALSE(Probe(Background));
  EnableBackgroundCompiling();
  EXPECT_TRUE(Probe(Background));
}

// ---- messages ----

TMessageInfo Msg(TMsgKind Kind, const std::string& Text, int32_t Id, int32_t Parent = 0) {
  TMessageInfo M;
  M.MsgKind = Kind;
  M.Message = Text;
  M.Filename = "/src/unit.cpp";
  M.Line = 3;
  M.Prefix = "g++";
  M.Id = Id;
  M.Parent = Parent;
  return M;
}

TEST_F(BuildHostTest, ChildMessagesNestUnderTheirParentById) {
  TBuildMessageQueues& Q = BuildHost().Messages();
  Q.PostBuildMessage(Msg(msgError, "no such name", 10));
  Q.PostBuildMessage(Msg(msgInfo, "declared here", 11, 10));
  Q.PostBuildMessage(Msg(msgInfo, "in this expansion", 12, 11));
  Q.PostBuildMessage(Msg(msgWarn, "unused value", 13, 999));  // an unknown parent: top level
  MainThreadQueue().ProcessPending();
  EXPECT_EQ(GroupLines("Build"), (std::vector<std::string>{"[g++ Error] unit.cpp(3): no such name",
                                                           "  unit.cpp(3): declared here",
                                                           "    unit.cpp(3): in this expansion",
                                                           "[g++ Warning] unit.cpp(3): unused value"}));
  EXPECT_EQ(LineBufferList().GetGroup("Build")->GetErrorCount(), 1);
}

TEST_F(BuildHostTest, ParentsAreForgottenWhenTheGroupIsCleared) {
  TBuildMessageQueues& Q = BuildHost().Messages();
  Q.PostBuildMessage(Msg(msgError, "first", 20));
  MainThreadQueue().ProcessPending();
  LineBufferList().GetGroup("Build")->Clear();
  Q.PostBuildMessage(Msg(msgInfo, "orphan", 21, 20));
  MainThreadQueue().ProcessPending();
  EXPECT_EQ(GroupLines("Build"), std::vector<std::string>{"[g++] unit.cpp(3): orphan"});
}

TEST_F(BuildHostTest, CodeIsTrimmedAndAPlainNumberKeywordIsAHelpContext) {
  TBuildMessageQueues& Q = BuildHost().Messages();
  TMessageInfo WithCode = Msg(msgError, "bad", 30);
  WithCode.Code = "  E2003 ";
  WithCode.HelpKeyword = "E2003";
  TMessageInfo Numbered = Msg(msgWarn, "odd", 31);
  Numbered.HelpKeyword = "1234";
  TMessageInfo Worded = Msg(msgHint, "hm", 32);
  Worded.HelpKeyword = "12ab";
  Q.PostBuildMessage(WithCode);
  Q.PostBuildMessage(Numbered);
  Q.PostBuildMessage(Worded);
  MainThreadQueue().ProcessPending();
  TLineBuffer* G = LineBufferList().GetGroup("Build");
  ASSERT_EQ(G->GetCount(), 3);
  auto* A = dynamic_cast<TBuildMsgLine*>(G->GetLines(0));
  auto* B = dynamic_cast<TBuildMsgLine*>(G->GetLines(1));
  auto* C = dynamic_cast<TBuildMsgLine*>(G->GetLines(2));
  ASSERT_TRUE(A && B && C);
  EXPECT_EQ(A->Code(), "E2003");
  EXPECT_EQ(A->HelpKeyword(), "E2003");
  EXPECT_EQ(A->HelpId(), 0);
  EXPECT_EQ(B->HelpId(), 1234);
  EXPECT_EQ(B->HelpKeyword(), "");
  EXPECT_EQ(C->HelpId(), 0);
}

TEST_F(BuildHostTest, MessagesFromOtherThreadsArriveInOrder) {
  constexpr int PerThread = 500;
  BuildHost();  // made on the main thread at start-up, before any build thread runs
  std::vector<std::thread> Threads;
  for (int T = 0; T < 2; ++T)
    Threads.emplace_back([T] {
      for (int I = 0; I < PerThread; ++I) {
        if (T == 0)
          BuildHost().Messages().PostBuildMessage(Msg(msgHint, std::to_string(I), 0));
        else
          BuildHost().Messages().PostOutputMessage(std::to_string(I));
      }
    });
  for (std::thread& T : Threads) T.join();
  MainThreadQueue().ProcessPending();
  std::vector<std::string> Output = GroupLines("Output");
  ASSERT_EQ(Output.size(), static_cast<size_t>(PerThread));
  for (int I = 0; I < PerThread; ++I) EXPECT_EQ(Output[I], std::to_string(I));
  EXPECT_EQ(GroupLines("Build").size(), static_cast<size_t>(PerThread));
}

}  // namespace
}  // namespace nxs::test
