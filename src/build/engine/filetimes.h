// The modification times that up-to-date checks ask for, each file's asked of the disk once
// per make while nothing that may change files runs, as a build tool stats each file once per
// run: a group of a thousand projects whose records name the same system headers need not
// stat them a thousand times.
//
// Times are kept only while a make holds a TKnownFileTimes, and only from one change to the
// next: whatever may change files (a tool run, a task the engine does not know to write
// nothing, a file a task writes itself) holds a TFileChanges meanwhile, which forgets every
// time kept when it starts and when it ends and lets none be kept while it lasts. Outside a
// make every check asks the disk. A file changed from outside while a make runs (saved by
// the user, say) is seen by the next make, as a build tool sees it on its next run.
#pragma once

#include <cstdint>
#include <string>

#include "shared/fileprobes.h"

namespace nxs::engine {

// The file's modification time in nanoseconds, -1 where there is none; the one kept when the
// make has already asked and nothing has changed files since. Thread-safe.
int64_t KnownModifiedTimeNs(const std::string& File);
// The file's stamp (fileprobes.h), kept as the time is.
TFileStamp KnownFileStamp(const std::string& File);

// Nonzero while a make holds the times and nothing may be changing files: the same number
// from one change to the next, and never the same again after. What a make learnt from files
// (a document it read) holds while the number stays.
uint64_t UnchangedSpan();

// How many spans in which files may change this process has begun: a run that began none
// changed no file itself and started no tool.
uint64_t FileChangesBegun();

// Held by a make from its start to its end; makes may nest (a group's make of a project).
class TKnownFileTimes {
 public:
  TKnownFileTimes();
  ~TKnownFileTimes();
  TKnownFileTimes(const TKnownFileTimes&) = delete;  // opens and closes one span
  TKnownFileTimes& operator=(const TKnownFileTimes&) = delete;
};

// Held while files may change.
class TFileChanges {
 public:
  TFileChanges();
  ~TFileChanges();
  TFileChanges(const TFileChanges&) = delete;  // opens and closes one span
  TFileChanges& operator=(const TFileChanges&) = delete;
};

}  // namespace nxs::engine
