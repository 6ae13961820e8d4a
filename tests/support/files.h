// Reading and writing whole files in tests, byte for byte.
#pragma once

#include <fstream>
#include <sstream>
#include <string>

namespace nxs::test {

// The file's bytes; "" when it cannot be read.
inline std::string ReadText(const std::string& Name) {
  std::ifstream In(Name, std::ios::binary);
  std::stringstream S;
  S << In.rdbuf();
  return S.str();
}

inline void WriteText(const std::string& Name, const std::string& Text) {
  std::ofstream(Name, std::ios::binary) << Text;
}

}  // namespace nxs::test
