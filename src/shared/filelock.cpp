#include "shared/filelock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <map>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

#include "shared/exceptions.h"
#include "shared/fileio.h"
#include "shared/filenames.h"
#include "shared/format.h"
#include "shared/resstrings.h"

namespace nxs {

struct TFileLock::TEntry {
  std::vector<int> Fds;  // each holds the lock of one inode: the file, its folder, its successors
  int Count = 0;
};

namespace {

// The locks this process holds, by the thread that holds them and the name they were taken
// for: a thread's second lock of a name shares its first, another thread's waits for it.
using TKey = std::pair<std::thread::id, std::string>;
struct TRegistry {
  std::mutex Mutex;
  std::map<TKey, TFileLock::TEntry> Held;
};

TRegistry& Registry() {
  static TRegistry R;
  return R;
}

bool LockFd(int Fd, int Operation) {
  while (::flock(Fd, Operation) != 0)
    if (errno != EINTR) return false;
  return true;
}

bool SameInode(const struct stat& A, const struct stat& B) { return A.st_dev == B.st_dev && A.st_ino == B.st_ino; }

// Locks the file that stands at Path, or its folder while there is none; -1 when neither
// can be locked.
int LockReplacedFile(const std::string& Path) {
  for (;;) {
    // Never blocks on a pipe; the check below turns pipes and devices away.
    int Fd = ::open(Path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (Fd >= 0) {
      struct stat Have, Now;
      if (::fstat(Fd, &Have) != 0 || !S_ISREG(Have.st_mode) || !LockFd(Fd, LOCK_EX)) {
        ::close(Fd);
        return -1;
      }
      // Another process may have replaced the file while this one waited: the lock then
      // guards a file that is no longer there.
      if (::stat(Path.c_str(), &Now) == 0 && SameInode(Have, Now)) return Fd;
      ::close(Fd);
      continue;
    }
    if (errno != ENOENT) return -1;
    std::string Dir = ExtractFileDir(Path);
    int DirFd = ::open(Dir.empty() ? "." : Dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (DirFd < 0) return -1;
    if (!LockFd(DirFd, LOCK_EX)) {
      ::close(DirFd);
      return -1;
    }
    struct stat St;
    if (::stat(Path.c_str(), &St) != 0 && errno == ENOENT) return DirFd;
    ::close(DirFd);  // made meanwhile: lock the file itself
  }
}

int LockLockFile(const std::string& Path) {
  int Fd = ::open(Path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  if (Fd < 0) throw EInOutError(Format(res::SCannotLockFile, Path, std::strerror(errno)));
  if (!LockFd(Fd, LOCK_EX)) {
    int Err = errno;
    ::close(Fd);
    throw EInOutError(Format(res::SCannotLockFile, Path, std::strerror(Err)));
  }
  return Fd;
}

// The name a lock is kept under: absolute, and for a file the end of its links, which is
// the file a write replaces.
std::string PathOf(const std::string& Name, TFileLock::TKind Kind) {
  std::string Path = ExpandFileName(Name);
  if (Kind == TFileLock::TKind::File) {
    try {
      Path = ExpandFileName(ResolveLinks(Path));
    } catch (const EInOutError&) {
      // A broken chain of links: the write will say so; lock the name as it stands.
    }
  }
  return Path;
}

}  // namespace

TFileLock::TFileLock(const std::string& Name, TKind Kind) {
  const TKey Key{std::this_thread::get_id(), PathOf(Name, Kind)};
  TRegistry& R = Registry();
  {
    std::lock_guard G(R.Mutex);
    auto It = R.Held.find(Key);
    if (It != R.Held.end()) {
      ++It->second.Count;
      FEntry = &It->second;
      return;
    }
  }
  // Waits without the registry's mutex: another thread may take other locks meanwhile.
  int Fd = Kind == TKind::LockFile ? LockLockFile(Key.second) : LockReplacedFile(Key.second);
  if (Fd < 0) return;
  std::lock_guard G(R.Mutex);
  TEntry& E = R.Held[Key];
  E.Fds.push_back(Fd);
  ++E.Count;
  FEntry = &E;
}

TFileLock::~TFileLock() {
  if (!FEntry) return;
  TRegistry& R = Registry();
  std::lock_guard G(R.Mutex);
  if (--FEntry->Count > 0) return;
  for (int Fd : FEntry->Fds) {
    ::flock(Fd, LOCK_UN);
    ::close(Fd);
  }
  for (auto It = R.Held.begin(); It != R.Held.end(); ++It)
    if (&It->second == FEntry) {
      R.Held.erase(It);
      break;
    }
}

void HoldLockThroughReplace(const std::string& Target, int Fd) {
  TRegistry& R = Registry();
  std::lock_guard G(R.Mutex);
  auto It = R.Held.find(TKey{std::this_thread::get_id(), PathOf(Target, TFileLock::TKind::File)});
  if (It == R.Held.end()) return;
  // A descriptor of its own: the writer closes its one before the rename.
  int Own = ::fcntl(Fd, F_DUPFD_CLOEXEC, 0);
  if (Own < 0) return;
  // Nobody else knows the new file yet, so the lock is free.
  if (!LockFd(Own, LOCK_EX | LOCK_NB)) {
    ::close(Own);
    return;
  }
  It->second.Fds.push_back(Own);
}

}  // namespace nxs
