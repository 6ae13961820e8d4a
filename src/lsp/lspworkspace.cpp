#include "lsp/lspworkspace.h"

#include <algorithm>

#include "build/orchestration.h"
#include "modules/modulelist.h"
#include "modules/docmodule.h"
#include "modules/openhandlers.h"
#include "projectfiles/startup.h"
#include "projects/project.h"
#include "projects/projectgroup.h"
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

bool IsGroupFile(const std::string& File) {
  const std::string Ext = ExtractFileExt(File);
  return Ext == ".groupproj" || Ext == ".nxsgroup";
}

}  // namespace

std::vector<std::string> FindProjectFiles(const std::string& Root, int MaxDepth) {
  std::vector<std::string> Out;
  Walk(Root, MaxDepth, Out);
  std::sort(Out.begin(), Out.end());
  return Out;
}

TLspWorkspace::TLspWorkspace(std::string Root) : FRoot(std::move(Root)) {
  StartProjectFiles();
  InitProjects();
  // A group tells what it cannot open here, never through a question to the user.
  SetProjectGroupReporter([this](const std::string& M) { Reports.push_back(M); });
  Open();
}

TLspWorkspace::~TLspWorkspace() {
  SetProjectGroupReporter(nullptr);
  DoneProjects();
}

bool TLspWorkspace::IsProjectOrGroupFile(const std::string& File) {
  const std::string Ext = ExtractFileExt(File);
  return Ext == ".vproj" || Ext == ".kzproj" || IsGroupFile(File);
}

namespace {

// The project or group module of File: a client that edits the file as text has a source
// module of the same name open beside it.
template <class T>
T* ModuleOf(const std::string& File) {
  for (TDocModule* M : ModuleList().Snapshot())
    if (auto* P = dynamic_cast<T*>(M); P && P->GetFileName() == File) return P;
  return nullptr;
}

}  // namespace

void TLspWorkspace::Open() {
  FProjects.clear();
  if (FRoot.empty()) return;
  if (FGroup.empty()) {
    std::vector<std::string> Groups;
    try {
      for (const std::string& Name : FileSystem().ListDirectory(FRoot))
        if (ExtractFileExt(Name) == ".groupproj") Groups.push_back(ExpandFileName(FRoot + "/" + Name));
    } catch (const std::exception& E) {
      Reports.push_back(E.what());
      return;
    }
    if (Groups.size() == 1) {
      try {
        TProjectGroup::OpenGroup(Groups[0]);
        FGroup = Groups[0];
      } catch (const std::exception& E) {
        Reports.push_back(E.what());
      }
    }
  }
  if (auto* Group = FGroup.empty() ? nullptr : ModuleOf<TProjectGroup>(FGroup)) {
    for (const TBaseProject* P : Group->Projects()) FProjects.push_back(P->GetFileName());
    return;
  }
  FGroup.clear();
  for (const std::string& Found : FindProjectFiles(FRoot)) {
    const std::string File = ExpandFileName(Found);
    try {
      if (ModuleOf<TBaseProject>(File) || dynamic_cast<TBaseProject*>(CallDefaultOpenProc(File, false, nullptr)))
        FProjects.push_back(File);
    } catch (const std::exception& E) {
      Reports.push_back(E.what());
    }
  }
}

void TLspWorkspace::Reload() {
  // Each module reads its file again as the environment does when it changes on disk.
  std::vector<TDocModule*> Changed;
  if (auto* Group = FGroup.empty() ? nullptr : ModuleOf<TProjectGroup>(FGroup)) Changed.push_back(Group);
  for (const std::string& File : FProjects)
    if (auto* P = ModuleOf<TBaseProject>(File)) Changed.push_back(P);
  for (TDocModule* M : Changed) {
    try {
      if (M->CheckFileDate() && M->CanReloadFile()) M->ReloadFile();
    } catch (const std::exception& E) {
      Reports.push_back(E.what());
    }
  }
  Open();
}

std::string TLspWorkspace::BuildFile() const {
  if (!FGroup.empty()) return FGroup;
  return FProjects.size() == 1 ? FProjects[0] : std::string();
}

std::vector<std::string> TLspWorkspace::SourceFiles() const {
  std::vector<std::string> Files;
  for (const std::string& File : FProjects) {
    auto* P = ModuleOf<TBaseProject>(File);
    if (!P) continue;
    for (const TProjectFileItem& E : P->GetProjectFileEntries())
      if (std::find(Files.begin(), Files.end(), E.FileName) == Files.end()) Files.push_back(E.FileName);
  }
  return Files;
}

std::string TLspWorkspace::ProjectOf(const std::string& File) const {
  try {
    const TCustomCodeIProject* P = ProjectOfFile(File);
    return P ? P->GetFileName() : std::string();
  } catch (const std::exception&) {
    return {};  // a project that cannot be read names no file
  }
}

}  // namespace nxs::lsp
