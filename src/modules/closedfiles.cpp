#include "modules/closedfiles.h"

#include <algorithm>
#include <cassert>

#include "modules/resstrings.h"
#include "modules/srcclosedfile.h"
#include "shared/fileio.h"
#include "shared/filenames.h"
#include "shared/exceptions.h"
#include "shared/deskparse.h"
#include "shared/format.h"
#include "modules/inifile.h"
#include "shared/text.h"

namespace nxs {

// ---- stored values ----

std::vector<std::string> SplitClosedFileValue(std::string_view Value) {
  std::vector<std::string> Items;
  size_t I = 0;
  while (true) {
    std::string Item;
    if (I < Value.size() && Value[I] == '\'') {
      ++I;
      while (I < Value.size()) {
        if (Value[I] == '\'') {
          if (I + 1 < Value.size() && Value[I + 1] == '\'') {
            Item += '\'';
            I += 2;
            continue;
          }
          ++I;
          break;
        }
        Item += Value[I++];
      }
    }
    while (I < Value.size() && Value[I] != ',') Item += Value[I++];
    Items.push_back(std::move(Item));
    if (I >= Value.size()) break;
    ++I;  // the comma
  }
  return Items;
}

// ---- entries ----

static IReopenServices*& ServicesSlot() {
  static IReopenServices* Services = nullptr;
  return Services;
}

void SetReopenServices(IReopenServices* Services) { ServicesSlot() = Services; }
IReopenServices* ReopenServices() { return ServicesSlot(); }

TClosedFile::TClosedFile(const IClosedFileModule& Module)
    : FIsProject(Module.GetIsProject()), FFileName(Module.GetReopenFileName()) {
  if (IReopenServices* S = ReopenServices()) FHandlerName = S->HandlerNameFor(Module);
}

TClosedFile::~TClosedFile() { assert(!FList && "a listed entry is freed by its list"); }

bool TClosedFile::Valid() const {
  try {
    return FileSystem().FileExists(FFileName);
  } catch (const Exception&) {
    return false;
  }
}

bool TClosedFile::CanHandleModule(const IClosedFileModule&) const { return true; }

void TClosedFile::LoadState(const std::vector<std::string>& Items) {
  FHandlerName = Items.size() > 0 ? Items[0] : "";
  FFileName = Items.size() > 1 ? Items[1] : "";
  FIsProject = Items.size() > 2 && StrToIntDef(Trim(Items[2]), 0) != 0;
}

void TClosedFile::SetOpenMode() {
  if (FIsProject)
    if (IReopenServices* S = ReopenServices()) S->SetProjectOpenMode();
}

std::string TClosedFile::SaveState() const {
  return Format(res::SClosedFileValue, FHandlerName, DesktopQuoted(FFileName), FIsProject ? 1 : 0);
}

void TClosedFile::ReOpen() {
  IReopenServices* S = ReopenServices();
  if (S) S->LockScreen();
  struct TUnlock {
    IReopenServices* S;
    ~TUnlock() {
      if (S) S->UnlockScreen();
    }
  } Unlock{S};
  if (!S || !S->HandlerExists(FHandlerName)) {
    if (TClosedFileList* L = FList) {
      L->NoteRemoved(FFileName);
      L->Release(this);  // frees this entry
      if (L->Changed) L->Changed();
    }
    return;
  }
  SetOpenMode();
  S->OpenWithHandler(FHandlerName, FFileName);
  S->SwitchToLayout(res::SDefaultLayout);
}

// ---- lists ----

TClosedFileList::~TClosedFileList() { Clear(); }

void TClosedFileList::SetCapacity(int Capacity) {
  FCapacity = std::max(0, Capacity);
  while (Count() > FCapacity) Release(FItems.back().get());
}

int TClosedFileList::IndexOfFile(std::string_view FileName) const {
  for (size_t I = 0; I < FItems.size(); ++I)
    if (SameFileName(FItems[I]->FileName(), FileName)) return static_cast<int>(I);
  return -1;
}

void TClosedFileList::Insert(int Index, std::unique_ptr<TClosedFile> Entry) {
  assert(Entry && !Entry->FList && "an entry belongs to one list");
  Entry->FList = this;
  Index = std::clamp(Index, 0, Count());
  FItems.insert(FItems.begin() + Index, std::move(Entry));
}

void TClosedFileList::Move(int From, int To) {
  if (From == To || From < 0 || From >= Count()) return;
  auto E = std::move(FItems[From]);
  FItems.erase(FItems.begin() + From);
  FItems.insert(FItems.begin() + std::clamp(To, 0, Count()), std::move(E));
}

std::unique_ptr<TClosedFile> TClosedFileList::Extract(TClosedFile* Entry) {
  auto It = std::find_if(FItems.begin(), FItems.end(), [&](const auto& P) { return P.get() == Entry; });
  if (It == FItems.end()) return nullptr;
  std::unique_ptr<TClosedFile> E = std::move(*It);
  FItems.erase(It);
  E->FList = nullptr;
  return E;
}

void TClosedFileList::Clear() {
  while (!FItems.empty()) Release(FItems.back().get());
}

static void EraseFileName(std::vector<std::string>& Names, std::string_view FileName) {
  std::erase_if(Names, [&](const std::string& N) { return SameFileName(N, FileName); });
}

void TClosedFileList::NoteClosed(std::string_view FileName) {
  EraseFileName(FRemoved, FileName);
  EraseFileName(FClosed, FileName);
  FClosed.emplace_back(FileName);
}

void TClosedFileList::NoteRemoved(std::string_view FileName) {
  EraseFileName(FClosed, FileName);
  EraseFileName(FRemoved, FileName);
  FRemoved.emplace_back(FileName);
}

// ---- captions ----

std::string ShortenPath(std::string_view FileName, size_t MaxLength) {
  std::string Name(FileName);
  if (Name.size() <= MaxLength) return Name;
  // Keep the first folder (or the root) and the file name; drop folders after the first.
  std::vector<std::string> Parts;
  std::string Cur;
  std::vector<char> Seps;
  for (char C : Name) {
    if (IsPathDelimiter(C)) {
      Parts.push_back(Cur);
      Seps.push_back(C);
      Cur.clear();
    } else {
      Cur += C;
    }
  }
  Parts.push_back(Cur);
  if (Parts.size() < 3) return Name;
  size_t Keep = Parts[0].empty() && Parts.size() > 3 ? 2 : 1;  // "/usr/..." keeps "usr"
  size_t First = Keep;
  auto Build = [&](size_t From) {
    std::string R;
    for (size_t I = 0; I < Keep; ++I) R += Parts[I] + Seps[I];
    R += "...";
    for (size_t I = From; I < Parts.size(); ++I) R += std::string(1, Seps[I - 1]) + Parts[I];
    return R;
  };
  std::string R = Build(First);
  while (R.size() > MaxLength && First + 1 < Parts.size()) R = Build(++First);
  return R;
}

std::string ReopenCaption(int Position, std::string_view FileName, size_t MaxPathLength) {
  std::string Path = ReplaceAllText(ShortenPath(FileName, MaxPathLength), "&", "&&");
  std::string Accel;
  if (Position >= 0 && Position <= 9) Accel = std::string(1, static_cast<char>('0' + Position));
  else if (Position >= 10 && Position <= 35) Accel = std::string(1, static_cast<char>('A' + Position - 10));
  if (Accel.empty()) return Path;
  return Format(res::SReopenCaption, Accel, Path);
}

void AppendClosedFiles(std::vector<TReopenMenuItem>& Menu, TClosedFileList& List, int& Position) {
  for (int I = 0; I < List.Count(); ++I)
    Menu.push_back({ReopenCaption(Position++, List.Item(I)->FileName()), ReopenHelpContext, List.Item(I)});
}

// ---- the lists together ----

TClosedFiles::TClosedFiles() {
  FFiles.Changed = [this] { UpdateFileReopenMenu(); };
  FProjects.Changed = [this] { UpdateFileReopenMenu(); };
}
TClosedFiles::~TClosedFiles() { FMenu.clear(); }

void TClosedFiles::RegisterClosedFileClass(const std::string& HandlerName, TClosedFileClass Class) {
  for (auto& [Name, C] : FClasses)
    if (SameText(Name, HandlerName)) {
      C = std::move(Class);
      return;
    }
  FClasses.emplace_back(HandlerName, std::move(Class));
}

void TClosedFiles::UnregisterClosedFileClass(const std::string& HandlerName) {
  std::erase_if(FClasses, [&](const auto& P) { return SameText(P.first, HandlerName); });
}

const TClosedFileClass* TClosedFiles::FindClosedFileClass(std::string_view HandlerName) const {
  for (const auto& [Name, C] : FClasses)
    if (SameText(Name, HandlerName)) return &C;
  return nullptr;
}

void TClosedFiles::InitClosedFileTypeList() {
  RegisterClosedFileClass(res::SSourceModuleHandler, TSourceModuleClosedFile::Class());
}

const TClosedFileClass* TClosedFiles::GetClosedFileClass(const IClosedFileModule& Module) const {
  for (const auto& [Name, C] : FClasses)
    if (C.CanHandleModule && C.CanHandleModule(Module)) return &C;
  return nullptr;
}

std::string TClosedFiles::GetHandlerName(const IClosedFileModule& Module) const {
  IReopenServices* S = ReopenServices();
  return S ? S->HandlerNameFor(Module) : std::string();
}

void TClosedFiles::CleanClosedFileLists(const std::string& ClassName) {
  bool Changed = false;
  for (TClosedFileList* L : {&FFiles, &FProjects})
    for (int I = L->Count() - 1; I >= 0; --I) {
      TClosedFile* E = L->Item(I);
      const TClosedFileClass* C = FindClosedFileClass(E->HandlerName());
      if (C && C->ClassName == ClassName) {
        L->Release(E);
        Changed = true;
      }
    }
  if (Changed) UpdateFileReopenMenu();
}

static void ClearNoted(TClosedFileList& List) {
  for (int I = 0; I < List.Count(); ++I) List.NoteRemoved(List.Item(I)->FileName());
  List.Clear();
}

void TClosedFiles::FreeClosedFileList(TClosedFileList& List) {
  ClearNoted(List);
  UpdateFileReopenMenu();
}

void TClosedFiles::FreeClosedFileLists() {
  ClearNoted(FFiles);
  ClearNoted(FProjects);
  UpdateFileReopenMenu();
}

void TClosedFiles::AddClosedFile(const IClosedFileModule& Module) {
  if (!Module.GetFileSystemIdent().empty() || !Module.CanAddClosedFile()) return;
  TClosedFileList& L = Module.GetIsProject() ? FProjects : FFiles;
  int Existing = L.IndexOfFile(Module.GetReopenFileName());
  if (Existing >= 0) {
    L.Move(Existing, 0);
    L.NoteClosed(L.Item(0)->FileName());
  } else {
    const TClosedFileClass* C = GetClosedFileClass(Module);
    if (!C || !C->Create) return;
    std::unique_ptr<TClosedFile> Entry = C->Create(Module);
    if (L.Capacity() <= 0) return;
    while (L.Count() >= L.Capacity()) L.Release(L.Item(L.Count() - 1));
    L.NoteClosed(Entry->FileName());
    L.Insert(0, std::move(Entry));
  }
  UpdateFileReopenMenu();
}

std::unique_ptr<TClosedFile> TClosedFiles::CheckClosedFileList(IClosedFileModule& Module, bool Remove) {
  TClosedFileList& L = Module.GetIsProject() ? FProjects : FFiles;
  int I = L.IndexOfFile(Module.GetReopenFileName());
  if (I < 0) I = L.IndexOfFile(Module.GetFileName());
  std::unique_ptr<TClosedFile> Taken;
  if (I >= 0) {
    TClosedFile* E = L.Item(I);
    E->RestoreModule(Module);
    if (Remove) {
      L.NoteRemoved(E->FileName());
      Taken = L.Extract(E);
    }
  }
  UpdateFileReopenMenu();
  return Taken;
}

void TClosedFiles::LoadClosedHistory(TCustomIniFile& Ini, bool Files, bool KeepCapacity) {
  TClosedFileList& L = Files ? FFiles : FProjects;
  const char* Section = Files ? res::SClosedFilesSection : res::SClosedProjectsSection;
  if (!KeepCapacity) {
    int64_t Max = Ini.ReadInteger(Section, res::SMaxClosedFiles, Files ? DefaultMaxClosedFiles : DefaultMaxClosedProjects);
    if (Max < 0) Max = Files ? DefaultMaxClosedFiles : DefaultMaxClosedProjects;
    L.SetCapacity(static_cast<int>(std::min<int64_t>(Max, MaxClosedFilesLimit)));
  }
  L.Clear();
  L.ForgetChanges();
  for (int I = 0; I < L.Capacity(); ++I) {
    std::string Value = Ini.ReadString(Section, Format(res::SClosedFileKey, I), "");
    if (Value.empty()) continue;
    std::vector<std::string> Items = SplitClosedFileValue(Value);
    const TClosedFileClass* C = FindClosedFileClass(Items[0]);
    if (!C || !C->CreateEmpty) continue;
    std::unique_ptr<TClosedFile> Entry = C->CreateEmpty();
    Entry->LoadState(Items);
    if (Entry->FileName().empty()) continue;
    L.Append(std::move(Entry));
  }
  UpdateFileReopenMenu();
}

void TClosedFiles::StoreClosedHistory(TCustomIniFile& Ini, bool Files) {
  TClosedFileList& L = Files ? FFiles : FProjects;
  const char* Section = Files ? res::SClosedFilesSection : res::SClosedProjectsSection;
  Ini.Locked([&] {
    // The stored entries (of any handler, loaded or not) as the file holds them now.
    std::vector<std::string> Values;
    for (int I = 0; I < MaxClosedFilesLimit; ++I) {
      std::string Value = Ini.ReadString(Section, Format(res::SClosedFileKey, I), "");
      if (!Value.empty()) Values.push_back(std::move(Value));
    }
    auto StoredName = [](const std::string& Value) {
      std::vector<std::string> Items = SplitClosedFileValue(Value);
      return Items.size() > 1 ? Items[1] : std::string();
    };
    auto Drop = [&](std::string_view FileName) {
      std::erase_if(Values, [&](const std::string& V) { return SameFileName(StoredName(V), FileName); });
    };
    for (const auto& Name : L.Removed()) Drop(Name);
    // What this process closed goes first, in its own order (most recent first).
    std::vector<std::string> Front;
    for (int I = 0; I < L.Count(); ++I) {
      const TClosedFile* E = L.Item(I);
      bool Closed = std::any_of(L.Closed().begin(), L.Closed().end(),
                                [&](const std::string& N) { return SameFileName(N, E->FileName()); });
      if (!Closed) continue;
      Drop(E->FileName());
      Front.push_back(E->SaveState());
    }
    Values.insert(Values.begin(), Front.begin(), Front.end());
    if (static_cast<int>(Values.size()) > L.Capacity()) Values.resize(static_cast<size_t>(L.Capacity()));
    Ini.EraseSection(Section);
    Ini.WriteInteger(Section, res::SMaxClosedFiles, L.Capacity());
    for (size_t I = 0; I < Values.size(); ++I) Ini.WriteString(Section, Format(res::SClosedFileKey, I), Values[I]);
  });
  LoadClosedHistory(Ini, Files, true);
}

std::unique_ptr<TClosedFile> TClosedFiles::CopyEntry(const TClosedFile& Entry) const {
  const TClosedFileClass* C = FindClosedFileClass(Entry.HandlerName());
  if (!C || !C->CreateEmpty) return nullptr;
  std::unique_ptr<TClosedFile> Copy = C->CreateEmpty();
  Copy->LoadState(SplitClosedFileValue(Entry.SaveState()));
  return Copy;
}

std::vector<std::unique_ptr<TClosedFile>> TClosedFiles::SaveClosedProjectFiles() const {
  std::vector<std::unique_ptr<TClosedFile>> Copy;
  for (int I = 0; I < FProjects.Count(); ++I)
    if (auto E = CopyEntry(*FProjects.Item(I))) Copy.push_back(std::move(E));
  return Copy;
}

void TClosedFiles::SetClosedProjectFiles(const std::vector<std::unique_ptr<TClosedFile>>& Copy) {
  ClearNoted(FProjects);
  for (const auto& E : Copy)
    if (FProjects.Count() < FProjects.Capacity())
      if (auto C = CopyEntry(*E)) {
        FProjects.NoteClosed(C->FileName());
        FProjects.Append(std::move(C));
      }
  UpdateFileReopenMenu();
}

void TClosedFiles::LockClosedFileUpdates() { ++FLockCount; }

void TClosedFiles::UnlockClosedFileUpdates() {
  if (FLockCount > 0 && --FLockCount == 0) UpdateFileReopenMenu();
}

void TClosedFiles::UpdateFileReopenMenu() {
  if (FLockCount > 0) return;
  FMenu.clear();
  // One numbering across the menu, so that no two entries share an accelerator.
  int Position = 0;
  AppendClosedFiles(FMenu, FProjects, Position);
  if (FProjects.Count() > 0 && FFiles.Count() > 0) FMenu.push_back({});
  AppendClosedFiles(FMenu, FFiles, Position);
  TEvClosedFileListChanged Args;
  FOnChanged.Send(Args);
}

TClosedFiles& ClosedFiles() {
  static TClosedFiles Instance;
  return Instance;
}

}  // namespace nxs
