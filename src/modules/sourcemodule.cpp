// Source modules: the buffer set, opening, saving with backups, reloading, the disk-change
// test, renaming with companions following on disk, and the closed-file editor state.
#include "modules/sourcemodule.h"

#include <algorithm>
#include <cassert>
#include <optional>

#include "editor/buffers/editview.h"
#include "editor/buffers/edkrnl.h"
#include "editor/buffers/ekinit.h"
#include "modules/closedfiles.h"
#include "modules/filehist.h"
#include "modules/formfile.h"
#include "modules/linemap.h"
#include "modules/modulelist.h"
#include "modules/resstrings.h"
#include "shared/fileio.h"
#include "shared/filelock.h"
#include "shared/filenames.h"
#include "shared/format.h"
#include "shared/resstrings.h"
#include "shared/text.h"

namespace nxs {

namespace {

std::vector<std::string>& UnitSourceExtensions() {
  static std::vector<std::string> List{".pas", ".pp", ".cpp", ".cxx", ".cc"};
  return List;
}

std::vector<std::string>& SaveFilters() {
  static std::vector<std::string> List;
  return List;
}

std::shared_ptr<IModuleViewStore>& ViewStore() {
  static std::shared_ptr<IModuleViewStore> Store;
  return Store;
}

// FileName without its compound extension.
std::string WithoutExt(const std::string& FileName) {
  return FileName.substr(0, FileName.size() - ExtractCompoundExt(FileName).size());
}

}  // namespace

// -- The buffer set ----------------------------------------------------------------------------

int TSourceBuffers::Add(std::shared_ptr<TEditBuffer> Buffer) {
  const int Existing = FindSource(Buffer.get());
  if (Existing >= 0) return Existing;
  FList.push_back(std::move(Buffer));
  return static_cast<int>(FList.size()) - 1;
}

TEditBuffer* TSourceBuffers::FindSource(const std::string& FileName) const {
  for (auto& B : FList)
    if (B->FileName() == FileName) return B.get();
  for (auto& B : FList)
    if (SameModuleFile(B->FileName(), FileName)) return B.get();
  return nullptr;
}

int TSourceBuffers::FindSource(const TEditBuffer* Buffer) const {
  for (size_t I = 0; I < FList.size(); ++I)
    if (FList[I].get() == Buffer) return static_cast<int>(I);
  return -1;
}

bool TSourceBuffers::GetSourceEditable() {
  bool All = true;
  for (auto& B : FList) All = B->GetSourceEditable() && All;
  return All;
}

void TSourceBuffers::ReloadFile() {
  for (auto& B : FList) B->ReloadFile();
}

std::shared_ptr<TEditBuffer> TSourceBuffers::Remove(const TEditBuffer* Buffer) {
  const int I = FindSource(Buffer);
  if (I < 0) return nullptr;
  std::shared_ptr<TEditBuffer> Kept = std::move(FList[static_cast<size_t>(I)]);
  FList.erase(FList.begin() + I);
  return Kept;
}

// -- Construction ------------------------------------------------------------------------------

void SetModuleViewStore(std::shared_ptr<IModuleViewStore> Store) { ViewStore() = std::move(Store); }

TSourceModule::TSourceModule(const std::string& FileName, bool Load) : TDocModule(FileName) {
  if (FileName.empty()) throw EModuleError(res::SCreatorMustSupplySource);
  OpenSourceBuffer(FileName, Load);
  OpenCompanions();
  if (Load) LoadRecordedViews();
  if (!Load) {
    IsUnnamed = false;
    IsDiscardable = true;
  }
}

TSourceModule::~TSourceModule() {
  FViews.clear();
  for (int I = 0; I < FSourceBuffers.GetItemCount(); ++I) FSourceBuffers.GetItems(I)->SetModule(nullptr);
  FSourceBuffers.Clear();
}

void TSourceModule::AfterConstruction() {
  TDocModule::AfterConstruction();
  ShowEditor();
  if (CanAddClosedFile()) ClosedFiles().CheckClosedFileList(*this, true);
}

void TSourceModule::OpenCompanions() {
  const std::string Main = GetFileName();
  const auto& Units = UnitSourceExtensions();
  if (std::find(Units.begin(), Units.end(), ExtractFileExt(Main)) == Units.end()) return;
  for (const char* Ext : FormFileExtensions) {
    const std::string Companion = ChangeFileExt(Main, Ext);
    if (FileSystem().FileExists(Companion)) OpenSourceBuffer(Companion);
  }
}

TEditBuffer* TSourceModule::OpenSourceBuffer(const std::string& FileName, bool Load) {
  if (TEditBuffer* Open = FSourceBuffers.FindSource(FileName)) return Open;
  std::shared_ptr<TEditBuffer> B = TEditBuffer::Create(FileName, Load, nullptr, this);
  ClearLineModifiedFlags(B->EkView());
  TEditBuffer* Raw = B.get();
  FSourceBuffers.Add(std::move(B));
  ModuleNamesChanged();
  return Raw;
}

void TSourceModule::CloseSourceBuffer(TEditBuffer*& Buffer) {
  if (!Buffer) return;
  std::erase_if(FViews, [&](const std::unique_ptr<TEditView>& V) { return &V->Buffer() == Buffer; });
  std::shared_ptr<TEditBuffer> Kept = FSourceBuffers.Remove(Buffer);
  if (Kept) Kept->SetModule(nullptr);
  Buffer = nullptr;
  ModuleNamesChanged();
}

TEditBuffer* TSourceModule::GetMainSource() const {
  return FSourceBuffers.GetItemCount() ? FSourceBuffers.GetItems(0) : nullptr;
}

TEditBuffer* TSourceModule::GetEditorBufferAt(int Index) {
  if (Index < 0 || Index >= FSourceBuffers.GetItemCount()) return nullptr;
  return FSourceBuffers.GetItems(Index);
}

TEditView& TSourceModule::ShowEditor() {
  if (FViews.empty()) FViews.push_back(GetMainSource()->OpenNewView());
  return *FViews.front();
}

TEditView& TSourceModule::OpenView(TEditBuffer& Buffer) {
  ShowEditor();
  const int I = FSourceBuffers.FindSource(&Buffer);
  assert(I >= 0 && "a view of the module's own buffers");
  FViews.push_back(FSourceBuffers.GetRef(I)->OpenNewView());
  return *FViews.back();
}

void TSourceModule::Hide() { FViews.clear(); }

void TSourceModule::LoadRecordedViews() {
  if (!ViewStore()) return;
  for (const TViewState& State : ViewStore()->LoadViews(GetFileName())) {
    auto Named = State.find("Module");
    TEditBuffer* B = Named == State.end() ? GetMainSource() : FSourceBuffers.FindSource(Named->second);
    if (!B) continue;  // a file the module holds no more
    TEditView& V = FViews.empty() && B == GetMainSource() ? ShowEditor() : OpenView(*B);
    V.LoadViewState(State);
  }
}

void TSourceModule::StoreRecordedViews() {
  if (!ViewStore() || FViews.empty()) return;
  std::vector<TViewState> States(FViews.size());
  for (size_t I = 0; I < FViews.size(); ++I) FViews[I]->SaveViewState(States[I]);
  ViewStore()->StoreViews(GetFileName(), States);
}

// -- Identity ----------------------------------------------------------------------------------

std::string TSourceModule::GetFileName() const {
  TEditBuffer* Main = GetMainSource();
  return Main ? Main->FileName() : TDocModule::GetFileName();
}

std::vector<std::string> TSourceModule::ModuleFileNames() const {
  std::vector<std::string> Names{GetFileName()};
  for (int I = 1; I < FSourceBuffers.GetItemCount(); ++I) Names.push_back(FSourceBuffers.GetItems(I)->FileName());
  return Names;
}

bool TSourceModule::GetModified() const {
  if (FSourceBuffers.GetItemCount() == 0) return FIsModified;
  for (int I = 0; I < FSourceBuffers.GetItemCount(); ++I)
    if (FSourceBuffers.GetItems(I)->GetIsModified()) return true;
  return false;
}

std::string TSourceModule::GetFormName() const {
  for (int I = 1; I < FSourceBuffers.GetItemCount(); ++I) {
    TEditBuffer* B = FSourceBuffers.GetItems(I);
    if (IsFormFileName(B->FileName())) return FormRootName(B->Text());
  }
  return {};
}

void TSourceModule::SourceModified(TEditBuffer&) { Modified(); }

void TSourceModule::UnModifySource() {
  for (int I = 0; I < FSourceBuffers.GetItemCount(); ++I) FSourceBuffers.GetItems(I)->SourceUnmodified();
  TDocModule::UnModifySource();
}

// -- Saving ------------------------------------------------------------------------------------

void TSourceModule::SaveFile() {
  // Every question and every refusal before the first backup: a save that then failed would
  // have pushed an older backup out for a copy of the same text.
  for (int I = 0; I < FSourceBuffers.GetItemCount(); ++I) {
    TEditBuffer* B = FSourceBuffers.GetItems(I);
    const TFileInfo Info = B->FileSystem().Stat(B->FileName());
    if (Info.Exists && Info.ReadOnly) throw EInOutError(Format(res::SFileReadOnly, B->FileName()));
  }
  for (int I = 0; I < FSourceBuffers.GetItemCount(); ++I) FSourceBuffers.GetItems(I)->ConfirmSaveEncoding();
  for (int I = 0; I < FSourceBuffers.GetItemCount(); ++I) {
    TEditBuffer* B = FSourceBuffers.GetItems(I);
    // The backup and the write are one step for other sessions saving the same file: the
    // next one's backup then holds this one's text, which its write replaces.
    TFileLock Lock(B->FileName());
    BackupExistingFile(B->FileName());
    B->SaveFile();
  }
  StoreRecordedViews();
}

std::string TSourceModule::GetSaveFileDirectory() const {
  return FInitialSaveDir.empty() ? TDocModule::GetSaveFileDirectory() : FInitialSaveDir;
}

std::string TSourceModule::GetSaveFilter() const {
  const std::string Registered = Join(SaveFilters(), "|");
  if (Registered.empty()) return TDocModule::GetSaveFilter();
  return Registered + "|" + res::SAnyFileFilter;
}

void RegisterSourceModuleSaveFilter(const std::string& Filter) {
  if (std::find(SaveFilters().begin(), SaveFilters().end(), Filter) == SaveFilters().end())
    SaveFilters().push_back(Filter);
}

void UnregisterSourceModuleSaveFilters() { SaveFilters().clear(); }

// -- Renaming ----------------------------------------------------------------------------------

std::vector<std::pair<std::string, std::string>> TSourceModule::RenamedFiles(const std::string& NewName) const {
  std::vector<std::pair<std::string, std::string>> Files{{GetFileName(), NewName}};
  const std::string OldBase = WithoutExt(GetFileName());
  const std::string NewBase = WithoutExt(NewName);
  for (int I = 1; I < FSourceBuffers.GetItemCount(); ++I) {
    const std::string& F = FSourceBuffers.GetItems(I)->FileName();
    if (WithoutExt(F) == OldBase) Files.emplace_back(F, NewBase + ExtractCompoundExt(F));
  }
  return Files;
}

void TSourceModule::Rename(const std::string& NewName) {
  TEditBuffer* Main = GetMainSource();
  const std::string OldBase = WithoutExt(GetFileName());
  const std::string NewBase = WithoutExt(NewName);
  Main->Rename(NewName);
  Main->MarkModified();
  for (int I = 1; I < FSourceBuffers.GetItemCount(); ++I) {
    TEditBuffer* B = FSourceBuffers.GetItems(I);
    if (WithoutExt(B->FileName()) != OldBase) continue;
    B->Rename(NewBase + ExtractCompoundExt(B->FileName()));
    B->MarkModified();
  }
  TDocModule::Rename(NewName);
}

void TSourceModule::RenameFiles(const std::string& OldName, const std::string& NewName) {
  TDocModule::RenameFiles(OldName, NewName);
  for (int I = 0; I < FSourceBuffers.GetItemCount(); ++I) {
    TEditBuffer* B = FSourceBuffers.GetItems(I);
    const std::string Previous = B->OldFileName();
    if (Previous.empty() || Previous == B->FileName() || !B->FileSystem().FileExists(Previous)) continue;
    // Never over another file: a name taken since the rename was checked stays as it is.
    if (B->FileSystem().FileExists(B->FileName()))
      throw EModuleError(Format(res::SUnableToRename, Previous, B->FileName()));
    B->FileSystem().Rename(Previous, B->FileName());
    TEvFileRenamed Args(this, Previous, B->FileName());
    EvFileRenamed().Send(Args);
  }
}

// -- Disk changes ------------------------------------------------------------------------------

bool TSourceModule::CheckFileDate() {
  if (IsUnnamed) return false;
  for (int I = 0; I < FSourceBuffers.GetItemCount(); ++I) {
    if (I == 0 && SkipMainFileDateCheck) continue;
    if (FSourceBuffers.GetItems(I)->CheckFileDate()) return true;
  }
  return TDocModule::CheckFileDate();
}

void TSourceModule::ReloadFile() {
  FSourceBuffers.ReloadFile();
  FIsModified = false;
  TDocModule::ReloadFile();
  if (TEditBuffer* Main = GetMainSource()) Main->SourceReloaded();
}

// -- The closed-file editor state ----------------------------------------------------------------

TEditView* TSourceModule::FirstMainView() const {
  TEditBuffer* Main = GetMainSource();
  return Main ? Main->GetView(0) : nullptr;
}

bool TSourceModule::HasView() const { return FirstMainView() != nullptr; }

TClosedViewState TSourceModule::ViewState() const {
  TEditView* V = FirstMainView();
  if (!V) return {};
  PEkView Ek = V->EkView();
  TClosedViewState S{{Ek->WinLeftCol, Ek->WinTopLine}, {V->Cursor().Col, V->Cursor().LineNum}, {}, {}};
  TEditBuffer& Main = V->Buffer();
  std::optional<TLineMap> Map;
  if (Main.DiskDiffers()) {
    try {
      Map.emplace(Main.Text(), Main.DiskText());
    } catch (const EInOutError&) {
      // The file cannot be read, nor reopened: its positions matter no more.
    }
  }
  if (!Map) {
    S.Elisions = PrintElisions(Ek);
    S.Bookmarks = V->BookmarksString();
    return S;
  }
  // A position on a typed or changed line goes to the line its change replaced.
  const auto Move = [&](TClosedEdPos& P) { P.Line = Map->NearestOriginalLine(P.Line); };
  Move(S.TopLeft);
  Move(S.Cursor);
  const auto Unchanged = [&](int32_t Line) { return Map->OriginalLine(Line); };
  S.Elisions = PrintElisions(Ek, Unchanged);
  S.Bookmarks = V->BookmarksString(Unchanged);
  return S;
}

int TSourceModule::LineCount() const {
  TEditBuffer* Main = GetMainSource();
  return Main ? Main->LineCount() : 0;
}

void TSourceModule::SetTopLeft(TClosedEdPos Pos) {
  TEditView* V = FirstMainView();
  if (!V) return;
  TEdModesLock G;
  V->EkView()->WinTopLine = std::max<int32_t>(1, Pos.Line);
  V->EkView()->WinLeftCol = std::max<int32_t>(1, Pos.Col);
}

void TSourceModule::SetCursor(TClosedEdPos Pos) {
  if (TEditView* V = FirstMainView()) GotoLineCol(V->EkView(), Pos.Line, std::max<int32_t>(1, Pos.Col), false);
}

void TSourceModule::InsertElisions(const std::string& Text) {
  TEditView* V = FirstMainView();
  if (!V) return;
  TViewState S;
  V->SaveViewState(S);
  S["Elisions"] = Text;
  V->LoadViewState(S);
}

void TSourceModule::ClampViews() {
  TEditBuffer* Main = GetMainSource();
  if (Main) Main->UpdateViews();
}

void TSourceModule::InsertBookmarks(const std::string& Text) {
  if (TEditView* V = FirstMainView()) V->LoadBookmarks(Text);
}

// -- Opening -----------------------------------------------------------------------------------

TDocModule* OpenFile(const std::string& FileName, bool AllowMissing, bool Show, TDocModule* AOwnerModule) {
  const std::string Name = ExpandFileName(FileName);
  if (TDocModule* Open = FindDocModule(Name)) return Open;
  if (!AllowMissing && !FileSystem().FileExists(Name)) return nullptr;
  return CallDefaultOpenProc(Name, Show, AOwnerModule);
}

std::string FindModuleFile(const std::string& FileName, const std::vector<std::string>& Dirs) {
  if (FileName.empty()) return {};
  std::vector<std::string> Folders;
  if (IsAbsolutePath(FileName)) {
    Folders.emplace_back();
  } else {
    Folders.push_back(IncludeTrailingPathDelimiter(DefaultModuleDirectory()));
    for (const std::string& D : Dirs)
      if (!D.empty()) Folders.push_back(IncludeTrailingPathDelimiter(D));
  }
  std::vector<std::string> Exts{""};
  if (ExtractFileExt(ExtractFileName(FileName)).empty())
    Exts.insert(Exts.end(), UnitSourceExtensions().begin(), UnitSourceExtensions().end());
  for (const std::string& Folder : Folders)
    for (const std::string& Ext : Exts) {
      const std::string Candidate = ExpandFileName(Folder + FileName + Ext);
      if (FindDocModule(Candidate) || FileSystem().FileExists(Candidate)) return Candidate;
    }
  return {};
}

bool TSourceModuleOpenHandler::CanOpen(int, const std::string&) { return true; }

void TSourceModuleOpenHandler::GetFilters(std::vector<TFilterItem>&, bool) {}

TDocModule* TSourceModuleOpenHandler::DoFileOpen(int, const std::string& FileName, bool Show, TDocModule*) {
  if (TDocModule* Open = FindDocModule(FileName)) return Open;
  const bool Exists = FileSystem().FileExists(FileName);
  TSourceModule* M = TDocModule::Create<TSourceModule>(FileName, Exists);
  if (Show) M->ShowEditor();
  return M;
}

// -- Reopening: the desktop form handler of source modules ---------------------------------------

namespace {

class TSourceModuleReopen : public IReopenServices {
 public:
  std::string HandlerNameFor(const IClosedFileModule& Module) override {
    return Module.ModuleClassName() == res::SSourceModuleHandler ? res::SSourceModuleHandler : "";
  }
  bool HandlerExists(const std::string& HandlerName) override { return HandlerName == res::SSourceModuleHandler; }
  void OpenWithHandler(const std::string& HandlerName, const std::string& FileName) override {
    if (HandlerName != res::SSourceModuleHandler) return;
    // Both names belong to the closed-file entry, which the opened module takes out of its
    // list and frees: keep a copy.
    const std::string Name = FileName;
    if (TDocModule* Open = FindDocModule(Name)) {
      Open->Activate();
      return;
    }
    TDocModule::Create<TSourceModule>(Name, true)->Activate();
  }
  void SetProjectOpenMode() override {}
  void SwitchToLayout(const std::string& LayoutName) override { nxs::SwitchToLayout(LayoutName); }
};


TSourceModuleReopen& SourceReopen() {
  static TSourceModuleReopen R;
  return R;
}

}  // namespace

TFileOpenHandler& SourceOpenHandler() {
  static TSourceModuleOpenHandler H;
  return H;
}

void InitSourceModules() {
  InitDocModules();
  if (!DefaultFileHandler()) SetDefaultFileHandler(&SourceOpenHandler());
  if (!ClosedFiles().FindClosedFileClass(res::SSourceModuleHandler)) ClosedFiles().InitClosedFileTypeList();
  if (!ReopenServices()) SetReopenServices(&SourceReopen());
}

void DoneSourceModules() {
  DoneDocModules();
  if (DefaultFileHandler() == &SourceOpenHandler()) SetDefaultFileHandler(nullptr);
  if (ReopenServices() == &SourceReopen()) SetReopenServices(nullptr);
}

}  // namespace nxs
