// Project files read and parsed ahead of the documents that open them, on a thread of their
// own: while a group opens its projects one by one on the main thread, the next project
// files are read on another core, and each document takes its tree from there instead of
// reading the file itself.
//
// A tree read ahead serves only where the file is still the version it was read from (the
// same inode, size and time, looked at again as the document takes it), and only where the
// document would have read the disk: an editor buffer that holds the file still comes first.
// A file that did not read or parse ahead is read again by the document, which reports it
// as it always did. Nothing that is read ahead is seen anywhere else: the order of opening,
// the events and the messages are the main thread's as before.
#pragma once

#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "projectfiles/msbnodes.h"
#include "shared/fileio.h"

namespace nxs {

class TProjectReadAhead {
 public:
  // Files: the project files in the order they are about to be opened. While another reading
  // ahead is under way this one reads nothing.
  explicit TProjectReadAhead(const std::vector<std::string>& Files);
  // Stops the reading, waits for the thread and drops what was not taken.
  ~TProjectReadAhead();
  TProjectReadAhead(const TProjectReadAhead&) = delete;  // owns its thread
  TProjectReadAhead& operator=(const TProjectReadAhead&) = delete;

  // Waits until the reading has gone as far ahead as it may (every file, or MostAhead past
  // the furthest file asked for).
  void Finish();

  // How many trees the reading keeps ahead of the last file asked for, at most.
  static constexpr size_t MostAhead = 64;

 private:
  void Run();
  bool FOwns = false;
  std::thread FThread;
};

// The tree of FileName read ahead, when a reading ahead holds it and the file on disk is
// still the version it was read from; Version is then the file's version as it is now.
// Nothing (and Version untouched) otherwise. Waits while the file is being read. Thread-safe.
std::unique_ptr<msb::TProjectNode> TakeReadAheadProject(const std::string& FileName, TFileInfo& Version);

}  // namespace nxs
