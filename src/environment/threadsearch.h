// The running search: the "Find in Files Thread" that runs the engine, and the message group
// its hits go to on the main thread.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "build/messages/msglines.h"
#include "environment/findengine.h"

namespace nxs {

// A line of a search group that tells of a file or folder that could not be read.
class TSearchProblemLine : public TTitleLine {
 public:
  using TTitleLine::TTitleLine;
};

// The running search: the "Find in Files Thread" and its message group.
class TThreadSearch {
 public:
  explicit TThreadSearch(TFindRequest Request);
  ~TThreadSearch();  // terminates and waits
  TThreadSearch(const TThreadSearch&) = delete;  // owns a thread
  TThreadSearch& operator=(const TThreadSearch&) = delete;

  void Start();
  void Terminate();
  void WaitFor();
  bool Finished() const { return FFinished; }
  int32_t HitCount() const { return FHitCount; }
  bool Terminated() const { return FEngine.Cancelled(); }
  TSearchLineBuffer* Group() const { return FGroup; }
  // The files and folders that could not be read so far (main thread).
  const std::vector<std::string>& Problems() const { return FProblems; }
  // Called on the main thread each time a batch of hits has joined the group: a host that
  // prints the lines and lets them go keeps the group small while the batches keep coming.
  void SetOnReported(std::function<void()> Fn) { FOnReported = std::move(Fn); }

 private:
  void Execute();
  void ReportFile(TFileHits& Hits);  // main thread; takes the file's problem
  TSearchLineBuffer& MakeGroup();   // main thread: the search group, made on first use
  void GroupRemoved(TEvMessageGroup& Args);

  TFindRequest FRequest;
  TFindEngine FEngine;
  std::thread FThread;
  std::atomic<bool> FFinished{false};
  std::atomic<int32_t> FHitCount{0};
  TSearchLineBuffer* FGroup = nullptr;
  TLine* FFileTitle = nullptr;
  std::string FFileTitleName;
  bool FGroupRemoved = false;
  std::vector<std::string> FProblems;
  std::function<void()> FOnReported;
};

// Whether a search thread is searching.
bool SearchRunning();
// The message groups that searches made, oldest first; the last is the current search group.
std::vector<TSearchLineBuffer*> SearchGroups();
// Forgets the search groups and stops listening for their removal (before the message lines go).
void ForgetSearchGroups();

}  // namespace nxs
