// The C++ compile task with distcc as the compiler launcher: a local daemon compiles the
// objects (its log says so) and the program runs. Skipped where distcc is not installed.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include <gtest/gtest.h>

#include "build/compilers/compilers.h"
#include "support/taskfakes.h"
#include "support/tempdir.h"
#include "support/wait.h"

namespace nxs::compilers {
namespace {

namespace fs = std::filesystem;

bool OnPath(const std::string& Program) {
  for (const char* Dir : {"/usr/bin", "/usr/local/bin", "/bin"})
    if (access((std::string(Dir) + "/" + Program).c_str(), X_OK) == 0) return true;
  return false;
}

int FreePort() {
  int S = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in A{};
  A.sin_family = AF_INET;
  A.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t Len = sizeof A;
  int Port = 0;
  if (bind(S, reinterpret_cast<sockaddr*>(&A), sizeof A) == 0 && getsockname(S, reinterpret_cast<sockaddr*>(&A), &Len) == 0)
    Port = ntohs(A.sin_port);
  close(S);
  return Port;
}

bool Listening(int Port) {
  int S = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in A{};
  A.sin_family = AF_INET;
  A.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  A.sin_port = htons(static_cast<uint16_t>(Port));
  bool Ok = connect(S, reinterpret_cast<sockaddr*>(&A), sizeof A) == 0;
  close(S);
  return Ok;
}

// The daemon runs while the object lives, in a process group of its own.
class TDaemon {
 public:
  TDaemon(int Port, const std::string& Log) {
    FThread = std::thread([=, this] {
      engine::TProcessOptions O;
      O.Argv = {"distccd", "--daemon", "--no-detach", "--listen", "127.0.0.1", "--allow", "127.0.0.1", "--port",
                std::to_string(Port), "--log-file", Log};
      O.Cancel = &FStop;
      engine::RunProcess(O);
    });
  }
  ~TDaemon() {
    FStop = true;
    FThread.join();
  }

 private:
  std::atomic<bool> FStop{false};
  std::thread FThread;
};

TEST(CppCompileTask, CompilesThroughADistccDaemon) {
  if (!OnPath("distcc") || !OnPath("distccd")) GTEST_SKIP() << "distcc is not installed";
  test::TTempDir Root;
  Root.OpenToAll();  // the daemon may run as a user of its own
  const std::string Log = Root / "distccd.log";
  test::WriteText(Log, "");
  chmod(Log.c_str(), 0666);
  int Port = FreePort();
  ASSERT_NE(Port, 0);
  TDaemon Daemon(Port, Log);
  ASSERT_TRUE(test::WaitUntil([&] { return Listening(Port); }));
  // No quiet fallback to compiling here: the daemon must do it.
  setenv("DISTCC_HOSTS", ("127.0.0.1:" + std::to_string(Port) + "/2").c_str(), 1);
  setenv("DISTCC_FALLBACK", "0", 1);
  fs::create_directories(Root / "distcc");
  setenv("DISTCC_DIR", (Root / "distcc").c_str(), 1);

  const std::string Dir = Root / "app";
  fs::create_directories(Dir);
  test::WriteText(Dir + "/main.cpp", "#include <cstdio>\nint Six();\nint main() { std::printf(\"%d\\n\", Six()); }\n");
  test::WriteText(Dir + "/six.cpp", "int Six() { return 6; }\n");
  test::TFakeProject Project(Dir + "/app.kzproj");
  Project.Properties["CompilerLauncher"] = "distcc";
  Project.Properties["OutputDir"] = "out";
  test::TFakeHost Host(Root.Path());
  test::TFakeContext Context("CppCompiler", Project, &Host);
  Context.SetItems("Sources", {"main.cpp", "six.cpp"});
  RegisterCompilerTasks();
  engine::TTaskFunction Task;
  ASSERT_TRUE(engine::FindTask("CppCompiler", Task));
  bool Ok = Task(Context);
  unsetenv("DISTCC_HOSTS");
  unsetenv("DISTCC_FALLBACK");
  unsetenv("DISTCC_DIR");
  std::string Events;
  for (const auto& E : Context.Events) Events += E.Text + "\n";
  ASSERT_TRUE(Ok) << Events;

  std::string Text = test::ReadText(Log);
  size_t Done = 0;
  for (size_t At = 0; (At = Text.find("COMPILE_OK", At)) != std::string::npos; ++At) ++Done;
  EXPECT_EQ(Done, 2u) << Text;
  EXPECT_EQ(test::ProgramOutput({Dir + "/out/app"}), "6\n");
}

}  // namespace
}  // namespace nxs::compilers
