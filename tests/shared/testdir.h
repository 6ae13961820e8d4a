// A unique scratch directory for one test, removed afterwards.
#pragma once

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
    std::filesystem::remove_all(FPath, Ec);
  }
  TTempDir(const TTempDir&) = delete;  // owns the directory
  TTempDir& operator=(const TTempDir&) = delete;
  const std::string& Path() const { return FPath; }
  std::string operator/(const std::string& Name) const { return FPath + "/" + Name; }

 private:
  std::string FPath;
};

}  // namespace nxs::test
