// A file read for search in scans of a fixed size and handed over as runs of whole lines, so
// that a search holds a scan and its longest line rather than the file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace nxs {

// The bytes one read asks for.
inline constexpr size_t ScanSize = size_t{1} << 16;
// A line longer than this is passed over, unsearched, and the file reported.
inline constexpr size_t MaxSearchedLine = size_t{1} << 24;

// The storage a searching thread reads into, kept from file to file.
struct TScanBuffer {
  std::unique_ptr<char[]> Data;
  size_t Capacity = 0;
};

// One file, read up to the size it had when it was opened: what is appended meanwhile (the
// search's own output, say) is not searched.
class TFileScan {
 public:
  explicit TFileScan(TScanBuffer& Buffer) : FBuffer(Buffer) {}
  ~TFileScan();
  TFileScan(const TFileScan&) = delete;  // owns the descriptor
  TFileScan& operator=(const TFileScan&) = delete;

  enum TOpened { foOpened, foNoFile, foFailed };
  // foNoFile for a name that is no longer there; foFailed with the system's reason in Error.
  // What is not a regular file (a device, a pipe: they may never end) reads as empty.
  TOpened Open(const std::string& Name, std::string& Error);
  // The next run of whole lines: the last of the file may end without a break. TooLong: the
  // run is one line longer than MaxSearchedLine, not given (Lines is empty); it counts as one
  // line. False at the end, or on a failure with the system's reason in Error.
  bool Next(std::string_view& Lines, bool& TooLong, std::string& Error);
  // Nothing follows what Next gave last.
  bool AtEnd() const { return FLeft == 0 && FTaken == FHave && !FSkipping; }
  // The whole file (a form to convert before it is searched).
  bool ReadAll(std::string& Out, std::string& Error);

 private:
  // Reads on behind what the storage holds; false with Error on a failure.
  bool Fill(std::string& Error);

  TScanBuffer& FBuffer;
  int FFd = -1;
  uint64_t FLeft = 0;   // bytes still to read of the size at opening (all there are, until asked)
  uint64_t FRead = 0;   // bytes read so far
  bool FSized = false;  // the size was asked for
  size_t FHave = 0;     // bytes in the storage
  size_t FTaken = 0;    // of which the last run handed over
  bool FSkipping = false;  // passing over a line too long to search
};

}  // namespace nxs
