#include "shared/fileio.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utime.h>

#include <algorithm>
#include <atomic>
#include <cassert>
#include <cerrno>
#include <climits>
#include <cstring>
#include <typeinfo>

#include "shared/exceptions.h"
#include "shared/filelock.h"
#include "shared/fileprobes.h"
#include "shared/filenames.h"
#include "shared/format.h"
#include "shared/resstrings.h"
#include "shared/signals.h"

namespace nxs {

namespace {

std::string ErrorText(int Err) { return std::strerror(Err); }

class TFd {
 public:
  explicit TFd(int Fd) : FFd(Fd) {}
  ~TFd() {
    if (FFd >= 0) ::close(FFd);
  }
  TFd(const TFd&) = delete;  // owns the descriptor
  TFd& operator=(const TFd&) = delete;
  int Get() const { return FFd; }
  int Release() {
    int F = FFd;
    FFd = -1;
    return F;
  }

 private:
  int FFd;
};

std::shared_ptr<IFileSystem>& CurrentFileSystem() {
  static std::shared_ptr<IFileSystem> FS = std::make_shared<TDiskFileSystem>();
  return FS;
}

}  // namespace

std::string ReadWholeFile(const std::string& Name) {
  NoteFileProbe(Name);
  TFd Fd(::open(Name.c_str(), O_RDONLY | O_CLOEXEC));
  if (Fd.Get() < 0) throw EInOutError(Format(res::SCannotReadFile, Name, ErrorText(errno)));
  struct stat St;
  if (::fstat(Fd.Get(), &St) != 0) throw EInOutError(Format(res::SCannotReadFile, Name, ErrorText(errno)));
  if (S_ISDIR(St.st_mode)) throw EInOutError(Format(res::SCannotReadFile, Name, ErrorText(EISDIR)));
  std::string Data;
  // The size is a hint: the file may grow or shrink while it is read.
  Data.resize(static_cast<size_t>(St.st_size) + 1);
  size_t Have = 0;
  for (;;) {
    if (Have == Data.size()) Data.resize(Data.size() * 2 + 4096);
    ssize_t N = ::read(Fd.Get(), Data.data() + Have, Data.size() - Have);
    if (N < 0) {
      if (errno == EINTR) continue;
      throw EInOutError(Format(res::SCannotReadFile, Name, ErrorText(errno)));
    }
    if (N == 0) break;
    Have += static_cast<size_t>(N);
  }
  Data.resize(Have);
  return Data;
}

std::string ResolveLinks(const std::string& Name) {
  std::string Path = Name;
  // As many links as the system itself follows before it gives up with ELOOP.
  for (int Hop = 0; Hop < 40; ++Hop) {
    struct stat St;
    if (::lstat(Path.c_str(), &St) != 0 || !S_ISLNK(St.st_mode)) return Path;
    std::string Target(static_cast<size_t>(St.st_size > 0 ? St.st_size : PATH_MAX) + 1, '\0');
    ssize_t N = ::readlink(Path.c_str(), Target.data(), Target.size());
    if (N < 0) throw EInOutError(Format(res::SCannotWriteFile, Name, ErrorText(errno)));
    Target.resize(static_cast<size_t>(N));
    if (Target.empty() || Target[0] != '/') {
      std::string Dir = ExtractFileDir(Path);
      if (!Dir.empty()) Target = IncludeTrailingPathDelimiter(Dir) + Target;
    }
    Path = std::move(Target);
  }
  throw EInOutError(Format(res::SCannotWriteFile, Name, ErrorText(ELOOP)));
}

namespace {

// The process that wrote a temporary file named "<file>.tmp<pid>.<n>", where Tail is the part
// from ".tmp" on; 0 where Tail is not such a part.
pid_t TemporaryWriter(std::string_view Tail) {
  if (!Tail.starts_with(".tmp")) return 0;
  Tail.remove_prefix(4);
  const size_t Dot = Tail.find('.');
  auto AllDigits = [](std::string_view S) {
    return !S.empty() && S.size() < 10 &&
           std::all_of(S.begin(), S.end(), [](char C) { return C >= '0' && C <= '9'; });
  };
  if (Dot == std::string_view::npos || !AllDigits(Tail.substr(0, Dot)) || !AllDigits(Tail.substr(Dot + 1))) return 0;
  return static_cast<pid_t>(std::stol(std::string(Tail.substr(0, Dot))));
}

// Removes, in Dir, the temporary files of writers that were killed before they could rename
// or remove them, whose target's name is Name exactly (Family false) or begins with Name
// (Family true): the files of processes that no longer run.
void RemoveTemporariesOfDeadWriters(const std::string& Dir, std::string_view Name, bool Family) {
  DIR* D = ::opendir(Dir.empty() ? "." : Dir.c_str());
  if (!D) return;
  while (struct dirent* E = ::readdir(D)) {
    std::string_view Entry = E->d_name;
    if (!Entry.starts_with(Name)) continue;
    const size_t Tmp = Family ? Entry.rfind(".tmp") : Name.size();
    if (Tmp == std::string_view::npos || Tmp < Name.size()) continue;
    const pid_t Pid = TemporaryWriter(Entry.substr(Tmp));
    if (Pid <= 0 || ::kill(Pid, 0) == 0 || errno != ESRCH) continue;  // running, or not ours to know
    ::unlinkat(::dirfd(D), E->d_name, 0);
  }
  ::closedir(D);
}

// A kill that no handler sees (SIGKILL) leaves the temporary file behind; the next write of
// the file takes it away.
void RemoveLeftTemporaries(const std::string& Target) {
  RemoveTemporariesOfDeadWriters(ExtractFileDir(Target), ExtractFileName(Target), false);
}

}  // namespace

void RemoveLeftTemporariesOfFamily(const std::string& Folder, std::string_view NamePrefix) {
  RemoveTemporariesOfDeadWriters(Folder, NamePrefix, true);
}

namespace {

// Writes a temporary file beside the target and puts it in the target's place at Commit.
// The target is the file at the end of Name's chain of symbolic links, so that a save
// through a link changes the linked file and leaves the link; the new file keeps the old
// one's permissions (and, where the process may, its owner). A target with more than one
// name (hard links) is rewritten in place from the finished temporary file instead, so that
// every name sees the new text. The temporary file is registered with the signal handler for
// its whole life, which removes it when the program is interrupted.
class TAtomicFileWriter : public IFileWriter {
 public:
  enum class TMode { Replace, CreateNew };

  TAtomicFileWriter(const std::string& Name, TMode Mode)
      : FName(Name), FTarget(Mode == TMode::Replace ? ResolveLinks(Name) : Name), FMode(Mode) {
    static std::atomic<unsigned> Counter{0};
    NoteFileProbe(FTarget);
    struct stat Old;
    bool Exists = Mode == TMode::Replace && ::stat(FTarget.c_str(), &Old) == 0;
    if (Exists) {
      if (S_ISDIR(Old.st_mode)) Refuse(EISDIR);
      // A file without any write permission is refused even where the process could
      // override it (the superuser): it was marked read-only on purpose.
      if (::access(FTarget.c_str(), W_OK) != 0 || (Old.st_mode & 0222) == 0)
        throw EInOutError(Format(res::SFileReadOnly, FName));
      FInPlace = S_ISREG(Old.st_mode) && Old.st_nlink > 1;
    }
    RemoveLeftTemporaries(FTarget);
    FTemp = FTarget + ".tmp" + std::to_string(::getpid()) + "." + std::to_string(Counter++);
    // Registered before it exists: a signal between the two finds nothing to remove.
    FSignalSlot = RegisterTempFile(FTemp.c_str());
    // A new file gets what the umask leaves of read and write for all; a replaced one keeps
    // its mode exactly, which open() alone would mask with the umask.
    FFd = ::open(FTemp.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, Exists ? 0600 : 0666);
    if (FFd < 0) {
      const int Err = errno;
      ForgetTemp();
      Refuse(Err);
    }
    if (!Exists || FInPlace) return;
    if (::fchmod(FFd, Old.st_mode & 07777) != 0) Fail(errno);
    if (Old.st_uid != ::geteuid() || Old.st_gid != ::getegid()) {
      // Only the superuser may give the file away; anyone else writes it as their own.
      [[maybe_unused]] int Ignored = ::fchown(FFd, Old.st_uid, Old.st_gid);
    }
  }
  ~TAtomicFileWriter() override { Discard(); }
  TAtomicFileWriter(const TAtomicFileWriter&) = delete;  // owns the temporary file
  TAtomicFileWriter& operator=(const TAtomicFileWriter&) = delete;

  void Write(std::string_view Data) override {
    if (FFd < 0) Fail(EBADF);
    if (!WriteAll(FFd, Data.data(), Data.size())) Fail(errno);
    FSize += Data.size();
  }

  // Writes what is left of the open file In, copied inside the system where it can.
  void CopyFrom(int In) {
    if (FFd < 0) Fail(EBADF);
    bool InSystem = true;
    for (;;) {
      ssize_t N;
      if (InSystem) {
        N = ::copy_file_range(In, nullptr, FFd, nullptr, size_t{1} << 30, 0);
        if (N < 0 && (errno == EXDEV || errno == ENOSYS || errno == EINVAL || errno == EOPNOTSUPP)) {
          InSystem = false;  // file systems that cannot: through a buffer
          continue;
        }
      } else {
        if (FChunk.empty()) FChunk.resize(size_t{1} << 20);
        N = ::read(In, FChunk.data(), FChunk.size());
        if (N > 0 && !WriteAll(FFd, FChunk.data(), static_cast<size_t>(N))) Fail(errno);
      }
      if (N < 0 && errno == EINTR) continue;
      if (N < 0) Fail(errno);
      if (N == 0) return;
      FSize += static_cast<size_t>(N);
    }
  }

  void Commit() override {
    assert(FMode == TMode::Replace && "a new file is published, not committed");
    Finish();
    if (FInPlace) {
      CopyInto(FTarget, O_WRONLY);
      return;
    }
    HoldLockThroughReplace(FTarget, FFd);
    const int Fd = FFd;
    FFd = -1;
    if (::close(Fd) != 0) Fail(errno);
    if (::rename(FTemp.c_str(), FTarget.c_str()) != 0) Fail(errno);
    ForgetTemp();
    SyncDirectory();
  }

  // Puts the file under its name only where nothing has that name yet: false, with nothing
  // changed, where something has. A hard link to the finished temporary file does that in one
  // step; where the file system has no hard links the name is created exclusively and filled.
  bool Publish() {
    assert(FMode == TMode::CreateNew && "only a new file is published");
    Finish();
    if (::link(FTemp.c_str(), FTarget.c_str()) != 0) {
      const int Err = errno;
      if (Err == EEXIST) {
        Discard();
        return false;
      }
      if (Err != EPERM && Err != ENOTSUP && Err != EOPNOTSUPP) Fail(Err);
      if (!CopyInto(FTarget, O_WRONLY | O_CREAT | O_EXCL)) return false;
    } else {
      Discard();
    }
    SyncDirectory();
    return true;
  }

 private:
  static bool WriteAll(int Fd, const char* Data, size_t Size) {
    size_t Done = 0;
    while (Done < Size) {
      ssize_t N = ::write(Fd, Data + Done, Size - Done);
      if (N < 0) {
        if (errno == EINTR) continue;
        return false;
      }
      Done += static_cast<size_t>(N);
    }
    return true;
  }

  // The temporary file is whole and on the disk.
  void Finish() {
    if (FFd < 0) Fail(EBADF);
    if (::fsync(FFd) != 0) Fail(errno);
  }

  // Copies the finished temporary file into the file Target opened with Flags, and removes the
  // temporary file; false when Flags holds O_EXCL and Target exists. Room for the whole text
  // is taken before the first byte changes, so that a full disk fails the write while the file
  // is still as it was; the signals wait until the copy is done.
  bool CopyInto(const std::string& Target, int Flags) {
    THoldSignals Hold;
    TFd Out(::open(Target.c_str(), Flags | O_CLOEXEC, 0666));
    if (Out.Get() < 0) {
      if (errno == EEXIST && (Flags & O_EXCL)) {
        Discard();
        return false;
      }
      Fail(errno);
    }
    try {
      const off_t Size = static_cast<off_t>(FSize);
      if (Size > 0) {
        const int Err = ::posix_fallocate(Out.Get(), 0, Size);
        if (Err != 0 && Err != EOPNOTSUPP && Err != EINVAL) Fail(Err);
      }
      std::string Chunk(std::min<size_t>(FSize, size_t{1} << 20) + 1, '\0');
      off_t At = 0;
      for (;;) {
        ssize_t N = ::pread(FFd, Chunk.data(), Chunk.size(), At);
        if (N < 0 && errno == EINTR) continue;
        if (N < 0) Fail(errno);
        if (N == 0) break;
        if (!WriteAll(Out.Get(), Chunk.data(), static_cast<size_t>(N))) Fail(errno);
        At += N;
      }
      if (::ftruncate(Out.Get(), At) != 0 || ::fsync(Out.Get()) != 0) Fail(errno);
    } catch (...) {
      // A file made here and not filled is no file.
      if (Flags & O_CREAT) ::unlink(Target.c_str());
      throw;
    }
    Discard();
    return true;
  }

  // Makes the new name itself durable.
  void SyncDirectory() {
    std::string Dir = ExtractFileDir(FTarget);
    TFd DirFd(::open(Dir.empty() ? "." : Dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (DirFd.Get() >= 0) ::fsync(DirFd.Get());
  }

  void ForgetTemp() {
    UnregisterTempFile(FSignalSlot);
    FSignalSlot = -1;
    FTemp.clear();
  }
  void Discard() {
    if (FFd >= 0) ::close(FFd);
    FFd = -1;
    if (!FTemp.empty()) ::unlink(FTemp.c_str());
    ForgetTemp();
  }
  [[noreturn]] void Fail(int Err) {
    Discard();
    Refuse(Err);
  }
  [[noreturn]] void Refuse(int Err) { throw EInOutError(Format(res::SCannotWriteFile, FName, ErrorText(Err))); }

  std::string FName;    // as the caller named it, for messages
  std::string FTarget;  // the file that is replaced or made
  [[maybe_unused]] TMode FMode;  // checked by the asserts
  bool FInPlace = false;  // the target has other names: rewritten, not replaced
  std::string FTemp;      // empty once renamed or removed
  int FSignalSlot = -1;
  int FFd = -1;
  size_t FSize = 0;
  std::string FChunk;  // CopyFrom's buffer where the system cannot copy
};

// Collects the pieces and hands them to WriteFile.
class TCollectingFileWriter : public IFileWriter {
 public:
  TCollectingFileWriter(IFileSystem& Fs, const std::string& Name) : FFs(Fs), FName(Name) {}
  void Write(std::string_view Data) override { FData.append(Data); }
  void Commit() override { FFs.WriteFile(FName, FData); }

 private:
  IFileSystem& FFs;
  std::string FName;
  std::string FData;
};

}  // namespace

void WriteFileAtomic(const std::string& Name, std::string_view Data) {
  TAtomicFileWriter File(Name, TAtomicFileWriter::TMode::Replace);
  File.Write(Data);
  File.Commit();
}

bool WriteNewFileAtomic(const std::string& Name, std::string_view Data) {
  TAtomicFileWriter File(Name, TAtomicFileWriter::TMode::CreateNew);
  File.Write(Data);
  return File.Publish();
}

bool CopyNewFileAtomic(const std::string& From, const std::string& Name) {
  TFd In(::open(From.c_str(), O_RDONLY | O_CLOEXEC));
  if (In.Get() < 0) throw EInOutError(Format(res::SCannotReadFile, From, ErrorText(errno)));
  struct stat St;
  if (::fstat(In.Get(), &St) != 0) throw EInOutError(Format(res::SCannotReadFile, From, ErrorText(errno)));
  if (S_ISDIR(St.st_mode)) throw EInOutError(Format(res::SCannotReadFile, From, ErrorText(EISDIR)));
  TAtomicFileWriter File(Name, TAtomicFileWriter::TMode::CreateNew);
  File.CopyFrom(In.Get());
  return File.Publish();
}

std::unique_ptr<IFileWriter> CreateAtomicFileWriter(const std::string& Name) {
  return std::make_unique<TAtomicFileWriter>(Name, TAtomicFileWriter::TMode::Replace);
}

std::string TDiskFileSystem::ReadFile(const std::string& Name) { return ReadWholeFile(ToDiskPath(Name)); }

void IFileSystem::ReadFileInto(const std::string& Name, IReadTarget& Target) {
  const std::string Data = ReadFile(Name);
  std::string_view Rest = Data;
  for (;;) {
    std::span<char> Room = Target.Room(std::max<size_t>(Rest.size(), 1));
    size_t N = std::min(Room.size(), Rest.size());
    std::memcpy(Room.data(), Rest.data(), N);
    Rest.remove_prefix(N);
    if (!Target.Filled(N, Rest.empty()) || Rest.empty()) return;
  }
}

void TDiskFileSystem::ReadFileInto(const std::string& Name, IReadTarget& Target) {
  const std::string Path = ToDiskPath(Name);
  NoteFileProbe(Path);
  TFd Fd(::open(Path.c_str(), O_RDONLY | O_CLOEXEC));
  if (Fd.Get() < 0) throw EInOutError(Format(res::SCannotReadFile, Path, ErrorText(errno)));
  struct stat St;
  if (::fstat(Fd.Get(), &St) != 0) throw EInOutError(Format(res::SCannotReadFile, Path, ErrorText(errno)));
  if (S_ISDIR(St.st_mode)) throw EInOutError(Format(res::SCannotReadFile, Path, ErrorText(EISDIR)));
  // One byte more than the size, so that the end of a file that kept its size shows in the
  // first room; a file that grows while it is read goes on in further rooms.
  size_t Wanted = static_cast<size_t>(St.st_size) + 1;
  for (;;) {
    std::span<char> Room = Target.Room(Wanted);
    size_t Have = 0;
    while (Have < Room.size()) {
      ssize_t N = ::read(Fd.Get(), Room.data() + Have, Room.size() - Have);
      if (N < 0) {
        if (errno == EINTR) continue;
        throw EInOutError(Format(res::SCannotReadFile, Path, ErrorText(errno)));
      }
      if (N == 0) break;
      Have += static_cast<size_t>(N);
    }
    bool AtEnd = Have < Room.size();
    if (!Target.Filled(Have, AtEnd) || AtEnd) return;
    Wanted = 1 << 20;
  }
}

void TDiskFileSystem::WriteFile(const std::string& Name, std::string_view Data) {
  WriteFileAtomic(ToDiskPath(Name), Data);
}

bool IFileSystem::CreateNewFile(const std::string& Name, std::string_view Data) {
  if (Stat(Name).Exists) return false;
  WriteFile(Name, Data);
  return true;
}

bool TDiskFileSystem::CreateNewFile(const std::string& Name, std::string_view Data) {
  return WriteNewFileAtomic(ToDiskPath(Name), Data);
}

bool IFileSystem::CopyToNewFile(const std::string& From, const std::string& To) {
  return CreateNewFile(To, ReadFile(From));
}

bool TDiskFileSystem::CopyToNewFile(const std::string& From, const std::string& To) {
  if (typeid(*this) != typeid(TDiskFileSystem)) return IFileSystem::CopyToNewFile(From, To);
  return CopyNewFileAtomic(ToDiskPath(From), ToDiskPath(To));
}

std::unique_ptr<IFileWriter> IFileSystem::CreateFileWriter(const std::string& Name) {
  return std::make_unique<TCollectingFileWriter>(*this, Name);
}

std::unique_ptr<IFileWriter> TDiskFileSystem::CreateFileWriter(const std::string& Name) {
  return CreateAtomicFileWriter(ToDiskPath(Name));
}

TFileInfo TDiskFileSystem::Stat(const std::string& Name) {
  const std::string Path = ToDiskPath(Name);
  NoteFileProbe(Path);
  TFileInfo Info;
  struct stat St;
  if (::stat(Path.c_str(), &St) != 0) return Info;
  Info.Exists = true;
  Info.IsDirectory = S_ISDIR(St.st_mode);
  // As the writer sees it: a file without any write permission is read-only for the
  // superuser too.
  Info.ReadOnly = ::access(Path.c_str(), W_OK) != 0 || (St.st_mode & 0222) == 0;
  Info.Size = static_cast<uint64_t>(St.st_size);
  Info.Inode = static_cast<uint64_t>(St.st_ino);
  Info.ModifiedTime = St.st_mtim.tv_sec;
  Info.ModifiedTimeNs = static_cast<int64_t>(St.st_mtim.tv_sec) * 1000000000 + St.st_mtim.tv_nsec;
  Info.IsSpecial = !Info.IsDirectory && !S_ISREG(St.st_mode);
  return Info;
}

int64_t TDiskFileSystem::ModifiedTimeNs(const std::string& Name) {
  if (typeid(*this) != typeid(TDiskFileSystem)) return IFileSystem::ModifiedTimeNs(Name);
  const std::string Path = ToDiskPath(Name);
  NoteFileProbe(Path);
  struct stat St;
  if (::stat(Path.c_str(), &St) != 0) return -1;
  return static_cast<int64_t>(St.st_mtim.tv_sec) * 1000000000 + St.st_mtim.tv_nsec;
}

TFileStamp IFileSystem::Stamp(const std::string& Name) {
  const TFileInfo I = Stat(Name);
  TFileStamp S;
  S.Exists = I.Exists;
  S.Directory = I.IsDirectory;
  S.Size = I.Size;
  S.Inode = I.Inode;
  S.ModifiedNs = I.ModifiedTimeNs;
  S.ChangedNs = I.ModifiedTimeNs;
  return S;
}

TFileStamp TDiskFileSystem::Stamp(const std::string& Name) {
  if (typeid(*this) != typeid(TDiskFileSystem)) return IFileSystem::Stamp(Name);
  const std::string Path = ToDiskPath(Name);
  NoteFileProbe(Path);
  return FileStampOf(Path);
}

std::vector<std::string> TDiskFileSystem::ListDirectory(const std::string& Dir) {
  std::vector<std::string> Names;
  const std::string Path = ToDiskPath(Dir);
  NoteFileProbe(Path);
  DIR* D = ::opendir(Path.c_str());
  if (!D) throw EInOutError(Format(res::SCannotReadFile, Dir, ErrorText(errno)));
  while (struct dirent* E = ::readdir(D)) {
    if (std::strcmp(E->d_name, ".") == 0 || std::strcmp(E->d_name, "..") == 0) continue;
    Names.emplace_back(E->d_name);
  }
  ::closedir(D);
  return Names;
}

void TDiskFileSystem::Rename(const std::string& From, const std::string& To) {
  NoteFileProbe(ToDiskPath(From));
  NoteFileProbe(ToDiskPath(To));
  if (::rename(ToDiskPath(From).c_str(), ToDiskPath(To).c_str()) != 0)
    throw EInOutError(Format(res::SCannotRenameFile, From, To, ErrorText(errno)));
}

void TDiskFileSystem::DeleteFile(const std::string& Name) {
  NoteFileProbe(ToDiskPath(Name));
  if (::unlink(ToDiskPath(Name).c_str()) != 0)
    throw EInOutError(Format(res::SCannotDeleteFile, Name, ErrorText(errno)));
}

void TDiskFileSystem::ForceDirectories(const std::string& Dir) {
  std::string Path = ExcludeTrailingPathDelimiter(ToDiskPath(Dir));
  if (Path.empty()) return;
  struct stat St;
  if (::stat(Path.c_str(), &St) == 0) {
    if (S_ISDIR(St.st_mode)) return;
    throw EInOutError(Format(res::SCannotCreateDir, Dir, ErrorText(ENOTDIR)));
  }
  std::string Parent = ExtractFileDir(Path);
  if (!Parent.empty() && Parent != Path) ForceDirectories(Parent);
  if (::mkdir(Path.c_str(), 0755) != 0 && errno != EEXIST)
    throw EInOutError(Format(res::SCannotCreateDir, Dir, ErrorText(errno)));
}

void TDiskFileSystem::CopyFile(const std::string& From, const std::string& To) {
  WriteFile(To, ReadFile(From));
}

void TDiskFileSystem::SetModifiedTime(const std::string& Name, time_t Time) {
  struct utimbuf Times = {Time, Time};
  NoteFileProbe(ToDiskPath(Name));
  if (::utime(ToDiskPath(Name).c_str(), &Times) != 0)
    throw EInOutError(Format(res::SCannotWriteFile, Name, ErrorText(errno)));
}

IFileSystem& FileSystem() { return *CurrentFileSystem(); }

void SetFileSystem(std::shared_ptr<IFileSystem> FS) {
  CurrentFileSystem() = FS ? std::move(FS) : std::make_shared<TDiskFileSystem>();
}

}  // namespace nxs
