#include "projects/containers.h"

#include <algorithm>
#include <cstdio>

#include "projectfiles/nodes.h"
#include "projects/resstrings.h"
#include "shared/exceptions.h"
#include "shared/fileio.h"
#include "shared/filenames.h"
#include "shared/format.h"
#include "shared/settings.h"
#include "shared/text.h"
#include "shared/wildcard.h"

namespace nxs {

namespace {

std::string AutoIdent(const char* ClassName, const void* Self) {
  char Buf[24];
  std::snprintf(Buf, sizeof Buf, "%08X", static_cast<unsigned>(reinterpret_cast<uintptr_t>(Self)));
  return std::string(ClassName) + Buf;
}

// "a/b/" -> "a/"; "a/" -> ""
std::string ParentRelative(const std::string& Rel) {
  if (Rel.size() < 2) return {};
  size_t Slash = Rel.find_last_of('/', Rel.size() - 2);
  return Slash == std::string::npos ? std::string() : Rel.substr(0, Slash + 1);
}

// A path of dots and delimiters only ("../../") ends the climb.
bool DotsOnly(const std::string& Rel) {
  return std::all_of(Rel.begin(), Rel.end(), [](char C) { return C == '.' || C == '/'; });
}

int LeadingUpSteps(const std::string& Rel) {
  int N = 0;
  for (size_t I = 0; Rel.compare(I, 3, "../") == 0; I += 3) ++N;
  return N;
}

std::string LastComponent(const std::string& Rel) {
  std::string R = ExcludeTrailingPathDelimiter(Rel);
  size_t Slash = R.find_last_of('/');
  return Slash == std::string::npos ? R : R.substr(Slash + 1);
}

int Sign(long long V) { return V < 0 ? -1 : (V > 0 ? 1 : 0); }

}  // namespace

// -- TBaseContainer ------------------------------------------------------------------------------

TBaseContainer::TBaseContainer(IContainerProject* Project, TBaseContainer* Parent, std::string Ident,
                               std::string Caption, int ImageIndex, uint8_t Flags)
    : FProject(Project), FParent(Parent), FIdent(std::move(Ident)), FCaption(std::move(Caption)),
      FImageIndex(ImageIndex), FFlags(Flags) {
  if (FIdent.empty()) FIdent = AutoIdent("TBaseContainer", this);
}

const std::vector<PContainer>& TBaseContainer::GetChildren() {
  if (auto* P = dynamic_cast<TStdProjectContainer*>(this); P && !P->Filled()) P->GetProjectChildren();
  SortChildren();
  return FChildren;
}

int TBaseContainer::GetIndex() const { return FParent ? FParent->GetChildIndex(this) : -1; }

int TBaseContainer::GetChildIndex(const TBaseContainer* Child) const {
  for (size_t I = 0; I < FChildren.size(); ++I)
    if (FChildren[I].get() == Child) return static_cast<int>(I);
  return -1;
}

PContainer TBaseContainer::FindChild(const std::string& Ident) const {
  for (const auto& C : FChildren)
    if (C->FIdent == Ident) return C;
  return nullptr;
}

void TBaseContainer::InsertChild(PContainer Child, int Index) {
  Child->FParent = this;
  if (Index >= 0 && Index <= static_cast<int>(FChildren.size()))
    FChildren.insert(FChildren.begin() + Index, std::move(Child));
  else
    FChildren.push_back(std::move(Child));
  FChildrenSorted = false;
}

void TBaseContainer::RemoveChild(const TBaseContainer* Child) {
  int I = GetChildIndex(Child);
  if (I < 0) return;
  FChildren.erase(FChildren.begin() + I);
  FChildrenSorted = false;
}

void TBaseContainer::Reparent(TBaseContainer* NewParent, int Index) {
  PContainer Self = shared_from_this();
  if (FParent) FParent->RemoveChild(this);
  NewParent->InsertChild(Self, Index);
  Reparented();
}

void TBaseContainer::ClearChildList() {
  for (auto& C : FChildren) C->FreeReference();
  FChildren.clear();
  FChildrenSorted = false;
}

void TBaseContainer::FreeReference() {
  for (auto& C : FChildren) C->FreeReference();
  FChildren.clear();
  FParent = nullptr;
}

TContainerCompare TBaseContainer::GetCompareProc() const { return DefaultContainerCompareProc; }

void TBaseContainer::SortChildren() {
  if ((FFlags & cfNeverSort) || FChildrenSorted) return;
  if (TContainerCompare Cmp = GetCompareProc())
    std::stable_sort(FChildren.begin(), FChildren.end(),
                     [&](const PContainer& A, const PContainer& B) { return Cmp(*A, *B) < 0; });
  FChildrenSorted = true;
}

bool TBaseContainer::MatchesItem(const std::string& Name) const { return SameText(FIdent, Name); }

TStdProjectContainer* TBaseContainer::OwningProjectNode() {
  for (TBaseContainer* N = this; N; N = N->FParent)
    if (auto* P = dynamic_cast<TStdProjectContainer*>(N)) return P;
  return nullptr;
}

bool TBaseContainer::CanParent(const TBaseContainer& Item) const {
  // DefaultCanParent: never into a build configuration, only within one project, never into
  // the item's own subtree, and a project node or never-sorted item cannot move.
  if (IsBuildConfiguration() || (!Item.IsFileItem() && !Item.IsVirtualFolder())) return false;
  if (!IsChildManager() && !dynamic_cast<const TStdProjectContainer*>(this)) return false;
  if (!FProject || !Item.FProject || !SameText(FProject->GetFileName(), Item.FProject->GetFileName())) return false;
  for (const TBaseContainer* N = this; N; N = N->FParent)
    if (N == &Item) return false;
  return true;
}

bool TBaseContainer::AcceptContainers(const std::vector<PContainer>& Items) {
  for (const auto& I : Items)
    if (!CanParent(*I)) return false;
  for (const auto& I : Items) I->Reparent(this, -1);
  return true;
}

// -- File nodes ------------------------------------------------------------------------------------

TStdFileContainer::TStdFileContainer(IContainerProject* Project, TBaseContainer* Parent, std::string FileName,
                                     int ImageIndex)
    : TStdContainer(Project, Parent, FileName, ExtractFileName(FileName), ImageIndex) {
  SetFileName(FileName);
}

void TStdFileContainer::SetFileName(const std::string& FileName) {
  std::string Old = FFileName;
  FFileName = FileName;
  FIdent = FileName;
  FCaption = ExtractFileName(FileName);
  FPathHash = std::hash<std::string>()(FileName);
  if (OnRename && !Old.empty() && Old != FileName) OnRename(Old, FileName);
}

std::string TStdFileContainer::GetPathName() const { return ExtractFilePath(FFileName); }

bool TStdFileContainer::CanInplaceRename() const {
  return FParent && (FParent->IsDirectory() || FParent->IsVirtualFolder() ||
                     dynamic_cast<const TStdProjectContainer*>(FParent) != nullptr);
}

bool TStdFileContainer::MatchesItem(const std::string& Name) const { return SameFileName(FFileName, Name); }

TContainerCompare TStdFileContainer::GetCompareProc() const {
  return FProject ? ProjectSortOrderManager().Get(FProject).CompareProc() : TContainerCompare(DefaultContainerCompareProc);
}

TStdDirectoryContainer::TStdDirectoryContainer(IContainerProject* Project, TBaseContainer* Parent,
                                               std::string Directory, std::string RelativePath, std::string Caption)
    : TStdFileContainer(Project, Parent, std::move(Directory)), FRelativePath(std::move(RelativePath)) {
  FIdent = "dir:" + FRelativePath;
  FCaption = std::move(Caption);
}

bool TStdDirectoryContainer::MatchesItem(const std::string& Name) const { return SameText(FIdent, Name); }

TStdVirtualFolderContainer::TStdVirtualFolderContainer(IContainerProject* Project, TBaseContainer* Parent,
                                                       const TVirtualFolder& Folder)
    : TStdContainer(Project, Parent, "vf:" + Folder.Id, Folder.Name.empty() ? Folder.Id : Folder.Name) {}

TContainerCompare TStdVirtualFolderContainer::GetCompareProc() const {
  return ProjectSortOrderManager().Get(FProject).CompareProc();
}

TStdContainerCategory::TStdContainerCategory(IContainerProject* Project, TBaseContainer* Parent, std::string Name,
                                             std::string ToolId, bool HideWhenEmpty, std::vector<int> ItemKinds)
    : TStdContainer(Project, Parent, "cat:" + Name, Name), FName(std::move(Name)), FToolId(std::move(ToolId)),
      FHideWhenEmpty(HideWhenEmpty), FItemKinds(std::move(ItemKinds)) {}

TContainerCompare TStdContainerCategory::GetCompareProc() const {
  return ProjectSortOrderManager().Get(FProject).CompareProc();
}

bool TStdContainerCategory::Accepts(int ItemKind, const std::string& ContainerId) const {
  const bool OfKind = std::find(FItemKinds.begin(), FItemKinds.end(), ItemKind) != FItemKinds.end();
  const bool OfTool = !FToolId.empty() && SameText(FToolId, ContainerId);
  if (FItemKinds.empty()) return OfTool;
  return FToolId.empty() ? OfKind : OfKind && OfTool;
}

TSpecialContainer::TSpecialContainer(IContainerProject* Project, TBaseContainer* Parent, std::string Caption,
                                     int SortIndex, bool IsBuildConfiguration)
    : TStdContainer(Project, Parent, {}, std::move(Caption)), FSortIndex(SortIndex),
      FIsBuildConfiguration(IsBuildConfiguration) {}

// -- The project node ------------------------------------------------------------------------------

TStdProjectContainer::TStdProjectContainer(IContainerProject* Project, TBaseContainer* Parent)
    : TStdFileContainer(Project, Parent, Project->GetFileName()) {
  FCaption = ChangeFileExt(ExtractFileName(FFileName), "");
  FProjectDir = IncludeTrailingPathDelimiter(ExtractFileDir(FFileName));
}

TStdProjectContainer::~TStdProjectContainer() {
  ClearChildList();
  if (FProject) ProjectSortOrderManager().Forget(FProject);
}

const std::vector<PContainer>& TStdProjectContainer::GetProjectChildren() {
  if (!FFilled) {
    FFilled = true;
    FVirtualFolders = FProject->GetVirtualFolders();
    ProjectSortOrderManager().Get(FProject);  // reads the stored order before anything sorts
    for (const auto& V : FVirtualFolders) VirtualFolderNode(V.Id);
    for (const auto& E : FProject->GetProjectFileEntries()) AddProjectItem(E);
  }
  return FChildren;
}

void TStdProjectContainer::ReconcileChildren() {
  if (!FFilled) {
    GetProjectChildren();
    return;
  }
  FVirtualFolders = FProject->GetVirtualFolders();
  for (const auto& V : FVirtualFolders) VirtualFolderNode(V.Id);
  const auto& Entries = FProject->GetProjectFileEntries();
  std::unordered_map<std::string, bool> Present;
  for (const auto& E : Entries) {
    Present[E.FileName] = true;
    AddProjectItem(E);
  }
  std::vector<std::string> Gone;
  for (const auto& [Key, Node] : FChildItemHash)
    if (Node->IsFileItem() && !Present.count(Key)) Gone.push_back(Key);
  for (const auto& G : Gone) RemoveProjectItem(G);
}

TBaseContainer* TStdProjectContainer::VirtualFolderNode(const std::string& Id) {
  auto It = FChildItemHash.find("vf:" + Id);
  if (It != FChildItemHash.end()) return It->second;
  auto F = std::find_if(FVirtualFolders.begin(), FVirtualFolders.end(), [&](const auto& V) { return V.Id == Id; });
  if (F == FVirtualFolders.end()) return nullptr;
  auto Node = std::make_shared<TStdVirtualFolderContainer>(FProject, this, *F);
  TBaseContainer* Raw = Node.get();
  AddChild(std::move(Node));
  FChildItemHash["vf:" + Id] = Raw;
  return Raw;
}

TBaseContainer* TStdProjectContainer::GetDirectoryParent(const std::string& Directory) {
  if (auto It = FDirectoryCache.find(Directory); It != FDirectoryCache.end() && It->second->GetParent()) return It->second;
  TBaseContainer* Found = FindDirectoryParent(Directory);
  if (Found != this) FDirectoryCache[Directory] = Found;
  return Found;
}

TBaseContainer* TStdProjectContainer::FindDirectoryParent(const std::string& Directory) {
  if (SameFileName(IncludeTrailingPathDelimiter(Directory), FProjectDir)) return this;
  // Relative to the project directory, through a name inside the directory.
  std::string Rel = ToDiskPath(ExtractRelativePath(FProjectDir, IncludeTrailingPathDelimiter(Directory) + "x"));
  Rel.pop_back();
  while (Rel.rfind("./", 0) == 0) Rel.erase(0, 2);
  if (Rel.empty() || DotsOnly(Rel)) return this;
  if (!Rel.empty() && Rel.back() != '/') Rel += '/';
  if (auto It = FChildItemHash.find("dir:" + Rel); It != FChildItemHash.end()) return It->second;
  // Far away (four or more steps up, or no relative form at all): one node under the project
  // whose caption is the absolute directory.
  if (IsAbsolutePath(Rel) || LeadingUpSteps(Rel) >= 4) {
    std::string Abs = IncludeTrailingPathDelimiter(Directory);
    auto Node = std::make_shared<TStdDirectoryContainer>(FProject, this, Abs, Rel, ExcludeTrailingPathDelimiter(Abs));
    TBaseContainer* Raw = Node.get();
    AddChild(std::move(Node));
    FChildItemHash["dir:" + Rel] = Raw;
    return Raw;
  }
  std::string Up = ParentRelative(Rel);
  TBaseContainer* Parent = (Up.empty() || DotsOnly(Up)) ? static_cast<TBaseContainer*>(this)
                                                         : GetDirectoryParent(FProjectDir + Up);
  std::string Caption = Parent == this ? ExcludeTrailingPathDelimiter(Rel) : LastComponent(Rel);
  auto Node = std::make_shared<TStdDirectoryContainer>(FProject, Parent, ExpandFileName(Rel, FProjectDir), Rel,
                                                       Caption);
  TBaseContainer* Raw = Node.get();
  Parent->AddChild(std::move(Node));
  FChildItemHash["dir:" + Rel] = Raw;
  return Raw;
}

TBaseContainer* TStdProjectContainer::ParentFor(const TProjectFileItem& Entry) {
  if (!Entry.VirtualFolder.empty() && !FVirtualFolders.empty())
    if (TBaseContainer* V = VirtualFolderNode(Entry.VirtualFolder)) return V;
  if (auto Tool = ContainerManager().GetContainer(Entry.ContainerId))
    if (TBaseContainer* P = Tool->GetParentFor(Entry.FileName, *this)) return P;
  return GetDirectoryParent(ExtractFileDir(Entry.FileName));
}

TBaseContainer* TStdProjectContainer::MakeNode(const TProjectFileItem& Entry) {
  TBaseContainer* Parent = ParentFor(Entry);
  PContainer Node = ContainerManager().GetItemProjectItemContainer(Entry.FileName, *this, Parent, Entry.ContainerId);
  if (!Node) Node = std::make_shared<TDefaultFileContainer>(FProject, Parent, Entry.FileName);
  if (auto* F = dynamic_cast<TStdFileContainer*>(Node.get())) F->ContainerId = Entry.ContainerId;
  TBaseContainer* Raw = Node.get();
  TBaseContainer* Target = Raw->GetParent() ? Raw->GetParent() : Parent;
  if (!FCategories.empty() && !Raw->BelongsToNoCategory())
    if (auto* Cat = FindProjectItemCategory(
            Raw->ItemKind(), ContainerManager().GetContainerId(Entry.FileName, nullptr, FProject->GetPersonality())))
      Target = Cat;
  Target->AddChild(std::move(Node));
  FChildItemHash[Entry.FileName] = Raw;
  return Raw;
}

TBaseContainer* TStdProjectContainer::AddProjectItem(const TProjectFileItem& Entry) {
  if (!FFilled) GetProjectChildren();
  auto It = FChildItemHash.find(Entry.FileName);
  if (It != FChildItemHash.end()) {
    TBaseContainer* Old = It->second;
    // It serves while it stands where the entry puts it: in the entry's virtual folder, or
    // outside every virtual folder.
    const bool WantsFolder = !Entry.VirtualFolder.empty() && FChildItemHash.count("vf:" + Entry.VirtualFolder);
    bool Serves = Old->GetParent() != nullptr &&
                  (WantsFolder ? Old->GetParent()->GetIdent() == "vf:" + Entry.VirtualFolder
                               : !Old->GetParent()->IsVirtualFolder());
    if (Serves) return Old;
    RemoveProjectItem(Entry.FileName);
  }
  return MakeNode(Entry);
}

void TStdProjectContainer::Forget(TBaseContainer* Node) {
  if (Node->IsDirectory()) FDirectoryCache.clear();
  for (auto It = FChildItemHash.begin(); It != FChildItemHash.end(); ++It)
    if (It->second == Node) {
      FChildItemHash.erase(It);
      break;
    }
  for (const auto& C : Node->Children()) Forget(C.get());
}

bool TStdProjectContainer::RemoveBelow(TBaseContainer& Parent, const std::string& Name) {
  const auto& Kids = Parent.Children();
  for (int I = static_cast<int>(Kids.size()) - 1; I >= 0; --I) {
    PContainer C = Kids[static_cast<size_t>(I)];
    if (C->MatchesItem(Name)) {
      Forget(C.get());
      Parent.RemoveChild(C.get());
      C->FreeReference();
      return true;
    }
    if (C->IsChildManager() && RemoveBelow(*C, Name)) return true;
  }
  return false;
}

bool TStdProjectContainer::RemoveProjectItem(const std::string& FileName) {
  if (FFlags & cfNoRemove) return false;
  return RemoveBelow(*this, FileName);
}

TStdFileContainer* TStdProjectContainer::FindFileNode(const std::string& FileName) const {
  auto It = FChildItemHash.find(FileName);
  return It == FChildItemHash.end() ? nullptr : dynamic_cast<TStdFileContainer*>(It->second);
}

bool TStdProjectContainer::RenameProjectItem(const std::string& OldName, const std::string& NewName) {
  TStdFileContainer* Node = FindFileNode(OldName);
  if (!Node) return false;
  FChildItemHash.erase(OldName);
  Node->SetFileName(NewName);
  FChildItemHash[NewName] = Node;
  if (Node->GetParent()) Node->GetParent()->InvalidateSort();
  if (ExtractFileDir(OldName) != ExtractFileDir(NewName) && Node->GetParent() && !Node->GetParent()->IsVirtualFolder()) {
    bool Focused = Node->FocusedState;
    Node->Reparent(GetDirectoryParent(ExtractFileDir(NewName)), -1);
    Node->FocusedState = Focused;
  }
  return true;
}

void TStdProjectContainer::ProjectRenamed(const std::string& NewFileName) {
  FFileName = NewFileName;
  FIdent = NewFileName;
  FCaption = ChangeFileExt(ExtractFileName(NewFileName), "");
}

void TStdProjectContainer::SortRecursive() {
  if (!FFilled) GetProjectChildren();
  std::function<void(TBaseContainer&)> Walk = [&](TBaseContainer& N) {
    N.InvalidateSort();
    N.SortChildren();
    for (const auto& C : N.Children()) Walk(*C);
  };
  Walk(*this);
  ProjectSortOrderManager().Get(FProject).Store(this);
}

void TStdProjectContainer::Sort(int SortType) {
  TProjectSortOrder& State = ProjectSortOrderManager().Get(FProject);
  if (SortType == stPath && ProjectSortOrderManager().PathSortsByName) SortType = stName;
  const int Previous = State.GetSortType();
  State.SetSortType(SortType);
  SortRecursive();
  // Without auto sort the order just made becomes the custom order (SortRecursive stored
  // it) and the previous sort type is back in force.
  if (!State.GetAutoSort()) {
    State.SetSortType(Previous);
    State.Store(this);
  }
}

void TStdProjectContainer::ToggleAutoSort() {
  TProjectSortOrder& State = ProjectSortOrderManager().Get(FProject);
  State.SetAutoSort(!State.GetAutoSort());
  State.Store(this);
}

TStdContainerCategory* TStdProjectContainer::AddContainerCategory(const std::string& Name, const std::string& ToolId,
                                                                  bool HideWhenEmpty, std::vector<int> ItemKinds) {
  if (auto* C = FindCategory(Name)) return C;
  auto C = std::make_shared<TStdContainerCategory>(FProject, this, Name, ToolId, HideWhenEmpty, std::move(ItemKinds));
  FCategories.push_back(C);
  AddChild(C);
  return C.get();
}

void TStdProjectContainer::RemoveContainerCategory(const std::string& Name) {
  for (auto It = FCategories.begin(); It != FCategories.end(); ++It)
    if (SameText((*It)->CategoryName(), Name)) {
      RemoveChild(It->get());
      FCategories.erase(It);
      return;
    }
}

TStdContainerCategory* TStdProjectContainer::FindCategory(const std::string& Name) const {
  for (const auto& C : FCategories)
    if (SameText(C->CategoryName(), Name)) return C.get();
  return nullptr;
}

TStdContainerCategory* TStdProjectContainer::FindProjectItemCategory(int ItemKind, const std::string& ContainerId) const {
  for (const auto& C : FCategories)
    if (C->Accepts(ItemKind, ContainerId)) return C.get();
  return nullptr;
}

bool TStdProjectContainer::CommandHandler(const std::string& Verb) {
  if (Verb == "SortName") Sort(stName);
  else if (Verb == "SortModified") Sort(stModified);
  else if (Verb == "SortType") Sort(stType);
  else if (Verb == "SortPath") Sort(stPath);
  else if (Verb == "SortAuto") ToggleAutoSort();
  else return false;
  return true;
}

// -- Comparing -------------------------------------------------------------------------------------

int CompareStatic(const TBaseContainer& A, const TBaseContainer& B) {
  int D = Sign(static_cast<long long>(A.StaticSortIndex()) - B.StaticSortIndex());
  if (D == 0 && A.IsDirectory() && B.IsDirectory()) return Sign(CompareText(A.GetString(), B.GetString()));
  return D;
}

int CompareIStringObject(const TBaseContainer& A, const TBaseContainer& B) {
  return Sign(CompareText(A.GetString(), B.GetString()));
}

int DefaultContainerCompareProc(const TBaseContainer& A, const TBaseContainer& B) {
  if (int D = CompareStatic(A, B)) return D;
  return CompareIStringObject(A, B);
}

namespace {

const std::string& FileOf(const TBaseContainer& N) { return static_cast<const TStdFileContainer&>(N).GetFileName(); }

int CompareByName(const TBaseContainer& A, const TBaseContainer& B) {
  if (int D = CompareStatic(A, B)) return D;
  return CompareIStringObject(A, B);
}

int CompareByDate(const TBaseContainer& A, const TBaseContainer& B) {
  if (int D = CompareStatic(A, B)) return D;
  if (A.IsFileItem() && B.IsFileItem()) {
    int64_t TA = FileSystem().Stat(FileOf(A)).ModifiedTimeNs, TB = FileSystem().Stat(FileOf(B)).ModifiedTimeNs;
    if (TA != TB) return TA > TB ? -1 : 1;  // newer first
  }
  return CompareIStringObject(A, B);
}

int CompareByType(const TBaseContainer& A, const TBaseContainer& B) {
  if (int D = CompareStatic(A, B)) return D;
  if (A.IsFileItem() && B.IsFileItem())
    if (int D = Sign(CompareText(ExtractFileExt(FileOf(A)), ExtractFileExt(FileOf(B))))) return D;
  return CompareIStringObject(A, B);
}

int CompareByPath(const TBaseContainer& A, const TBaseContainer& B) {
  if (int D = CompareStatic(A, B)) return D;
  if (A.IsFileItem() && B.IsFileItem()) {
    if (int D = Sign(CompareFileNames(ExtractFileDir(FileOf(A)), ExtractFileDir(FileOf(B))))) return D;
    return Sign(CompareFileNames(ExtractFileName(FileOf(A)), ExtractFileName(FileOf(B))));
  }
  return CompareIStringObject(A, B);
}

}  // namespace

// -- Sort-order state --------------------------------------------------------------------------------

TProjectSortOrder::TProjectSortOrder(IContainerProject* Project)
    : FProject(Project), FAutoSort(ProjectSortOrderManager().DefaultAutoSort()),
      FSortType(ProjectSortOrderManager().DefaultSortType()) {}

void TProjectSortOrder::SetAutoSort(bool Value) {
  FAutoSort = Value;
  if (Value) FActive = true;
  else SetSortType(stCustom);
}

void TProjectSortOrder::SetSortType(int Value) {
  FSortType = Value;
  FActive = Value != stCustom;
}

int TProjectSortOrder::CustomIndex(const std::string& Key) const {
  auto It = FOrder.find(Key);
  return It == FOrder.end() ? INT_MAX : It->second;
}

std::string TProjectSortOrder::KeyOf(const TBaseContainer& Node) {
  if (Node.IsVirtualFolder()) return Node.GetIdent().substr(3);
  if (Node.IsFileItem()) return FileOf(Node);
  return {};
}

TContainerCompare TProjectSortOrder::CompareProc() const {
  if (!FActive) return {};
  switch (FSortType) {
    case stCustom:
      return [this](const TBaseContainer& A, const TBaseContainer& B) {
        if (int D = CompareStatic(A, B)) return D;
        int IA = CustomIndex(KeyOf(A)), IB = CustomIndex(KeyOf(B));
        if (IA != IB) return IA < IB ? -1 : 1;
        return DefaultContainerCompareProc(A, B);
      };
    case stModified: return CompareByDate;
    case stType: return CompareByType;
    case stPath:
      if (ProjectSortOrderManager().PathSortsByName) return CompareByName;
      return CompareByPath;
    default: return CompareByName;
  }
}

void TProjectSortOrder::Load() {
  FOrder.clear();
  TNode* Section = FProject->GetStorageSection(res::SProjectSortOrderSection, false);
  if (!Section || (!Section->HasAttributes() && Section->Count() == 0)) return;
  if (std::string A = Section->GetAttribute("AutoSort"); !A.empty()) FAutoSort = A != "0" && !SameText(A, "false");
  if (auto T = TryStrToInt(Section->GetAttribute("SortType")); T && *T >= 0 && *T <= 4) FSortType = static_cast<int>(*T);
  const std::string Dir = ExtractFilePath(FProject->GetFileName());
  for (int I = 0; I < Section->Count(); ++I) {
    TNode* C = Section->GetNode(I);
    std::string Key;
    if (SameText(C->NameView(), "File")) Key = ExpandFileName(ToDiskPath(C->GetAttribute("Path")), Dir);
    else if (SameText(C->NameView(), "VirtualFolder")) Key = C->GetAttribute("ID");
    else continue;
    FOrder.emplace(Key, I);  // a repeated key keeps its first position
  }
}

void TProjectSortOrder::Store(TBaseContainer* Root) {
  if (Root) FRoot = Root;
  TNode* Section = FProject->GetStorageSection(res::SProjectSortOrderSection, true);
  if (!Section) return;
  while (Section->Count()) Section->RemoveNode(Section->Count() - 1);
  Section->SetAttribute("AutoSort", FAutoSort ? "-1" : "0");
  Section->SetAttribute("SortType", IntToStr(FSortType));
  if (!FAutoSort && FRoot) {
    FOrder.clear();
    const std::string Dir = ExtractFilePath(FProject->GetFileName());
    std::function<void(TBaseContainer&)> Walk = [&](TBaseContainer& N) {
      for (const auto& C : N.Children()) {
        if (C->IsFileItem()) {
          TNode* F = Section->CreateChildNode("File");
          F->SetAttribute("Path", ToProjectPath(ExtractRelativePath(Dir, FileOf(*C))));
          FOrder.emplace(FileOf(*C), static_cast<int>(FOrder.size()));
        } else if (C->IsVirtualFolder()) {
          TNode* F = Section->CreateChildNode("VirtualFolder");
          F->SetAttribute("ID", KeyOf(*C));
          FOrder.emplace(KeyOf(*C), static_cast<int>(FOrder.size()));
        }
        Walk(*C);
      }
    };
    Walk(*FRoot);
  }
  FProject->StorageChanged();
}

TProjectSortOrderManager::TProjectSortOrderManager()
    : FAutoSort(SettingsStore().ReadBool(res::SProjectManagerSection, "AutoSort", true)),
      FSortType(static_cast<int>(SettingsStore().ReadInteger(res::SProjectManagerSection, "SortType", stName))) {}

TProjectSortOrder& TProjectSortOrderManager::Get(IContainerProject* Project) {
  auto& Slot = FOrders[Project];
  if (!Slot) {
    Slot = std::make_unique<TProjectSortOrder>(Project);
    Slot->Load();
  }
  return *Slot;
}

void TProjectSortOrderManager::SetDefaultAutoSort(bool Value) {
  FAutoSort = Value;
  SettingsStore().WriteBool(res::SProjectManagerSection, "AutoSort", Value);
}

void TProjectSortOrderManager::SetDefaultSortType(int Value) {
  FSortType = Value;
  SettingsStore().WriteInteger(res::SProjectManagerSection, "SortType", Value);
}

namespace {
std::unique_ptr<TProjectSortOrderManager>& SortOrderManagerSlot() {
  static std::unique_ptr<TProjectSortOrderManager> M;
  return M;
}
std::unique_ptr<TContainerManager>& ContainerManagerSlot() {
  static std::unique_ptr<TContainerManager> M;
  return M;
}
std::vector<TProjectContainerFunction>& ContainerFunctions() {
  static std::vector<TProjectContainerFunction> F;
  return F;
}
}  // namespace

TProjectSortOrderManager& ProjectSortOrderManager() {
  auto& M = SortOrderManagerSlot();
  if (!M) M = std::make_unique<TProjectSortOrderManager>();
  return *M;
}
void ResetProjectSortOrderManager() { SortOrderManagerSlot().reset(); }

// -- Container manager ---------------------------------------------------------------------------------

TContainerManager& ContainerManager() {
  auto& M = ContainerManagerSlot();
  if (!M) M = std::make_unique<TContainerManager>();
  return *M;
}
void ResetContainerManager() { ContainerManagerSlot().reset(); }

void TContainerManager::RegisterItemContainerCreator(PContainerCreator Creator) {
  if (std::find(FCreators.begin(), FCreators.end(), Creator) != FCreators.end()) return;
  FCreators.push_back(Creator);
  std::vector<std::string> Personalities = Creator->GetPersonalities();
  for (const auto& Ext : Creator->GetDefaultExtensions()) {
    if (Personalities.empty()) AddDefaultContainer(Ext, Creator);
    for (const auto& P : Personalities) AddDefaultContainer(Ext, Creator, P);
  }
  if (FInitialized) Creator->Initialize();
}

void TContainerManager::UnregisterItemContainerCreator(const PContainerCreator& Creator) {
  auto Drop = [&](TExtList& L) {
    for (auto It = L.begin(); It != L.end();) It = It->second == Creator ? L.erase(It) : std::next(It);
  };
  Drop(FGlobal);
  for (auto& [P, L] : FPerPersonality) Drop(L);
  FOwnExtensions.erase(Creator->GetId());
  FCreators.erase(std::remove(FCreators.begin(), FCreators.end(), Creator), FCreators.end());
}

void TContainerManager::InitializeContainerCreators() {
  if (FInitialized) return;
  FInitialized = true;
  for (auto& C : std::vector<PContainerCreator>(FCreators)) C->Initialize();
}

void TContainerManager::AddDefaultContainer(const std::string& Extension, const PContainerCreator& Creator,
                                            const std::string& Personality) {
  TExtList& List = Personality.empty() ? FGlobal : FPerPersonality[Personality];
  const std::string Key = LowerCase(Extension);
  if (auto It = List.find(Key); It != List.end() && It->second != Creator && It->second->IsInternalTool() &&
                                It->second->GetId() != Creator->GetId()) {
    auto& Own = FOwnExtensions[It->second->GetId()];
    Own.erase(std::remove_if(Own.begin(), Own.end(), [&](const std::string& E) { return SameText(E, Key); }),
              Own.end());
  }
  List[Key] = Creator;
  if (Creator->IsInternalTool()) FOwnExtensions[Creator->GetId()].push_back(Key);
}

void TContainerManager::RemoveDefaultContainer(const std::string& Extension, const std::string& Personality) {
  TExtList& List = Personality.empty() ? FGlobal : FPerPersonality[Personality];
  List.erase(LowerCase(Extension));
}

PContainerCreator TContainerManager::Lookup(const TExtList& List, const std::string& FileName) const {
  if (auto It = List.find(LowerCase(ExtractFileExt(FileName))); It != List.end()) return It->second;
  const std::string Name = ExtractFileName(FileName);
  for (const auto& [Mask, Creator] : List)
    if (HasWildcards(Mask, wfClasses) && MatchesWildcard(Mask, Name, wfClasses | wfIgnoreCase))
      return Creator;
  return nullptr;
}

PContainerCreator TContainerManager::GetDefaultContainer(const std::string& FileName,
                                                         const std::string& Personality) const {
  if (auto It = FPerPersonality.find(Personality); !Personality.empty() && It != FPerPersonality.end())
    if (auto C = Lookup(It->second, FileName)) return C;
  return Lookup(FGlobal, FileName);
}

std::string TContainerManager::GetContainerId(const std::string& FileName, IContainerIdOverride* Context,
                                              const std::string& Personality) const {
  auto C = GetDefaultContainer(FileName, Personality);
  std::string Id = C ? C->GetId() : std::string();
  return Context ? Context->OverrideId(FileName, Id) : Id;
}

PContainerCreator TContainerManager::GetContainer(const std::string& Id) const {
  if (Id.empty()) return nullptr;
  for (auto It = FCreators.rbegin(); It != FCreators.rend(); ++It)
    if ((*It)->GetId() == Id) return *It;
  return nullptr;
}

bool TContainerManager::ValidateContainer(const std::string& Id, const std::string& FileName,
                                          const std::string& Personality) const {
  auto C = GetContainer(Id);
  return C && (C->CanHandle(FileName, nullptr) || GetDefaultContainer(FileName, Personality) == C);
}

PContainer TContainerManager::GetItemProjectItemContainer(const std::string& FileName, TStdProjectContainer& Project,
                                                          TBaseContainer* Parent, const std::string& PreferredId) {
  if (!PreferredId.empty())
    for (auto It = FCreators.rbegin(); It != FCreators.rend(); ++It)
      if ((*It)->GetId() == PreferredId)
        if (auto N = (*It)->CreateContainer(FileName, Project, Parent)) return N;
  for (auto It = FCreators.rbegin(); It != FCreators.rend(); ++It)
    if ((*It)->CanHandle(FileName, Parent))
      if (auto N = (*It)->CreateContainer(FileName, Project, Parent)) return N;
  if (auto C = GetDefaultContainer(FileName, Project.Project()->GetPersonality()))
    if (auto N = C->CreateContainer(FileName, Project, Parent)) return N;
  for (auto It = FCreators.rbegin(); It != FCreators.rend(); ++It)
    if ((*It)->CanHandle(FileName, nullptr))
      if (auto N = (*It)->CreateContainer(FileName, Project, Parent)) return N;
  return nullptr;
}

void TContainerManager::PreCompile() { throw Exception(res::SPreCompileDisabled); }
void TContainerManager::Compile() { throw Exception(res::SCompileDisabled); }
void TContainerManager::PostCompile() { throw Exception(res::SPostCompileDisabled); }
void TContainerManager::ShouldCompile() { throw Exception(res::SShouldCompileDisabled); }

// -- Factories ----------------------------------------------------------------------------------------

void RegisterContainerFunction(TProjectContainerFunction Fn) {
  auto& F = ContainerFunctions();
  if (std::find(F.begin(), F.end(), Fn) == F.end()) F.push_back(Fn);
}

void UnregisterContainerFunction(TProjectContainerFunction Fn) {
  auto& F = ContainerFunctions();
  F.erase(std::remove(F.begin(), F.end(), Fn), F.end());
}

int ContainerFunctionCount() { return static_cast<int>(ContainerFunctions().size()); }

PContainer GetProjectContainer(IContainerProject* Project, TBaseContainer* ModelContainer) {
  const auto Fns = ContainerFunctions();
  for (auto It = Fns.rbegin(); It != Fns.rend(); ++It)
    if (PContainer N = (*It)(Project, ModelContainer)) return N;
  return std::make_shared<TStdProjectContainer>(Project, ModelContainer);
}

// -- Menus ----------------------------------------------------------------------------------------------

const std::vector<TMenuVerb>& ProjectMenuVerbs() {
  static const std::vector<TMenuVerb> Verbs = {
      {"Open", "&Open"},
      {"Close", "&Close"},
      {"Add", "&Add..."},
      {"RemoveFile", "&Remove File..."},
      {"Save", "&Save"},
      {"SaveAs", "Sav&e As..."},
      {"Options", "O&ptions..."},
      {"ViewSource", "&View Source"},
      {"Activate", "Act&ivate"},
      {"Make", "&Make"},
      {"Build", "&Build"},
      {"Clean", "Clean"},
      {"Link", "Link"},
      {"Dependencies", "&Dependencies..."},
      {"Rename", "Re&name"},
      {"RemoveProjectsFromGroup", "R&emove Project"},
      {"CompileFromHere", "Compile All From Here"},
      {"BuildFromHere", "Build All From &Here"},
      {"CleanFromHere", "Clean All From Here"},
      {"BuildSooner", "Build Soo&ner"},
      {"BuildLater", "Build &Later"},
      {"SortName", "Name"},
      {"SortModified", "Modified Date"},
      {"SortType", "Type"},
      {"SortPath", "Path"},
      {"SortAuto", "Auto Sort"},
  };
  return Verbs;
}

std::string FindLocalCommand(const std::string& Verb) {
  static const std::vector<TMenuVerb> Others = {
      {"RemoveItem", "&Remove From Project"},
      {"Delete", "Dele&te"},
      {"RemoveLocalOpts", "Remove Local Options..."},
  };
  for (const auto* List : {&ProjectMenuVerbs(), &Others})
    for (const auto& V : *List)
      if (Verb == V.Verb) return V.Caption;
  return {};
}

std::vector<TLocalMenuItem> CreateLocalMenu(const std::vector<TLocalMenuItem>& Flat) {
  std::vector<TLocalMenuItem> Roots;
  std::function<TLocalMenuItem*(std::vector<TLocalMenuItem>&, const std::string&)> Find =
      [&](std::vector<TLocalMenuItem>& Items, const std::string& Name) -> TLocalMenuItem* {
    for (auto& I : Items) {
      if (I.Name == Name) return &I;
      if (auto* F = Find(I.Items, Name)) return F;
    }
    return nullptr;
  };
  for (const auto& I : Flat) {
    if (I.ParentName.empty()) {
      Roots.push_back(I);
      continue;
    }
    TLocalMenuItem* Parent = Find(Roots, I.ParentName);
    if (!Parent) throw Exception(Format(res::SMenuParentMissing, I.Caption, I.ParentName));
    Parent->Items.push_back(I);
  }
  return Roots;
}

std::vector<TLocalMenuItem> CommonProjectSortMenus() {
  std::vector<TLocalMenuItem> Flat = {{"SortBy", "Sort By", "", {}}};
  for (const char* Verb : {"SortName", "SortModified", "SortType", "SortPath", "SortAuto"})
    Flat.push_back({Verb, FindLocalCommand(Verb), "SortBy", {}});
  return CreateLocalMenu(Flat);
}

std::string FormatContainerTree(TBaseContainer& Root) {
  std::string Out;
  std::function<void(TBaseContainer&, int)> Walk = [&](TBaseContainer& N, int Level) {
    if (auto* Cat = dynamic_cast<TStdContainerCategory*>(&N); Cat && !Cat->Visible()) return;
    Out.append(static_cast<size_t>(Level) * 2, ' ');
    Out += N.GetString();
    Out += '\n';
    for (const auto& C : N.GetChildren()) Walk(*C, Level + 1);
  };
  Walk(Root, 0);
  return Out;
}

}  // namespace nxs
