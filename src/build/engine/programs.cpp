#include "build/engine/programs.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <mutex>
#include <utility>
#include <vector>

#include "build/engine/filetimes.h"
#include "shared/fileprobes.h"
#include "shared/text.h"

namespace nxs::engine {

namespace {

constexpr const char* DefaultPath = "/usr/local/bin:/usr/bin:/bin";

// 0 when File is a regular file this process may run; else why not, as an errno value.
int WhyNotRunnable(const std::string& File) {
  NoteFileProbe(File);
  struct stat St;
  if (stat(File.c_str(), &St) != 0) return errno;
  if (S_ISDIR(St.st_mode)) return EISDIR;
  if (!S_ISREG(St.st_mode)) return EACCES;
  if (faccessat(AT_FDCWD, File.c_str(), X_OK, AT_EACCESS) != 0) return errno;
  return 0;
}

std::string Reason(const std::string& File, int Error) { return File + ": " + std::strerror(Error); }

// A relative name is relative to the folder the program will run in (the current one when
// none is given), made absolute here, where the current folder is still the caller's; the
// kernel reads ".." and links in it.
std::string InFolder(const std::string& Name, const std::string& BaseDir) {
  if (!Name.empty() && Name.front() == '/') return Name;
  std::error_code Ec;
  const std::filesystem::path Full = std::filesystem::absolute(BaseDir.empty() ? Name : BaseDir + "/" + Name, Ec);
  return Ec ? Name : Full.string();
}

std::mutex& FoundLock() {
  static std::mutex Lock;
  return Lock;
}

// A program found, and the span of a make in which it was last seen runnable (filetimes.h):
// within one span, while nothing may have changed files, it is not looked at again.
struct TFoundProgram {
  std::string File;
  uint64_t SeenInSpan = 0;
};

// (name, PATH) -> the program found.
std::map<std::pair<std::string, std::string>, TFoundProgram>& Found() {
  static std::map<std::pair<std::string, std::string>, TFoundProgram> Programs;
  return Programs;
}

std::vector<std::string> PathFolders(const std::string& Path) {
  std::vector<std::string> Folders;
  size_t Start = 0;
  while (Start <= Path.size()) {
    size_t End = Path.find(':', Start);
    if (End == std::string::npos) End = Path.size();
    // An empty entry is the current folder, as for the shell.
    Folders.push_back(End == Start ? std::string(".") : Path.substr(Start, End - Start));
    Start = End + 1;
  }
  return Folders;
}

}  // namespace

TProgramLookup FindProgram(const std::string& Name, const std::optional<std::string>& Path,
                           const std::string& BaseDir) {
  TProgramLookup R;
  if (Name.find('/') != std::string::npos) {
    const std::string File = InFolder(Name, BaseDir);
    if (int Error = WhyNotRunnable(File)) R.Failure = Reason(Name, Error);
    else R.Program = File;
    return R;
  }
  const std::string Search = Path ? *Path : DefaultPath;
  const auto Key = std::make_pair(Name, Search);
  const uint64_t Span = UnchangedSpan();  // taken before any look at the disk
  {
    // Only searches that may be remembered are.
    std::lock_guard G(FoundLock());
    auto It = Found().find(Key);
    if (It != Found().end()) {
      if ((Span != 0 && It->second.SeenInSpan == Span) || WhyNotRunnable(It->second.File) == 0) {
        It->second.SeenInSpan = Span;
        R.Program = It->second.File;
        return R;
      }
      Found().erase(It);
    }
  }
  const std::vector<std::string> Folders = PathFolders(Search);
  // A relative folder means another program in each working folder: nothing is remembered.
  bool Remember = true;
  for (const auto& F : Folders) Remember &= F.front() == '/';
  std::vector<std::string> Reasons, Without;
  for (const auto& Folder : Folders) {
    const std::string File = InFolder(Folder + "/" + Name, BaseDir);
    const int Error = WhyNotRunnable(File);
    if (Error == 0) {
      R.Program = File;
      if (Remember) {
        std::lock_guard G(FoundLock());
        Found()[Key] = {File, Span};
      }
      return R;
    }
    if (Error == ENOENT || Error == ENOTDIR) Without.push_back(Folder);
    else Reasons.push_back(Reason(Folder + "/" + Name, Error));
  }
  if (!Without.empty()) Reasons.push_back("no \"" + Name + "\" in " + Join(Without, ", "));
  R.Failure = Join(Reasons, "; ");
  return R;
}

TProgramLookup FindProgramOnPath(const std::string& Name, const std::string& BaseDir) {
  const char* Path = std::getenv("PATH");
  return FindProgram(Name, Path ? std::optional<std::string>(Path) : std::nullopt, BaseDir);
}

void ForgetPrograms() {
  std::lock_guard G(FoundLock());
  Found().clear();
}

}  // namespace nxs::engine
