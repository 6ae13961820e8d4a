// A unique scratch directory for one test, removed afterwards.
#pragma once

#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <string>

namespace nxs::test {

class TTempDir {
 public:
  TTempDir() {
    std::string Base = std::filesystem::temp_directory_path().string() + "/nxs-test-XXXXXX";
    char* Made = ::mkdtemp(Base.data());
    FPath = Made ? Made : Base;
  }
  ~TTempDir() {
    std::error_code Ec;
    // A test may have taken permissions away; give them back so that everything goes.
    for (auto It = std::filesystem::recursive_directory_iterator(FPath, Ec);
         !Ec && It != std::filesystem::recursive_directory_iterator(); It.increment(Ec))
      if (It->is_directory(Ec) && !It->is_symlink(Ec)) ::chmod(It->path().c_str(), 0700);
    ::chmod(FPath.c_str(), 0700);
    std::filesystem::remove_all(FPath, Ec);
  }
  TTempDir(const TTempDir&) = delete;  // owns the directory
  TTempDir& operator=(const TTempDir&) = delete;
  const std::string& Path() const { return FPath; }
  std::string operator/(const std::string& Name) const { return FPath + "/" + Name; }
  // Lets every user in, for a test that runs something as an unprivileged user.
  void OpenToAll() const { ::chmod(FPath.c_str(), 0777); }

 private:
  std::string FPath;
};

}  // namespace nxs::test
