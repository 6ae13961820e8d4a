#include "lsp/lspworkspace.h"

#include <algorithm>
#include <memory>

#include "projectfiles/projectfile.h"
#include "shared/exceptions.h"
#include "shared/fileio.h"
#include "shared/filenames.h"

namespace nxs::lsp {

namespace {

void Walk(const std::string& Dir, int Depth, std::vector<std::string>& Out) {
  std::vector<std::string> Names;
  try {
    Names = FileSystem().ListDirectory(Dir);
  } catch (const std::exception&) {
    return;  // a folder the user may not read holds nothing for the workspace
  }
  for (const std::string& Name : Names) {
    const std::string Path = Dir + "/" + Name;
    const std::string Ext = ExtractFileExt(Name);
    if (Ext == ".vproj" || Ext == ".kzproj") {
      Out.push_back(Path);
      continue;
    }
    if (Depth <= 0 || Name.empty() || Name[0] == '.' || Name == "__history" || Name == "__recovery") continue;
    const TFileInfo Info = FileSystem().Stat(Path);
    if (Info.IsDirectory) Walk(Path, Depth - 1, Out);
  }
}

// Collects the items' file names, "$(MainSource)" read from the project's global property.
class TItemFiles : public IItemReader {
 public:
  TItemFiles(std::string Dir, std::string MainSource) : FDir(std::move(Dir)), FMainSource(std::move(MainSource)) {}
  void BeginItem(const std::string& ItemType, const std::string& Include, const std::string&) override {
    if (ItemType == "BuildConfiguration" || ItemType == "ProjectReference" || Include.empty()) return;
    std::string Name = Include == "$(MainSource)" ? FMainSource : Include;
    if (Name.empty() || Name.find("$(") != std::string::npos) return;
    std::replace(Name.begin(), Name.end(), '\\', '/');
    if (Name[0] != '/') Name = FDir + "/" + Name;
    Name = ExpandFileName(Name);
    if (std::find(Files.begin(), Files.end(), Name) == Files.end()) Files.push_back(Name);
  }
  void ItemMetadata(const std::string&, const std::string&) override {}
  void EndItem() override {}
  std::vector<std::string> Files;

 private:
  std::string FDir;
  std::string FMainSource;
};

}  // namespace

std::vector<std::string> FindProjectFiles(const std::string& Root, int MaxDepth) {
  std::vector<std::string> Out;
  Walk(Root, MaxDepth, Out);
  std::sort(Out.begin(), Out.end());
  return Out;
}

std::vector<std::string> ProjectSourceFiles(const std::string& ProjectFile) {
  try {
    std::shared_ptr<IMSProjectFile> Project = MSBuildOpenProject(ProjectFile);
    std::string MainSource, Condition;
    Project->GetGlobalProperty("MainSource", MainSource, Condition);
    TItemFiles Reader(ExtractFileDir(ExpandFileName(ProjectFile)), MainSource);
    Project->ReadItems(Reader);
    return Reader.Files;
  } catch (const Exception&) {
    return {};
  }
}

}  // namespace nxs::lsp
