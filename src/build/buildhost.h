// The build host: runs one build at a time for the whole environment, in the foreground or
// on the background compile thread, counts what the compilers report and finishes with
// "Success" or "Failed" and the elapsed time in the "Build" message group.
#pragma once

#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "build/messages/msglines.h"
#include "shared/event.h"

namespace nxs {

enum TCompileMode : uint8_t { cmMake, cmBuild, cmCheck, cmKibitz, cmClean, cmLink };
enum TCompileResult { crFailed, crSucceeded, crBackground };

#pragma pack(push, 1)
struct TBuildControl {
  bool FAllowBackground = false;
  bool FBackground = false;
  bool FChangeActiveOnError = false;
  bool FCheckActive = false;
  bool FClearMessages = false;
  TCompileMode FMode = cmMake;
  bool FSilent = false;
  bool FWait = false;

  static TBuildControl Create(TCompileMode CompileMode, bool Wait, bool ClearMessages, bool CheckActive,
                              bool ChangeActiveOnError, bool AllowBackground, bool Silent);
};
#pragma pack(pop)
static_assert(sizeof(TBuildControl) == 8);

// One message the engine reports.
struct TMessageInfo {
  TMsgKind MsgKind = msgInfo;
  std::string Filename;
  std::string Message;
  std::string Prefix;
  std::string Code;
  std::string HelpKeyword;
  int32_t Line = 0;
  int32_t Col = 0;
  int32_t Parent = 0;
  int32_t Id = 0;
};

class TBuildHost;

class IBuilder {
 public:
  virtual ~IBuilder() = default;
  virtual bool PreBuild() = 0;
  virtual bool DoBuild() = 0;
  virtual bool PostBuild() = 0;
  virtual TCompileResult GetResult() = 0;
  virtual TBuildHost* GetHost() = 0;
  virtual void SetHost(TBuildHost* Host) = 0;
};

class TBuilder : public IBuilder {
 public:
  bool PreBuild() override { return true; }
  bool PostBuild() override { return true; }
  TCompileResult GetResult() override { return FResult; }
  TBuildHost* GetHost() override { return FHost; }
  void SetHost(TBuildHost* Host) override { FHost = Host; }

 protected:
  TCompileResult FResult = crFailed;
  TBuildHost* FHost = nullptr;
};

class TEvBuilder : public TEvArgs {
 public:
  TEvBuilder(IBuilder* Builder, TCompileResult Result) : Builder(Builder), Result(Result) {}
  IBuilder* Builder;
  TCompileResult Result;
};

// Sent with the builder and its result when a build ends.
using TBuilderFinishedEvent = TEvBuilder;

// A line of the "Build" group that came from the build engine: its message code and help
// keyword travel with it.
class TBuildMsgLine : public TCompilerMsgLine {
 public:
  TBuildMsgLine(const TMessageInfo& Info, int32_t HelpId, std::string HelpKeyword)
      : TCompilerMsgLine(Info.MsgKind, Info.Prefix, Info.Filename, Info.Line, Info.Col, Info.Message, HelpId),
        FCode(Info.Code), FHelpKeyword(std::move(HelpKeyword)) {}
  const std::string& Code() const { return FCode; }
  const std::string& HelpKeyword() const { return FHelpKeyword; }

 private:
  std::string FCode;
  std::string FHelpKeyword;
};

// The two queues through which the engine's threads hand messages to the main thread: one for
// the "Build" group, one for the "Output" group. Posting is thread-safe and asks the main
// thread to drain; draining happens on the main thread only.
class TBuildMessageQueues {
 public:
  TBuildMessageQueues();
  ~TBuildMessageQueues();
  TBuildMessageQueues(const TBuildMessageQueues&) = delete;  // the group events point at it
  TBuildMessageQueues& operator=(const TBuildMessageQueues&) = delete;

  void PostBuildMessage(TMessageInfo Info);
  void PostOutputMessage(std::string Text);
  // Adds what waits to the groups: a message whose Parent names an earlier message's Id goes
  // under that message's line. Background: the "Build" group is not brought forward.
  void Drain(bool Background);
  // The lines made so far are forgotten (their group was cleared).
  void ForgetLines();

 private:
  void ScheduleDrain();
  void Watch(TLineBuffer* Group);

  std::mutex FLock;
  std::vector<TMessageInfo> FBuild;
  std::vector<std::string> FOutput;
  bool FDrainScheduled = false;
  std::shared_ptr<bool> FAlive;  // queued drains outlive a reset host
  // Main thread only.
  std::map<int32_t, TLine*> FLinesById;
  TLineBuffer* FWatched = nullptr;
};

// One per process, made on first use.
class TBuildHost {
 public:
  TBuildHost();
  ~TBuildHost();
  TBuildHost(const TBuildHost&) = delete;  // the compile thread points at it
  TBuildHost& operator=(const TBuildHost&) = delete;

  // Runs a builder: crFailed at once while another builder runs (the running one goes on
  // untouched), crBackground when it went to the background compile thread, else its result.
  // A builder's PostBuild runs on the main thread when it has finished, before its result is
  // taken. Main thread only.
  // InBackground: the request asks for a background build, whatever the option says.
  TCompileResult Build(std::shared_ptr<IBuilder> Builder, const TBuildControl& Control, bool InBackground = false);
  bool Building() const { return FBuilder != nullptr; }
  // True while the current build runs on the background compile thread.
  bool BuildingInBackground() const { return FBuilder && FBackground; }
  const TBuildControl& Control() const { return FControl; }
  // The result of the last build that finished.
  TCompileResult Result() const { return FResult; }
  TEvent<TEvBuilder>& EvBuilderStartedEvent() { return FStarted; }
  TEvent<TEvBuilder>& EvBuilderFinishedEvent() { return FFinished; }
  TBuildMessageQueues& Messages() { return FQueues; }
  // Pumps the main-thread queue until the current build has finished.
  void WaitForBuild();

 private:
  bool SaveAndUpdateModules();
  TCompileResult RunBuild();
  void Finish(bool Failed);

  std::shared_ptr<IBuilder> FBuilder;
  TBuildControl FControl;
  bool FBackground = false;
  bool FWindowOpen = false;
  std::chrono::steady_clock::time_point FStart;
  TCompileResult FResult = crFailed;
  TEvent<TEvBuilder> FStarted;
  TEvent<TEvBuilder> FFinished;
  TBuildMessageQueues FQueues;
};
TBuildHost& BuildHost();
// Drops the process's host (tests, shutdown); a build must not be running.
void ResetBuildHost();

// The Wait flag of the build that runs now.
bool BuildWaitFlag();

// "hh:mm:ss.t", tenths truncated.
std::string FormatElapsedTime(std::chrono::milliseconds Elapsed);

}  // namespace nxs
