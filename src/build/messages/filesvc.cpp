// Compiler file services: the handle table, virtual files, the compiler cache and aliases,
// opening and dating files, directory enumeration, the background compile with its
// hand-over to the main thread, messages and progress.
#include "build/messages/filesvc.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <map>
#include <random>
#include <set>
#include <thread>

#include "build/messages/kibitz.h"
#include "build/messages/resstrings.h"
#include "editor/buffers/editbuffer.h"
#include "editor/buffers/editstream.h"
#include "modules/formfile.h"
#include "shared/dialogs.h"
#include "shared/dosdate.h"
#include "shared/fileio.h"
#include "shared/filenames.h"
#include "shared/format.h"
#include "shared/mainthread.h"
#include "shared/text.h"

namespace nxs {

// ---- streams and handles ----

int64_t TCompilerStream::Read(void* Buffer, int64_t Count) {
  if (Count <= 0 || FPos >= Size()) return 0;
  const int64_t N = std::min(Count, Size() - FPos);
  std::memcpy(Buffer, FData.data() + FPos, static_cast<size_t>(N));
  FPos += N;
  return N;
}

int64_t TCompilerStream::Write(const void* Buffer, int64_t Count) {
  if (Count <= 0) return 0;
  if (FKind == skOSRead) return 0;
  const auto End = static_cast<size_t>(FPos + Count);
  if (End > FData.size()) FData.resize(End);
  std::memcpy(FData.data() + FPos, Buffer, static_cast<size_t>(Count));
  FPos += Count;
  FDirty = true;
  return Count;
}

int64_t TCompilerStream::Seek(int64_t Offset, int Origin) {
  int64_t Base = 0;
  if (Origin == 1) Base = FPos;
  else if (Origin == 2) Base = Size();
  else if (Origin != 0) return -1;
  if (Offset < -Base) return -1;
  FPos = Base + Offset;
  return FPos;
}

void TCompilerStream::Flush() {
  if (FKind != skOSWrite || !FDirty) return;
  FileSystem().WriteFile(FFileName, FData);
  FDirty = false;
}

void TCompilerStream::Truncate() {
  FData.clear();
  FPos = 0;
  FDirty = true;
}

int TFileDescriptorList::Alloc(std::shared_ptr<TCompilerStream> Stream) {
  std::lock_guard G(FLock);
  if (FFreeHead < 0) {
    FSlots.push_back(std::move(Stream));
    return static_cast<int>(FSlots.size()) - 1;
  }
  const int Handle = FFreeHead;
  FSlots[static_cast<size_t>(Handle)] = std::move(Stream);
  FFreeHead = -1;
  for (size_t I = static_cast<size_t>(Handle) + 1; I < FSlots.size(); ++I)
    if (!FSlots[I]) {
      FFreeHead = static_cast<int>(I);
      break;
    }
  return Handle;
}

std::shared_ptr<TCompilerStream> TFileDescriptorList::Get(int Handle) const {
  std::lock_guard G(FLock);
  if (Handle < 0 || Handle >= static_cast<int>(FSlots.size())) return nullptr;
  return FSlots[static_cast<size_t>(Handle)];
}

std::shared_ptr<TCompilerStream> TFileDescriptorList::Close(int Handle) {
  std::lock_guard G(FLock);
  if (Handle < 0 || Handle >= static_cast<int>(FSlots.size())) return nullptr;
  std::shared_ptr<TCompilerStream> S = std::move(FSlots[static_cast<size_t>(Handle)]);
  FSlots[static_cast<size_t>(Handle)] = nullptr;
  if (S && (FFreeHead < 0 || Handle < FFreeHead)) FFreeHead = Handle;
  return S;
}

void TFileDescriptorList::CloseAll() {
  std::lock_guard G(FLock);
  FSlots.clear();
  FFreeHead = -1;
}

int TFileDescriptorList::OpenCount() const {
  std::lock_guard G(FLock);
  return static_cast<int>(std::count_if(FSlots.begin(), FSlots.end(), [](const auto& S) { return S != nullptr; }));
}

TEvent<TEvCompilerFileOpen>& EvCompilerFileOpen() {
  static TEvent<TEvCompilerFileOpen> E;
  return E;
}

TEvent<TEvCompilerFileAge>& EvCompilerFileAge() {
  static TEvent<TEvCompilerFileAge> E;
  return E;
}

TEvent<TEvCompilerFileDependencies>& EvCompilerFileDependencies() {
  static TEvent<TEvCompilerFileDependencies> E;
  return E;
}

TFileDependencyRecord::TFileDependencyRecord() {
  EvCompilerFileDependencies().Add(this, [this](TEvCompilerFileDependencies& A) { FFiles[A.FileName] = A.Dependencies; });
}

TFileDependencyRecord::~TFileDependencyRecord() { EvCompilerFileDependencies().Remove(this); }

const std::vector<std::string>* TFileDependencyRecord::Dependencies(const std::string& FileName) const {
  auto It = FFiles.find(FileName);
  return It == FFiles.end() ? nullptr : &It->second;
}

// ---- the services' state ----

namespace {

thread_local bool IsCompileThread = false;

// Names compare exactly on this system: the expanded name is the key.
struct TCompilerCache {
  int Updates = 0;
  std::set<std::string> Missing, OSFiles, EditorFiles;
  std::map<std::string, int32_t> Ages;
  std::map<std::string, std::string> Aliases;  // file -> its temporary copy
};

struct TServices {
  TFileDescriptorList Handles;
  std::mutex Lock;  // guards everything below, which both threads reach
  TCompilerCache Cache;
  std::map<std::string, std::shared_ptr<TCompilerStream>> Virtual;
  std::string ProjectDir;

  // Under Lock: with the direct-messages switch on, the compile thread calls them.
  TCompilerMessageHook PersonalityHook, MessageService;
  std::atomic<bool> DirectMessages{false};

  // Main thread only.
  std::shared_ptr<IProgressMonitor> Progress;
  bool ProgressSuppressed = false;
  std::function<int64_t()> Clock;
  int LastKind = -1;
  std::string LastText;
  int64_t LastUpdate = 0, LastPump = 0;

  // Background compiling.
  std::atomic<int32_t> Cancel{0};
  std::atomic<int> Disabled{0};
  std::thread CompileThread;
  std::atomic<bool> CompileDone{true};

  TServices() { EvEditBufferFileChanged().Add(this, [this](TEvEditBufferLife& A) { ForgetAge(A.Buffer.FileName()); }); }
  ~TServices() {
    EvEditBufferFileChanged().Remove(this);
    // A compile still running at exit was never cancelled; waiting for it here could wait
    // for a main thread that no longer pumps.
    if (CompileThread.joinable()) CompileThread.detach();
  }

  void ForgetAge(const std::string& Name) {
    std::lock_guard G(Lock);
    Cache.Ages.erase(ExpandFileName(Name));
  }
  bool InForce() {
    std::lock_guard G(Lock);
    return Cache.Updates > 0;
  }
  // The alias table goes with its temporary files.
  void ClearAliases() {
    for (auto& [Name, Temp] : Cache.Aliases) {
      try {
        FileSystem().DeleteFile(Temp);
      } catch (const Exception&) {
        // A temporary file someone removed already.
      }
    }
    Cache.Aliases.clear();
  }
  int64_t Now() {
    if (Clock) return Clock();
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
  }
};

TServices& S() {
  static TServices Services;
  return Services;
}

std::string Expand(const std::string& Name) {
  std::string Dir;
  {
    std::lock_guard G(S().Lock);
    Dir = S().ProjectDir;
  }
  return ExpandFileName(Name, Dir);
}

bool IsCompiledFile(const std::string& Name) {
  const std::string Ext = ExtractFileExt(Name);
  for (const char* E : {".vcu", ".vcp", ".obj", ".lib"})
    if (SameText(Ext, E)) return true;
  return false;
}

// True while the cache is in force and Set holds Name.
bool Marked(const std::set<std::string>& Set, const std::string& Name) {
  std::lock_guard G(S().Lock);
  return S().Cache.Updates > 0 && Set.count(Name) > 0;
}

void Mark(std::set<std::string> TCompilerCache::*Set, const std::string& Name, bool On) {
  std::lock_guard G(S().Lock);
  if (S().Cache.Updates == 0) return;
  if (On) (S().Cache.*Set).insert(Name);
  else (S().Cache.*Set).erase(Name);
}

// The buffer's text as the compiler gets it: what the file holds once saved, or UTF-8 after a
// byte-order mark. Read under the buffer's lock.
std::shared_ptr<TCompilerStream> EditorStream(TEditBuffer& B, bool WithBOM) {
  std::string Text;
  B.Lock();
  try {
    if (WithBOM) {
      std::unique_ptr<TEditorStream> E = OpenEditorStream(B, true);
      Text.resize(E->Size());
      Text.resize(static_cast<size_t>(E->Read(Text.data(), static_cast<int>(Text.size()))));
    } else {
      Text = B.SavedText();
    }
  } catch (...) {
    B.Unlock();
    throw;
  }
  B.Unlock();
  return std::make_shared<TCompilerStream>(TCompilerStream::skMemory, std::move(Text), B.FileAge());
}

std::shared_ptr<TCompilerStream> DiskStream(const std::string& Name) {
  IFileSystem& FS = FileSystem();
  const TFileInfo Info = FS.Stat(Name);
  if (!Info.Exists || Info.IsDirectory) return nullptr;
  std::string Data = FS.ReadFile(Name);
  return std::make_shared<TCompilerStream>(TCompilerStream::skOSRead, std::move(Data), UnixToFileDate(Info.ModifiedTime));
}

std::shared_ptr<TCompilerStream> FormChecked(const std::string& Name, std::shared_ptr<TCompilerStream> Stream) {
  return Stream && IsFormFileName(Name) ? CheckTextDFM(std::move(Stream)) : Stream;
}

// Every exception stops at the entry points: a compiler knows only failure results.
template <class TResult, class TFn>
TResult Guarded(TResult Failure, TFn&& Fn) {
  try {
    return Fn();
  } catch (...) {
    return Failure;
  }
}

// Runs Fn where it may run: on the calling thread, or on the main thread for the compile
// thread, waiting for it.
template <class TFn>
auto OnMain(TFn&& Fn) -> decltype(Fn()) {
  if (!IsCompileThread) return Fn();
  decltype(Fn()) Result{};
  Synchronize([&] { Result = Fn(); });
  return Result;
}

// A handle's operation: a disk file's runs on the calling thread, any other on the main one.
template <class TResult, class TFn>
TResult OnStream(int32_t Handle, TResult Failure, TFn&& Fn) {
  return Guarded(Failure, [&]() -> TResult {
    std::shared_ptr<TCompilerStream> St = S().Handles.Get(Handle);
    if (!St) return Failure;
    if (!IsCompileThread || St->IsOSFile()) return Fn(*St);
    TResult R = Failure;
    Synchronize([&] { R = Fn(*St); });
    return R;
  });
}

std::shared_ptr<TEditBuffer> EditorBuffer(const std::string& Name) {
  if (!S().InForce()) return TEditBuffer::FindBuffer(Name);
  std::lock_guard G(S().Lock);
  if (!S().Cache.EditorFiles.count(Name)) return nullptr;
  return TEditBuffer::FindBuffer(Name);
}

}  // namespace

// ---- opening and dates ----

int32_t CFileOpen(const std::string& Name, bool WithBOM) {
  const std::string N = Expand(Name);
  if (Marked(S().Cache.Missing, N)) return -1;
  std::shared_ptr<TCompilerStream> St;
  if (Marked(S().Cache.OSFiles, N)) {
    St = DiskStream(N);
  } else {
    if (!IsCompiledFile(N)) {
      if (std::shared_ptr<TEditBuffer> B = EditorBuffer(N)) St = EditorStream(*B, WithBOM);
      if (!St) {
        std::lock_guard G(S().Lock);
        auto It = S().Virtual.find(N);
        if (It != S().Virtual.end()) {
          St = It->second;
          St->Seek(0, 0);
        }
      }
      if (!St && MainThreadQueue().IsMainThread()) {
        TEvCompilerFileOpen Args(N);
        EvCompilerFileOpen().Send(Args);
        St = Args.Stream;
      }
    }
    if (!St) {
      St = DiskStream(N);
      if (St) Mark(&TCompilerCache::OSFiles, N, true);
    }
  }
  St = FormChecked(N, std::move(St));
  if (!St) {
    Mark(&TCompilerCache::Missing, N, true);
    return -1;
  }
  return S().Handles.Alloc(std::move(St));
}

namespace {

// The date of the expanded name N, as CFileAge gives it.
int32_t AgeOf(const std::string& N) {
  if (!IsCompiledFile(N)) {
    if (std::shared_ptr<TEditBuffer> B = EditorBuffer(N)) return B->FileAge();
    {
      std::lock_guard G(S().Lock);
      auto It = S().Virtual.find(N);
      if (It != S().Virtual.end()) return It->second->Date();
    }
    if (MainThreadQueue().IsMainThread()) {
      TEvCompilerFileAge Args(N);
      EvCompilerFileAge().Send(Args);
      if (Args.Age != -1) return Args.Age;
    }
  }
  const TFileInfo Info = FileSystem().Stat(N);
  return Info.Exists && !Info.IsDirectory ? UnixToFileDate(Info.ModifiedTime) : -1;
}

}  // namespace

int32_t CFileAge(const std::string& Name) { return AgeOf(Expand(Name)); }

int32_t CFileNameDate(const std::string& Name) {
  const std::string N = Expand(Name);
  {
    std::lock_guard G(S().Lock);
    if (S().Cache.Updates > 0) {
      auto It = S().Cache.Ages.find(N);
      if (It != S().Cache.Ages.end()) return It->second;
    }
  }
  const int32_t Age = AgeOf(N);
  std::lock_guard G(S().Lock);
  if (S().Cache.Updates > 0) S().Cache.Ages[N] = Age;
  return Age;
}

bool CFileNameInfo(const std::string& Name, int32_t& Date, int64_t& Size) {
  const std::string N = Expand(Name);
  if (std::shared_ptr<TEditBuffer> B = EditorBuffer(N)) {
    std::shared_ptr<TCompilerStream> St = EditorStream(*B, false);
    Date = St->Date();
    Size = St->Size();
    return true;
  }
  const TFileInfo Info = FileSystem().Stat(N);
  if (!Info.Exists || Info.IsDirectory) return false;
  Date = UnixToFileDate(Info.ModifiedTime);
  Size = static_cast<int64_t>(Info.Size);
  return true;
}

void CEnumPathTimestamps(TEnumPathCallback Callback, void* Context, const std::string& Dir) {
  // The editor's dates, read on the main thread.
  std::map<std::string, int32_t> EditorDates;
  auto Refill = [&]() -> int {
    for (const auto& B : TEditBuffer::AllBuffers()) EditorDates[ExpandFileName(B->FileName())] = B->FileAge();
    return 0;
  };
  OnMain(Refill);
  std::string D;
  {
    std::lock_guard G(S().Lock);
    D = Dir.empty() ? S().ProjectDir : Dir;
  }
  D = ExcludeTrailingPathDelimiter(ExpandFileName(D.empty() ? "." : D));
  IFileSystem& FS = FileSystem();
  std::set<std::string> Listed;
  std::vector<std::string> Names;
  try {
    Names = FS.ListDirectory(D);
  } catch (const Exception&) {
    // A directory that cannot be read lists nothing from the disk; the editor's files remain.
  }
  std::sort(Names.begin(), Names.end());
  for (const std::string& E : Names) {
    const std::string Full = IncludeTrailingPathDelimiter(D) + E;
    const TFileInfo Info = FS.Stat(Full);
    if (!Info.Exists || Info.IsDirectory) continue;
    Listed.insert(Full);
    auto It = EditorDates.find(Full);
    Callback(Context, It != EditorDates.end() ? It->second : UnixToFileDate(Info.ModifiedTime), Full.c_str());
  }
  for (const auto& [Full, Date] : EditorDates)
    if (!Listed.count(Full) && ExtractFileDir(Full) == D) Callback(Context, Date, Full.c_str());
}

bool CReadWholeFile(const std::string& Name, std::string& Text) {
  const int32_t H = BFILEOPEN(Name.c_str());
  if (H < 0) return false;
  std::shared_ptr<TCompilerStream> St = S().Handles.Close(H);
  Text = St->Data();
  return true;
}

std::shared_ptr<TCompilerStream> CFileHandleToStream(int32_t Handle) { return S().Handles.Get(Handle); }

int32_t CFileAllocHandleForStream(std::shared_ptr<TCompilerStream> Stream) {
  return Stream ? S().Handles.Alloc(std::move(Stream)) : -1;
}

std::shared_ptr<TCompilerStream> CheckTextDFM(std::shared_ptr<TCompilerStream> Stream) {
  if (!Stream || IsBinaryForm(Stream->Data()) || !LooksLikeTextForm(Stream->Data())) return Stream;
  try {
    return std::make_shared<TCompilerStream>(TCompilerStream::skMemory, FormTextToBinary(Stream->Data()), Stream->Date());
  } catch (const EFormFileError&) {
    return Stream;  // the compiler reports the form it cannot read
  }
}

std::string NewVFSTempName(const std::string& Ext) {
  const char* Tmp = std::getenv("TMPDIR");
  const std::string Dir = IncludeTrailingPathDelimiter(Tmp && *Tmp ? Tmp : "/tmp");
  static std::atomic<uint32_t> Counter{0};
  std::random_device Random;
  std::string Temp;
  do {
    Temp = Dir + Format("vfs%x%x%s", Random(), ++Counter, Ext);
  } while (FileSystem().Stat(Temp).Exists);
  return Temp;
}

bool AliasVFSFile(const std::string& Name, std::string& TempName, bool EightBit) {
  const std::string N = Expand(Name);
  {
    std::lock_guard G(S().Lock);
    auto It = S().Cache.Aliases.find(N);
    if (It != S().Cache.Aliases.end()) {
      TempName = It->second;
      return true;
    }
  }
  std::shared_ptr<TCompilerStream> St;
  if (std::shared_ptr<TEditBuffer> B = TEditBuffer::FindBuffer(N)) {
    St = EditorStream(*B, !EightBit);
  } else {
    const int32_t H = CFileOpen(N, false);
    if (H < 0) return false;
    St = S().Handles.Close(H);
  }
  IFileSystem& FS = FileSystem();
  const std::string Temp = NewVFSTempName(ExtractFileExt(N));
  FS.WriteFile(Temp, St->Data());
  if (const time_t T = FileDateToUnix(St->Date()); T != -1 && St->Date() != 0) FS.SetModifiedTime(Temp, T);
  std::lock_guard G(S().Lock);
  S().Cache.Aliases[N] = Temp;
  if (S().Cache.Updates > 0) S().Cache.OSFiles.insert(Temp);
  TempName = Temp;
  return true;
}

void SetCurrentProjectDir(const std::string& Dir) {
  std::lock_guard G(S().Lock);
  S().ProjectDir = Dir;
}

// ---- the cache ----

void BeginFileCacheUpdates() {
  std::vector<std::shared_ptr<TEditBuffer>> Buffers = TEditBuffer::AllBuffers();
  std::lock_guard G(S().Lock);
  if (S().Cache.Updates++ > 0) return;
  for (const auto& B : Buffers) S().Cache.EditorFiles.insert(ExpandFileName(B->FileName()));
  S().ClearAliases();
}

void EndFileCacheUpdates() {
  std::lock_guard G(S().Lock);
  if (S().Cache.Updates == 0) return;
  if (--S().Cache.Updates > 0) return;
  S().Cache.Missing.clear();
  S().Cache.OSFiles.clear();
  S().Cache.EditorFiles.clear();
  S().Cache.Ages.clear();
  S().ClearAliases();
}

void InvalidateFileCache() {
  std::lock_guard G(S().Lock);
  S().Cache.Missing.clear();
  S().Cache.OSFiles.clear();
  S().Cache.EditorFiles.clear();
  S().Cache.Ages.clear();
}

bool FileCacheInForce() { return S().InForce(); }

void FreeVirtualFiles() {
  std::lock_guard G(S().Lock);
  S().Virtual.clear();
}

void ResetFileServices() {
  S().Handles.CloseAll();
  std::lock_guard G(S().Lock);
  S().Virtual.clear();
  S().Cache.Updates = 0;
  S().Cache.Missing.clear();
  S().Cache.OSFiles.clear();
  S().Cache.EditorFiles.clear();
  S().Cache.Ages.clear();
  S().ClearAliases();
  S().ProjectDir.clear();
  S().DirectMessages = false;
  S().Cancel = 0;
  S().LastKind = -1;
  S().LastText.clear();
  S().LastUpdate = S().LastPump = 0;
}

int OpenHandleCount() { return S().Handles.OpenCount(); }

// ---- messages and progress ----

void SetPersonalityMessageHook(TCompilerMessageHook Hook) {
  std::lock_guard G(S().Lock);
  S().PersonalityHook = std::move(Hook);
}
void SetCompilerMessageService(TCompilerMessageHook Hook) {
  std::lock_guard G(S().Lock);
  S().MessageService = std::move(Hook);
}
void SetDirectCompilerMessages(bool On) { S().DirectMessages = On; }
bool DirectCompilerMessages() { return S().DirectMessages; }
void SetProgressMonitor(std::shared_ptr<IProgressMonitor> Monitor) { S().Progress = std::move(Monitor); }
void SetProgressSuppressed(bool Suppressed) { S().ProgressSuppressed = Suppressed; }
void SetFileServicesClock(std::function<int64_t()> NowMs) { S().Clock = std::move(NowMs); }

namespace {

TMsgKind ToMsgKind(int32_t Kind) { return Kind >= msgHint && Kind <= msgInfo ? static_cast<TMsgKind>(Kind) : msgInfo; }

void CountMessage(TMsgKind Kind) {
  if (S().Progress) S().Progress->IncCount(Kind);
}

// Where a message goes: the personality's hook takes it whole; else the message service, and
// it counts. Neither: Deliver gives none, and the message becomes a line.
struct TMessageRoute {
  TCompilerMessageHook Deliver;
  bool Counts = false;
};

TMessageRoute RouteNow() {
  std::lock_guard G(S().Lock);
  if (S().PersonalityHook) return {S().PersonalityHook, false};
  return {S().MessageService, true};
}

// On the main thread.
void DeliverMessage(const TCompilerMessage& M, bool Counted) {
  const TMessageRoute Route = RouteNow();
  if (Route.Deliver) {
    Route.Deliver(M);
  } else {
    TLineBuffer* Build = LineBufferList().AddList("Build");
    TLine* Top = Build->Add(std::make_unique<TCompilerMsgLine>(M.Kind, "", M.FileName, M.Line, M.Column, M.Text));
    for (const std::string& Extra : M.ExtraLines)
      Top->AddChild(std::make_unique<TCompilerMsgLine>(M.Kind, "", "", 0, 0, Extra));
  }
  if (Counted && Route.Counts) CountMessage(M.Kind);
}

void PostMessage(const TCompilerMessage& M, bool Counted) {
  if (IsCompileThread && S().DirectMessages) {
    if (const TMessageRoute Route = RouteNow(); Route.Deliver) {
      Route.Deliver(M);
      // The count is the progress window's, which the main thread owns; nothing waits for it.
      if (Counted && Route.Counts) Queue([Kind = M.Kind] { CountMessage(Kind); });
      return;
    }
  }
  OnMain([&] {
    DeliverMessage(M, Counted);
    return 0;
  });
}

std::string Str(const char* S) { return S ? S : ""; }

}  // namespace

// ---- background compiling ----

void StartBackgroundCompile(std::function<void()> Body) {
  if (const int D = S().Disabled.load(); D > 0) throw EBackgroundCompileNotAllowed(Format(res::SBackgroundCompileNotAllowed, D));
  if (S().CompileThread.joinable()) {
    if (!S().CompileDone) throw EBackgroundCompileNotAllowed(res::SBackgroundCompileRunning);
    S().CompileThread.join();
  }
  S().Cancel = 0;
  S().CompileDone = false;
  S().CompileThread = std::thread([Body = std::move(Body)] {
    SetCurrentThreadName("Background Compile Thread");
    IsCompileThread = true;
    try {
      Body();
    } catch (...) {
      // The compiler's own failure ends the compile; its messages went out already.
    }
    S().CompileDone = true;
    MainThreadQueue().Queue([] {});  // wakes a main thread waiting in its pump
  });
}

bool GetBackgroundCompileActive() { return S().CompileThread.joinable() && !S().CompileDone; }

void WaitForBackgroundCompile() {
  if (!S().CompileThread.joinable()) return;
  while (!S().CompileDone) MainThreadQueue().WaitAndProcess(100);
  S().CompileThread.join();
  MainThreadQueue().ProcessPending();
}

bool CancelBackgroundCompile(bool Ask) {
  if (!GetBackgroundCompileActive()) return true;
  if (Ask && Questions().MessageDlg(res::SCancelBackgroundCompile, TMsgDlgType::mtConfirmation, mbYes | mbNo, mrNo) != mrYes)
    return false;
  S().Cancel.exchange(-1);
  WaitForBackgroundCompile();
  return true;
}

void EnableBackgroundCompiling() {
  int D = S().Disabled.load();
  while (D > 0 && !S().Disabled.compare_exchange_weak(D, D - 1)) {
  }
}

void DisableBackgroundCompiling() { ++S().Disabled; }
bool BackgroundCompileDisabled() { return S().Disabled.load() > 0; }
bool OnCompileThread() { return IsCompileThread; }

}  // namespace nxs

// ---- the entry points ----

using namespace nxs;

namespace {

int32_t Open(const char* Name, bool WithBOM) {
  return Guarded<int32_t>(-1, [&]() -> int32_t {
    if (!Name) return -1;
    if (!IsCompileThread) return CFileOpen(Name, WithBOM);
    // The compile thread reads disk files itself; what the editor holds, and anything it
    // does not find, comes through the main thread.
    std::string N = Expand(Name);
    {
      std::lock_guard G(S().Lock);
      auto It = S().Cache.Aliases.find(N);
      if (It != S().Cache.Aliases.end()) N = It->second;
    }
    if (Marked(S().Cache.Missing, N)) return -1;
    if (!TEditBuffer::FindBuffer(N)) {
      if (std::shared_ptr<TCompilerStream> St = FormChecked(N, DiskStream(N))) {
        Mark(&TCompilerCache::OSFiles, N, true);
        return S().Handles.Alloc(std::move(St));
      }
    }
    const int32_t H = OnMain([&] { return CFileOpen(N, WithBOM); });
    if (H < 0) Mark(&TCompilerCache::Missing, N, true);
    return H;
  });
}

}  // namespace

int32_t BFILEOPEN(const char* Name) { return Open(Name, false); }
int32_t BFILEOPENWITHBOM(const char* Name) { return Open(Name, true); }

int32_t BFILECREATE(const char* Name) {
  return Guarded<int32_t>(-1, [&]() -> int32_t {
    if (!Name) return -1;
    const std::string N = Expand(Name);
    FileSystem().WriteFile(N, "");
    {
      std::lock_guard G(S().Lock);
      S().Cache.Ages.erase(N);
    }
    return S().Handles.Alloc(std::make_shared<TCompilerStream>(TCompilerStream::skOSWrite, "", GETCURTIME(), N));
  });
}

int32_t BFILECREATEV(const char* Name) {
  return Guarded<int32_t>(-1, [&]() -> int32_t {
    if (!Name) return -1;
    const std::string N = Expand(Name);
    std::shared_ptr<TCompilerStream> St;
    {
      std::lock_guard G(S().Lock);
      auto& V = S().Virtual[N];
      if (V) V->Truncate();
      else V = std::make_shared<TCompilerStream>();
      V->SetDate(GETCURTIME());
      St = V;
      S().Cache.Ages.erase(N);
      S().Cache.OSFiles.erase(N);
    }
    return S().Handles.Alloc(std::move(St));
  });
}

// A file whose last write fails reports the failure: the compiler must not take its output
// for written.
int32_t BFILECLOSE(int32_t Handle) {
  return Guarded<int32_t>(-1, [&]() -> int32_t {
    std::shared_ptr<TCompilerStream> St = S().Handles.Close(Handle);
    if (St) St->Flush();
    return 0;
  });
}

void BFILEFLUSH(int32_t Handle) {
  OnStream<int32_t>(Handle, 0, [](TCompilerStream& St) {
    St.Flush();
    return 0;
  });
}

int32_t BFILEREAD(int32_t Handle, void* Buffer, int32_t Count) {
  if (!Buffer) return 0;
  return OnStream<int32_t>(Handle, 0, [&](TCompilerStream& St) { return static_cast<int32_t>(St.Read(Buffer, Count)); });
}

int32_t BFILEWRITE(int32_t Handle, const void* Buffer, int32_t Count) {
  if (!Buffer) return 0;
  return OnStream<int32_t>(Handle, 0, [&](TCompilerStream& St) { return static_cast<int32_t>(St.Write(Buffer, Count)); });
}

int32_t BFILESEEK(int32_t Handle, int32_t Offset, int32_t Origin) {
  return OnStream<int32_t>(Handle, 0, [&](TCompilerStream& St) {
    const int64_t P = St.Seek(Offset, Origin);
    return P < 0 || P > INT32_MAX ? 0 : static_cast<int32_t>(P);
  });
}

int32_t BFILEGETDATE(int32_t Handle) {
  return OnStream<int32_t>(Handle, 0, [](TCompilerStream& St) { return St.Date(); });
}

int32_t BFILESTATUS(int32_t Handle, int32_t* Date, int32_t* Size) {
  return OnStream<int32_t>(Handle, -1, [&](TCompilerStream& St) {
    if (Date) *Date = St.Date();
    if (Size) *Size = static_cast<int32_t>(std::min<int64_t>(St.Size(), INT32_MAX));
    return 0;
  });
}

int32_t BCFILENAMEDATE(const char* Name) {
  return Guarded<int32_t>(0, [&]() -> int32_t {
    if (!Name) return 0;
    const int32_t D = OnMain([&] { return CFileNameDate(Name); });
    return D == -1 ? 0 : D;
  });
}

int32_t BCFILENAMEINFO(const char* Name, int32_t* Date, int32_t* Size) {
  if (IsCompileThread || !Name) return -1;
  return Guarded<int32_t>(-1, [&]() -> int32_t {
    int32_t D = 0;
    int64_t Sz = 0;
    if (!CFileNameInfo(Name, D, Sz)) return -1;
    if (Date) *Date = D;
    if (Size) *Size = static_cast<int32_t>(std::min<int64_t>(Sz, INT32_MAX));
    return 0;
  });
}

void BCENUMPATHTIMESTAMPS(TEnumPathCallback Callback, void* Context, const char* Directory) {
  if (!Callback) return;
  Guarded<int>(0, [&] {
    CEnumPathTimestamps(Callback, Context, Str(Directory));
    return 0;
  });
}

int32_t GETCURTIME(void) { return UnixToFileDate(std::time(nullptr)); }

void BSETERRORCOUNT(int32_t Count) {
  Guarded<int>(0, [&] {
    return OnMain([&] {
      if (S().Progress) S().Progress->SetCount(msgError, Count);
      if (!GetBackgroundCompileActive()) MainThreadQueue().ProcessPending();
      return 0;
    });
  });
}

void BPROCESSMESSAGES(void) {
  if (IsCompileThread || GetBackgroundCompileActive() || !MainThreadQueue().IsMainThread()) return;
  Guarded<int>(0, [] { return MainThreadQueue().ProcessPending(); });
}

void BMSG(int32_t Kind, const char* FileName, int32_t Line, int32_t Column, const char* Text) {
  Guarded<int>(0, [&] {
    PostMessage(TCompilerMessage{ToMsgKind(Kind), Str(FileName), Line, Column, Str(Text), {}}, true);
    return 0;
  });
}

int32_t BMULTILINEMESSAGE(int32_t Kind, const char* FileName, int32_t Line, int32_t Column, const char* Text,
                          const char* const* ExtraLines, int32_t ExtraCount) {
  return Guarded<int32_t>(1, [&] {
    TCompilerMessage M{ToMsgKind(Kind), Str(FileName), Line, Column, Str(Text), {}};
    for (int32_t I = 0; ExtraLines && I < ExtraCount; ++I) M.ExtraLines.push_back(Str(ExtraLines[I]));
    PostMessage(M, false);
    return 1;
  });
}

int32_t BPROGRESS(int32_t Kind, const char* Text, int32_t Count1, int32_t Count2) {
  TServices& Sv = S();
  const bool MonitorCancelled = Sv.Progress && Sv.Progress->Cancelled();
  // The flag is consumed whatever else asks the compiler to stop.
  auto Consumed = [&] {
    const bool Flag = Sv.Cancel.exchange(0) != 0;
    return Flag || MonitorCancelled || KibitzingMonitor().Canceled() ? 1 : 0;
  };
  if (IsCompileThread || !MainThreadQueue().IsMainThread() || !Sv.Progress || Sv.ProgressSuppressed) {
    const bool Flag = Sv.Cancel.exchange(0) != 0;
    return Flag || MonitorCancelled ? 1 : 0;
  }
  return Guarded<int32_t>(0, [&] {
    const std::string T = Str(Text);
    const int64_t Now = Sv.Now();
    if (!(Kind == Sv.LastKind && T == Sv.LastText && Now - Sv.LastUpdate < 81)) {
      Sv.LastKind = Kind;
      Sv.LastText = T;
      Sv.LastUpdate = Now;
      Sv.Progress->Update(Kind, T, Count1, Count2);
    }
    if (Now - Sv.LastPump >= 81 && Sv.Progress->AllowsMessageLoop() && !GetBackgroundCompileActive()) {
      Sv.LastPump = Now;
      MainThreadQueue().ProcessPending();
    }
    return Consumed();
  });
}

int32_t BPOSTFILEDEPENDENCIES(const char* FileName, const char* const* Dependencies, int32_t Count) {
  // The listeners are the main thread's: what another thread reports is taken and not passed on.
  if (IsCompileThread || !MainThreadQueue().IsMainThread()) return 1;
  if (!FileName) return 0;
  return Guarded<int32_t>(0, [&] {
    std::vector<std::string> Names;
    for (int32_t I = 0; Dependencies && I < Count; ++I)
      if (Dependencies[I]) Names.emplace_back(Dependencies[I]);
    TEvCompilerFileDependencies Args(Expand(FileName), std::move(Names));
    EvCompilerFileDependencies().Send(Args);
    return Args.Accepted ? 1 : 0;
  });
}
