// The lock a build holds on its project's intermediate folder, so that two builds of one
// project (two nxs processes, or nxs beside the IDE) take turns instead of running ninja or
// fpc on the same files at once. The "LockIntermediateDir" task takes it as the shipped
// targets' builds start; the build host lets it go when the project's build ends.
#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <thread>

#include "build/compilers/compilers.h"
#include "build/compilers/compiletask.h"
#include "build/compilers/resstrings.h"
#include "build/engine/filetimes.h"
#include "shared/folderlock.h"
#include "shared/format.h"

namespace nxs::compilers {

using namespace engine;

namespace {

std::mutex& HeldLocksMutex() {
  static std::mutex M;
  return M;
}

struct THeldLock {
  std::unique_ptr<TFolderLock> Lock;
  // The span of the make (filetimes.h) in which the folder was seen holding the build's files,
  // 0 for none.
  uint64_t FilesSeen = 0;
};

// By folder: a project that this process builds again within one build (Build is Clean,
// then Make) holds its lock once.
std::map<std::string, THeldLock>& HeldLocks() {
  static std::map<std::string, THeldLock> Locks;
  return Locks;
}

// Wait (Boolean, true by default): whether to wait for another build that holds the folder;
// without waiting the build fails at once. A waiting build says once that it waits, and
// stops waiting when it is cancelled.
bool RunLockIntermediateDir(TTaskContext& Context) {
  const std::string Dir = TProjectOptions(Context).IntermediateDir();
  {
    std::lock_guard G(HeldLocksMutex());
    if (HeldLocks().count(Dir)) return true;
  }
  auto Lock = std::make_unique<TFolderLock>(Dir);
  const bool Wait = Context.BoolParameter("Wait", true);
  for (bool Said = false;; Said = true) {
    std::string Error;
    switch (Lock->TryLock(Error)) {
      case TFolderLock::flLocked: {
        std::lock_guard G(HeldLocksMutex());
        HeldLocks()[Dir].Lock = std::move(Lock);
        return true;
      }
      case TFolderLock::flFailed:
        ReportError(Context, Format(res::SBuildLockFailed, Dir, Error));
        return false;
      case TFolderLock::flBusy:
        break;
    }
    if (!Wait) {
      ReportError(Context, Format(res::SBuildLockBusy, Dir));
      return false;
    }
    if (!Said) {
      // Named after the project, so that the message view shows it with the build's messages.
      TBuildEvent E;
      E.Importance = imHigh;
      E.Text = Format(res::SBuildLockWaiting, Dir);
      E.File = Context.Project().FullPath();
      Context.Log(E);
    }
    if (Context.Cancelled()) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
}

}  // namespace

// The lock's file is no file a check asks about: the task changes nothing checks see.
void RegisterBuildLockTask() { RegisterCheckingTask("LockIntermediateDir", RunLockIntermediateDir); }

void BuildFilesSeen(const std::string& IntermediateDir) {
  std::lock_guard G(HeldLocksMutex());
  auto It = HeldLocks().find(IntermediateDir);
  if (It != HeldLocks().end()) It->second.FilesSeen = UnchangedSpan();
}

void ReleaseBuildLocks() {
  std::lock_guard G(HeldLocksMutex());
  // A folder seen holding the build's files, with nothing changing files since, holds them
  // still: a make with nothing to do need not look into each project's folder as it ends.
  const uint64_t Span = UnchangedSpan();
  for (auto& [Dir, Held] : HeldLocks())
    if (Span != 0 && Held.FilesSeen == Span) Held.Lock->KnowOtherFiles();
  HeldLocks().clear();
}

}  // namespace nxs::compilers
