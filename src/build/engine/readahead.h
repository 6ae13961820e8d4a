// Project files read and parsed ahead of the engine runs of a make, on a thread of their own:
// while the engine builds one project of a group, the next ones are parsed on another core,
// and the engine finds them among the documents read since nothing changed files
// (filetimes.h). What is read ahead serves only while nothing changes files, so the first
// change ends the reading: what it would read next would be read again anyway.
#pragma once

#include <atomic>
#include <string>
#include <thread>
#include <vector>

namespace nxs::engine {

class TReadAhead {
 public:
  // Files: the project files in the order the make builds them. Nothing is read outside a
  // make that holds the file times.
  explicit TReadAhead(std::vector<std::string> Files);
  // Stops the reading and waits for the thread.
  ~TReadAhead();
  // Waits until every file is read, or the reading has ended.
  void Finish();
  TReadAhead(const TReadAhead&) = delete;  // owns its thread
  TReadAhead& operator=(const TReadAhead&) = delete;

 private:
  void Run();
  std::vector<std::string> FFiles;
  std::atomic<bool> FStop{false};
  std::thread FThread;  // last: starts once the state above is made
};

}  // namespace nxs::engine
