// One random number per process for the hash tables of the XML parsers: a document crafted to
// make their tables slow cannot know it, and each parser need not draw its own from the
// system (a draw per project file is a system call per project in a make of a large group).
#pragma once

#include <random>

namespace nxs {

// Never 0 (which the XML parser takes for "draw one yourself"). Thread-safe.
inline unsigned long ProcessHashSalt() {
  static const unsigned long Salt = [] {
    std::random_device Device;
    unsigned long S = 0;
    while (S == 0) S = (static_cast<unsigned long>(Device()) << 32) ^ Device();
    return S;
  }();
  return Salt;
}

}  // namespace nxs
