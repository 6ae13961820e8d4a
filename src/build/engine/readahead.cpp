#include "build/engine/readahead.h"

#include <unistd.h>

#include "build/engine/filetimes.h"
#include "build/engine/items.h"
#include "build/engine/project.h"
#include "shared/mainthread.h"

namespace nxs::engine {

namespace {

std::string CurrentDir() {
  char Buf[4096];
  return getcwd(Buf, sizeof Buf) ? std::string(Buf) : std::string("/");
}

}  // namespace

TReadAhead::TReadAhead(std::vector<std::string> Files) : FFiles(std::move(Files)) {
  if (UnchangedSpan() == 0 || FFiles.empty()) return;
  // The names the engine will ask for: full paths as it makes them.
  const std::string Dir = CurrentDir();
  for (std::string& F : FFiles) F = FullPathOf(F, Dir);
  FThread = std::thread([this] { Run(); });
}

TReadAhead::~TReadAhead() {
  FStop = true;
  if (FThread.joinable()) FThread.join();
}

void TReadAhead::Finish() {
  if (FThread.joinable()) FThread.join();
}

void TReadAhead::Run() {
  SetCurrentThreadName("Read Ahead");
  const uint64_t Span = UnchangedSpan();
  TDocumentCache Cache;
  for (const std::string& F : FFiles) {
    if (FStop || Span == 0 || UnchangedSpan() != Span) return;
    try {
      Cache.Load(F);
    } catch (const std::exception&) {
      // A file that does not read is the engine's to report, when it reads it itself.
    }
  }
}

}  // namespace nxs::engine
