// What the buffer and view tests share: a scratch folder for files written by hand, and a
// comparison that says where two long texts part.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "support/files.h"
#include "support/tempdir.h"

namespace nxs::test {

class EditorFiles : public ::testing::Test {
 protected:
  // Writes the file in the scratch folder; its path.
  std::string Write(const std::string& Name, const std::string& Data) {
    const std::string P = (Dir / Name).string();
    WriteText(P, Data);
    return P;
  }
  static std::string Read(const std::string& P) { return ReadText(P); }
  TTempDir Temp;
  const std::filesystem::path Dir{Temp.Path()};
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
