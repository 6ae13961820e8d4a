// The threads of this process as the system sees them: found by the name each gives itself.
#pragma once

#include <dirent.h>

#include <fstream>
#include <iterator>
#include <sstream>
#include <string>

namespace nxs::test {

// The nice value of a thread of this process named Name (as the system keeps it, cut to 15
// characters); -100 when no thread has that name.
inline int ThreadNice(const std::string& Name) {
  DIR* D = ::opendir("/proc/self/task");
  if (!D) return -100;
  const std::string Kept = Name.substr(0, 15);
  int Nice = -100;
  while (dirent* E = ::readdir(D)) {
    std::ifstream In(std::string("/proc/self/task/") + E->d_name + "/stat");
    std::string Stat((std::istreambuf_iterator<char>(In)), std::istreambuf_iterator<char>());
    // "tid (name) state ...": the nice value is the 17th field after the name.
    const size_t Open = Stat.find('('), Close = Stat.rfind(')');
    if (Open == std::string::npos || Close == std::string::npos) continue;
    if (Stat.substr(Open + 1, Close - Open - 1) != Kept) continue;
    std::istringstream Fields(Stat.substr(Close + 2));
    std::string F;
    for (int I = 0; I < 17 && Fields >> F; ++I) {}
    Nice = std::stoi(F);
  }
  ::closedir(D);
  return Nice;
}

}  // namespace nxs::test
