#include "projectfiles/projectfile.h"

#include <mutex>

#include "projectfiles/conditions.h"
#include "projectfiles/readahead.h"
#include "projectfiles/resstrings.h"
#include "projectfiles/xmlio.h"
#include "shared/fileio.h"
#include "shared/filelock.h"
#include "shared/filenames.h"
#include "shared/format.h"
#include "shared/text.h"

namespace nxs {

using namespace msb;

namespace {

std::mutex& HooksLock() {
  static std::mutex Lock;
  return Lock;
}
TEngineViewHooks& EngineHooks() {
  static TEngineViewHooks Hooks;
  return Hooks;
}
TOpenBufferTextHook& BufferHook() {
  static TOpenBufferTextHook Hook;
  return Hook;
}

constexpr const char* PersonalityName = "Tarvos.Personality";
constexpr const char* ProjectTypeName = "Tarvos.ProjectType";
constexpr const char* PersonalityVersionName = "Tarvos.PersonalityVersion";
constexpr const char* ProjectFileVersionName = "ProjectFileVersion";
constexpr const char* SectionName = "TarvosProject";
constexpr const char* ProjectGuidName = "ProjectGuid";

// The value without a trailing ".<number>".
std::string WithoutVersionSuffix(const std::string& Value) {
  size_t Dot = Value.rfind('.');
  if (Dot != std::string::npos && IsWholeNumber(std::string_view(Value).substr(Dot + 1))) return Value.substr(0, Dot);
  return Value;
}

// The position of the last of the nodes among its siblings, -1 for none.
template <class T>
int LastIndexOf(const std::vector<T*>& Nodes) {
  return Nodes.empty() ? -1 : Nodes.back()->Index();
}

// Conditions compare by meaning: blanks, the case of words and the quote style do not count.
bool SameCondition(const TNode& Node, std::string_view Condition) {
  return SameConditionMeaning(Node.GetAttributeView("Condition"), Condition);
}

}  // namespace

void SetEngineViewHooks(TEngineViewHooks Hooks) {
  std::lock_guard<std::mutex> Guard(HooksLock());
  EngineHooks() = std::move(Hooks);
}

void SetOpenBufferTextHook(TOpenBufferTextHook Hook) {
  std::lock_guard<std::mutex> Guard(HooksLock());
  BufferHook() = std::move(Hook);
}

// ---------------------------------------------------------------------------------------
// Loading and creating

static std::unique_ptr<TProjectNode> AsProject(std::unique_ptr<TNode> Root) {
  auto* Project = dynamic_cast<TProjectNode*>(Root.get());
  if (!Project) throw EProjectFileException(Format(res::SNotAProject, Root->NameView()));
  Root.release();
  return std::unique_ptr<TProjectNode>(Project);
}

std::unique_ptr<TProjectNode> LoadProjectFromText(std::string_view Xml) {
  return AsProject(TProjectXmlReader().Read(Xml));
}

// The tree of a file and, when it was read from disk, the version of the file it was read
// from (taken before the read: a change that lands during the read shows at the next save).
static std::unique_ptr<TProjectNode> LoadTree(const std::string& FileName, TFileInfo* Version) {
  TOpenBufferTextHook Hook;
  {
    std::lock_guard<std::mutex> Guard(HooksLock());
    Hook = BufferHook();
  }
  std::string Text;
  if (Hook && Hook(FileName, Text)) return LoadProjectFromText(Text);
  if (Version)
    if (std::unique_ptr<TProjectNode> Ahead = TakeReadAheadProject(FileName, *Version)) return Ahead;
  if (Version) *Version = FileSystem().Stat(FileName);
  return AsProject(TProjectXmlReader().ReadFile(FileName));
}

std::unique_ptr<TProjectNode> LoadProject(const std::string& FileName) { return LoadTree(FileName, nullptr); }

std::shared_ptr<IMSProjectFile> MSBuildOpenProject(const std::string& FileName) {
  auto Doc = std::make_shared<TNativeMSBuildProject>(FileName);
  Doc->Reload();
  Doc->CheckProjectFileVersion();
  return Doc;
}

std::shared_ptr<IMSProjectFile> MSBuildCreateProject(const std::string& FileName, const std::string& Personality,
                                                     const std::string& ProjectType, std::string& ExtensionXml) {
  auto Doc = std::make_shared<TNativeMSBuildProject>(FileName);
  Doc->SetPersonality(Personality);
  Doc->SetProjectType(ProjectType);
  if (Personality.empty())
    Doc->SetExtensionXml(Format("<%s></%s>", SectionName, SectionName));
  else
    Doc->SetExtensionXml(Format("<%s><%s></%s></%s>", SectionName, Personality, Personality, SectionName));
  ExtensionXml = Doc->GetExtensionXml();
  Doc->SetProjectGuid(CreateGUID());
  Doc->CheckProjectFileVersion();
  return Doc;
}

std::shared_ptr<IMSProjectFile> MSBuildCreateProjectFromXml(const std::string& FileName, std::string_view Xml,
                                                            const std::string& Personality) {
  auto Doc = std::make_shared<TNativeMSBuildProject>(FileName, LoadProjectFromText(Xml));
  if (!Personality.empty()) {
    // The section keeps what it holds and gets the personality's own element, as a new
    // project has it, when it has none.
    Doc->SetPersonality(Personality);
    TNode* Section = Doc->GetProjectNode()->GetProjectExtensions()->FindOrCreateNode(SectionName);
    if (!Section->FindFirstChild(Personality)) Section->CreateChildNode(Personality);
  }
  Doc->CheckProjectFileVersion();
  return Doc;
}

// ---------------------------------------------------------------------------------------
// Document

void TNativeMSBuildProject::TNodeChangeListener::NodeChanged(TNodeChangeType ChangeType, TNode* Node) {
  if (ChangeType != ncDeleted && ChangeType != ncDestroyed) return;
  TNativeMSBuildProject& D = FOwner;
  if (D.FItemGroup == Node) D.FItemGroup = nullptr;
  if (D.FReferenceGroup == Node) D.FReferenceGroup = nullptr;
  if (D.FGlobalPropertyGroup == Node) D.FGlobalPropertyGroup = nullptr;
  if (D.FProjectExtensions == Node) D.FProjectExtensions = nullptr;
  if (D.FCurrentBuildItem == Node) D.FCurrentBuildItem = nullptr;
  if (D.FCurrentPropertyGroup == Node) D.FCurrentPropertyGroup = nullptr;
  if (D.FCurrentTarget == Node) D.FCurrentTarget = nullptr;
  if (D.FCurrentTask == Node) D.FCurrentTask = nullptr;
}

TNativeMSBuildProject::TNativeMSBuildProject(std::string FileName, std::unique_ptr<TProjectNode> Root)
    : FFileName(std::move(FileName)) {
  SetRoot(Root ? std::move(Root) : std::make_unique<TProjectNode>());
}

TNativeMSBuildProject::~TNativeMSBuildProject() {
  // The tree goes while the listener that its nodes call on the way out still exists.
  ClearCachedReferences();
  FProjectNode.reset();
  FPreservedProject.reset();
}

void TNativeMSBuildProject::Fail(const std::string& Message) const {
  throw EProjectFileException(Format(res::SProjectCheck, Message, FFileName));
}

// Every node the document keeps a reference to is watched, so that the reference goes when
// the node leaves the tree (removed, or destroyed with an ancestor).
template <class T>
static T* Tracked(T* Node, INodeChangeListener& Listener) {
  if (Node) Node->AddListener(&Listener);
  return Node;
}

void TNativeMSBuildProject::SetRoot(std::unique_ptr<TProjectNode> Root) {
  ClearCachedReferences();
  std::unique_ptr<TProjectNode> Old = std::move(FProjectNode);
  FProjectNode = std::move(Root);
  FProjectNode->AddListener(&FNodeListener);
  Old.reset();
}

void TNativeMSBuildProject::ClearCachedReferences() {
  FCurrentBuildItem = nullptr;
  FCurrentPropertyGroup = nullptr;
  FCurrentTarget = nullptr;
  FCurrentTask = nullptr;
  FItemGroup = nullptr;
  FReferenceGroup = nullptr;
  FGlobalPropertyGroup = nullptr;
  FProjectExtensions = nullptr;
}

void TNativeMSBuildProject::CheckNoXml(const std::string& Value, const char* Message) const {
  if (Value.find_first_of("<>") != std::string::npos) Fail(Message);
}

TProjectExtensions* TNativeMSBuildProject::Extensions() {
  if (!FProjectExtensions)
    FProjectExtensions = Tracked(FProjectNode->GetProjectExtensions(), FNodeListener);
  return FProjectExtensions;
}

TPropertyGroup* TNativeMSBuildProject::FirstGroup(const std::string& Condition) const {
  const std::vector<TPropertyGroup*>& Groups = FProjectNode->PropertyGroupsWith(Condition);
  return Groups.empty() ? nullptr : Groups.front();
}

TPropertyGroup* TNativeMSBuildProject::GlobalGroup() {
  if (FGlobalPropertyGroup) return FGlobalPropertyGroup;
  TPropertyGroup* G = FirstGroup({});
  if (!G) {
    G = FProjectNode->AddPropertyGroup();
    G->SetIndex(0);
  }
  return FGlobalPropertyGroup = Tracked(G, FNodeListener);
}

void TNativeMSBuildProject::CheckProjectFileVersion() {
  std::string Text = Extensions()->GetValue(ProjectFileVersionName);
  if (!Text.empty()) {
    if (!IsWholeNumber(Text)) throw EProjectFileException(Format(res::SUnknownProjectVersion, Text));
    if (Text.size() > 9 || StrToIntDef(Text, 0) > CurrentProjectFileVersion)
      throw EProjectFileException(Format(res::SNewerProjectVersion, Text, CurrentProjectFileVersion));
  }
  Extensions()->SetValue(ProjectFileVersionName, std::to_string(CurrentProjectFileVersion));
}

// 1
void TNativeMSBuildProject::ClearUnconditionedItemGroups() {
  for (TItemGroup* G : FProjectNode->GetItemGroups())
    if (SameCondition(*G, {})) G->Clear();
}

// 2-7
std::string TNativeMSBuildProject::GetPersonality() {
  TNode* Node = Extensions()->FindOrCreateNode(PersonalityName);
  return WithoutVersionSuffix(Node->GetValue());
}

void TNativeMSBuildProject::SetPersonality(const std::string& Value) {
  CheckNoXml(Value, res::SPersonalityXml);
  Extensions()->FindOrCreateNode(PersonalityName)->SetValue(Value);
}

std::string TNativeMSBuildProject::GetPersonalityVersion() { return Extensions()->GetValue(PersonalityVersionName); }

void TNativeMSBuildProject::SetPersonalityVersion(const std::string& Value) {
  CheckNoXml(Value, res::SPersonalityVersionXml);
  Extensions()->SetValue(PersonalityVersionName, Value);
}

std::string TNativeMSBuildProject::GetProjectType() { return Extensions()->GetValue(ProjectTypeName); }

void TNativeMSBuildProject::SetProjectType(const std::string& Value) {
  CheckNoXml(Value, res::SProjectTypeXml);
  Extensions()->SetValue(ProjectTypeName, Value);
}

// 8-10
std::string TNativeMSBuildProject::GetExtensionXml() { return Extensions()->GetXml(SectionName); }

void TNativeMSBuildProject::GetTargetNames(std::string& Names) {
  for (TTarget* T : FProjectNode->GetTargets()) {
    if (!Names.empty()) Names += ';';
    Names += T->Name();
  }
}

void TNativeMSBuildProject::SetExtensionXml(const std::string& Xml) { Extensions()->SetXml(SectionName, Xml); }

// 11, 44, 63, 64
bool TNativeMSBuildProject::IsAsOnDisk() {
  if (FReadFrom.empty() || FProjectNode->GetModifiedFlag() || FReadFrom != ExpandFileName(FFileName)) return false;
  // The engine leaves the extensions to the environment: what changed there (the file version
  // stamped as the document opened) leaves the engine's reading of the file as it is.
  for (int I = 0; I < FProjectNode->Count(); ++I) {
    const TNode* Child = FProjectNode->GetNode(I);
    if (!dynamic_cast<const msb::TProjectExtensions*>(Child) && Child->GetIsModified()) return false;
  }
  return SameFileVersion(FileSystem().Stat(FReadFrom), FReadVersion);
}

std::shared_ptr<IEngineProjectView> TNativeMSBuildProject::EngineView(bool MayReadFile) {
  TEngineViewHooks Hooks;
  {
    std::lock_guard<std::mutex> Guard(HooksLock());
    Hooks = EngineHooks();
  }
  if (!Hooks.MakeView) throw EProjectFileException(res::SNoEngineView);
  if (FCachedProjectInterop && Hooks.BackgroundCompileActive && Hooks.BackgroundCompileActive())
    return FCachedProjectInterop;
  if (MayReadFile && Hooks.MakeFileView && IsAsOnDisk())
    FProjectInterop = Hooks.MakeFileView(FFileName);
  else
    FProjectInterop = Hooks.MakeView(GetXml(), FFileName);
  if (!FProjectInterop) throw EProjectFileException(res::SNoEngineView);
  return FProjectInterop;
}

bool TNativeMSBuildProject::EngineBuild(const std::string& Targets, const std::string& Properties, int Verbosity) {
  std::shared_ptr<IEngineProjectView> View = EngineView();
  FProjectInterop.reset();
  return View->Build(Targets, Properties, Verbosity);
}

bool TNativeMSBuildProject::EngineQuery(const std::string& Text, std::string& Result) {
  std::shared_ptr<IEngineProjectView> View = EngineView();
  FProjectInterop.reset();
  return View->Query(Text, Result);
}

void TNativeMSBuildProject::CacheEngineProject() {
  FCachedProjectInterop.reset();
  // The text as it is now: the file may change while a background compile reads the view.
  FCachedProjectInterop = EngineView(false);
  FProjectInterop.reset();
}

void TNativeMSBuildProject::ReleaseEngineProject() { FCachedProjectInterop.reset(); }

// 12-15: items
TItemGroup* TNativeMSBuildProject::ItemGroupFor(bool References) {
  TItemGroup*& Cached = References ? FReferenceGroup : FItemGroup;
  if (Cached) return Cached;
  // Only groups without condition: an item added here belongs to every build.
  for (TItemGroup* G : FProjectNode->GetItemGroups()) {
    if (!SameCondition(*G, {})) continue;
    TItem* First = G->GetItem(0);
    if (!First || SameText(First->NameView(), "Reference") == References) return Cached = Tracked(G, FNodeListener);
  }
  std::vector<TPropertyGroup*> Groups = FProjectNode->GetPropertyGroups();
  TItemGroup* G = FProjectNode->AddItemGroup({}, Groups.empty() ? nullptr : Groups.back());
  return Cached = Tracked(G, FNodeListener);
}

void TNativeMSBuildProject::AddItem(const std::string& ItemType, const std::string& Include,
                                    const std::string& Condition) {
  TItemGroup* G = ItemGroupFor(SameText(ItemType, "Reference"));
  FCurrentBuildItem = Tracked(G->AddItem(ItemType, Include, Condition), FNodeListener);
}

void TNativeMSBuildProject::EndItem() { FCurrentBuildItem = nullptr; }

void TNativeMSBuildProject::ReadItems(IItemReader& Reader) {
  for (TItemGroup* G : FProjectNode->GetItemGroups()) {
    if (!SameCondition(*G, {})) continue;
    for (TItem* I : G->GetItems()) {
      Reader.BeginItem(I->GetName(), I->Include(), I->GetCondition());
      if (I->Nodes())
        for (const auto& M : *I->Nodes()) Reader.ItemMetadata(M->GetName(), M->GetValue());
      Reader.EndItem();
    }
  }
}

void TNativeMSBuildProject::AddItemMetadata(const std::string& Name, const std::string& Value) {
  if (!FCurrentBuildItem) Fail(Format(res::SNullBuildItem, Name, Value));
  FCurrentBuildItem->AddMetadata(Name, Value);
}

// 16
void TNativeMSBuildProject::SaveToFile(const std::string& FileName) {
  // Under the file's lock, so that the check below stays true until the file is replaced.
  TFileLock Lock(FileName);
  const std::string Name = ExpandFileName(FileName);
  if (!FReadFrom.empty() && Name == FReadFrom) {
    // Written over a change another process made after this one read the file, this
    // document would lose that change. A file removed meanwhile is written again.
    TFileInfo Now = FileSystem().Stat(Name);
    if (Now.Exists && !SameFileVersion(Now, FReadVersion))
      throw EProjectFileException(Format(res::SChangedOnDisk, Name));
  }
  std::vector<TNode*> WasModified;
  try {
    // The text goes out in pieces that stay in the processor's cache, never held whole.
    constexpr size_t Piece = 256 << 10;
    std::unique_ptr<IFileWriter> File = FileSystem().CreateFileWriter(FileName);
    std::string Text;
    Text.reserve(Piece + Piece / 4);
    Text.append("\xEF\xBB\xBF");
    TXmlWriter Writer(Text, xeUTF8, true);
    Writer.RecordModified(&WasModified);
    Writer.StreamTo(*File, Piece);
    Writer.Write(*FProjectNode);
    Writer.Flush();
    File->Commit();
  } catch (...) {
    // Only a file that was written makes the document unmodified.
    for (TNode* Node : WasModified) Node->MarkModified();
    throw;
  }
  FReadFrom = Name;
  FReadVersion = FileSystem().Stat(Name);
}

// 17-25: property groups
void TNativeMSBuildProject::BeginPropertyGroup(const std::string& Condition) {
  TPropertyGroup* G = FirstGroup(Condition);
  if (!G) {
    std::vector<TPropertyGroup*> Groups = FProjectNode->GetPropertyGroups();
    G = FProjectNode->AddPropertyGroup(Condition, Groups.empty() ? nullptr : Groups.back());
  }
  FCurrentPropertyGroup = Tracked(G, FNodeListener);
}

void TNativeMSBuildProject::WriteGroupProperty(TPropertyGroup* Group, const std::string& Name,
                                               const std::string& Value, bool WriteEmpty,
                                               const std::string& Condition) {
  if (Value.empty() && !WriteEmpty) {
    Group->RemoveProperty(Name, Condition);
    return;
  }
  Group->SetProperty(Name, Condition, Value);
}

void TNativeMSBuildProject::WriteProperty(const std::string& Name, const std::string& Value, bool WriteEmpty,
                                          const std::string& Condition) {
  // Without an open group the property goes to the global group.
  WriteGroupProperty(FCurrentPropertyGroup ? FCurrentPropertyGroup : GlobalGroup(), Name, Value, WriteEmpty,
                     Condition);
}

void TNativeMSBuildProject::EndPropertyGroup() { FCurrentPropertyGroup = nullptr; }

void TNativeMSBuildProject::ReadPropertyGroup(const std::string& GroupCondition, IPropertyReader& Reader) {
  if (TPropertyGroup* G = FirstGroup(GroupCondition))
    for (TProperty* P : G->GetProperties()) Reader.ReadProperty(P->GetName(), P->GetValue(), P->GetCondition());
}

void TNativeMSBuildProject::ReadGroupProperty(const std::string& Name, const std::string& GroupCondition,
                                              IPropertyReader& Reader) {
  if (TPropertyGroup* G = FirstGroup(GroupCondition))
    for (TProperty* P : G->GetProperties())
      if (SameText(P->NameView(), Name)) Reader.ReadProperty(P->GetName(), P->GetValue(), P->GetCondition());
}

void TNativeMSBuildProject::ReadPropertyInAllGroups(const std::string& Name, IPropertyReader& Reader) {
  for (TPropertyGroup* G : FProjectNode->GetPropertyGroups()) {
    std::string GroupCondition = G->GetCondition();
    for (TProperty* P : G->GetProperties())
      if (SameText(P->NameView(), Name)) Reader.ReadProperty(P->GetName(), P->GetValue(), GroupCondition);
  }
}

void TNativeMSBuildProject::ReadGlobalProperty(const std::string& Name, IPropertyReader& Reader) {
  ReadGroupProperty(Name, {}, Reader);
}

void TNativeMSBuildProject::GetGroupConditions(std::vector<std::string>& Strings) {
  for (TPropertyGroup* G : FProjectNode->GetPropertyGroups()) Strings.push_back(G->GetCondition());
}

void TNativeMSBuildProject::GetGroupPropertyNames(const std::string& GroupCondition,
                                                  std::vector<std::string>& Strings) {
  if (TPropertyGroup* G = FirstGroup(GroupCondition))
    for (TProperty* P : G->GetProperties()) Strings.push_back(P->GetName());
}

// 26-31: imports
void TNativeMSBuildProject::AddImport(const std::string& Project, const std::string& Condition) {
  std::vector<TItemGroup*> Groups = FProjectNode->GetItemGroups();
  FProjectNode->AddImport(Project, Condition, Groups.empty() ? nullptr : Groups.back());
}

void TNativeMSBuildProject::InsertImport(const std::string& Project, int Index, const std::string& Condition) {
  std::vector<TImport*> Imports = FProjectNode->GetImports();
  if (Imports.empty() || Index < 0) {
    AddImport(Project, Condition);
    return;
  }
  if (Index == 0) {
    int Position = Imports.front()->Index();
    TImport* New = FProjectNode->AddImport(Project, Condition);
    New->SetIndex(Position);
    return;
  }
  if (Index > static_cast<int>(Imports.size())) Index = static_cast<int>(Imports.size());
  FProjectNode->AddImport(Project, Condition, Imports[static_cast<size_t>(Index - 1)]);
}

void TNativeMSBuildProject::MoveImport(const std::string& Project, const std::string& Condition, int Index) {
  FProjectNode->GetImport(Project, Condition, true)->SetIndex(Index);
}

bool TNativeMSBuildProject::HasImport(const std::string& Project, const std::string& Condition) {
  return FProjectNode->GetImport(Project, Condition, false) != nullptr;
}

int TNativeMSBuildProject::RemoveImport(const std::string& Project, const std::string& Condition) {
  TImport* I = FProjectNode->GetImport(Project, Condition, false);
  return I ? FProjectNode->RemoveNode(I) : -1;
}

void TNativeMSBuildProject::RemoveAllImports() {
  for (TImport* I : FProjectNode->GetImports()) FProjectNode->RemoveNode(I);
}

// 32-34: global and conditioned properties
bool TNativeMSBuildProject::GetGlobalProperty(const std::string& Name, std::string& Value, std::string& Condition) {
  TPropertyGroup* G = FGlobalPropertyGroup ? FGlobalPropertyGroup : FirstGroup({});
  TProperty* Last = nullptr;
  if (G)
    for (TProperty* P : G->GetProperties())
      if (SameText(P->NameView(), Name)) Last = P;
  if (!Last) return false;
  Value = Last->GetValue();
  Condition = Last->GetCondition();
  return true;
}

void TNativeMSBuildProject::SetGlobalProperty(const std::string& Name, const std::string& Value, bool WriteEmpty,
                                              const std::string& Condition) {
  WriteGroupProperty(GlobalGroup(), Name, Value, WriteEmpty, Condition);
}

void TNativeMSBuildProject::SetConditionedProperty(const std::string& Name, const std::string& Value,
                                                   const std::string& Condition) {
  int LastImport = LastIndexOf(FProjectNode->GetImports());
  TPropertyGroup* Target = nullptr;
  for (TPropertyGroup* G : FProjectNode->GetPropertyGroups())
    if (SameCondition(*G, Condition) && G->Index() > LastImport) {
      Target = G;
      break;
    }
  if (!Target) {
    Target = FProjectNode->AddPropertyGroup(Condition);
    Target->SetIndex(LastImport + 1);
  }
  Target->GetProperty(Name, {}, true)->SetValue(Value);
}

// 35-38: state
bool TNativeMSBuildProject::IsModified() { return FProjectNode->GetIsModified(); }

void TNativeMSBuildProject::Preserve() {
  FPreservedProject.reset();
  FDirtyWhenPreserved = IsModified();
  std::unique_ptr<TNode> Copy = FProjectNode->CreateCopy(true);
  auto* Project = dynamic_cast<TProjectNode*>(Copy.get());
  if (!Project) return;
  Copy.release();
  FPreservedProject.reset(Project);
}

void TNativeMSBuildProject::Restore() {
  if (!FPreservedProject) Fail(res::SNotPreserved);
  SetRoot(std::move(FPreservedProject));
  if (FDirtyWhenPreserved) FProjectNode->MarkModified();
}

void TNativeMSBuildProject::DiscardPreserved() { FPreservedProject.reset(); }

// 39-46: removing and clearing groups
std::vector<TPropertyGroup*> TNativeMSBuildProject::GroupsWith(const std::string& Condition) {
  return FProjectNode->PropertyGroupsWith(Condition);
}

void TNativeMSBuildProject::RemovePropertyGroups(const std::string& Condition) {
  for (TPropertyGroup* G : GroupsWith(Condition)) FProjectNode->RemoveNode(G);
}

TGUID TNativeMSBuildProject::GetProjectGuid() {
  std::string Value, Condition;
  if (!GetGlobalProperty(ProjectGuidName, Value, Condition) || Value.empty()) return TGUID{};
  return StringToGUID(Value);
}

void TNativeMSBuildProject::SetProjectGuid(const TGUID& Guid) {
  SetGlobalProperty(ProjectGuidName, GUIDToString(Guid), false, {});
}

void TNativeMSBuildProject::RemoveGroupProperty(const std::string& GroupCondition, const std::string& Name) {
  for (TPropertyGroup* G : GroupsWith(GroupCondition)) {
    for (TProperty* P : G->GetProperties())
      if (SameText(P->NameView(), Name)) G->RemoveNode(P);
    if (!G->HasChildren()) FProjectNode->RemoveNode(G);
  }
}

bool TNativeMSBuildProject::HasUnconditionedProperty(const std::string& Name) {
  for (TPropertyGroup* G : FProjectNode->GetPropertyGroups())
    if (SameCondition(*G, {}) && G->GetProperty(Name, {}, false)) return true;
  return false;
}

void TNativeMSBuildProject::ClearPropertyGroups(const std::string& Condition) {
  for (TPropertyGroup* G : GroupsWith(Condition)) G->Clear();
}

void TNativeMSBuildProject::RemoveGlobalProperty(const std::string& Name) { RemoveGroupProperty({}, Name); }

// 47-53: targets and tasks
void TNativeMSBuildProject::BeginWriteTarget(const std::string& Name, const std::string& DependsOnTargets) {
  TTarget* T = FProjectNode->GetTarget(Name, true);
  if (!T) Fail(res::SBeginWriteTargetNil);
  T->SetDependsOnTargets(DependsOnTargets);
  FCurrentTarget = Tracked(T, FNodeListener);
}

void TNativeMSBuildProject::EndWriteTarget() { FCurrentTarget = nullptr; }

void TNativeMSBuildProject::BeginWriteTask(const std::string& Name) {
  if (!FCurrentTarget) Fail(res::SBeginWriteTaskNil);
  FCurrentTask = Tracked(FCurrentTarget->GetTask(Name, true), FNodeListener);
}

void TNativeMSBuildProject::EndWriteTask() { FCurrentTask = nullptr; }

void TNativeMSBuildProject::SetTaskParameter(const std::string& Name, const std::string& Value) {
  if (!FCurrentTask) Fail(res::SCurrentTaskNil);
  FCurrentTask->SetParameter(Name, Value);
}

void TNativeMSBuildProject::SetTaskCondition(const std::string& Condition) {
  if (!FCurrentTask) Fail(res::SCurrentTaskNil);
  FCurrentTask->SetCondition(Condition);
}

void TNativeMSBuildProject::RemoveTarget(const std::string& Name) {
  if (TTarget* T = FProjectNode->GetTarget(Name, false)) FProjectNode->RemoveNode(T);
}

void TNativeMSBuildProject::RemoveConditionedPropertyGroups(const std::string& Condition) {
  for (TPropertyGroup* G : FProjectNode->GetPropertyGroups()) {
    std::string_view Own = G->GetAttributeView("Condition");
    if (Condition.empty() ? !Own.empty() : SameConditionMeaning(Own, Condition)) FProjectNode->RemoveNode(G);
  }
}

// 55-62
std::string TNativeMSBuildProject::GetXml() { return FProjectNode->GetXml(); }

void TNativeMSBuildProject::ReadTargets(ITargetReader& Reader) {
  for (TTarget* T : FProjectNode->GetTargets()) {
    Reader.BeginTarget(T->Name(), T->GetCondition());
    Reader.DependsOnTargets(T->DependsOnTargets());
    for (TTask* Task : T->GetTasks()) {
      Reader.BeginTask(Task->GetName(), Task->GetCondition());
      for (const std::string& P : Task->ParameterNames()) Reader.TaskParameter(P, Task->GetParameter(P));
    }
  }
}

void TNativeMSBuildProject::ClearCurrentTarget() { FCurrentTarget = nullptr; }

void TNativeMSBuildProject::ResetDocument() {
  std::string Personality = GetPersonality();
  std::string ProjectType = GetProjectType();
  std::string SectionXml = GetExtensionXml();
  std::string Guid, GuidCondition;
  bool HasGuid = GetGlobalProperty(ProjectGuidName, Guid, GuidCondition);
  // Parse the section before anything changes, so that a failure leaves the document as it was.
  std::unique_ptr<TNode> Section;
  if (!Trim(SectionXml).empty()) Section = TXmlReader().Read(SectionXml);
  FPreservedProject.reset();
  SetRoot(std::make_unique<TProjectNode>());
  Extensions()->FindOrCreateNode(PersonalityName)->SetValue(Personality);
  Extensions()->SetValue(ProjectTypeName, ProjectType);
  if (Section) Extensions()->InsertNode(std::move(Section));
  if (HasGuid) GlobalGroup()->SetProperty(ProjectGuidName, GuidCondition, Guid);
}

void TNativeMSBuildProject::RebuildTree() {
  Preserve();
  Restore();
}

void TNativeMSBuildProject::Reload() {
  TFileInfo Version;
  SetRoot(LoadTree(FFileName, &Version));
  FReadFrom = Version.Exists ? ExpandFileName(FFileName) : std::string();
  FReadVersion = Version;
}

void TNativeMSBuildProject::SetFileName(const std::string& FileName) { FFileName = FileName; }

}  // namespace nxs
