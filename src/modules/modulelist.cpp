// The module list and its name index, the module events, and the operations over all open
// modules: lookup, freeing, saving, checking files changed on disk, naming.
#include "modules/modulelist.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <optional>
#include <unordered_map>

#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include "editor/buffers/editbuffer.h"
#include "modules/docmodule.h"
#include "modules/formfile.h"
#include "modules/resstrings.h"
#include "shared/dialogs.h"
#include "shared/fileio.h"
#include "shared/filenames.h"
#include "shared/fileprobes.h"
#include "shared/format.h"
#include "shared/text.h"

namespace nxs {

bool NoCancelOnSave = false;
bool SaveForCompile = false;

// -- Events ------------------------------------------------------------------------------------

#define NXS_MODULE_EVENT(Name, Args)                 \
  TEvent<Args>& Name() {                             \
    static TEvent<Args> E(TEventOrder::LastToFirst); \
    return E;                                        \
  }
NXS_MODULE_EVENT(EvFileNotification, TEvFileNotification)
NXS_MODULE_EVENT(EvModuleModified, TEvModuleModified)
NXS_MODULE_EVENT(EvModuleSaved, TEvModuleSaved)
NXS_MODULE_EVENT(EvModuleActivated, TEvModuleActivated)
NXS_MODULE_EVENT(EvModuleCreated, TEvModuleCreated)
NXS_MODULE_EVENT(EvFolderRenamed, TEvFolderRenamed)
NXS_MODULE_EVENT(EvFileRenamed, TEvFileRenamed)
NXS_MODULE_EVENT(EvFolderDeleted, TEvFolderDeleted)
NXS_MODULE_EVENT(EvFileDeleted, TEvFileDeleted)
NXS_MODULE_EVENT(EvFileCopied, TEvFileCopied)
NXS_MODULE_EVENT(EvSavingModifiedModules, TEvModuleListArgs)
NXS_MODULE_EVENT(EvSavedModifiedModules, TEvModuleListArgs)
#undef NXS_MODULE_EVENT

// -- Hooks -------------------------------------------------------------------------------------

TDocModuleHooks& DocModuleHooks() {
  static TDocModuleHooks H;
  return H;
}

void ProjectChanged() {
  if (DocModuleHooks().ProjectChanged) DocModuleHooks().ProjectChanged();
}
void SourceModified(const std::string& FileName) {
  if (DocModuleHooks().SourceModified) DocModuleHooks().SourceModified(FileName);
}
void ResetSourceModified() {
  if (DocModuleHooks().ResetSourceModified) DocModuleHooks().ResetSourceModified();
}
void UpdateModuleDisplay() {
  if (DocModuleHooks().UpdateModuleDisplay) DocModuleHooks().UpdateModuleDisplay();
}

// -- The list ----------------------------------------------------------------------------------

int TModuleList::IndexOf(const TDocModule* Module) const {
  for (size_t I = 0; I < FItems.size(); ++I)
    if (FItems[I].get() == Module) return static_cast<int>(I);
  return -1;
}

std::vector<TDocModule*> TModuleList::Snapshot() const {
  std::vector<TDocModule*> S;
  S.reserve(FItems.size());
  for (auto& M : FItems) S.push_back(M.get());
  return S;
}

bool TModuleList::MoveToFront(TDocModule* Module) {
  const int I = IndexOf(Module);
  if (I <= 0) return false;
  std::rotate(FItems.begin(), FItems.begin() + I, FItems.begin() + I + 1);
  return true;
}

void TModuleList::Free(TDocModule* Module) {
  if (!Contains(Module)) return;
  Module->BeforeDestruction();
  Extract(Module).reset();
}

void TModuleList::Discard(TDocModule* Module) { Extract(Module).reset(); }

void TModuleList::IndexName(const std::string& Key, TDocModule* Module) { FIndex[Key] = Module; }
void TModuleList::UnindexName(const std::string& Key) { FIndex.erase(Key); }

TDocModule* TModuleList::IndexedModule(const std::string& Key) const {
  auto It = FIndex.find(Key);
  return It == FIndex.end() ? nullptr : It->second;
}

void TModuleList::ClearIndex() { FIndex.clear(); }

namespace {

std::unique_ptr<TModuleList>& ListSlot() {
  // The list listens to an event of the buffers: made before the list, the event outlives a
  // list that is freed only at exit.
  [[maybe_unused]] static TEvent<TEvEditBufferLife>& BufferEvent = EvEditBufferFileChanged();
  static std::unique_ptr<TModuleList> L;
  return L;
}

}  // namespace

TModuleList& ModuleList() {
  if (!ListSlot()) ListSlot() = std::make_unique<TModuleList>();
  return *ListSlot();
}

TModuleList* ModuleListIfAny() { return ListSlot().get(); }

void InitDocModules() { ModuleList(); }

namespace {
void ForgetModuleIdentities();
}

void DoneDocModules() {
  ListSlot().reset();
  ForgetModuleIdentities();
}

// -- Finding -----------------------------------------------------------------------------------

namespace {

// Where a name leads on disk: its path with every link resolved, and the file's identity.
struct TFileIdentity {
  std::string Canonical;
  uintmax_t Device = 0, Inode = 0;  // 0: no such file
};

TFileIdentity IdentityOf(const std::string& Expanded) {
  namespace fs = std::filesystem;
  TFileIdentity I;
  std::error_code Ec;
  const std::string Disk = ToDiskPath(Expanded);
  NoteFileProbe(Disk);
  // A file that is there: one open names both its resolved path (as the kernel reached it)
  // and its identity, where resolving the path a folder at a time asks the disk about each
  // folder on the way. Opening a project group resolves every project's name.
  if (const int Fd = ::open(Disk.c_str(), O_PATH | O_CLOEXEC); Fd >= 0) {
    char Resolved[PATH_MAX];
    struct stat St;
    const ssize_t N = ::readlink(("/proc/self/fd/" + std::to_string(Fd)).c_str(), Resolved, sizeof Resolved);
    const bool Stated = ::fstat(Fd, &St) == 0;
    ::close(Fd);
    if (Stated && N > 0 && static_cast<size_t>(N) < sizeof Resolved && Resolved[0] == '/') {
      I.Canonical.assign(Resolved, static_cast<size_t>(N));
      I.Device = St.st_dev;
      I.Inode = St.st_ino;
      return I;
    }
  }
  // No such file (the folders that are there are resolved), or no /proc to ask.
  I.Canonical = fs::weakly_canonical(Disk, Ec).string();
  if (Ec) I.Canonical = Disk;
  struct stat St;
  if (::stat(Disk.c_str(), &St) == 0) {
    I.Device = St.st_dev;
    I.Inode = St.st_ino;
  }
  return I;
}

// A lookup over every open module compares one name with each module's: the name looked for
// is resolved once, the modules' names once per process (their links rarely change while they
// are open). A match found this way is confirmed on the disk as it is now, so that a stale
// identity never makes two files one.
struct TModuleScan {
  explicit TModuleScan(const std::string& FileName)
      : Name(FileName), Expanded(ExpandFileName(FileName)), Target(IdentityOf(Expanded)) {}
  std::string Name, Expanded;
  TFileIdentity Target;
  struct TKnown {
    std::string Expanded;
    TFileIdentity Identity;
  };
  TKnown Scratch;
  static std::unordered_map<std::string, TKnown>& Known() {
    static std::unordered_map<std::string, TKnown> K;
    return K;
  }
  // An absolute module name, expanded and resolved when first seen.
  static const TKnown& OfAbsolute(const std::string& ModuleName) {
    auto& K = Known();
    auto It = K.find(ModuleName);
    if (It == K.end()) {
      std::string E = ExpandFileName(ModuleName);
      TFileIdentity I = IdentityOf(E);
      It = K.emplace(ModuleName, TKnown{std::move(E), std::move(I)}).first;
    }
    return It->second;
  }
  // A module's name, expanded and resolved.
  const TKnown& Of(const std::string& ModuleName) {
    if (IsAbsolutePath(ModuleName)) return OfAbsolute(ModuleName);
    // Taken from the current folder, which may change.
    Scratch.Expanded = ExpandFileName(ModuleName);
    Scratch.Identity = IdentityOf(Scratch.Expanded);
    return Scratch;
  }
};
thread_local TModuleScan* ActiveScan = nullptr;

void ForgetModuleIdentities() { TModuleScan::Known().clear(); }

bool SameOnDisk(const std::string& EA, const std::string& EB) {
  std::error_code Ec;
  return std::filesystem::equivalent(ToDiskPath(EA), ToDiskPath(EB), Ec) && !Ec;
}

}  // namespace

bool SameModuleFile(const std::string& A, const std::string& B) {
  if (A.empty() || B.empty()) return A == B;
  if (SameFileName(A, B)) return true;
  if (TModuleScan* Scan = ActiveScan; Scan && B == Scan->Name) {
    const TModuleScan::TKnown& K = Scan->Of(A);
    if (SameFileName(K.Expanded, Scan->Expanded)) return true;
    // Another spelling of the same file: a symbolic link, or a folder reached two ways.
    const TFileIdentity &I = K.Identity, &T = Scan->Target;
    const bool Candidate = I.Canonical == T.Canonical || (T.Inode != 0 && I.Device == T.Device && I.Inode == T.Inode);
    return Candidate && SameOnDisk(K.Expanded, Scan->Expanded);
  }
  const std::string EA = ExpandFileName(A), EB = ExpandFileName(B);
  if (SameFileName(EA, EB)) return true;
  return SameOnDisk(EA, EB);
}

// -- The lookup index --------------------------------------------------------------------------

namespace {

// The keys a name is found under: the hash of the name, of its expansion, and of the file it
// leads to (the resolved path; the device and inode). Two names of one file share a key, so
// SameModuleFile holds only for names with a key in common; keys alike by chance cost no
// more than a look at the module.
void AddNameKeys(const std::string& Name, const std::string& Expanded, const TFileIdentity& Id,
                 std::vector<size_t>& Keys) {
  Keys.push_back(FileNameHash(Name));
  Keys.push_back(FileNameHash(Expanded));
  Keys.push_back(std::hash<std::string>{}(Id.Canonical) ^ 0x5bd1e9955bd1e995ull);
  if (Id.Inode != 0) Keys.push_back(std::hash<uintmax_t>{}(Id.Inode * 0x9e3779b97f4a7c15ull ^ Id.Device));
}

using TModulesByKey = std::unordered_map<size_t, std::vector<TDocModule*>>;

void PutKeys(TModulesByKey& Map, const std::vector<size_t>& Keys, TDocModule* M) {
  for (size_t K : Keys) {
    std::vector<TDocModule*>& V = Map[K];
    if (std::find(V.begin(), V.end(), M) == V.end()) V.push_back(M);
  }
}

void DropKeys(TModulesByKey& Map, const std::vector<size_t>& Keys, TDocModule* M) {
  for (size_t K : Keys) {
    auto It = Map.find(K);
    if (It == Map.end()) continue;
    std::erase(It->second, M);
    if (It->second.empty()) Map.erase(It);
  }
}

}  // namespace

struct TModuleList::TLookupIndex {
  struct TEntry {
    std::vector<std::string> Names;  // as last indexed
    std::vector<size_t> Keys;
    bool Relative = false;  // a name relative to the current folder: asked on every lookup
    std::vector<size_t> Held;
  };
  std::unordered_map<const TDocModule*, TEntry> Entries;
  TModulesByKey ByKey;
  std::unordered_set<TDocModule*> Relative;
  TModulesByKey HeldBy;
  // Modules that have not declared what they hold: those that are projects are asked about
  // every file (a module says whether it is a project when asked, not once for all).
  std::unordered_set<TDocModule*> Undeclared;

  void Names(TDocModule* M) {
    TEntry& E = Entries[M];
    std::vector<std::string> Now = M->ModuleFileNames();
    if (Now == E.Names) return;  // a buffer told of an edit, not of a new name
    DropKeys(ByKey, E.Keys, M);
    E.Keys.clear();
    E.Relative = false;
    for (const std::string& N : Now) {
      if (N.empty()) continue;  // an empty name is no file: SameModuleFile never matches it
      if (!IsAbsolutePath(N)) {
        E.Relative = true;
        continue;
      }
      const TModuleScan::TKnown& K = TModuleScan::OfAbsolute(N);
      AddNameKeys(N, K.Expanded, K.Identity, E.Keys);
    }
    PutKeys(ByKey, E.Keys, M);
    if (E.Relative) Relative.insert(M);
    else Relative.erase(M);
    E.Names = std::move(Now);
  }

  void Held(TDocModule* M) {
    TEntry& E = Entries[M];
    DropKeys(HeldBy, E.Held, M);
    E.Held.clear();
    const std::vector<size_t>* Declared = M->DeclaredHeldFiles();
    if (!Declared) {
      Undeclared.insert(M);
      return;
    }
    Undeclared.erase(M);
    E.Held = *Declared;
    PutKeys(HeldBy, E.Held, M);
  }

  void Forget(TDocModule* M) {
    auto It = Entries.find(M);
    if (It == Entries.end()) return;
    DropKeys(ByKey, It->second.Keys, M);
    DropKeys(HeldBy, It->second.Held, M);
    Undeclared.erase(M);
    Relative.erase(M);
    Entries.erase(It);
  }
};

TModuleList::TModuleList() : FLookup(std::make_unique<TLookupIndex>()) {
  // A buffer renamed (a module saved under another name) changes its module's names.
  EvEditBufferFileChanged().Add(this, [this](TEvEditBufferLife& A) {
    if (auto* M = dynamic_cast<TDocModule*>(A.Buffer.Module())) ModuleNamesChanged(M);
  });
}

TModuleList::~TModuleList() {
  EvEditBufferFileChanged().Remove(this);
  FMembers.clear();  // modules telling of changes while they go find no list to tell
  // Modules go last first, without asking: the process is ending.
  while (!FItems.empty()) FItems.pop_back();
}

void TModuleList::ModuleNamesChanged(TDocModule* Module) {
  if (Contains(Module)) FLookup->Names(Module);
}

void TModuleList::HeldFilesChanged(TDocModule* Module) {
  if (Contains(Module)) FLookup->Held(Module);
}

std::vector<TDocModule*> TModuleList::InListOrder(std::vector<TDocModule*> Modules) const {
  if (Modules.size() < 2) return Modules;
  const std::unordered_set<TDocModule*> Wanted(Modules.begin(), Modules.end());
  Modules.clear();
  for (const auto& M : FItems)
    if (Wanted.count(M.get())) Modules.push_back(M.get());
  return Modules;
}

std::vector<TDocModule*> TModuleList::ModulesNaming(const std::string& FileName) {
  std::optional<TModuleScan> Own;
  const TModuleScan* Scan = ActiveScan;
  if (!Scan || Scan->Name != FileName) Scan = &Own.emplace(FileName);
  std::vector<size_t> Keys;
  AddNameKeys(FileName, Scan->Expanded, Scan->Target, Keys);
  std::vector<TDocModule*> Found(FLookup->Relative.begin(), FLookup->Relative.end());
  for (size_t K : Keys) {
    auto It = FLookup->ByKey.find(K);
    if (It == FLookup->ByKey.end()) continue;
    for (TDocModule* M : It->second)
      if (std::find(Found.begin(), Found.end(), M) == Found.end()) Found.push_back(M);
  }
  return InListOrder(std::move(Found));
}

std::vector<TDocModule*> TModuleList::ProjectsHolding(size_t Hash) const {
  std::vector<TDocModule*> Found;
  for (TDocModule* M : FLookup->Undeclared)
    if (M->GetIsProject()) Found.push_back(M);
  if (auto It = FLookup->HeldBy.find(Hash); It != FLookup->HeldBy.end())
    for (TDocModule* M : It->second)
      if (M->GetIsProject()) Found.push_back(M);
  return InListOrder(std::move(Found));
}

void TModuleList::Append(std::unique_ptr<TDocModule> Module) {
  TDocModule* M = Module.get();
  FItems.push_back(std::move(Module));
  FMembers.insert(M);
  FLookup->Names(M);
  FLookup->Held(M);
}

std::unique_ptr<TDocModule> TModuleList::Extract(TDocModule* Module) {
  const int I = IndexOf(Module);
  if (I < 0) return nullptr;
  std::unique_ptr<TDocModule> Owned = std::move(FItems[static_cast<size_t>(I)]);
  FItems.erase(FItems.begin() + I);
  FMembers.erase(Module);
  FLookup->Forget(Module);
  for (const auto& Key : Module->FModuleListHashKeys) {
    auto It = FIndex.find(Key);
    if (It != FIndex.end() && It->second == Module) FIndex.erase(It);
  }
  // Keys added by lookups that walked the list are not all recorded when an index entry was
  // replaced: any left pointing here go too.
  std::erase_if(FIndex, [Module](const auto& E) { return E.second == Module; });
  // A module that goes owns nothing any more: a file that another project still holds must
  // not keep this one among its owners (it would never close, and its owner would dangle).
  for (auto& M : FItems) M->RemoveOwner(Module);
  return Owned;
}

TDocModule* FindDocModule(const std::string& FileName, const TDocModule* Owner) {
  if (FileName.empty()) return nullptr;
  TModuleList& L = ModuleList();
  if (TDocModule* M = L.IndexedModule(FileName)) {
    if (L.Contains(M) && M->ModuleIs(FileName) && (!Owner || M->IsOwnedBy(Owner))) return M;
    L.UnindexName(FileName);
  }
  TModuleScan Scan(FileName);
  ActiveScan = &Scan;
  struct TEndScan {
    ~TEndScan() { ActiveScan = nullptr; }
  } EndScan;
  for (TDocModule* M : L.ModulesNaming(FileName)) {
    if (!M->ModuleIs(FileName) || (Owner && !M->IsOwnedBy(Owner))) continue;
    L.IndexName(FileName, M);
    auto& Keys = M->FModuleListHashKeys;
    if (std::find(Keys.begin(), Keys.end(), FileName) == Keys.end()) Keys.push_back(FileName);
    return M;
  }
  return nullptr;
}

TDocModule* FindFormModule(const std::string& FormName) {
  if (FormName.empty()) return nullptr;
  for (TDocModule* M : ModuleList().Snapshot())
    if (SameText(M->GetFormName(), FormName)) return M;
  return nullptr;
}

TDocModule* ActiveModule() { return ModuleList().Count() ? ModuleList().Item(0) : nullptr; }

std::vector<TDocModule*> GetProjectList() {
  std::vector<TDocModule*> P;
  if (!ListSlot()) return P;
  for (TDocModule* M : ModuleList().Snapshot())
    if (M->GetIsProject()) P.push_back(M);
  return P;
}

// -- All modules -------------------------------------------------------------------------------

void FreeModules(bool All) {
  for (;;) {
    bool Closed = false;
    std::vector<TDocModule*> S = ModuleList().Snapshot();
    for (auto It = S.rbegin(); It != S.rend(); ++It) {
      TDocModule* M = *It;
      if (!ModuleList().Contains(M) || M->GetIsProject() || M->GetIsProjectGroup() || M->IsOwned()) continue;
      if (!All && !M->GetIsFileModule()) continue;
      if (M->IsClosed) continue;
      if (M->Close(true)) Closed = true;
    }
    if (!Closed) break;
  }
  ModuleList().ClearIndex();
}

namespace {

bool ContainedInAny(const TDocModule* M, const std::vector<TDocModule*>& Projects) {
  return std::any_of(Projects.begin(), Projects.end(), [M](TDocModule* P) { return M->IsOwnedBy(P); });
}

bool IsProjectLike(const TDocModule* M) { return M->GetIsProject() || M->GetIsProjectGroup(); }

}  // namespace

bool AnyModuleModified() {
  std::vector<TDocModule*> Projects = GetProjectList();
  for (TDocModule* M : ModuleList().Snapshot()) {
    if (M->GetIsProject() && (M->GetModified() || M->GetOptionsModified())) return true;
    if (!IsProjectLike(M) && !ContainedInAny(M, Projects) && M->GetModified()) return true;
  }
  TDocModule* Group = DocModuleHooks().MainProjectGroup ? DocModuleHooks().MainProjectGroup() : nullptr;
  return Group && Group->GetModified();
}

bool SaveModules() {
  std::vector<TDocModule*> Projects = GetProjectList();
  std::vector<TDocModule*> ModifiedProjects;
  for (TDocModule* P : Projects)
    if (P->GetModified()) ModifiedProjects.push_back(P);
  for (TDocModule* M : ModuleList().Snapshot()) {
    if (!ModuleList().Contains(M) || IsProjectLike(M) || ContainedInAny(M, ModifiedProjects)) continue;
    if (!M->Save(false, false)) return false;
  }
  return true;
}

bool SaveModifiedModules() {
  std::vector<TDocModule*> Projects = GetProjectList();
  TEvModuleListArgs Args(Projects);
  EvSavingModifiedModules().Send(Args);
  struct TSavedSender {
    TEvModuleListArgs& Args;
    ~TSavedSender() { EvSavedModifiedModules().Send(Args); }
  } Saved{Args};
  for (TDocModule* M : ModuleList().Snapshot()) {
    if (!ModuleList().Contains(M) || IsProjectLike(M) || ContainedInAny(M, Projects)) continue;
    if (M->GetModified() && !M->Save(false, true)) return false;
  }
  for (TDocModule* P : Projects) {
    if (!ModuleList().Contains(P)) continue;
    if ((P->GetModified() || P->GetOptionsModified()) && !P->Save(false, true)) return false;
  }
  TDocModule* Group = DocModuleHooks().MainProjectGroup ? DocModuleHooks().MainProjectGroup() : nullptr;
  if (Group && Projects.size() > 1 && Group->GetModified() && !Group->Save(false, true)) return false;
  return true;
}

void UpdateModules() {
  for (TDocModule* M : ModuleList().Snapshot())
    if (ModuleList().Contains(M)) M->Update();
}

void KibbitzUpdateModules() {
  for (TDocModule* M : ModuleList().Snapshot())
    if (ModuleList().Contains(M) && !M->IsClosed) M->KibbitzUpdate();
}

bool AllModulesDormant() {
  for (TDocModule* M : ModuleList().Snapshot())
    if (!M->IsDormant && !M->GoingDormant && M->HasForm()) return false;
  return true;
}

void MakeModulesDormant() {
  for (TDocModule* M : ModuleList().Snapshot())
    if (ModuleList().Contains(M)) M->GoDormant();
}

void CheckFileDates(bool Silent) {
  bool YesToAll = false;
  for (TDocModule* M : ModuleList().Snapshot()) {
    if (!ModuleList().Contains(M) || !M->CheckFileDate() || !M->CanReloadFile()) continue;
    std::string Question;
    if (M->GetModified()) {
      Question = Format(res::SModifiedReload, M->GetFileName());
    } else if (DocModuleHooks().AskToReloadModifiedFiles) {
      Question = Format(res::SReload, M->GetFileName());
    }
    if (Question.empty() || Silent || YesToAll) {
      M->ReloadFile();
      continue;
    }
    const int Answer =
        Questions().MessageDlg(Question, TMsgDlgType::mtConfirmation, mbYes | mbNo | mbNoToAll | mbYesToAll, mrNo);
    if (Answer == mrNoToAll) return;
    if (Answer == mrYesToAll) YesToAll = true;
    if (Answer == mrYes || Answer == mrYesToAll) M->ReloadFile();
  }
}

// -- Names -------------------------------------------------------------------------------------

namespace {

bool IsIdent(const std::string& Name) {
  if (Name.empty()) return false;
  for (size_t I = 0; I < Name.size(); ++I) {
    const auto C = static_cast<unsigned char>(Name[I]);
    const bool Ok = std::isalpha(C) || C == '_' || (I > 0 && std::isdigit(C));
    if (!Ok) return false;
  }
  return true;
}

// The reserved words of the Pascal personality's language, lower case.
bool IsReservedWord(const std::string& Name) {
  static const char* const Words[] = {"and",
                                      "array",
                                      "as",
                                      "asm",
                                      "begin",
                                      "case",
                                      "class",
                                      "const",
                                      "constructor",
                                      "destructor",
                                      "dispinterface",
                                      "div",
                                      "do",
                                      "downto",
                                      "else",
                                      "end",
                                      "except",
                                      "exports",
                                      "file",
                                      "finalization",
                                      "finally",
                                      "for",
                                      "function",
                                      "goto",
                                      "if",
                                      "implementation",
                                      "in",
                                      "inherited",
                                      "initialization",
                                      "inline",
                                      "interface",
                                      "is",
                                      "label",
                                      "library",
                                      "mod",
                                      "nil",
                                      "not",
                                      "object",
                                      "of",
                                      "or",
                                      "packed",
                                      "procedure",
                                      "program",
                                      "property",
                                      "raise",
                                      "record",
                                      "repeat",
                                      "resourcestring",
                                      "set",
                                      "shl",
                                      "shr",
                                      "string",
                                      "then",
                                      "threadvar",
                                      "to",
                                      "try",
                                      "type",
                                      "unit",
                                      "until",
                                      "uses",
                                      "var",
                                      "while",
                                      "with",
                                      "xor"};
  const std::string L = LowerCase(Name);
  return std::any_of(std::begin(Words), std::end(Words), [&](const char* W) { return L == W; });
}

std::vector<std::string>& CompoundExtensions() {
  static std::vector<std::string> List;
  return List;
}

}  // namespace

void ValidateIdent(const std::string& Name, bool AllowReserved) {
  if (!IsIdent(Name)) throw EModuleError(Format(res::SInvalidIdent, Name));
  if (!AllowReserved && IsReservedWord(Name)) throw EModuleError(Format(res::SReservedWord, Name));
}

std::string DefaultModuleDirectory() {
  TDocModule* Active = ActiveModule();
  if (Active && Active->GetIsProject()) return ExtractFilePath(Active->GetFileName());
  std::vector<TDocModule*> Projects = GetProjectList();
  if (!Projects.empty()) return ExtractFilePath(Projects.front()->GetFileName());
  return ExpandFileName(".");
}

namespace {

// BaseName with its "%d", checked to make an identifier once its number is in.
std::string NamePattern(const std::string& BaseName) {
  std::string Pattern = BaseName;
  if (Pattern.find("%d") == std::string::npos) Pattern += "%d";
  ValidateIdent(ReplaceAllText(Pattern, "%d", "1"), true);
  return Pattern;
}

// Free for a new module in Folder: no open project of the name, no open module of it there,
// and no file or module Folder + Name + Ext for any of Exts.
bool ModuleNameFree(const std::string& Name, const std::string& Folder, const std::vector<std::string>& Exts) {
  for (TDocModule* M : ModuleList().Snapshot())
    if (SameText(M->GetModuleName(), Name) &&
        (M->GetIsProject() || SameModuleFile(ExtractFilePath(M->GetFileName()), Folder)))
      return false;
  for (const auto& E : Exts)
    if (FileSystem().FileExists(Folder + Name + E) || FindDocModule(Folder + Name + E)) return false;
  return true;
}

// The first number that makes both names free; no form name when FormBaseName is empty.
TNewModuleNames UniqueModuleNames(const std::string& BaseName, const std::string& FormBaseName,
                                  const std::string& Dir, const std::vector<std::string>& ExtraExtensions) {
  const std::string Pattern = NamePattern(BaseName);
  const std::string FormPattern = FormBaseName.empty() ? std::string() : NamePattern(FormBaseName);
  const std::string Folder = IncludeTrailingPathDelimiter(Dir.empty() ? DefaultModuleDirectory() : Dir);
  std::vector<std::string> Exts{DocModuleHooks().UnitSourceExtension};
  Exts.insert(Exts.end(), ExtraExtensions.begin(), ExtraExtensions.end());
  if (!FormPattern.empty()) Exts.insert(Exts.end(), std::begin(FormFileExtensions), std::end(FormFileExtensions));
  for (int N = 1;; ++N) {
    TNewModuleNames Names;
    Names.UnitIdent = ReplaceAllText(Pattern, "%d", std::to_string(N));
    if (!FormPattern.empty()) Names.FormName = ReplaceAllText(FormPattern, "%d", std::to_string(N));
    if (!ModuleNameFree(Names.UnitIdent, Folder, Exts) || FindFormModule(Names.FormName)) continue;
    Names.FileName = Folder + Names.UnitIdent + DocModuleHooks().UnitSourceExtension;
    return Names;
  }
}

}  // namespace

std::string MakeUniqueModuleName(const std::string& BaseName, const std::string& Dir,
                                 const std::vector<std::string>& ExtraExtensions) {
  return UniqueModuleNames(BaseName, {}, Dir, ExtraExtensions).UnitIdent;
}

void MakeUniqueModuleName(TNewModuleNames& Names, const std::string& BaseName, const std::string& Dir) {
  Names = UniqueModuleNames(BaseName, {}, Dir, {});
}

void MakeUniqueModuleName(TNewModuleNames& Names, const std::string& BaseName, const std::string& FormBaseName,
                          const std::string& Dir) {
  Names = UniqueModuleNames(BaseName, FormBaseName, Dir, {});
}

void RegisterCompoundExtension(const std::string& Ext) {
  auto& L = CompoundExtensions();
  if (std::find(L.begin(), L.end(), Ext) == L.end()) L.push_back(Ext);
}

std::string ExtractCompoundExt(const std::string& FileName) {
  const std::string Name = ExtractFileName(FileName);
  for (const auto& E : CompoundExtensions())
    if (Name.size() > E.size() && Name.compare(Name.size() - E.size(), E.size(), E) == 0) return E;
  return ExtractFileExt(Name);
}

std::string ExpandRenameFileName(const TDocModule& Module, const std::string& OldName, const std::string& NewName) {
  const std::string Trimmed = Trim(NewName);
  const std::string NewExt = ExtractCompoundExt(Trimmed);
  const std::string Base = ExtractFileName(Trimmed);
  if (Trimmed.empty() || Base.size() <= NewExt.size()) throw EModuleError(res::SMustEnterName);
  const std::string OldExt = ExtractCompoundExt(OldName);
  std::string Name = Trimmed;
  if (NewExt.empty() || Module.OverrideExtension()) Name = Name.substr(0, Name.size() - NewExt.size()) + OldExt;
  if (!IsAbsolutePath(Name))
    Name = ExpandFileName(Name, ExtractFileDir(OldName));
  else
    Name = ExpandFileName(Name);
  if (ExtractCompoundExt(Name) != OldExt &&
      Questions().MessageDlg(res::SChangeExtension, TMsgDlgType::mtConfirmation, mbYes | mbNo, mrNo) != mrYes)
    return {};
  if (SameModuleFile(OldName, Name) && ExtractFileName(OldName) == ExtractFileName(Name)) return {};
  for (int I = 0; I < Module.GetOwnerCount(); ++I)
    if (Module.GetOwner(I)->HoldsFile(Name)) throw EModuleError(Format(res::SUnableToRename, OldName, Name));
  // Another open module of that name, or a file on disk that renaming would replace, would
  // be lost under this one.
  if (TDocModule* Other = FindDocModule(Name); Other && Other != &Module)
    throw EModuleError(Format(res::SUnableToRename, OldName, Name));
  // The message names the file that is in the way, which may be a companion.
  for (const auto& [From, To] : Module.RenamedFiles(Name))
    if (FileSystem().FileExists(To)) throw EModuleError(Format(res::SUnableToRename, From, To));
  return Name;
}

}  // namespace nxs
