#include "environment/searchdirs.h"

#include <dirent.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>

#include "environment/dirgroups.h"
#include "environment/resstrings.h"
#include "environment/searchtext.h"
#include "projectfiles/macros.h"
#include "shared/dialogs.h"
#include "shared/filenames.h"
#include "shared/format.h"
#include "shared/resstrings.h"
#include "shared/text.h"

namespace nxs {

bool IsDirectory(const std::string& Path) {
  struct stat St;
  return ::stat(Path.c_str(), &St) == 0 && S_ISDIR(St.st_mode);
}

std::vector<std::string> PrepareSearchDirectories(const std::string& Directories, const std::vector<std::string>& List) {
  std::vector<std::string> Items, Cycles, Out;
  if (List.empty()) {
    for (auto& Item : SplitSearchList(Directories)) {
      if (TDirectoryGroups::IsDirectoryGroup(Item))
        DirectoryGroups().Unwind(Item, Items, true, &Cycles);
      else
        Items.push_back(Item);
    }
  } else {
    // Names as they are; the entries of a group are a list of its own, split and expanded.
    std::vector<std::string> Grouped;
    for (const auto& Item : List) {
      if (!DirectoryGroups().IsValidGroup(Item)) {
        if (!Item.empty()) Out.push_back(ExpandFileName(Item));
        continue;
      }
      Grouped.clear();
      DirectoryGroups().Unwind(Item, Grouped, true, &Cycles);
      for (auto& G : Grouped)
        if (std::string Dir = Trim(ExpandRootMacros(G)); !Dir.empty()) Out.push_back(ExpandFileName(Dir));
    }
  }
  // The search goes on with what the groups name outside the cycle.
  for (const auto& Name : Cycles)
    Questions().MessageDlg(Format(res::SDirectoryGroupCycle, Name), TMsgDlgType::mtWarning, mbOK, mbOK);
  for (auto& Item : Items) {
    std::string Dir = Trim(ExpandRootMacros(Item));
    if (!Dir.empty()) Out.push_back(ExpandFileName(Dir));
  }
  if (Out.empty()) Out.push_back(ExpandFileName("."));
  for (auto& Path : Out) {
    struct stat St;
    if (::stat(ExcludeTrailingPathDelimiter(Path).c_str(), &St) != 0) {
      if (errno == ENOENT || errno == ENOTDIR) throw Exception(Format(res::SCannotFindPath, IncludeTrailingPathDelimiter(Path)));
      throw EInOutError(std::strerror(errno));
    }
    // A file where a directory is expected is searched itself.
    if (!S_ISDIR(St.st_mode)) {
      Path = ExcludeTrailingPathDelimiter(Path);
      continue;
    }
    Path = IncludeTrailingPathDelimiter(Path);
    // The probe of the directory's entries: one that cannot be read stops the search here.
    DIR* D = ::opendir(Path.c_str());
    if (!D) throw EInOutError(std::strerror(errno));
    ::closedir(D);
  }
  return Out;
}

}  // namespace nxs
