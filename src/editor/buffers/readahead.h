// Reading a large file while the program starts: the bytes are read on a thread of their own
// as the rest of the start-up goes on, and the edit buffer that opens the file takes them,
// provided the file on disk is still the version that was read.
#pragma once

#include <cstddef>
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

  // Lets the read go on past its first part and waits until it has ended (at once when
  // there was none).
  void Wait();

  // Files smaller than this are read as quickly as they are opened.
  static constexpr unsigned long long WorthFrom = 4ull << 20;
  // The part of the file read first, for a first screen and well beyond it.
  static constexpr size_t FirstPartSize = 256u << 10;

  struct TState;

 private:
  std::shared_ptr<TState> FState;
};

// The first part of a large file being read ahead, as text to show while the rest comes in:
// whole lines of UTF-8 from the file's first bytes (a line longer than the part is cut at a
// character, never inside one). False when no read of FileName is under way or its first
// part is not UTF-8 as it lies. What it gives is for the eye only: the file is opened as
// ever, from the bytes of the whole read.
bool ReadAheadFirstPart(const std::string& FileName, std::string& Text);
// The reads ahead go on from their first parts to the whole files, which they leave until
// then so as not to slow the first screen down: once it is out, or when a buffer takes one.
void ReadAheadGoOn();

}  // namespace nxs
