// The session with a real gdb: the program's output kept apart and bounded, answers found by
// their tokens, and no gdb or program left behind whatever ends the session.
#include "gdbmi/misession.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <memory>

#include "gdbmi/gdbstrings.h"
#include "gdbtest.h"
#include "shared/format.h"
#include "support/wait.h"

namespace nxs::gdbmi {
namespace {

using test::TRecordLog;

struct TSessionRig {
  explicit TSessionRig(TGdbOptions Options = {})
      : Session([this](const TMIRecord* R) { Log.Add(R); }, [] {}, std::move(Options)) {}
  TRecordLog Log;
  TGdbSession Session;

  // Runs the test program with Args under gdb and waits until it has exited; its exit code.
  std::string RunToExit(const std::string& Args) {
    Session.Execute("-file-exec-and-symbols " + QuoteMIString(test::Debuggee()));
    Session.Execute("-exec-arguments " + Args);
    Session.Execute("-exec-run");
    const auto Exited = Log.WaitFor([](const TMIRecord& R) {
      return test::IsStop("exited")(R) || test::IsStop("exited-normally")(R);
    });
    return Exited ? Exited->Results.Get("exit-code", "0") : "none";
  }
};

TEST(GdbSession, TheProgramsOutputStaysApartFromGdbsRecords) {
  if (test::Debuggee().empty()) GTEST_SKIP() << "g++ is missing";
  TSessionRig Rig;
  Rig.Session.Start();
  EXPECT_EQ(Rig.RunToExit("mi"), "03");
  // Output that reads like records is the program's, byte for byte (a raw terminal: no
  // carriage returns added).
  EXPECT_EQ(Rig.Session.TakeOutput(),
            "^done,value=\"1\"\n*stopped,reason=\"exited\",exit-code=\"0\"\n(gdb) \n");
  for (const TMIRecord& R : Rig.Log.Records()) {
    EXPECT_EQ(R.Results.Find("value"), nullptr) << FormatMIRecord(R);
    EXPECT_NE(R.Results.Get("exit-code"), "0") << FormatMIRecord(R);
  }
  // A command's failure carries gdb's own message; the session goes on.
  try {
    Rig.Session.Execute("-data-evaluate-expression NoSuchSymbol");
    ADD_FAILURE() << "no error";
  } catch (const EGdbCommandError& E) {
    EXPECT_EQ(E.Message(), "No symbol \"NoSuchSymbol\" in current context.");
  }
  EXPECT_EQ(Rig.Session.Execute("-data-evaluate-expression 6*7").Results.Get("value"), "42");
}

TEST(GdbSession, AProgramThatPrintsWithoutEndCostsNoMoreThanTheBound) {
  if (test::Debuggee().empty()) GTEST_SKIP() << "g++ is missing";
  TGdbOptions Options;
  Options.OutputLimit = 64 * 1024;
  TSessionRig Rig(Options);
  Rig.Session.Start();
  ASSERT_EQ(Rig.RunToExit("flood 8"), "0");
  size_t Dropped = 0;
  const std::string Output = Rig.Session.TakeOutput(&Dropped);
  EXPECT_EQ(Output.size(), Options.OutputLimit);
  EXPECT_EQ(Output.size() + Dropped, 8u << 20);
  EXPECT_EQ(Output.find_first_not_of('x'), std::string::npos);
}

TEST(GdbSession, AMissingGdbIsNamed) {
  TSessionRig Rig(TGdbOptions{.Program = "nxs-no-such-gdb"});
  try {
    Rig.Session.Start();
    ADD_FAILURE() << "started";
  } catch (const EGdbError& E) {
    EXPECT_EQ(E.Message(),
              "The debugger program \"nxs-no-such-gdb\" was not found on the path. Install gdb to debug programs.");
  }
  EXPECT_FALSE(Rig.Session.Alive());
  EXPECT_THROW(Rig.Session.Execute("-gdb-version"), EGdbError);
}

TEST(GdbSession, GdbKilledEndsTheSessionAndTakesTheProgramAlong) {
  if (test::Debuggee().empty()) GTEST_SKIP() << "g++ is missing";
  TSessionRig Rig;
  Rig.Session.Start();
  Rig.Session.Execute("-file-exec-and-symbols " + QuoteMIString(test::Debuggee()));
  Rig.Session.Execute("-exec-arguments wait");
  Rig.Session.Execute("-exec-run");
  const auto Started = Rig.Log.WaitFor([](const TMIRecord& R) { return R.Class == "thread-group-started"; });
  ASSERT_TRUE(Started);
  const pid_t Program = static_cast<pid_t>(Started->Results.GetInt("pid"));
  ASSERT_GT(Program, 0);

  ::kill(Rig.Session.GdbPid(), SIGKILL);
  ASSERT_TRUE(Rig.Log.WaitEnded());
  EXPECT_FALSE(Rig.Session.Alive());
  EXPECT_EQ(Rig.Session.EndReason(), "gdb was killed by signal 9");
  try {
    Rig.Session.Execute("-gdb-version");
    ADD_FAILURE() << "answered";
  } catch (const EGdbError& E) {
    EXPECT_EQ(E.Message(), "The debugger has ended unexpectedly. gdb was killed by signal 9");
  }
  EXPECT_TRUE(test::WaitUntil([&] { return test::ProcessGone(Program); }));
}

// Run in a process of its own by the test below, which kills it: holds a session with a
// running program and reports both process ids.
TEST(GdbSessionChild, HoldsASessionUntilKilled) {
  if (!std::getenv("NXS_GDBMI_HOLD")) GTEST_SKIP() << "only run by GdbSession.KillingTheHostLeavesNothingBehind";
  TSessionRig Rig;
  Rig.Session.Start();
  Rig.Session.Execute("-file-exec-and-symbols " + QuoteMIString(std::getenv("NXS_GDBMI_HOLD")));
  Rig.Session.Execute("-exec-arguments wait");
  Rig.Session.Execute("-exec-run");
  const auto Started = Rig.Log.WaitFor([](const TMIRecord& R) { return R.Class == "thread-group-started"; });
  ASSERT_TRUE(Started);
  std::printf("%d %lld\n", static_cast<int>(Rig.Session.GdbPid()), Started->Results.GetInt("pid"));
  std::fflush(stdout);
  while (true) ::pause();
}

TEST(GdbSession, KillingTheHostLeavesNothingBehind) {
  if (test::Debuggee().empty()) GTEST_SKIP() << "g++ is missing";
  int Pipe[2];
  ASSERT_EQ(::pipe(Pipe), 0);
  const pid_t Host = ::fork();
  ASSERT_GE(Host, 0);
  if (Host == 0) {
    ::dup2(Pipe[1], 1);
    ::setenv("NXS_GDBMI_HOLD", test::Debuggee().c_str(), 1);
    ::execl("/proc/self/exe", "gdbmi_tests", "--gtest_filter=GdbSessionChild.*", static_cast<char*>(nullptr));
    ::_exit(127);
  }
  ::close(Pipe[1]);
  // The first line that holds two numbers (the test framework writes its own lines first).
  int Gdb = 0;
  long long Program = 0;
  std::string Line;
  for (char C; ::read(Pipe[0], &C, 1) == 1;) {
    if (C != '\n') {
      Line += C;
      continue;
    }
    if (std::sscanf(Line.c_str(), "%d %lld", &Gdb, &Program) == 2) break;
    Line.clear();
  }
  ::close(Pipe[0]);
  ASSERT_GT(Program, 0) << Line;
  ASSERT_FALSE(test::ProcessGone(Gdb));
  ASSERT_FALSE(test::ProcessGone(static_cast<pid_t>(Program)));

  // A stopped gdb cannot notice that its input has closed: only the kernel's word that its
  // parent died ends it.
  ::kill(Gdb, SIGSTOP);
  ::kill(Host, SIGKILL);
  ::waitpid(Host, nullptr, 0);
  EXPECT_TRUE(test::WaitUntil([&] { return test::ProcessGone(Gdb); })) << "gdb survived";
  EXPECT_TRUE(test::WaitUntil([&] { return test::ProcessGone(static_cast<pid_t>(Program)); }))
      << "the program survived";
}

}  // namespace
}  // namespace nxs::gdbmi
