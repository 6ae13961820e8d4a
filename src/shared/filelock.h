// Locks between processes that change the same file: a command that reads a file, changes
// it and writes it back holds the file's lock from before the read until after the write,
// so that two such commands run one after the other and neither loses the other's change.
//
// The lock is an advisory lock (flock) on the file itself. Files are replaced by renaming a
// new file over them (WriteFileAtomic), which gives the name another inode; so a lock, once
// taken, checks that its inode still stands at the name and otherwise tries again, and the
// atomic writer moves a held lock onto the new file before it renames it into place
// (HoldLockThroughReplace). A file that does not exist yet is locked through its folder, so
// that two processes that create it take turns and the second sees the first one's file.
#pragma once

#include <memory>
#include <string>

namespace nxs {

class TFileLock {
 public:
  enum class TKind {
    // The file at the name (through its symbolic links), or its folder while it is missing.
    // Where neither can be opened, or the name is no regular file (a pipe, a device, a
    // folder), nothing is locked: reading the file then fails and says why.
    File,
    // A lock file of its own, made (empty) when missing and never replaced; raises
    // EInOutError when it cannot be made or locked.
    LockFile,
  };

  // Waits for the lock and holds it while the object lives. The lock is re-entrant within a
  // thread: locking a file the thread holds already shares that lock, so a save that locks
  // its file works inside a command that holds it; another thread waits as another process
  // would.
  explicit TFileLock(const std::string& Name, TKind Kind = TKind::File);
  ~TFileLock();
  TFileLock(const TFileLock&) = delete;  // holds the lock
  TFileLock& operator=(const TFileLock&) = delete;

  // True when a lock is held (false where nothing could be locked).
  bool Held() const { return FEntry != nullptr; }

  struct TEntry;  // the process's record of one held lock

 private:
  TEntry* FEntry = nullptr;
};

// For the atomic writer: the file Target is about to be replaced by the file open as Fd.
// When the calling thread holds Target's lock, the new file is locked as well before it takes
// Target's place, so that nobody finds it unlocked while the lock is still held.
void HoldLockThroughReplace(const std::string& Target, int Fd);

}  // namespace nxs
