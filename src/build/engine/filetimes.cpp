#include "build/engine/filetimes.h"

#include <mutex>
#include <unordered_map>

#include "shared/fileio.h"

namespace nxs::engine {

namespace {

struct TTimes {
  std::mutex Lock;
  std::unordered_map<std::string, TFileStamp> Known;
  int Makes = 0;     // makes that hold the times
  int Changing = 0;  // spans in which files may change
  // Counts the changes begun and ended: a time asked of the disk is kept only when none
  // began or ended while it was asked.
  uint64_t Changes = 0;
  uint64_t Begun = 0;  // TFileChanges made
};

TTimes& Times() {
  static TTimes T;
  return T;
}

// Under the lock.
void Forget(TTimes& T) {
  ++T.Changes;
  T.Known.clear();
}

}  // namespace

TFileStamp KnownFileStamp(const std::string& File) {
  TTimes& T = Times();
  uint64_t Before;
  {
    std::lock_guard G(T.Lock);
    if (T.Makes == 0 || T.Changing > 0) return FileSystem().Stamp(File);
    if (auto It = T.Known.find(File); It != T.Known.end()) return It->second;
    Before = T.Changes;
  }
  const TFileStamp Stamp = FileSystem().Stamp(File);
  std::lock_guard G(T.Lock);
  if (T.Makes > 0 && T.Changing == 0 && T.Changes == Before) T.Known.emplace(File, Stamp);
  return Stamp;
}

int64_t KnownModifiedTimeNs(const std::string& File) {
  const TFileStamp S = KnownFileStamp(File);
  return S.Exists ? S.ModifiedNs : -1;
}

uint64_t UnchangedSpan() {
  TTimes& T = Times();
  std::lock_guard G(T.Lock);
  return T.Makes > 0 && T.Changing == 0 ? T.Changes : 0;
}

uint64_t FileChangesBegun() {
  TTimes& T = Times();
  std::lock_guard G(T.Lock);
  return T.Begun;
}

TKnownFileTimes::TKnownFileTimes() {
  TTimes& T = Times();
  std::lock_guard G(T.Lock);
  if (T.Makes++ == 0) Forget(T);
}

TKnownFileTimes::~TKnownFileTimes() {
  TTimes& T = Times();
  std::lock_guard G(T.Lock);
  // What the user changes between makes is seen by the next.
  if (--T.Makes == 0) Forget(T);
}

TFileChanges::TFileChanges() {
  TTimes& T = Times();
  std::lock_guard G(T.Lock);
  ++T.Changing;
  ++T.Begun;
  Forget(T);
}

TFileChanges::~TFileChanges() {
  TTimes& T = Times();
  std::lock_guard G(T.Lock);
  --T.Changing;
  Forget(T);
}

}  // namespace nxs::engine
