// What the package tests share: the test packages this folder builds, copied where a test
// wants them.
#pragma once

#include <sys/stat.h>

#include <filesystem>
#include <string>

#include "support/tempdir.h"

namespace nxs::test {

inline std::string TestPackage(const std::string& Name) {
  return std::string(NXS_TEST_PACKAGES_DIR) + "/" + Name + ".so";
}

// A copy of a test package in the test's folder, with the mode given.
inline std::string CopyPackage(const TTempDir& Dir, const std::string& Name, mode_t Mode = 0755,
                               const std::string& As = {}) {
  const std::string To = Dir / (As.empty() ? Name + ".so" : As);
  std::filesystem::copy_file(TestPackage(Name), To, std::filesystem::copy_options::overwrite_existing);
  ::chmod(To.c_str(), Mode);
  return To;
}

// The number of registration calls the loaded test package has seen.
template <class TPackageType>
int Registrations(const TPackageType& P) {
  auto Count = reinterpret_cast<int (*)()>(P.FindSymbol("TestPackageRegistrations"));
  return Count ? Count() : -1;
}

}  // namespace nxs::test
