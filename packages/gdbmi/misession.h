// A session with gdb on its machine interface: gdb runs as a child process (never through a
// shell), one reader thread reads its output record by record, and commands go out with
// tokens so that each answer finds the caller that waits for it. The program under the
// debugger writes to a terminal of its own, which the same thread reads into a bounded
// buffer: its output never mixes with gdb's records, and a program that prints without end
// costs no more memory than the bound.
//
// Nothing survives the session: gdb gets SIGKILL when the thread that started it ends (the
// reader thread, which lives as long as the session) or the process dies, and gdb kills the
// programs it started when it goes.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <future>
#include <map>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "gdbmi/mioutput.h"
#include "shared/exceptions.h"

namespace nxs::gdbmi {

// gdb could not be started, ended, or did not answer.
class EGdbError : public Exception {
 public:
  using Exception::Exception;
};

// gdb answered a command with "^error"; the message is gdb's own.
class EGdbCommandError : public EGdbError {
 public:
  using EGdbError::EGdbError;
};

struct TGdbOptions {
  // The gdb to run: looked up in PATH when it holds no "/".
  std::string Program = "gdb";
  // Bytes of the program's output kept until they are taken; older output is dropped first.
  size_t OutputLimit = 1 << 20;
  // How long a command waits for its answer.
  std::chrono::milliseconds Timeout = std::chrono::seconds(30);
};

class TGdbSession {
 public:
  // Called on the reader thread for every record that answers no command (asynchronous and
  // stream records, lines that are not records), then once with no record when gdb has ended.
  using TRecordHandler = std::function<void(const TMIRecord*)>;
  // Called on the reader thread when program output arrives in an empty buffer: whoever takes
  // the output learns once that there is some, not once per write.
  using TOutputHandler = std::function<void()>;

  TGdbSession(TRecordHandler OnRecord, TOutputHandler OnOutput, TGdbOptions Options = {});
  ~TGdbSession();
  TGdbSession(const TGdbSession&) = delete;  // the reader thread holds its address
  TGdbSession& operator=(const TGdbSession&) = delete;

  // Starts gdb and sets it up; EGdbError when it cannot be found or does not start.
  void Start();
  // Sends Command and waits for its answer: the "^done", "^running", "^connected" or "^exit"
  // record; EGdbCommandError for "^error", EGdbError when gdb ends or does not answer in time.
  TMIRecord Execute(std::string_view Command);
  // Sends Command without waiting; its answer is dropped. Returns false when gdb is gone.
  bool Post(std::string_view Command);
  // Ends gdb: asks it to exit, and kills it when it does not at once. Safe to call twice.
  void Stop();

  bool Alive() const;
  pid_t GdbPid() const { return FGdbPid; }
  // The terminal the program runs on.
  const std::string& ProgramTerminal() const { return FTerminalName; }
  // The program output gathered since the last call, and how many bytes were dropped since
  // then because the buffer was full.
  std::string TakeOutput(size_t* Dropped = nullptr);
  // Why gdb ended, once it has ("gdb ended with exit code 1", "gdb was killed by signal 9").
  std::string EndReason() const;

 private:
  struct TWaiter {
    bool Answered = false;
    TMIRecord Answer;
  };

  void ReaderMain(std::promise<void>* Started);
  void Spawn();
  void ReadGdbOutput();
  void ReadProgramOutput();
  void HandleLine(std::string_view Line);
  void GdbEnded();
  bool Write(const std::string& Text);

  TRecordHandler FOnRecord;
  TOutputHandler FOnOutput;
  TGdbOptions FOptions;

  int FToGdb = -1;        // gdb's standard input (a socket: a write to a gone gdb fails, no SIGPIPE)
  int FFromGdb = -1;      // gdb's standard output
  int FGdbErrors = -1;    // gdb's standard error
  int FTerminal = -1;     // the program's terminal, our side
  int FTerminalSlave = -1;  // kept open so that the terminal outlives each run of the program
  int FWake[2] = {-1, -1};  // wakes the reader to end it
  std::string FTerminalName;
  pid_t FGdbPid = -1;
  std::thread FReader;

  std::string FPartialLine;   // gdb's output up to its next line break
  std::string FPartialError;  // the same for its standard error

  mutable std::mutex FMutex;  // guards everything below
  std::condition_variable FChanged;
  std::map<uint64_t, TWaiter*> FWaiters;
  uint64_t FNextToken = 1;
  bool FEnded = false;     // gdb's output has ended
  bool FReaped = false;    // its exit status was collected: its pid may be reused
  std::string FEndReason;
  std::string FOutput;
  size_t FDropped = 0;
  std::mutex FWriteMutex;  // one command line at a time
};

}  // namespace nxs::gdbmi
