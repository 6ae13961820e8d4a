// Evaluation in the engine's passes: properties, imports and Choose in document order (pass
// 1), then item definitions (pass 2), then items (pass 3). Targets are collected in pass 1
// and their bodies wait until they run.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <mutex>
#include <unordered_map>

#include "build/engine/batching.h"
#include "build/engine/conditions.h"
#include "build/engine/expand.h"
#include "build/engine/filetimes.h"
#include "build/engine/items.h"
#include "build/engine/resstrings.h"
#include "shared/fileio.h"
#include "shared/fileprobes.h"
#include "shared/format.h"
#include "shared/text.h"

extern char** environ;

namespace nxs::engine {

size_t TNoCaseHash::operator()(std::string_view S) const noexcept {
  size_t H = 14695981039346656037ull;
  for (char C : S) {
    H ^= static_cast<unsigned char>(AsciiLower(C));
    H *= 1099511628211ull;
  }
  return H;
}

bool TNoCaseEqual::operator()(std::string_view A, std::string_view B) const noexcept { return SameText(A, B); }

const std::string* TMetadata::Find(std::string_view Name) const {
  for (const auto& [N, V] : FEntries)
    if (SameText(N, Name)) return &V;
  return nullptr;
}

void TMetadata::Set(std::string_view Name, std::string Value) {
  for (auto& [N, V] : FEntries)
    if (SameText(N, Name)) {
      V = std::move(Value);
      return;
    }
  FEntries.emplace_back(std::string(Name), std::move(Value));
}

void TMetadata::Remove(std::string_view Name) {
  std::erase_if(FEntries, [&](const auto& E) { return SameText(E.first, Name); });
}

void TMetadata::AddDefaults(const TMetadata& Other) {
  for (const auto& [N, V] : Other.FEntries)
    if (!Find(N)) FEntries.emplace_back(N, V);
}

const std::string* TBucket::Find(std::string_view Type, std::string_view Name) const {
  for (const auto& V : Values)
    if (SameText(V.Name, Name) && SameText(V.Type, Type)) return &V.Value;
  return nullptr;
}

TLocation LocationOf(const TXmlDocument& Doc, const TXmlElement& E) { return {&Doc.FileName, E.Line, E.Column}; }

void Fail(const TLocation& Where, const std::string& Text) {
  throw EEngineError(Text, Where.File ? *Where.File : std::string(), Where.Line, Where.Column);
}

namespace {

// Documents read by every engine of the process, by their text: an import that every project
// of a group shares (the targets files) is parsed once, and a file whose text changed in any
// way is parsed again.
class TParsedTexts {
 public:
  std::shared_ptr<const TXmlDocument> Parse(const std::string& FullPath, const std::string& Text) {
    {
      std::lock_guard<std::mutex> L(FLock);
      auto It = FEntries.find(FullPath);
      if (It != FEntries.end() && It->second.Text == Text) return It->second.Doc;
    }
    std::shared_ptr<const TXmlDocument> Doc = ParseProjectXml(FullPath, Text);
    constexpr size_t MostKept = 256;
    std::lock_guard<std::mutex> L(FLock);
    if (FEntries.size() >= MostKept) FEntries.clear();
    FEntries[FullPath] = {Text, Doc};
    return Doc;
  }

 private:
  struct TEntry {
    std::string Text;
    std::shared_ptr<const TXmlDocument> Doc;
  };
  std::mutex FLock;
  std::unordered_map<std::string, TEntry> FEntries;
};

TParsedTexts& ParsedTexts() {
  static TParsedTexts Texts;
  return Texts;
}

// The documents read since nothing changed files in a make (filetimes.h): the projects of a
// group that import the same targets file take it without asking the disk again.
struct TSpanDocuments {
  std::mutex Lock;
  uint64_t Span = 0;
  std::unordered_map<std::string, std::shared_ptr<const TXmlDocument>> Docs;
};

TSpanDocuments& SpanDocuments() {
  static TSpanDocuments Documents;
  return Documents;
}

std::shared_ptr<const TXmlDocument> ReadInThisSpan(const std::string& FullPath) {
  const uint64_t Span = UnchangedSpan();
  if (Span == 0) return nullptr;
  TSpanDocuments& D = SpanDocuments();
  std::lock_guard<std::mutex> L(D.Lock);
  if (D.Span != Span) return nullptr;
  auto It = D.Docs.find(FullPath);
  return It == D.Docs.end() ? nullptr : It->second;
}

}  // namespace

std::shared_ptr<const TXmlDocument> TDocumentCache::Load(const std::string& FullPath) {
  if (auto Known = ReadInThisSpan(FullPath)) return Known;
  const uint64_t Span = UnchangedSpan();
  std::shared_ptr<const TXmlDocument> Doc = LoadFromDisk(FullPath);
  if (Span != 0 && UnchangedSpan() == Span) {
    TSpanDocuments& D = SpanDocuments();
    std::lock_guard<std::mutex> L(D.Lock);
    if (D.Span != Span) {
      D.Docs.clear();
      D.Span = Span;
    }
    D.Docs[FullPath] = Doc;
  }
  return Doc;
}

std::shared_ptr<const TXmlDocument> TDocumentCache::LoadFromDisk(const std::string& FullPath) {
  TFileInfo Info = FileSystem().Stat(FullPath);
  {
    std::lock_guard<std::mutex> L(FLock);
    auto It = FEntries.find(FullPath);
    if (It != FEntries.end() && It->second.ModifiedNs == Info.ModifiedTimeNs && It->second.Size == Info.Size)
      return It->second.Doc;
  }
  std::shared_ptr<const TXmlDocument> Doc = ParsedTexts().Parse(FullPath, ReadText(FullPath));
  std::lock_guard<std::mutex> L(FLock);
  FEntries[FullPath] = TEntry{Info.ModifiedTimeNs, Info.Size, Doc};
  return Doc;
}

std::string TDocumentCache::ReadText(const std::string& FullPath) {
  // A device or a pipe named as a project (an import of /dev/zero, say) would be read for ever.
  NoteFileProbe(FullPath);
  if (struct stat St; ::stat(FullPath.c_str(), &St) == 0 && !S_ISREG(St.st_mode))
    throw EEngineError(Format(res::SCannotReadProject, FullPath, res::SNotARegularFile), FullPath);
  try {
    return FileSystem().ReadFile(FullPath);
  } catch (const Exception& E) {
    throw EEngineError(Format(res::SCannotReadProject, FullPath, E.Message()), FullPath);
  }
}

// ---- the project ----

namespace {

std::string CurrentDirectory() {
  char Buf[4096];
  return getcwd(Buf, sizeof Buf) ? std::string(Buf) : std::string();
}

// MSBuildStartupDirectory: the folder the command was started from. It is taken as the program
// loads, before anything can change the current directory (a project file's build makes its
// own folder current for the run).
const std::string StartupDirectory = CurrentDirectory();

bool ValidPropertyName(std::string_view N) {
  if (N.empty() || !((N[0] >= 'a' && N[0] <= 'z') || (N[0] >= 'A' && N[0] <= 'Z') || N[0] == '_')) return false;
  for (char C : N)
    if (!IsNameChar(C)) return false;
  return true;
}

}  // namespace

std::shared_ptr<const TEnvironmentProperties> EnvironmentProperties() {
  // The environment's entries as last read: the properties stand while every entry reads the
  // same (a variable set since changes its entry).
  static std::mutex Lock;
  static std::vector<std::string> Entries;
  static std::shared_ptr<const TEnvironmentProperties> Properties;
  std::lock_guard<std::mutex> L(Lock);
  size_t N = 0;
  bool Same = Properties != nullptr;
  for (char** E = environ; Same && E && *E; ++E, ++N) Same = N < Entries.size() && Entries[N] == *E;
  if (Same && N == Entries.size()) return Properties;
  Entries.clear();
  auto P = std::make_shared<TEnvironmentProperties>();
  for (char** E = environ; E && *E; ++E) {
    Entries.emplace_back(*E);
    std::string_view V(*E);
    size_t Eq = V.find('=');
    if (Eq == std::string_view::npos || !ValidPropertyName(V.substr(0, Eq))) continue;
    std::string& Value = P->Values[std::string(V.substr(0, Eq))];
    P->Bytes -= Value.size();
    Value = MSBuildEscape(std::string(V.substr(Eq + 1)));
    P->Bytes += Value.size();
  }
  Properties = std::move(P);
  return Properties;
}

TProject::TProject(const std::string& FullPath, const TPropertyMap& Globals)
    : FFullPath(FullPath), FGlobals(Globals), FEnvironment(EnvironmentProperties()) {
  size_t Slash = FFullPath.rfind('/');
  FDirectory = DirectoryOf(FFullPath);
  std::string File = FFullPath.substr(Slash + 1);
  size_t Dot = File.rfind('.');
  FProperties.reserve(64);
  FPropertyBytes = FEnvironment->Bytes;
  InitProperty("MSBuildProjectFullPath", MSBuildEscape(FFullPath), true);
  InitProperty("MSBuildProjectDirectory", MSBuildEscape(FDirectory), true);
  InitProperty("MSBuildProjectDirectoryNoRoot", MSBuildEscape(FDirectory.substr(1)), true);
  InitProperty("MSBuildProjectFile", MSBuildEscape(File), true);
  InitProperty("MSBuildProjectName", MSBuildEscape(Dot == std::string::npos ? File : File.substr(0, Dot)), true);
  InitProperty("MSBuildProjectExtension", MSBuildEscape(Dot == std::string::npos ? std::string() : File.substr(Dot)), true);
  InitProperty("MSBuildStartupDirectory", MSBuildEscape(StartupDirectory), true);
  InitProperty("MSBuildToolsVersion", "Current", true);
  InitProperty("MSBuildNodeCount", "1", true);
  for (const auto& [N, V] : FGlobals) {
    auto It = FProperties.find(N);
    FPropertyBytes = FPropertyBytes - ValueSize(N, It) + V.size();
    TProperty& P = It == FProperties.end() ? FProperties[N] : It->second;
    P.Value = V;
    P.Global = true;
  }
}

size_t TProject::ValueSize(std::string_view Name, TNoCaseMap<TProperty>::const_iterator It) const {
  if (It != FProperties.end()) return It->second.Value.size();
  auto E = FEnvironment->Values.find(Name);
  return E == FEnvironment->Values.end() ? 0 : E->second.size();
}

const std::string* TProject::StoredProperty(std::string_view Name) const {
  if (Name.size() >= 15 && StartsText("MSBuildThisFile", Name)) return nullptr;
  if (auto It = FProperties.find(Name); It != FProperties.end()) return &It->second.Value;
  auto E = FEnvironment->Values.find(Name);
  return E == FEnvironment->Values.end() ? nullptr : &E->second;
}

bool TProject::FindProperty(std::string_view Name, const std::string* ThisFile, std::string& Value) const {
  if (Name.size() >= 15 && StartsText("MSBuildThisFile", Name)) {
    const std::string& F = ThisFile ? *ThisFile : FFullPath;
    size_t Slash = F.rfind('/');
    std::string File = F.substr(Slash + 1);
    size_t Dot = File.rfind('.');
    std::string_view Rest = Name.substr(15);
    if (Rest.empty())
      Value = File;
    else if (SameText(Rest, "Directory"))
      Value = F.substr(0, Slash + 1);
    else if (SameText(Rest, "DirectoryNoRoot"))
      Value = F.substr(1, Slash);
    else if (SameText(Rest, "FullPath"))
      Value = F;
    else if (SameText(Rest, "Name"))
      Value = Dot == std::string::npos ? File : File.substr(0, Dot);
    else if (SameText(Rest, "Extension"))
      Value = Dot == std::string::npos ? std::string() : File.substr(Dot);
    else
      goto Lookup;
    Value = MSBuildEscape(Value);
    return true;
  }
Lookup:
  const std::string* Stored = StoredProperty(Name);
  if (!Stored) {
    Value.clear();
    return false;
  }
  Value = *Stored;
  return true;
}

void TProject::SetProperty(std::string_view Name, std::string Value, const TLocation& Where) {
  if (!ValidPropertyName(Name)) Fail(Where, Format(res::SBadPropertyName, Name));
  if (Name.size() >= 15 && StartsText("MSBuildThisFile", Name)) Fail(Where, Format(res::SReservedProperty, Name));
  auto It = FProperties.find(Name);
  if (It != FProperties.end()) {
    if (It->second.Reserved) Fail(Where, Format(res::SReservedProperty, Name));
    if (It->second.Global) return;  // global properties win over the project
  }
  size_t Others = FPropertyBytes - ValueSize(Name, It);
  if (Value.size() > MaxExpansionBytes - std::min(Others, MaxExpansionBytes))
    Fail(Where, Format(res::SPropertyTooLarge, Name, res::SExpansionBound));
  FPropertyBytes = Others + Value.size();
  if (It == FProperties.end())
    FProperties.emplace(std::string(Name), TProperty{std::move(Value), false, false});
  else
    It->second.Value = std::move(Value);
}

TExpandContext TProject::ForProperty(std::string_view Name, TExpandContext Ctx) const {
  size_t Others = FPropertyBytes - ValueSize(Name, FProperties.find(Name));
  Ctx.Limit = std::min(Ctx.Limit, MaxExpansionBytes - std::min(Others, MaxExpansionBytes));
  Ctx.Making = Name;
  Ctx.MakingItems = false;
  return Ctx;
}

TExpandContext TProject::ForItems(std::string_view Type, TExpandContext Ctx) const {
  Ctx.Limit = std::min(Ctx.Limit, MaxExpansionBytes - std::min(FItemBytes, MaxExpansionBytes));
  Ctx.Making = Type;
  Ctx.MakingItems = true;
  return Ctx;
}

void TProject::AddItemBytes(std::string_view Type, size_t Bytes, const TLocation& Where) {
  if (Bytes > MaxExpansionBytes - std::min(FItemBytes, MaxExpansionBytes))
    Fail(Where, Format(res::SItemsTooLarge, Type, res::SExpansionBound));
  FItemBytes += Bytes;
}

void TProject::RemoveItemBytes(size_t Bytes) { FItemBytes -= std::min(FItemBytes, Bytes); }

size_t ItemBytes(const TItem& Item) {
  // An item costs more than its record: the lists it is copied through on its way, and the
  // allocator's share. A weight of a few hundred bytes stops a list of tiny items doubling
  // itself at about a million of them, within a second.
  constexpr size_t Weight = 256;
  size_t N = Weight + Item.Spec.size();
  for (const auto& [Name, Value] : Item.Meta.Entries()) N += sizeof(Name) + Name.size() + sizeof(Value) + Value.size();
  return N;
}

void TProject::TreatAsLocal(std::string_view Name) {
  auto It = FProperties.find(Name);
  if (It != FProperties.end()) It->second.Global = false;
}

void TProject::InitProperty(std::string_view Name, std::string Value, bool Reserved) {
  auto It = FProperties.find(Name);
  FPropertyBytes = FPropertyBytes - ValueSize(Name, It) + Value.size();
  TProperty& P = It == FProperties.end() ? FProperties[std::string(Name)] : It->second;
  P.Value = std::move(Value);
  P.Reserved = Reserved;
}

std::string TProject::GetPropertyValue(const std::string& Name) const {
  std::string V;
  FindProperty(Name, nullptr, V);
  return MSBuildUnescape(V);
}

bool TProject::HasProperty(const std::string& Name) const {
  std::string V;
  return FindProperty(Name, nullptr, V);
}

const TItemList* TProject::FindItems(std::string_view Type) const {
  auto It = FItems.find(Type);
  return It == FItems.end() ? nullptr : &It->second;
}

TItemList& TProject::ItemsOf(std::string_view Type) {
  auto It = FItems.find(Type);
  if (It != FItems.end()) return It->second;
  return FItems[std::string(Type)];
}

TTaskItem TProject::ToTaskItem(const TItem& Item) const {
  TTaskItem T;
  T.ItemSpec = MSBuildUnescape(Item.Spec);
  for (const auto& [N, V] : Item.Meta.Entries()) T.Metadata[N] = MSBuildUnescape(V);
  T.BaseDirectory = FDirectory;
  return T;
}

std::vector<TTaskItem> TProject::GetItems(const std::string& ItemType) const {
  std::vector<TTaskItem> R;
  if (const TItemList* L = FindItems(ItemType))
    for (const auto& It : *L) R.push_back(ToTaskItem(It));
  return R;
}

std::string TProject::Expand(const std::string& Text) const {
  TExpandContext Ctx;
  Ctx.Project = const_cast<TProject*>(this);  // expansion outside a target reads only
  Ctx.ThisFile = &FFullPath;
  Ctx.Where.File = &FFullPath;
  return MSBuildUnescape(ExpandString(Text, Ctx));
}

bool TProject::HasTarget(const std::string& Name) const { return Targets.count(Name) > 0; }

// ---- elements shared by evaluation and targets ----

namespace {

bool IsItemAttribute(std::string_view N) {
  for (const char* A : {"Include", "Exclude", "Remove", "Update", "Condition", "KeepMetadata", "RemoveMetadata",
                        "KeepDuplicates", "MatchOnMetadata", "MatchOnMetadataOptions", "Label"})
    if (SameText(N, A)) return true;
  return false;
}

TSpecMatcher MatcherOf(const std::string& Text, const TExpandContext& Ctx) {
  TSpecMatcher M(Ctx.Project->Directory());
  TItemList L;
  ExpandIntoItems(Text, Ctx, L);
  for (auto& It : L) M.Add(MSBuildUnescape(It.Spec));
  return M;
}

// Sets the element's metadata (child elements, then attributes) on Item.
void SetMetadata(const TXmlElement& E, TItem& Item, const TExpandContext& Ctx) {
  TExpandContext C = Ctx;
  C.MetaItem = &Item;
  for (const auto& A : E.Attributes) {
    if (IsItemAttribute(A.Name)) continue;
    if (IsWellKnownMetadata(A.Name)) Fail(Ctx.Where, Format(res::SReservedProperty, A.Name));
    Item.Meta.Set(A.Name, ExpandString(A.Value, C));
  }
  for (const auto& Child : E.Children) {
    C.Where.Line = Child->Line;
    C.Where.Column = Child->Column;
    if (IsWellKnownMetadata(Child->Name)) Fail(C.Where, Format(res::SReservedProperty, Child->Name));
    if (!EvaluateCondition(Child->AttributeOr("Condition"), C)) continue;
    Item.Meta.Set(Child->Name, ExpandString(Child->Text, C));
  }
}

bool HasMetadata(const TXmlElement& E) {
  if (!E.Children.empty()) return true;
  for (const auto& A : E.Attributes)
    if (!IsItemAttribute(A.Name)) return true;
  return false;
}

}  // namespace

void ApplyItemElement(TProject& P, const TXmlElement& E, const TExpandContext& Ctx, bool InTarget) {
  const std::string* Include = E.Attribute("Include");
  const std::string* Remove = E.Attribute("Remove");
  const std::string* Update = E.Attribute("Update");
  int Kinds = (Include != nullptr) + (Remove != nullptr) + (Update != nullptr);
  if (Kinds > 1 || (Kinds == 0 && !InTarget)) Fail(Ctx.Where, Format(res::SIncludeAndRemove, E.Name));
  TItemList& List = P.ItemsOf(E.Name);
  const std::string& Condition = E.AttributeOr("Condition");
  bool PerItemCondition = InTarget && Condition.find("%(") != std::string::npos;

  if (Include) {
    TExpandContext Making = P.ForItems(E.Name, Ctx);
    TItemList Found;
    ExpandIntoItems(*Include, Making, Found);
    TItemList New;
    New.reserve(Found.size());
    for (auto& It : Found) {
      if (It.Meta.Empty() && It.Spec.find_first_of("*?") != std::string::npos) {
        ExpandWildcard(MSBuildUnescape(It.Spec), P.Directory(), New);
      } else {
        if (It.Spec.find('\\') != std::string::npos) std::replace(It.Spec.begin(), It.Spec.end(), '\\', '/');
        New.push_back(std::move(It));
      }
    }
    if (const std::string* Exclude = E.Attribute("Exclude")) {
      TSpecMatcher M = MatcherOf(*Exclude, Ctx);
      if (!M.Empty()) std::erase_if(New, [&](const TItem& It) { return M.Matches(MSBuildUnescape(It.Spec)); });
    }
    auto Defs = P.ItemDefinitions.find(E.Name);
    bool Meta = HasMetadata(E);
    size_t Bytes = 0;
    for (auto& It : New) {
      if (Defs != P.ItemDefinitions.end()) It.Meta.AddDefaults(Defs->second);
      if (Meta) SetMetadata(E, It, Ctx);
      Bytes += ItemBytes(It);
      if (Bytes > Making.Limit) ExpansionTooLarge(Making);
    }
    P.AddItemBytes(E.Name, Bytes, Ctx.Where);
    List.insert(List.end(), std::make_move_iterator(New.begin()), std::make_move_iterator(New.end()));
    return;
  }
  // Remove, Update, and a target's change of every item of the type.
  TSpecMatcher M(P.Directory());
  bool All = true;
  if (Remove || Update) {
    M = MatcherOf(Remove ? *Remove : *Update, Ctx);
    All = false;
  }
  auto Selected = [&](TItem& It) {
    if (!All && !M.Matches(MSBuildUnescape(It.Spec))) return false;
    if (!PerItemCondition) return true;
    TExpandContext C = Ctx;
    C.MetaItem = &It;
    return EvaluateCondition(Condition, C);
  };
  if (Remove) {
    size_t Bytes = 0;
    std::erase_if(List, [&](TItem& It) {
      if (!Selected(It)) return false;
      Bytes += ItemBytes(It);
      return true;
    });
    P.RemoveItemBytes(Bytes);
    return;
  }
  for (auto& It : List)
    if (Selected(It)) SetMetadata(E, It, Ctx);
}

void ApplyPropertyGroup(TProject& P, const TXmlElement& Group, const TExpandContext& Ctx) {
  TExpandContext C = Ctx;
  for (const auto& Prop : Group.Children) {
    C.Where.Line = Prop->Line;
    C.Where.Column = Prop->Column;
    if (!EvaluateCondition(Prop->AttributeOr("Condition"), C)) continue;
    P.SetProperty(Prop->Name, ExpandString(Prop->Text, P.ForProperty(Prop->Name, C)), C.Where);
  }
}

// ---- the passes ----

namespace {

class TEvaluator {
 public:
  TEvaluator(TDocumentCache& Cache, TProject& P, ILogger* Logger) : FCache(Cache), FP(P), FLogger(Logger) {}

  void Run(const std::shared_ptr<const TXmlDocument>& Root) {
    FImported[Root->FileName] = Root->FileName;
    FP.Documents.push_back(Root);
    if (const std::string* Local = Root->Root->Attribute("TreatAsLocalProperty"))
      for (const auto& Name : Split(*Local, ';')) FP.TreatAsLocal(Trim(Name));
    Project(*Root);
    std::string Defaults;
    for (size_t I = 0; I < FP.DefaultTargets.size(); ++I) Defaults += (I ? ";" : "") + FP.DefaultTargets[I];
    FP.InitProperty("MSBuildProjectDefaultTargets", MSBuildEscape(Defaults), true);
    for (auto [E, Doc] : FDefinitionGroups) DefinitionGroup(*E, *Doc);
    for (auto [E, Doc] : FItemGroups) ItemGroup(*E, *Doc);
  }

 private:
  TDocumentCache& FCache;
  TProject& FP;
  ILogger* FLogger;
  std::vector<std::pair<const TXmlElement*, const TXmlDocument*>> FDefinitionGroups, FItemGroups;
  std::unordered_map<std::string, std::string> FImported;  // file -> the file that imported it
  // Imports are followed by recursion; a chain longer than any real one is refused.
  static constexpr int MaxImportDepth = 500;
  int FDepth = 0;

  TExpandContext Context(const TXmlDocument& Doc, const TXmlElement& E, bool Items) {
    TExpandContext C;
    C.Project = &FP;
    C.ThisFile = &Doc.FileName;
    C.Where = LocationOf(Doc, E);
    C.ExpandItems = Items;
    return C;
  }

  // Exists() in the condition of an Import, ImportGroup or PropertyGroup takes relative paths
  // from the folder of the file that holds the element, so that an imported file can test for
  // files beside it; every other condition (a property's own, an item's, an item group's, an
  // item definition's, a When's) takes them from the project's folder.
  bool Condition(const TXmlDocument& Doc, const TXmlElement& E, bool Items = false) {
    const std::string* C = E.Attribute("Condition");
    if (!C) return true;
    TExpandContext Ctx = Context(Doc, E, Items);
    Ctx.ExistsBesideThisFile = E.Is("Import") || E.Is("ImportGroup") || E.Is("PropertyGroup");
    return EvaluateCondition(*C, Ctx);
  }

  void Project(const TXmlDocument& Doc) {
    const TXmlElement& Root = *Doc.Root;
    if (!FP.DefaultTargetsSet) {
      if (const std::string* D = Root.Attribute("DefaultTargets")) {
        FP.DefaultTargetsSet = true;
        TItemList L;
        ExpandIntoItems(*D, Context(Doc, Root, false), L);
        for (auto& It : L) FP.DefaultTargets.push_back(MSBuildUnescape(It.Spec));
      }
    }
    if (const std::string* I = Root.Attribute("InitialTargets")) {
      TItemList L;
      ExpandIntoItems(*I, Context(Doc, Root, false), L);
      for (auto& It : L) FP.InitialTargets.push_back(MSBuildUnescape(It.Spec));
    }
    Children(Root, Doc, true);
  }

  void Children(const TXmlElement& Parent, const TXmlDocument& Doc, bool TopLevel) {
    for (const auto& Child : Parent.Children) {
      const TXmlElement& E = *Child;
      if (E.Is("PropertyGroup")) {
        if (Condition(Doc, E)) ApplyPropertyGroup(FP, E, Context(Doc, E, false));
      } else if (E.Is("ItemGroup")) {
        FItemGroups.push_back({&E, &Doc});
      } else if (E.Is("Choose")) {
        Choose(E, Doc);
      } else if (TopLevel && E.Is("ItemDefinitionGroup")) {
        FDefinitionGroups.push_back({&E, &Doc});
      } else if (TopLevel && E.Is("Import")) {
        Import(E, Doc);
      } else if (TopLevel && E.Is("ImportGroup")) {
        if (!Condition(Doc, E)) continue;
        for (const auto& I : E.Children) {
          if (!I->Is("Import")) Fail(LocationOf(Doc, *I), Format(res::SUnknownElement, I->Name, E.Name));
          Import(*I, Doc);
        }
      } else if (TopLevel && E.Is("Target")) {
        Target(E, Doc);
      } else if (TopLevel && (E.Is("UsingTask") || E.Is("ProjectExtensions") || E.Is("Sdk"))) {
        // Tasks come from the registry; extensions belong to the environment.
      } else {
        Fail(LocationOf(Doc, E), Format(res::SUnknownElement, E.Name, Parent.Name));
      }
    }
  }

  void Choose(const TXmlElement& E, const TXmlDocument& Doc) {
    for (const auto& Branch : E.Children) {
      if (Branch->Is("When")) {
        const std::string* C = Branch->Attribute("Condition");
        if (!C) Fail(LocationOf(Doc, *Branch), Format(res::SMissingAttribute, "When", "Condition"));
        if (!EvaluateCondition(*C, Context(Doc, *Branch, false))) continue;
      } else if (!Branch->Is("Otherwise")) {
        Fail(LocationOf(Doc, *Branch), Format(res::SUnknownElement, Branch->Name, E.Name));
      }
      Children(*Branch, Doc, false);
      return;
    }
  }

  void Import(const TXmlElement& E, const TXmlDocument& Doc) {
    const std::string* Project = E.Attribute("Project");
    if (!Project) Fail(LocationOf(Doc, E), Format(res::SMissingAttribute, E.Name, "Project"));
    if (!Condition(Doc, E)) return;
    TExpandContext Ctx = Context(Doc, E, false);
    std::string Dir = DirectoryOf(Doc.FileName);
    TItemList Specs;
    ExpandIntoItems(*Project, Ctx, Specs);
    for (auto& S : Specs) {
      std::string Spec = MSBuildUnescape(S.Spec);
      if (HasWildcard(Spec)) {
        TItemList Found;
        ExpandWildcard(Spec, Dir, Found);
        for (auto& F : Found) ImportFile(FullPathOf(MSBuildUnescape(F.Spec), Dir), E, Doc);
        continue;
      }
      std::string Full = FullPathOf(Spec, Dir);
      if (!ReadInThisSpan(Full) && !FileSystem().FileExists(Full))
        Fail(Ctx.Where, Format(res::SImportNotFound, Full, Doc.FileName));
      ImportFile(Full, E, Doc);
    }
  }

  void ImportFile(const std::string& Full, const TXmlElement& E, const TXmlDocument& Doc) {
    auto Seen = FImported.find(Full);
    if (Seen != FImported.end()) {
      if (FLogger) {
        TBuildEvent W;
        W.Kind = ekWarning;
        W.Text = Format(res::SImportAgain, Full, Doc.FileName);
        W.File = Doc.FileName;
        W.Line = E.Line;
        W.Column = E.Column;
        FLogger->Event(W);
      }
      return;
    }
    FImported.emplace(Full, Doc.FileName);
    std::shared_ptr<const TXmlDocument> Imported = FCache.Load(Full);
    FP.Documents.push_back(Imported);
    if (++FDepth > MaxImportDepth) Fail(LocationOf(Doc, E), Format(res::SImportsTooDeep, MaxImportDepth));
    Project(*Imported);
    --FDepth;
  }

  void Target(const TXmlElement& E, const TXmlDocument& Doc) {
    const std::string* Name = E.Attribute("Name");
    if (!Name || Trim(*Name).empty()) Fail(LocationOf(Doc, E), Format(res::SMissingAttribute, "Target", "Name"));
    std::string N = Trim(*Name);
    if (FP.FirstTarget.empty()) FP.FirstTarget = N;
    FP.Targets[N] = TTargetDef{&E, &Doc};
    if (E.Attribute("Returns")) FP.AnyTargetReturns = true;
    TExpandContext Ctx = Context(Doc, E, false);
    for (auto [Attr, Map] : {std::pair{"BeforeTargets", &FP.BeforeTargets}, std::pair{"AfterTargets", &FP.AfterTargets}}) {
      const std::string* V = E.Attribute(Attr);
      if (!V) continue;
      TItemList L;
      ExpandIntoItems(*V, Ctx, L);
      for (auto& It : L) (*Map)[MSBuildUnescape(It.Spec)].push_back(N);
    }
  }

  void DefinitionGroup(const TXmlElement& G, const TXmlDocument& Doc) {
    if (!Condition(Doc, G)) return;
    for (const auto& Def : G.Children) {
      if (!Condition(Doc, *Def)) continue;
      TMetadata& M = FP.ItemDefinitions[Def->Name];
      TExpandContext Ctx = Context(Doc, *Def, false);
      for (const auto& A : Def->Attributes)
        if (!SameText(A.Name, "Condition") && !SameText(A.Name, "Label")) M.Set(A.Name, ExpandString(A.Value, Ctx));
      for (const auto& Meta : Def->Children) {
        if (!Condition(Doc, *Meta)) continue;
        M.Set(Meta->Name, ExpandString(Meta->Text, Context(Doc, *Meta, false)));
      }
    }
  }

  void ItemGroup(const TXmlElement& G, const TXmlDocument& Doc) {
    if (!Condition(Doc, G, true)) return;
    for (const auto& Item : G.Children) ApplyItemElementBatched(FP, Doc, G, *Item, nullptr, false);
  }
};

}  // namespace

std::shared_ptr<TProject> EvaluateProject(TDocumentCache& Cache, const std::string& FullPath,
                                          const TPropertyMap& Globals, const std::string* Text, ILogger* Logger) {
  std::shared_ptr<const TXmlDocument> Root;
  if (Text) {
    std::unique_ptr<TXmlDocument> Doc = ParseProjectXml(FullPath, *Text);
    // The text stands for the file (a project document's text, laid out anew): messages name
    // the places of the file on disk, where the user looks for them. A file this system wrote
    // is the text itself, but for its byte order mark.
    if (FileSystem().FileExists(FullPath)) {
      try {
        auto WithoutMark = [](std::string_view S) { return S.starts_with("\xEF\xBB\xBF") ? S.substr(3) : S; };
        std::string OnDisk = TDocumentCache::ReadText(FullPath);
        if (WithoutMark(OnDisk) != WithoutMark(*Text)) TakePositions(*Doc->Root, *ParseProjectXml(FullPath, OnDisk)->Root);
      } catch (const EEngineError&) {
        // A file on disk that does not read as a project has no places to give.
      }
    }
    Root = std::move(Doc);
  } else {
    Root = Cache.Load(FullPath);
  }
  auto P = std::make_shared<TProject>(FullPath, Globals);
  TEvaluator(Cache, *P, Logger).Run(Root);
  return P;
}

}  // namespace nxs::engine
