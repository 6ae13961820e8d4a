// The record of a make with nothing to do, so that the next one, finding everything it
// depended on as it was, prints what it printed without opening a project.
//
// A make of a group (or of a project file) that ran no tool and changed no file is recorded
// with everything it depended on: each file the process looked at (the group and project
// files, their imports, the local files and option sets looked for and not found, the
// settings, the sources, headers and outputs the compile records name, the programs found on
// the PATH and the folders looked for them in, the program and its packages), each with its
// size, times and inode; the command's words, the current folder and the whole environment,
// as a hash; and what the make printed. A make with the same words that finds every file's
// stamp unchanged replays the output (the elapsed time its own) and is done. Anything else,
// a record missing, cut short, of another form or for other words, goes the whole way; that
// make forgets the record first, and only one that succeeded, ran nothing and saw no file
// change while it ran writes a new one, atomically: two makes at once leave one whole record.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace nxs {

// Whether a build as asked may be replayed from a record: a make (of what is on disk, not of
// an editor's unsaved texts) that the command waits for.
bool ReplayableMake(bool Make, bool Background, bool Unsaved);

class TMakeRecord {
 public:
  // BuildFile: the group or project file the make builds. The record lives in the user's
  // settings folder, one per build file, under the file's full name's hash.
  explicit TMakeRecord(const std::string& BuildFile);
  // Where the record is kept, and the words, folder and environment it is kept for.
  TMakeRecord(std::string RecordFile, std::string Key);

  // What the recorded make printed, its elapsed time line (if it had one) telling the time
  // since Started; nothing unless the record is whole, made for the same key, and every file
  // in it has the stamp it recorded.
  [[nodiscard]] std::optional<std::string> Replay(std::chrono::steady_clock::time_point Started) const;
  // Removes the record (before a make that goes the whole way).
  void Forget() const;

  const std::string& FileName() const { return FFileName; }
  const std::string& Key() const { return FKey; }

  // The key of this process: its words, current folder and environment, hashed.
  static std::string ProcessKey();

 private:
  friend class TMakeRecording;
  std::string FFileName;
  std::string FKey;
};

// Watches a make from its start to its end and records it when it may be replayed.
class TMakeRecording {
 public:
  // Forgets the record and starts collecting the files the make looks at.
  explicit TMakeRecording(const TMakeRecord& Record);
  ~TMakeRecording();
  TMakeRecording(const TMakeRecording&) = delete;  // collects for one make
  TMakeRecording& operator=(const TMakeRecording&) = delete;

  // Text the make printed, in pieces of whole lines.
  void Printed(std::string_view Text);
  // After a make that succeeded: writes the record, unless the make ran a tool or changed a
  // file, or a file it looked at changed while it ran. True when it wrote one.
  bool Commit();

 private:
  const TMakeRecord& FRecord;
  std::vector<std::string> FOutput;
  int64_t FStartedAt;     // the file system's clock
  uint64_t FChangesAtStart;
  bool FStartedProbes;    // collecting began here, and ends here
};

}  // namespace nxs
