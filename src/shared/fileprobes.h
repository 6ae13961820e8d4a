// The files a run looked at, for a record of what its result depended on: while probes are
// collected, every file the disk file system, the settings store, the package loader, the
// program search and the engine's wildcards stat, read, list or replace is noted by its full
// name. A file that was looked for and not found is noted too: its appearing would change the
// result as much as an edit would. A stamp of each (size, times, inode) is what a later run
// compares.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace nxs {

// What a file is on disk, as far as a change detector needs: two equal stamps mean nothing
// replaced, wrote or touched the file between them (a rename over it changes the inode even
// where size and times were copied).
struct TFileStamp {
  bool Exists = false;
  bool Directory = false;
  uint64_t Size = 0;
  uint64_t Inode = 0;
  uint64_t Device = 0;
  int64_t ModifiedNs = 0;
  int64_t ChangedNs = 0;  // the inode's change time: also moved by a rename, a chmod, a touch
  bool operator==(const TFileStamp&) const = default;
};

// The stamp of the file at Path (through links); a missing or unreadable one has Exists false.
TFileStamp FileStampOf(const std::string& Path);

// The clock the file system stamps files with (the coarse real-time clock): a file changed
// after this reading has a change time at or after it.
int64_t FileClockNowNs();

// Notes that the run looked at Path, a file or a folder (relative names against the current
// folder). Costs one load while no probes are collected. Thread-safe.
void NoteFileProbe(std::string_view Path);

// Probes are collected process-wide from the first start to the stop; starting again while
// they are collected changes nothing. Thread-safe.
void StartFileProbes();
void StopFileProbes();
bool CollectingFileProbes();
// Every name noted since the start, each once, sorted.
std::vector<std::string> FileProbes();

}  // namespace nxs
