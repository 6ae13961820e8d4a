// Reading a large file while the program starts: the bytes are read on a thread of their own
// as the rest of the start-up goes on, and the edit buffer that opens the file takes them,
// provided the file on disk is still the version that was read.
#pragma once

#include <memory>
#include <string>

namespace nxs {

class TFileReadAhead {
 public:
  // Starts reading FileName (relative names against the current directory) on a thread of
  // its own. A file that cannot be read, or is not a regular file, is left to the opener.
  explicit TFileReadAhead(const std::string& FileName);
  // Waits for the read and drops what no buffer took.
  ~TFileReadAhead();
  TFileReadAhead(const TFileReadAhead&) = delete;  // owns its thread
  TFileReadAhead& operator=(const TFileReadAhead&) = delete;

  // Waits until the read has ended (at once when there was none).
  void Wait();

  // Files smaller than this are read as quickly as they are opened.
  static constexpr unsigned long long WorthFrom = 4ull << 20;

  struct TState;

 private:
  std::shared_ptr<TState> FState;
};

}  // namespace nxs
