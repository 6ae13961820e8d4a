#include "shared/install.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <iterator>

#include "shared/filenames.h"
#include "shared/fileio.h"

namespace nxs {

std::string ExecutableFile() {
  std::string Buf(4096, '\0');
  ssize_t N = readlink("/proc/self/exe", Buf.data(), Buf.size() - 1);
  if (N <= 0) return {};
  Buf.resize(static_cast<size_t>(N));
  return Buf;
}

static std::string ExecutableDir() {
  const std::string Exe = ExecutableFile();
  return Exe.empty() ? Exe : ExtractFileDir(Exe);
}

std::string DataDir() {
  if (auto Env = GetEnvironmentVariable("NXS_DATA_DIR"); Env && !Env->empty())
    return ExcludeTrailingPathDelimiter(ExpandFileName(*Env));
  std::string Exe = ExecutableDir();
  if (!Exe.empty()) {
    std::string Installed = ExpandFileName("../share/nxs/data", Exe);
    if (FileSystem().DirectoryExists(Installed)) return Installed;
  }
  return ExcludeTrailingPathDelimiter(NXS_SOURCE_DATA_DIR);
}

std::string InstallDir() { return ExtractFileDir(DataDir()); }

std::optional<std::string> GetEnvironmentVariable(const std::string& Name) {
  const char* V = std::getenv(Name.c_str());
  if (!V) return std::nullopt;
  return std::string(V);
}

std::vector<std::string> ProcessArguments() {
  std::vector<std::string> Words;
  // Read aside from the file system, so that no record of what a run read names it.
  std::ifstream In("/proc/self/cmdline", std::ios::binary);
  const std::string Text((std::istreambuf_iterator<char>(In)), std::istreambuf_iterator<char>());
  for (size_t Start = 0; Start < Text.size();) {
    size_t End = Text.find('\0', Start);
    if (End == std::string::npos) End = Text.size();
    Words.push_back(Text.substr(Start, End - Start));
    Start = End + 1;
  }
  return Words;
}

std::vector<std::string> EnvironmentEntries() {
  std::vector<std::string> Entries;
  for (char** E = environ; E && *E; ++E) Entries.emplace_back(*E);
  return Entries;
}

void SetEnvironmentVariable(const std::string& Name, const std::string& Value) {
  setenv(Name.c_str(), Value.c_str(), 1);
}

std::string HomeDir() {
  if (auto Home = GetEnvironmentVariable("HOME"); Home && !Home->empty()) return *Home;
  if (const passwd* Pw = getpwuid(getuid()); Pw && Pw->pw_dir) return Pw->pw_dir;
  return "/";
}

}  // namespace nxs
