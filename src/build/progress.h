// The progress monitor: what the progress window shows while a build runs (counts of hints,
// warnings and errors, the title, the action, the file and its line counts, the project, the
// time spent building) and how the user's cancel reaches the tasks. The window itself is the
// host's: it sets the update handler, which always runs on the main thread.
#pragma once

#include <array>
#include <atomic>
#include <functional>
#include <initializer_list>
#include <memory>
#include <mutex>
#include <string>

#include "build/messages/filesvc.h"

namespace nxs {

enum TProgKind { progLoading, progCompiling, progLinking, progDone, progNone, progChecking, progCleaning };

class TProgressMonitor : public IProgressMonitor {
 public:
  // Called on the main thread after every change the window should show; clearing Continue
  // asks the build to stop.
  using TUpdateHandler = std::function<void(TProgressMonitor& Monitor, bool& Continue)>;

  TProgressMonitor() = default;
  TProgressMonitor(const TProgressMonitor&) = delete;  // threads hold it while a build runs
  TProgressMonitor& operator=(const TProgressMonitor&) = delete;

  // Counters, line counts, names and a pending cancel go; the handler and the build time stay.
  void Reset();

  // Runs the update handler on the main thread (an update from another thread waits for it).
  // False when the handler cleared its continue flag or the user cancelled: the caller stops.
  bool DoUpdate();
  // The handler's run itself; main thread only.
  void MainThreadUpdate();

  void IncErrorCount(TMsgKind Kind);
  int GetErrorCount(TMsgKind Kind) const;
  int GetErrorCounts(std::initializer_list<TMsgKind> Kinds) const;
  void SetErrorCount(TMsgKind Kind, int Count);

  void IncBuildTime(double Seconds);
  double BuildTime() const;

  void SetTitle(const std::string& Value);
  void SetAction(const std::string& Value);
  void SetFileName(const std::string& Value);
  void SetProject(const std::string& Value);
  void SetFileLineCount(int Value) { FFileLines = Value; }
  void SetTotalLineCount(int Value) { FTotalLines = Value; }
  std::string Title() const;
  std::string Action() const;
  std::string FileName() const;
  std::string Project() const;
  int FileLineCount() const { return FFileLines; }
  int TotalLineCount() const { return FTotalLines; }

  void SetOnUpdate(TUpdateHandler Handler);

  // The progress window's cancel button: the next update reports cancel, and the engine's
  // tasks see the flag until the next Reset.
  void Cancel() { FCancelled = true; }
  bool Cancelled() const override { return FCancelled; }
  const std::atomic<bool>& CancelFlag() const { return FCancelled; }

  // What the compiler file services report (BPROGRESS, BMSG, BSETERRORCOUNT).
  void Update(int Kind, const std::string& Text, int32_t Count1, int32_t Count2) override;
  void IncCount(TMsgKind Kind) override { IncErrorCount(Kind); }
  void SetCount(TMsgKind Kind, int32_t Count) override { SetErrorCount(Kind, Count); }

 private:
  mutable std::mutex FLock;  // the texts and the handler
  std::string FTitle, FAction, FFileName, FProject;
  TUpdateHandler FOnUpdate;
  std::array<std::atomic<int>, 5> FCounts{};
  std::atomic<int> FFileLines{0}, FTotalLines{0};
  std::atomic<bool> FCancelled{false};
  std::atomic<bool> FContinue{true};
  double FBuildTime = 0;  // under FLock
};

// The process's monitor, made on first use and handed to the compiler file services.
TProgressMonitor& ProgressMonitor();
std::shared_ptr<TProgressMonitor> ProgressMonitorPtr();
// Drops the process's monitor (tests, shutdown).
void ResetProgressMonitor();

// A tool's progress: sets the action for the kind ("Compiling: " and the file's name with
// its line counts, "Linking: " and the project's output file, "Checking: " and the file,
// "Cleaning: " and the project file) and updates. False asks the tool to stop.
bool CompilerUpdateProgress(TProgKind Kind, const std::string& FileName, int Lines, int TotalLines);

// The host's progress window. For a background build it stays on top, partly transparent, and
// the build goes on while it shows; without one the host shows a wait cursor.
class IProgressWindow {
 public:
  virtual ~IProgressWindow() = default;
  virtual void Open(TProgressMonitor& Monitor, bool Background) = 0;
  virtual void Close() = 0;
  virtual void SetWaitCursor(bool On) = 0;
};
void SetProgressWindow(std::shared_ptr<IProgressWindow> Window);
IProgressWindow* ProgressWindow();

}  // namespace nxs
