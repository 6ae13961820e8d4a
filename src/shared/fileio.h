// File access: the file-system seam that the system reads and writes through, and the disk
// implementation with its one atomic-write helper (temporary file, flush, rename; a file with
// several names is rewritten in place instead, see WriteFileAtomic).
#pragma once

#include <cstdint>
#include <ctime>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "shared/fileprobes.h"

namespace nxs {

struct TFileInfo {
  bool Exists = false;
  bool IsDirectory = false;
  bool ReadOnly = false;  // the user may not write it, or it has no write permission at all
  uint64_t Size = 0;
  uint64_t Inode = 0;           // 0 where the file system has none (a test's)
  time_t ModifiedTime = 0;      // seconds
  int64_t ModifiedTimeNs = 0;   // nanoseconds since the epoch, for change detection
  bool IsSpecial = false;       // a pipe, a device or a socket: neither a file nor a directory
};

// True when both looks saw one version of a file: nothing replaced or changed it between.
inline bool SameFileVersion(const TFileInfo& A, const TFileInfo& B) {
  return A.Exists == B.Exists && A.Inode == B.Inode && A.Size == B.Size && A.ModifiedTimeNs == B.ModifiedTimeNs;
}

// Where IFileSystem::ReadFileInto puts a file: straight into memory the reader owns (a
// parser's input buffer), which saves holding a large file twice.
class IReadTarget {
 public:
  virtual ~IReadTarget() = default;
  // Room for the next bytes, about Wanted of them (it may be less, never empty).
  virtual std::span<char> Room(size_t Wanted) = 0;
  // Count bytes were put at the start of the last room; AtEnd once the file has ended.
  // Returns false to stop reading (the target has seen enough, or failed).
  virtual bool Filled(size_t Count, bool AtEnd) = 0;
};

// A file being written piece by piece, for output too large to hold whole. Nothing reaches
// the file before Commit, which replaces it atomically as WriteFile does; destroyed without
// Commit (a failure on the way), the writer leaves the file as it was. Write and Commit
// raise EInOutError with the file's name.
class IFileWriter {
 public:
  virtual ~IFileWriter() = default;
  virtual void Write(std::string_view Data) = 0;
  virtual void Commit() = 0;
};

// Abstract so that buffers, modules and history can be tested without a disk. Every
// operation raises EInOutError with the file's name on failure.
class IFileSystem {
 public:
  virtual ~IFileSystem() = default;
  virtual std::string ReadFile(const std::string& Name) = 0;
  // Reads the file into Target, room by room. Here: ReadFile and one copy; the disk reads
  // straight into the target's memory.
  virtual void ReadFileInto(const std::string& Name, IReadTarget& Target);
  // Replaces the file atomically: a reader sees the old or the new content, never a part.
  virtual void WriteFile(const std::string& Name, std::string_view Data) = 0;
  // Writes a file under a name that must be free: false, with nothing changed, when the name
  // is taken. The file appears whole or not at all, and of two processes that pick the same
  // name at once one gets false. Here: Stat and WriteFile, which is enough in one process.
  virtual bool CreateNewFile(const std::string& Name, std::string_view Data);
  // CreateNewFile with the text of the file From: a copy under a name that must be free (a
  // numbered backup). Here: ReadFile and CreateNewFile; the disk copies inside the system,
  // never through this process's memory.
  virtual bool CopyToNewFile(const std::string& From, const std::string& To);
  // A writer for the file. Here: the pieces are collected and handed to WriteFile at Commit;
  // the disk writes them to a temporary file as they come.
  virtual std::unique_ptr<IFileWriter> CreateFileWriter(const std::string& Name);
  virtual TFileInfo Stat(const std::string& Name) = 0;
  // The modification time in nanoseconds, -1 where there is no such file: what up-to-date
  // checks ask of thousands of files. Here: through Stat; the disk asks for nothing more.
  virtual int64_t ModifiedTimeNs(const std::string& Name) {
    TFileInfo I = Stat(Name);
    return I.Exists ? I.ModifiedTimeNs : -1;
  }
  // What tells one version of the file from another (fileprobes.h). Here: through Stat, the
  // change time taken to be the modification time; the disk asks for nothing more.
  virtual TFileStamp Stamp(const std::string& Name);
  // Names (not paths) of the entries of a directory, "." and ".." left out, unsorted.
  virtual std::vector<std::string> ListDirectory(const std::string& Dir) = 0;
  virtual void Rename(const std::string& From, const std::string& To) = 0;
  virtual void DeleteFile(const std::string& Name) = 0;
  // Creates the directory and its missing parents.
  virtual void ForceDirectories(const std::string& Dir) = 0;
  virtual void CopyFile(const std::string& From, const std::string& To) = 0;
  virtual void SetModifiedTime(const std::string& Name, time_t Time) = 0;

  bool FileExists(const std::string& Name) {
    TFileInfo I = Stat(Name);
    return I.Exists && !I.IsDirectory;
  }
  bool DirectoryExists(const std::string& Name) {
    TFileInfo I = Stat(Name);
    return I.Exists && I.IsDirectory;
  }
};

// The real disk. A file system derived from it that changes ReadFile or WriteFile changes
// ReadFileInto or CreateFileWriter alike: these go to the disk directly.
class TDiskFileSystem : public IFileSystem {
 public:
  std::string ReadFile(const std::string& Name) override;
  void ReadFileInto(const std::string& Name, IReadTarget& Target) override;
  void WriteFile(const std::string& Name, std::string_view Data) override;
  bool CreateNewFile(const std::string& Name, std::string_view Data) override;
  // A derived file system copies through its ReadFile and CreateNewFile.
  bool CopyToNewFile(const std::string& From, const std::string& To) override;
  std::unique_ptr<IFileWriter> CreateFileWriter(const std::string& Name) override;
  TFileInfo Stat(const std::string& Name) override;
  // One stat call, no access check; a derived file system goes through its Stat.
  int64_t ModifiedTimeNs(const std::string& Name) override;
  TFileStamp Stamp(const std::string& Name) override;
  std::vector<std::string> ListDirectory(const std::string& Dir) override;
  void Rename(const std::string& From, const std::string& To) override;
  void DeleteFile(const std::string& Name) override;
  void ForceDirectories(const std::string& Dir) override;
  void CopyFile(const std::string& From, const std::string& To) override;
  void SetModifiedTime(const std::string& Name, time_t Time) override;
};

// The file system the system uses; the disk unless a test or the host set another.
IFileSystem& FileSystem();
void SetFileSystem(std::shared_ptr<IFileSystem> FS);

// Direct disk helpers behind TDiskFileSystem, for the few places below the seam (the
// settings store).
std::string ReadWholeFile(const std::string& Name);
// The one atomic write every file of the system goes through (TDiskFileSystem::WriteFile
// and CreateFileWriter come here too). It replaces the file at the end of Name's chain of
// symbolic links, keeps that file's permissions, and refuses, with EInOutError naming the
// file and nothing changed, a file the user may not write or one marked read-only.
//
// The new text goes to a temporary file beside the target first and is flushed. Then:
// - a file with one name is replaced by renaming the temporary file over it: a reader sees
//   the old or the new text, never a part, whenever the program stops;
// - a file with more than one name (hard links) is rewritten in place from the temporary
//   file, so that every name sees the new text; renaming would give this name a new file and
//   leave the others with the old text. Room for the new text is taken first, so a full disk
//   fails while the file is unchanged, and SIGTERM, SIGINT and SIGHUP wait until the copy is
//   done. A crash in the middle of the copy can leave a mixture: callers that keep a backup
//   (saving a module does) write it before this is called, so the old text is always safe.
// Until it is renamed or removed, the temporary file is registered with the signal handler
// (shared/signals.h), so that an interrupted program leaves none behind.
void WriteFileAtomic(const std::string& Name, std::string_view Data);
// IFileSystem::CreateNewFile on the disk: the name is not followed through links.
[[nodiscard]] bool WriteNewFileAtomic(const std::string& Name, std::string_view Data);
// The same with the text of the file From, copied by the system (copy_file_range where the
// file system has it); raises EInOutError naming From when it cannot be read.
[[nodiscard]] bool CopyNewFileAtomic(const std::string& From, const std::string& Name);
// Removes, in Folder, the temporary files that writers killed by a signal no handler sees
// left behind, for every file whose name begins with NamePrefix: where each write picks a new
// name (numbered backups), the next write of the same name never comes to take them away.
void RemoveLeftTemporariesOfFamily(const std::string& Folder, std::string_view NamePrefix);
// The streaming form of WriteFileAtomic: nothing reaches the file before Commit.
std::unique_ptr<IFileWriter> CreateAtomicFileWriter(const std::string& Name);
// The file a write to Name replaces: Name itself, or where its symbolic links lead (which
// need not exist yet).
std::string ResolveLinks(const std::string& Name);

}  // namespace nxs
