#include "shared/install.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>

#include "shared/filenames.h"
#include "shared/fileio.h"

namespace nxs {

static std::string ExecutableDir() {
  std::string Buf(4096, '\0');
  ssize_t N = readlink("/proc/self/exe", Buf.data(), Buf.size() - 1);
  if (N <= 0) return {};
  Buf.resize(static_cast<size_t>(N));
  return ExtractFileDir(Buf);
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

void SetEnvironmentVariable(const std::string& Name, const std::string& Value) {
  setenv(Name.c_str(), Value.c_str(), 1);
}

std::string HomeDir() {
  if (auto Home = GetEnvironmentVariable("HOME"); Home && !Home->empty()) return *Home;
  if (const passwd* Pw = getpwuid(getuid()); Pw && Pw->pw_dir) return Pw->pw_dir;
  return "/";
}

}  // namespace nxs
