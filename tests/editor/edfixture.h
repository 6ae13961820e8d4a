// What the buffer and view tests share: a folder of their own for files written by hand, and
// a comparison that says where two long texts part.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace nxs::test {

class EditorFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    Dir = std::filesystem::path(NXS_TEST_TMP) /
          ("editor-" + std::to_string(::getpid()) + "-" +
           ::testing::UnitTest::GetInstance()->current_test_info()->test_suite_name() + "-" +
           ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(Dir);
    std::filesystem::create_directories(Dir);
  }
  void TearDown() override {
    std::error_code Ec;
    std::filesystem::permissions(Dir, std::filesystem::perms::owner_all, std::filesystem::perm_options::add, Ec);
    std::filesystem::remove_all(Dir, Ec);
  }
  std::string Write(const std::string& Name, const std::string& Data) {
    const std::string P = (Dir / Name).string();
    std::ofstream(P, std::ios::binary) << Data;
    return P;
  }
  static std::string Read(const std::string& P) {
    std::ifstream In(P, std::ios::binary);
    std::stringstream S;
    S << In.rdbuf();
    return S.str();
  }
  std::filesystem::path Dir;
};

// Empty when the texts are the same, else where they first differ with a little of each:
// whole texts with a line of 100,000 characters make unreadable messages.
inline std::string Difference(const std::string& A, const std::string& B) {
  if (A == B) return "";
  const size_t N = std::min(A.size(), B.size());
  size_t At = 0;
  while (At < N && A[At] == B[At]) ++At;
  const size_t From = At < 8 ? 0 : At - 8;
  return "sizes " + std::to_string(A.size()) + " and " + std::to_string(B.size()) + ", first difference at " +
         std::to_string(At) + ": [" + A.substr(std::min(From, A.size()), 24) + "] and [" +
         B.substr(std::min(From, B.size()), 24) + "]";
}

}  // namespace nxs::test
