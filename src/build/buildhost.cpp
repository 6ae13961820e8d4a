#include "build/buildhost.h"

#include <atomic>
#include <cstdlib>

#include "build/engine/filetimes.h"
#include "build/engine/programs.h"
#include "build/progress.h"
#include "build/resstrings.h"
#include "editor/buffers/editbuffer.h"
#include "options/envoptions.h"
#include "options/resstrings.h"
#include "modules/modulelist.h"
#include "shared/format.h"
#include "shared/mainthread.h"
#include "shared/text.h"

namespace nxs {

namespace {

std::atomic<bool> WaitFlag{false};

TLineBuffer* BuildGroup() { return LineBufferList().AddList(res::SBuildGroup); }

// A help keyword that is a plain decimal number is a help context.
int32_t HelpContext(const std::string& Keyword) {
  if (Keyword.empty() || Keyword.size() > 9) return 0;
  for (char C : Keyword)
    if (C < '0' || C > '9') return 0;
  return static_cast<int32_t>(std::strtol(Keyword.c_str(), nullptr, 10));
}

// The environment options the host follows.
bool CompilingOption(const char* Name) { return EnvironmentOptions().Compiling().GetBool(Name); }
bool SaveBeforeCompile() { return EnvironmentOptions().AutoSave().GetBool(res::opt::AutoSaveEditorFiles); }

}  // namespace

bool BuildWaitFlag() { return WaitFlag; }

std::string FormatElapsedTime(std::chrono::milliseconds Elapsed) {
  const int64_t Ms = std::max<int64_t>(0, Elapsed.count());
  const int64_t Seconds = Ms / 1000;
  return Format(res::SElapsedTimeFormat, static_cast<int>(Seconds / 3600), static_cast<int>(Seconds / 60 % 60),
                static_cast<int>(Seconds % 60), static_cast<int>(Ms % 1000 / 100));
}

// ---- message queues ----

TBuildMessageQueues::TBuildMessageQueues() : FAlive(std::make_shared<bool>(true)) {
  LineBufferList().EvGroupRemoved().Add(this, [this](TEvMessageGroup& A) {
    if (&A.Group == FWatched) Watch(nullptr);
  });
}

TBuildMessageQueues::~TBuildMessageQueues() {
  *FAlive = false;
  Watch(nullptr);
  LineBufferList().EvGroupRemoved().Remove(this);
}

void TBuildMessageQueues::Watch(TLineBuffer* Group) {
  if (Group == FWatched) return;
  if (FWatched) FWatched->EvLinesRemoved().Remove(this);
  FLinesById.clear();
  FWatched = Group;
  if (FWatched) FWatched->EvLinesRemoved().Add(this, [this](TEvMessageLine&) { FLinesById.clear(); });
}

void TBuildMessageQueues::ForgetLines() { FLinesById.clear(); }

void TBuildMessageQueues::PostBuildMessage(TMessageInfo Info) {
  {
    std::lock_guard G(FLock);
    FBuild.push_back(std::move(Info));
  }
  ScheduleDrain();
}

void TBuildMessageQueues::PostOutputMessage(std::string Text) {
  {
    std::lock_guard G(FLock);
    FOutput.push_back(std::move(Text));
  }
  ScheduleDrain();
}

void TBuildMessageQueues::ScheduleDrain() {
  {
    std::lock_guard G(FLock);
    if (FDrainScheduled) return;
    FDrainScheduled = true;
  }
  MainThreadQueue().Queue([this, Alive = FAlive] {
    if (*Alive) Drain(BuildHost().BuildingInBackground());
  });
}

void TBuildMessageQueues::Drain(bool Background) {
  std::vector<TMessageInfo> Build;
  std::vector<std::string> Output;
  {
    std::lock_guard G(FLock);
    Build.swap(FBuild);
    Output.swap(FOutput);
    FDrainScheduled = false;
  }
  if (!Build.empty()) {
    TLineBuffer* Group = BuildGroup();
    Watch(Group);
    for (TMessageInfo& Info : Build) {
      Info.Code = Trim(Info.Code);
      const bool HasCode = !Info.Code.empty();
      auto Line = std::make_unique<TBuildMsgLine>(Info, HasCode ? 0 : HelpContext(Info.HelpKeyword),
                                                  HasCode ? Info.HelpKeyword : std::string());
      TLine* Parent = nullptr;
      if (Info.Parent != 0) {
        auto It = FLinesById.find(Info.Parent);
        if (It != FLinesById.end()) Parent = It->second;
      }
      TLine* Made = Group->AddFileLine(std::move(Line), Parent);
      if (Made && Info.Id != 0) FLinesById[Info.Id] = Made;
      if (Info.MsgKind != msgInfo && !Background) LineBufferList().SetCurrentGroup(Group);
    }
  }
  if (!Output.empty()) {
    TLineBuffer* Group = LineBufferList().AddList(res::SOutputGroup);
    for (const std::string& Text : Output) TTitleLine::Make(*Group, Text);
  }
}

// ---- the host ----

TBuildHost::TBuildHost() = default;
TBuildHost::~TBuildHost() = default;

bool TBuildHost::SaveAndUpdateModules() {
  try {
    if (SaveBeforeCompile() && !SaveModifiedModules()) return false;
    UpdateModules();
    return true;
  } catch (const EAbort&) {
    return false;
  }
}

TCompileResult TBuildHost::Build(std::shared_ptr<IBuilder> Builder, const TBuildControl& Control, bool InBackground) {
  if (FBuilder || !Builder) return crFailed;
  const bool Background =
      Control.FAllowBackground && !BackgroundCompileDisabled() &&
      (InBackground || CompilingOption("BackgroundCompilation"));
  const auto Start = std::chrono::steady_clock::now();
  if (GetBackgroundCompileActive() || !SaveAndUpdateModules()) return crFailed;

  FControl = Control;
  FBackground = Background;
  FControl.FBackground = Background;
  FStart = Start;
  // Tools are looked for again on each build's first run: one put on PATH since is found.
  engine::ForgetPrograms();
  FBuilder = std::move(Builder);
  ProgressMonitor().Reset();
  FBuilder->SetHost(this);

  if (FControl.FClearMessages) {
    FQueues.Drain(false);  // what an earlier build left waiting belongs to the messages cleared
    BuildGroup()->Clear();
    LineBufferList().AddList(res::SOutputGroup)->Clear();
    FQueues.ForgetLines();
  }

  FWindowOpen = false;
  IProgressWindow* Window = ProgressWindow();
  if (Window) {
    if (CompilingOption("Show Compiler Progress") && !FControl.FSilent) {
      Window->Open(ProgressMonitor(), FBackground);
      FWindowOpen = true;
    } else {
      Window->SetWaitCursor(true);
    }
  }
  return RunBuild();
}

TCompileResult TBuildHost::RunBuild() {
  WaitFlag = FControl.FWait;
  if (FBackground) BeginFileCacheUpdates();
  TEvBuilder Started(FBuilder.get(), crFailed);
  bool Ok;
  try {
    FStarted.Send(Started);
    Ok = FBuilder->PreBuild();
  } catch (...) {
    Finish(true);
    throw;
  }
  if (!Ok) {
    Finish(true);
    return FResult;
  }

  if (FBackground) {
    // The compile thread reads the editor's unsaved text from copies on disk rather than
    // asking the main thread for every file.
    for (const std::shared_ptr<TEditBuffer>& B : TEditBuffer::AllBuffers()) {
      std::string Temp;
      if (B->GetIsModified()) (void)AliasVFSFile(B->FileName(), Temp, false);
    }
    try {
      StartBackgroundCompile([this, Builder = FBuilder] {
        bool Failed = false;
        try {
          const engine::TKnownFileTimes Known;
          Builder->DoBuild();
        } catch (...) {
          Failed = true;  // what the builder raised ends the build as failed
        }
        MainThreadQueue().Queue([this, Builder, Failed] {
          if (FBuilder == Builder) Finish(Failed);
        });
      });
    } catch (const EBackgroundCompileNotAllowed&) {
      Finish(true);
      return FResult;
    }
    return crBackground;
  }

  bool Failed = false;
  try {
    const engine::TKnownFileTimes Known;
    FBuilder->DoBuild();
  } catch (...) {
    Finish(true);
    throw;
  }
  Finish(Failed);
  return FResult;
}

void TBuildHost::Finish(bool Failed) {
  std::shared_ptr<IBuilder> Builder = FBuilder;
  // The thread that ran the build is let go before anything else can start one.
  if (FBackground) WaitForBackgroundCompile();
  FQueues.Drain(FBackground);
  try {
    Builder->PostBuild();
  } catch (const Exception&) {
    Failed = true;
  }
  FResult = Failed ? crFailed : Builder->GetResult();
  if (FResult == crBackground) FResult = crSucceeded;
  TProgressMonitor& Monitor = ProgressMonitor();
  if (FResult == crFailed && Monitor.GetErrorCounts({msgError, msgFatal}) == 0) Monitor.IncErrorCount(msgFatal);

  TEvBuilder Finished(Builder.get(), FResult);
  try {
    FFinished.Send(Finished);
  } catch (const Exception&) {
    // A listener's failure does not keep the build from ending.
  }
  const auto Elapsed =
      std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - FStart);
  Monitor.IncBuildTime(static_cast<double>(Elapsed.count()) / 1000.0);
  TLineBuffer* Group = BuildGroup();
  TTitleLine::Make(*Group, FResult == crFailed ? res::SBuildFailed : res::SBuildSuccess);
  TTitleLine::Make(*Group, Format(res::SElapsedTime, FormatElapsedTime(Elapsed)));

  if (IProgressWindow* Window = ProgressWindow()) {
    if (FWindowOpen)
      Window->Close();
    else
      Window->SetWaitCursor(false);
  }
  FWindowOpen = false;
  if (FBackground) EndFileCacheUpdates();
  FBuilder.reset();
  WaitFlag = false;
  if (Monitor.GetErrorCounts({msgError, msgFatal}) > 0) NextErrorMessage(true, true);
}

void TBuildHost::WaitForBuild() {
  while (FBuilder) MainThreadQueue().WaitAndProcess(50);
}

namespace {
std::unique_ptr<TBuildHost>& HostSlot() {
  static std::unique_ptr<TBuildHost> Host;
  return Host;
}
}  // namespace

TBuildHost& BuildHost() {
  if (!HostSlot()) HostSlot() = std::make_unique<TBuildHost>();
  return *HostSlot();
}

void ResetBuildHost() { HostSlot().reset(); }

}  // namespace nxs
