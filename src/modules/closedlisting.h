// The stored closed-file lists read for showing: every entry as the settings keep it, also
// those whose desktop form handler belongs to a package that is not loaded.
#pragma once

#include <string>
#include <vector>

namespace nxs {

class TCustomIniFile;

struct TClosedFileListing {
  std::string HandlerName;
  std::string FileName;
  bool IsProject = false;
};

// The file list (Files set) or the project list, most recent first, read by the same rules
// as LoadClosedHistory.
std::vector<TClosedFileListing> ReadClosedFileListing(TCustomIniFile& Ini, bool Files);

}  // namespace nxs
