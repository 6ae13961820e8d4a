// Compiler file services: the table of plain functions through which an in-process compiler
// reads and writes files (the unsaved text of open edit buffers in place of the disk copies,
// in-memory virtual files, cached dates), reports messages and progress, and learns that it
// should stop. A compile may run on the background compile thread: what that thread asks of
// the edit buffers, the modules or the message lines is handed to the main thread.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "build/messages/msglines.h"
#include "shared/event.h"
#include "shared/exceptions.h"

namespace nxs {

// What a handle stands for: a file held in memory. A disk file opened for reading is read
// whole through the file system; one opened for writing reaches the disk, atomically, when it
// is flushed or closed.
class TCompilerStream {
 public:
  enum TKind { skMemory, skOSRead, skOSWrite };
  explicit TCompilerStream(TKind Kind = skMemory, std::string Data = {}, int32_t Date = 0, std::string FileName = {})
      : FKind(Kind), FData(std::move(Data)), FDate(Date), FFileName(std::move(FileName)) {}
  TCompilerStream(const TCompilerStream&) = delete;  // handles share it
  TCompilerStream& operator=(const TCompilerStream&) = delete;

  int64_t Read(void* Buffer, int64_t Count);
  int64_t Write(const void* Buffer, int64_t Count);
  // Origin 0: from the start, 1: from here, 2: from the end. -1 for a place before the start.
  int64_t Seek(int64_t Offset, int Origin);
  int64_t Size() const { return static_cast<int64_t>(FData.size()); }
  int64_t Position() const { return FPos; }
  // DOS date-time; 0 when the stream has none.
  int32_t Date() const { return FDate; }
  void SetDate(int32_t Date) { FDate = Date; }
  // Served on the calling thread, also the background compile thread.
  bool IsOSFile() const { return FKind != skMemory; }
  // A disk file being written goes to the disk. Raises EInOutError.
  void Flush();
  const std::string& Data() const { return FData; }
  void Truncate();

 private:
  TKind FKind;
  std::string FData;
  int64_t FPos = 0;
  int32_t FDate;
  std::string FFileName;
  bool FDirty = false;
};

// Lowest free slot first; guarded by its own lock, since the background compile thread
// opens and closes handles too.
class TFileDescriptorList {
 public:
  int Alloc(std::shared_ptr<TCompilerStream> Stream);
  std::shared_ptr<TCompilerStream> Get(int Handle) const;
  // Empties the slot and hands back what it held; -1 and empty slots give nullptr.
  std::shared_ptr<TCompilerStream> Close(int Handle);
  void CloseAll();
  int OpenCount() const;

 private:
  mutable std::mutex FLock;
  std::vector<std::shared_ptr<TCompilerStream>> FSlots;
  int FFreeHead = -1;
};

// A module may supply the stream for a file the compiler opens (main thread only).
class TEvCompilerFileOpen : public TEvArgs {
 public:
  explicit TEvCompilerFileOpen(std::string FileName) : FileName(std::move(FileName)) {}
  std::string FileName;
  std::shared_ptr<TCompilerStream> Stream;
};
// A module may answer the date of a file (main thread only); -1: no answer.
class TEvCompilerFileAge : public TEvArgs {
 public:
  explicit TEvCompilerFileAge(std::string FileName) : FileName(std::move(FileName)) {}
  std::string FileName;
  int32_t Age = -1;
};
// A compiler tells which files a file it compiled depends on (main thread only; those a
// background compile reports are taken and not passed on). A listener that refuses them
// clears Accepted.
class TEvCompilerFileDependencies : public TEvArgs {
 public:
  TEvCompilerFileDependencies(std::string FileName, std::vector<std::string> Dependencies)
      : FileName(std::move(FileName)), Dependencies(std::move(Dependencies)) {}
  std::string FileName;  // expanded
  std::vector<std::string> Dependencies;  // as the compiler named them
  bool Accepted = true;
};
TEvent<TEvCompilerFileOpen>& EvCompilerFileOpen();
TEvent<TEvCompilerFileAge>& EvCompilerFileAge();
TEvent<TEvCompilerFileDependencies>& EvCompilerFileDependencies();

// A listener that keeps the dependencies last reported for each file, for as long as it lives.
class TFileDependencyRecord {
 public:
  TFileDependencyRecord();
  ~TFileDependencyRecord();
  TFileDependencyRecord(const TFileDependencyRecord&) = delete;  // registered by its address
  TFileDependencyRecord& operator=(const TFileDependencyRecord&) = delete;

  // What the compiler reported last for FileName (expanded), or nullptr when it reported nothing.
  const std::vector<std::string>* Dependencies(const std::string& FileName) const;
  int Count() const { return static_cast<int>(FFiles.size()); }
  void Clear() { FFiles.clear(); }

 private:
  std::map<std::string, std::vector<std::string>> FFiles;
};

// The environment side.
int32_t CFileOpen(const std::string& Name, bool WithBOM = false);
// DOS date-time, -1 when the file does not exist. While the cache is in force a date is
// asked once and kept.
int32_t CFileNameDate(const std::string& Name);
// The date as it is now, asked again each time: the editor's for a file in an edit buffer,
// a virtual file's, what a module answers (main thread), else the disk's; -1 when none has
// the file. Compiled files are asked of the disk only.
int32_t CFileAge(const std::string& Name);
// False when neither an edit buffer nor the disk knows the file.
bool CFileNameInfo(const std::string& Name, int32_t& Date, int64_t& Size);
using TEnumPathCallback = void (*)(void* Context, int32_t Date, const char* FileName);
// Every file of Dir (the current project directory when empty) with its date, the editor's
// for a file open in an edit buffer; then the files of Dir that only the editor has.
void CEnumPathTimestamps(TEnumPathCallback Callback, void* Context, const std::string& Dir);
// What a compiler reading Name gets, read whole; false when it cannot open the file.
bool CReadWholeFile(const std::string& Name, std::string& Text);
std::shared_ptr<TCompilerStream> CFileHandleToStream(int32_t Handle);
int32_t CFileAllocHandleForStream(std::shared_ptr<TCompilerStream> Stream);
// A form held as text comes back as a new stream with its binary form and the same date; a
// binary form, anything else, and a text form that does not read come back as they were.
std::shared_ptr<TCompilerStream> CheckTextDFM(std::shared_ptr<TCompilerStream> Stream);
// A temporary copy ("vfs..." in the temporary directory) of a file open in an editor, for
// tools that read from disk: UTF-8 with a byte-order mark, or the file's saved form when
// EightBit. False when the file cannot be read.
bool AliasVFSFile(const std::string& Name, std::string& TempName, bool EightBit);
// A name for a new temporary copy: "vfs..." with Ext in the temporary directory, free now.
std::string NewVFSTempName(const std::string& Ext);
void SetCurrentProjectDir(const std::string& Dir);

// The cache is in force while updates are begun: missing files stay missing, disk files are
// read from disk without asking the editor, dates are asked once.
void BeginFileCacheUpdates();
void EndFileCacheUpdates();
void InvalidateFileCache();
bool FileCacheInForce();
void FreeVirtualFiles();
// Closes every handle, frees virtual files, aliases and the cache (tests, shutdown).
void ResetFileServices();
int OpenHandleCount();

// Where messages go. A personality with its own compiler-message handling takes them all;
// otherwise the message service does (by default: a compiler message line in "Build").
struct TCompilerMessage {
  TMsgKind Kind = msgInfo;
  std::string FileName;
  int32_t Line = 0;
  int32_t Column = 0;
  std::string Text;
  std::vector<std::string> ExtraLines;
};
using TCompilerMessageHook = std::function<void(const TCompilerMessage&)>;
void SetPersonalityMessageHook(TCompilerMessageHook Hook);
void SetCompilerMessageService(TCompilerMessageHook Hook);
// The direct-messages switch. While it is on, messages from the background compile thread go
// to the personality's hook or the message service on that thread, without waiting for the
// main thread (those hooks must then take calls from any thread). Messages that become
// message lines still go through the main thread, which owns them.
void SetDirectCompilerMessages(bool On);
bool DirectCompilerMessages();

// The progress window's model, which the host shows.
class IProgressMonitor {
 public:
  virtual ~IProgressMonitor() = default;
  virtual void Update(int Kind, const std::string& Text, int32_t Count1, int32_t Count2) = 0;
  virtual void IncCount(TMsgKind Kind) = 0;
  virtual void SetCount(TMsgKind Kind, int32_t Count) = 0;
  // False while the window does not let the message loop run.
  virtual bool AllowsMessageLoop() { return true; }
  // True once the user cancelled: progress calls then ask the compiler to stop. Read from
  // any thread.
  virtual bool Cancelled() const { return false; }
};
void SetProgressMonitor(std::shared_ptr<IProgressMonitor> Monitor);
void SetProgressSuppressed(bool Suppressed);
// Milliseconds of a steady clock; tests set their own.
void SetFileServicesClock(std::function<int64_t()> NowMs);

// Background compiling.
class EBackgroundCompileNotAllowed : public Exception {
 public:
  using Exception::Exception;
};
// Runs Body on the "Background Compile Thread". Raises EBackgroundCompileNotAllowed while
// background compiling is disabled or another background compile runs.
void StartBackgroundCompile(std::function<void()> Body);
bool GetBackgroundCompileActive();
// Pumps the main-thread queue until the background compile has ended, then lets it go.
void WaitForBackgroundCompile();
// Ask: the user confirms first (true only on Yes). Then the compiler is told to stop, and the
// main thread serves its calls until it has gone. True when no compile runs.
bool CancelBackgroundCompile(bool Ask);
void EnableBackgroundCompiling();
void DisableBackgroundCompiling();
bool BackgroundCompileDisabled();
// True on the background compile thread.
bool OnCompileThread();

}  // namespace nxs

// The entry points compilers call. Handles are 32-bit; -1 is failure. Names are UTF-8.
extern "C" {
int32_t BFILEOPEN(const char* Name);
int32_t BFILEOPENWITHBOM(const char* Name);
int32_t BFILECREATE(const char* Name);
int32_t BFILECREATEV(const char* Name);
int32_t BFILECLOSE(int32_t Handle);
void BFILEFLUSH(int32_t Handle);
int32_t BFILEREAD(int32_t Handle, void* Buffer, int32_t Count);
int32_t BFILEWRITE(int32_t Handle, const void* Buffer, int32_t Count);
int32_t BFILESEEK(int32_t Handle, int32_t Offset, int32_t Origin);
int32_t BFILEGETDATE(int32_t Handle);
int32_t BFILESTATUS(int32_t Handle, int32_t* Date, int32_t* Size);
int32_t BCFILENAMEDATE(const char* Name);
int32_t BCFILENAMEINFO(const char* Name, int32_t* Date, int32_t* Size);
void BCENUMPATHTIMESTAMPS(nxs::TEnumPathCallback Callback, void* Context, const char* Directory);
int32_t GETCURTIME(void);
void BSETERRORCOUNT(int32_t Count);
void BPROCESSMESSAGES(void);
void BMSG(int32_t Kind, const char* FileName, int32_t Line, int32_t Column, const char* Text);
int32_t BMULTILINEMESSAGE(int32_t Kind, const char* FileName, int32_t Line, int32_t Column, const char* Text,
                          const char* const* ExtraLines, int32_t ExtraCount);
int32_t BPROGRESS(int32_t Kind, const char* Text, int32_t Count1, int32_t Count2);
int32_t BPOSTFILEDEPENDENCIES(const char* FileName, const char* const* Dependencies, int32_t Count);
}
