// A lock on a folder between processes: an advisory lock on a file in it (".nxs-lock"),
// which stays while the folder holds other files (as a build tool's log stays beside what it
// made) and goes with the folder otherwise, so that an empty folder is not left behind. Two
// builds of one project use it to take turns with the project's intermediate folder.
#pragma once

#include <string>

namespace nxs {

class TFolderLock {
 public:
  enum TState { flLocked, flBusy, flFailed };

  // Nothing is locked yet; the folder is made when it is first tried.
  explicit TFolderLock(std::string Folder);
  // Releases the lock; the file and the folder go when nothing else is in the folder.
  ~TFolderLock();
  TFolderLock(const TFolderLock&) = delete;  // holds the lock
  TFolderLock& operator=(const TFolderLock&) = delete;

  // One try, without waiting: flBusy while another holds the lock, flFailed (with the
  // system's reason in Error) when the folder or the file cannot be made.
  [[nodiscard]] TState TryLock(std::string& Error);
  bool Locked() const { return FLocked; }
  // The holder has seen files of its own in the folder since (a build's record): the lock's
  // file stays when the lock goes, without a look into the folder.
  void KnowOtherFiles() { FOthersKnown = true; }
  const std::string& Folder() const { return FFolder; }

 private:
  std::string FFolder;
  std::string FFile;
  int FFd = -1;
  bool FLocked = false;
  bool FOthersKnown = false;
};

}  // namespace nxs
