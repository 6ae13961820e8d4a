#include "shared/folderlock.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <string_view>

namespace nxs {

TFolderLock::TFolderLock(std::string Folder) : FFolder(std::move(Folder)), FFile(FFolder + "/.nxs-lock") {}

namespace {

// Whether the folder holds anything but the lock's file.
bool HoldsOthers(const std::string& Folder) {
  DIR* D = ::opendir(Folder.c_str());
  if (!D) return false;
  bool Others = false;
  while (const dirent* E = ::readdir(D)) {
    const std::string_view Name = E->d_name;
    if (Name != "." && Name != ".." && Name != ".nxs-lock") {
      Others = true;
      break;
    }
  }
  ::closedir(D);
  return Others;
}

}  // namespace

TFolderLock::~TFolderLock() {
  // In a folder that holds other files (the build's own) the file stays for the next lock:
  // making and removing it each time costs a make with nothing to do more than its checks.
  if (FLocked && !FOthersKnown && !HoldsOthers(FFolder)) {
    // The name goes before the lock: whoever takes the file afterwards sees that it is no
    // longer the one the name stands for, and tries again with a new one.
    ::unlink(FFile.c_str());
    ::rmdir(FFolder.c_str());  // only when empty
  }
  if (FFd >= 0) ::close(FFd);
}

TFolderLock::TState TFolderLock::TryLock(std::string& Error) {
  if (FLocked) return flLocked;
  // A holder that lets go removes the file (and perhaps the folder): a lock taken on a file
  // that no longer has the name is no lock, and the next look opens the name again.
  for (int Attempt = 0; Attempt < 100; ++Attempt) {
    if (FFd < 0) {
      std::error_code Ec;
      std::filesystem::create_directories(FFolder, Ec);
      FFd = ::open(FFile.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
      if (FFd < 0) {
        if (errno == ENOENT) continue;  // the folder went meanwhile
        Error = std::strerror(errno);
        return flFailed;
      }
    }
    if (::flock(FFd, LOCK_EX | LOCK_NB) != 0) {
      if (errno == EWOULDBLOCK || errno == EINTR) return flBusy;
      Error = std::strerror(errno);
      return flFailed;
    }
    struct stat Held, Named;
    if (::fstat(FFd, &Held) == 0 && ::stat(FFile.c_str(), &Named) == 0 && Held.st_dev == Named.st_dev &&
        Held.st_ino == Named.st_ino) {
      FLocked = true;
      return flLocked;
    }
    ::close(FFd);
    FFd = -1;
  }
  Error = std::strerror(EAGAIN);
  return flFailed;
}

}  // namespace nxs
