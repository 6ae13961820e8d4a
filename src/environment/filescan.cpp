// Reading a file for search: scans into storage kept by the thread, carried lines moved to
// its front, a line longer than a scan read whole up to the limit and passed over beyond it.
#include "environment/filescan.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "environment/linematcher.h"

namespace nxs {

TFileScan::~TFileScan() {
  if (FFd >= 0) ::close(FFd);
}

TFileScan::TOpened TFileScan::Open(const std::string& Name, std::string& Error) {
  // Not blocking: a pipe reached through a link is not waited for (it is no file to search).
  FFd = ::open(Name.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (FFd < 0) {
    // A name of a list that is not on disk, or one that went since the walk found it.
    if (errno == ENOENT || errno == ENOTDIR) return foNoFile;
    Error = std::strerror(errno);
    return foFailed;
  }
  // Most files are read whole by the first read: only one that fills it is asked for its size.
  FLeft = UINT64_MAX;
  FSized = false;
  // Storage grown for a long line goes back to a scan's size.
  if (!FBuffer.Data || FBuffer.Capacity > ScanSize) {
    FBuffer.Capacity = ScanSize;
    FBuffer.Data.reset(new char[FBuffer.Capacity]);
  }
  FHave = FTaken = 0;
  FRead = 0;
  FSkipping = false;
  return foOpened;
}

bool TFileScan::Fill(std::string& Error) {
  if (FHave == FBuffer.Capacity) {
    // A line longer than what the storage holds: it grows to hold the line, up to the limit.
    const size_t Cap = std::min(FBuffer.Capacity * 2, MaxSearchedLine + ScanSize);
    std::unique_ptr<char[]> Data(new char[Cap]);
    std::memcpy(Data.get(), FBuffer.Data.get(), FHave);
    FBuffer.Data = std::move(Data);
    FBuffer.Capacity = Cap;
  }
  const size_t Want = static_cast<size_t>(std::min<uint64_t>(FBuffer.Capacity - FHave, FLeft));
  for (;;) {
    const ssize_t N = ::read(FFd, FBuffer.Data.get() + FHave, Want);
    if (N < 0 && errno == EINTR) continue;
    if (N < 0) {
      // A directory in a list of files is none to search.
      const int Code = errno;
      FLeft = 0;
      FHave = 0;
      if (Code == EISDIR) return true;
      Error = std::strerror(Code);
      return false;
    }
    FHave += static_cast<size_t>(N);
    FRead += static_cast<uint64_t>(N);
    // A read that comes short has met the file's end (a file that shrank ends there too).
    if (static_cast<size_t>(N) < Want) {
      FLeft = 0;
      return true;
    }
    if (FSized) {
      FLeft -= static_cast<uint64_t>(N);
      return true;
    }
    // The file is longer than one read: what it holds now is what is searched, and only a
    // regular file (a device may never end).
    struct stat St;
    if (::fstat(FFd, &St) != 0) {
      Error = std::strerror(errno);
      return false;
    }
    FSized = true;
    if (!S_ISREG(St.st_mode)) {
      FLeft = 0;
      FHave = 0;
      return true;
    }
    const auto Size = static_cast<uint64_t>(St.st_size);
    FLeft = Size > FRead ? Size - FRead : 0;
    return true;
  }
}

bool TFileScan::Next(std::string_view& Lines, bool& TooLong, std::string& Error) {
  TooLong = false;
  char* Data = FBuffer.Data.get();
  if (FTaken) {
    std::memmove(Data, Data + FTaken, FHave - FTaken);
    FHave -= FTaken;
    FTaken = 0;
  }
  for (;;) {
    const bool Complete = FLeft == 0;
    const std::string_view Held(Data, FHave);
    if (FSkipping) {
      const size_t End = FirstBreakEnd(Held, Complete);
      if (End != std::string_view::npos || Complete) {
        FTaken = End != std::string_view::npos ? End : FHave;
        FSkipping = false;
        Lines = {};
        TooLong = true;
        return true;
      }
      // Only a break as the last byte (its pair unknown yet) is kept.
      const size_t Keep = FHave > 0 && (Data[FHave - 1] == '\n' || Data[FHave - 1] == '\r') ? 1 : 0;
      std::memmove(Data, Data + FHave - Keep, Keep);
      FHave = Keep;
    } else if (Complete) {
      if (FHave == 0) return false;
      Lines = Held;
      FTaken = FHave;
      return true;
    } else if (const size_t Cut = WholeLinesEnd(Held)) {
      Lines = Held.substr(0, Cut);
      FTaken = Cut;
      return true;
    } else if (FHave >= MaxSearchedLine) {
      FSkipping = true;
      continue;
    }
    if (!Fill(Error)) return false;
    Data = FBuffer.Data.get();
  }
}

bool TFileScan::ReadAll(std::string& Out, std::string& Error) {
  Out.clear();
  while (FLeft > 0) {
    FHave = FTaken = 0;
    if (!Fill(Error)) return false;
    Out.append(FBuffer.Data.get(), FHave);
  }
  FHave = FTaken = 0;
  return true;
}

}  // namespace nxs
