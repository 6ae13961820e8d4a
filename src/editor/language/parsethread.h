// The background parse thread: one thread that parses the open sources once the text has
// been quiet for a delay, runs one-off tasks queued by other parts, and shares one lock
// with the main thread so that parsers read editor data while nobody changes it.
#pragma once

#include <any>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace nxs {

class TParseThread;
class TParserTask;

// A parser the thread calls after each quiet period. Parse runs with the parse lock held
// and must poll TParseThread::GetCancelState, returning soon once it is set; anything that
// touches the user interface goes through the main-thread queue.
class IParseThreadParser {
 public:
  virtual ~IParseThreadParser() = default;
  virtual void Parse() = 0;
};

using TParserTaskAction = std::function<void(TParserTask&)>;

// An event that stays signalled until it is reset.
class TManualResetEvent {
 public:
  void Set();
  void Reset();
  bool IsSet() const;
  // Waits up to TimeoutMs (negative: for ever); true when the event was signalled.
  bool WaitFor(int TimeoutMs);

 private:
  mutable std::mutex FMutex;
  std::condition_variable FChanged;
  bool FSet = false;
};

// A one-off piece of work for the parse thread. The action and its requester exchange
// results through the named values.
class TParserTask {
 public:
  TParserTask(TParserTaskAction Action, TParseThread* Thread);
  TParserTask(const TParserTask&) = delete;  // the queue and the requester share one task
  TParserTask& operator=(const TParserTask&) = delete;

  // Runs the action (on the parse thread) and signals the done event.
  void Execute();
  // Marks the task canceled; when it already runs, waits until it has stopped.
  void Cancel();
  bool IsCanceled() const { return FCanceled.load(); }
  bool IsRunning() const { return FRunning.load(); }
  bool IsFinished() const { return FDone.IsSet(); }
  // Waits for the task to finish; on the main thread the main-thread queue keeps being
  // served meanwhile. False when the wait timed out.
  bool WaitFor(int TimeoutMs);

  void SetValue(const std::string& Name, std::any Value);
  // An empty value when Name was never set.
  std::any GetValue(const std::string& Name) const;

 private:
  TParserTaskAction FAction;
  TParseThread* FThread;
  std::atomic<bool> FRunning{false};
  std::atomic<bool> FCanceled{false};
  TManualResetEvent FDone;
  mutable std::mutex FValuesMutex;
  std::map<std::string, std::any> FValues;
};

enum class TParsePriority { Lower, Normal, AboveNormal };

// A lock the holding thread may take again. Built on a plain mutex and a condition rather
// than the library's recursive timed mutex, whose timed wait the thread checker cannot see.
class TRecursiveLock {
 public:
  // False when TimeoutMs passed first; a negative timeout waits for ever.
  bool TryLockFor(int TimeoutMs);
  void Lock() { TryLockFor(-1); }
  void Unlock();

 private:
  std::mutex FMutex;
  std::condition_variable FFree;
  std::thread::id FOwner;
  int FDepth = 0;
};

class TParseThread {
 public:
  using TClock = std::function<std::chrono::steady_clock::time_point()>;

  // Starts the thread. Clock stands in for the steady clock in tests.
  explicit TParseThread(TClock Clock = {});
  // Terminates the thread and waits for it.
  ~TParseThread();
  TParseThread(const TParseThread&) = delete;  // the thread refers to it
  TParseThread& operator=(const TParseThread&) = delete;

  // Both cancel the running parse and take the lock while they change the list.
  void Add(std::shared_ptr<IParseThreadParser> Parser);
  void Remove(const IParseThreadParser* Parser);

  // Restarts the quiet period. Cheap enough for every keystroke: it wakes the thread only when
  // the thread had nothing to do.
  void Modified();
  // Wakes the thread to measure the quiet period again.
  void SetDelay(int Milliseconds);
  int Delay() const;
  // Modified, and wakes the thread whatever it waits for.
  void ParseNow();
  // Requests a parse and waits up to TimeoutMs until a parse that started after the request
  // has finished. With RunSynchronized the main-thread queue is served while waiting, so a
  // parser that hands work to the main thread cannot stall the wait.
  bool WaitForParse(bool RunSynchronized, int TimeoutMs);
  // Queues Action; a missing action gives no task. With LockNow the running parse is
  // canceled while the task is queued.
  std::shared_ptr<TParserTask> StartTask(bool LockNow, TParserTaskAction Action);

  // The parse lock. It may be taken again by the thread that holds it. On the main thread
  // the wait keeps serving the main-thread queue, so a parser that waits for the main thread
  // while holding the lock cannot deadlock with it.
  void Lock();
  void Unlock();
  // Cancels the running parse or task and takes the lock.
  void CancelAndLock();
  int LockCount() const { return FLockCount.load(); }

  // The process-wide cancel flag; Set returns the previous state.
  static int32_t SetCancelState(int32_t Value);
  static int32_t GetCancelState();

  void Terminate();

  bool IsParsing() const { return FParsing.load(); }
  TParsePriority Priority() const { return FPriority.load(); }
  // How many parses ran to their end; tests and benchmarks watch it.
  int64_t ParseCount() const { return FParseCount.load(); }

 private:
  void Body();
  void RunTasks();
  void DoParse();
  void SetPriority(TParsePriority P) { FPriority.store(P); }
  std::chrono::steady_clock::time_point Now() const;

  TClock FClock;
  std::vector<std::shared_ptr<IParseThreadParser>> FParsers;  // under the parse lock
  std::mutex FQueueMutex;
  std::deque<std::shared_ptr<TParserTask>> FTasks;
  TRecursiveLock FLock;
  std::atomic<int> FLockCount{0};

  // The quiet period: the time stamps, the delay and the modification sequence.
  mutable std::mutex FTimeMutex;
  std::condition_variable FParsedChanged;
  std::chrono::steady_clock::time_point FLastModified{};
  std::chrono::steady_clock::time_point FLastParseStart{};
  int FDelay = 500;
  // Counted rather than compared by time so that two modifications in one clock tick are
  // never taken for none; a parse remembers the count it started from.
  uint64_t FModifiedSeq = 0;
  uint64_t FParsedSeq = 0;    // the count the last finished parse started from
  uint64_t FStartedSeq = 0;   // the count the running parse started from
  bool FSleepsUntilChanged = false;  // the thread waits without a time limit

  TManualResetEvent FWake;
  TManualResetEvent FParseDone;
  std::atomic<bool> FLowerPriority{true};
  std::atomic<TParsePriority> FPriority{TParsePriority::Normal};
  std::atomic<bool> FParsing{false};
  std::atomic<bool> FTerminated{false};
  std::atomic<int64_t> FParseCount{0};
  std::thread FThread;
};

// The process's parse thread, started on first use.
TParseThread& ParseThread();
// Stops it (at shutdown, and between tests).
void ShutdownParseThread();
// True from the first ParseThread until ShutdownParseThread.
bool ParseThreadRunning();

}  // namespace nxs
