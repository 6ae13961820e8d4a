#include "shared/fileprobes.h"

#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <ctime>
#include <mutex>
#include <unordered_set>

#include "shared/filenames.h"

namespace nxs {

namespace {

// The names noted, under Lock; Collecting lets a run that collects nothing pass by without
// locking.
struct TProbes {
  std::mutex Lock;
  std::unordered_set<std::string> Names;
};
TProbes& Probes() {
  static TProbes P;
  return P;
}
std::atomic<bool> Collecting{false};

int64_t Ns(const timespec& T) { return static_cast<int64_t>(T.tv_sec) * 1000000000 + T.tv_nsec; }

}  // namespace

TFileStamp FileStampOf(const std::string& Path) {
  TFileStamp S;
  struct stat St;
  if (::stat(Path.c_str(), &St) != 0) return S;
  S.Exists = true;
  S.Directory = S_ISDIR(St.st_mode);
  S.Size = static_cast<uint64_t>(St.st_size);
  S.Inode = static_cast<uint64_t>(St.st_ino);
  S.Device = static_cast<uint64_t>(St.st_dev);
  S.ModifiedNs = Ns(St.st_mtim);
  S.ChangedNs = Ns(St.st_ctim);
  return S;
}

int64_t FileClockNowNs() {
  timespec T{};
  clock_gettime(CLOCK_REALTIME_COARSE, &T);
  return Ns(T);
}

void NoteFileProbe(std::string_view Path) {
  if (!Collecting.load(std::memory_order_acquire) || Path.empty()) return;
  std::string Full = Path.front() == '/' ? std::string(Path) : ExpandFileName(Path);
  TProbes& P = Probes();
  std::lock_guard G(P.Lock);
  if (Collecting) P.Names.insert(std::move(Full));
}

void StartFileProbes() {
  std::lock_guard G(Probes().Lock);
  Collecting = true;
}

void StopFileProbes() {
  TProbes& P = Probes();
  std::lock_guard G(P.Lock);
  Collecting = false;
  P.Names.clear();
}

bool CollectingFileProbes() { return Collecting.load(std::memory_order_acquire); }

std::vector<std::string> FileProbes() {
  std::vector<std::string> Sorted;
  {
    TProbes& P = Probes();
    std::lock_guard G(P.Lock);
    Sorted.assign(P.Names.begin(), P.Names.end());
  }
  std::sort(Sorted.begin(), Sorted.end());
  return Sorted;
}

}  // namespace nxs
