#include "modules/closedlisting.h"

#include "modules/closedfiles.h"
#include "modules/inifile.h"
#include "modules/resstrings.h"

namespace nxs {

namespace {

// An entry read back only to be listed: nothing to restore.
class TListedClosedFile : public TClosedFile {
 public:
  void RestoreModule(IClosedFileModule&) override {}
};

}  // namespace

std::vector<TClosedFileListing> ReadClosedFileListing(TCustomIniFile& Ini, bool Files) {
  TClosedFiles Lists;
  Lists.InitClosedFileTypeList();
  // Entries of handlers that are not registered here are listed all the same: each such
  // handler gets a class that only lists.
  const char* Section = Files ? res::SClosedFilesSection : res::SClosedProjectsSection;
  for (const auto& Key : Ini.ReadSection(Section)) {
    const std::vector<std::string> Items = SplitClosedFileValue(Ini.ReadString(Section, Key, ""));
    if (Items.empty() || Items[0].empty() || Lists.FindClosedFileClass(Items[0])) continue;
    TClosedFileClass C;
    C.ClassName = "TListedClosedFile";
    C.CreateEmpty = [] { return std::make_unique<TListedClosedFile>(); };
    Lists.RegisterClosedFileClass(Items[0], C);
  }
  Lists.LoadClosedHistory(Ini, Files, false);
  TClosedFileList& L = Files ? Lists.ClosedFileList() : Lists.ClosedProjectList();
  std::vector<TClosedFileListing> Out;
  for (int I = 0; I < L.Count(); ++I)
    Out.push_back({L.Item(I)->HandlerName(), L.Item(I)->FileName(), L.Item(I)->IsProject()});
  return Out;
}

}  // namespace nxs
