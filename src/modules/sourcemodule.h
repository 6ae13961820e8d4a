// Source modules: the document modules that hold text files in edit buffers, a unit with
// its companion files (a form file beside the source) or a single text file. The first buffer
// is the main source; companions follow it on rename, on disk too. Saving keeps numbered
// backups of the files it replaces.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "editor/buffers/editbuffer.h"
#include "editor/buffers/editview.h"
#include "modules/docmodule.h"
#include "modules/openhandlers.h"
#include "modules/srcclosedfile.h"

namespace nxs {

// The module's buffers, owned; the first is the main source.
class TSourceBuffers {
 public:
  // The index of the buffer (the existing one when it is already in the set).
  int Add(std::shared_ptr<TEditBuffer> Buffer);
  // The buffer whose file is FileName (the same file), or nullptr.
  TEditBuffer* FindSource(const std::string& FileName) const;
  int FindSource(const TEditBuffer* Buffer) const;
  TEditBuffer* GetItems(int Index) const { return FList.at(static_cast<size_t>(Index)).get(); }
  const std::shared_ptr<TEditBuffer>& GetRef(int Index) const { return FList.at(static_cast<size_t>(Index)); }
  int GetItemCount() const { return static_cast<int>(FList.size()); }
  bool GetSourceEditable();
  void ReloadFile();
  // Takes the buffer out of the set; the caller's reference is what keeps it.
  std::shared_ptr<TEditBuffer> Remove(const TEditBuffer* Buffer);
  void Clear() { FList.clear(); }

 private:
  std::vector<std::shared_ptr<TEditBuffer>> FList;
};

// Where a source module's editor views are recorded when it is saved, and read back when it
// opens: one view state per view (the keys of TEditView::SaveViewState, "Module" naming the
// view's file), the default view first. The desktop that keeps a project's modules records
// them; without a store nothing is recorded.
class IModuleViewStore {
 public:
  virtual ~IModuleViewStore() = default;
  virtual std::vector<TViewState> LoadViews(const std::string& FileName) = 0;
  virtual void StoreViews(const std::string& FileName, const std::vector<TViewState>& Views) = 0;
};
void SetModuleViewStore(std::shared_ptr<IModuleViewStore> Store);

class TSourceModule : public TDocModule, public IEditBufferOwner, public IClosedSourceState {
 public:
  ~TSourceModule() override;

  // -- Buffers
  // Opens FileName in a new buffer of the set (or finds it there). With Load clear the buffer
  // starts empty (a file not written yet).
  TEditBuffer* OpenSourceBuffer(const std::string& FileName, bool Load = true);
  // Removes and releases one buffer; clears the caller's reference.
  void CloseSourceBuffer(TEditBuffer*& Buffer);
  TEditBuffer* GetSourceBuffer(int Index) const { return FSourceBuffers.GetItems(Index); }
  int GetSourceBufferCount() const { return FSourceBuffers.GetItemCount(); }
  TEditBuffer* GetMainSource() const;
  TSourceBuffers& SourceBuffers() { return FSourceBuffers; }

  // -- The editor: the module's views (what its editor window shows)
  // The default view on the main buffer, opened when there is none.
  TEditView& ShowEditor();
  TEditView* DefaultView() const { return FViews.empty() ? nullptr : FViews.front().get(); }
  // Another view on Buffer (one of the module's), as a split or a second tab opens one.
  TEditView& OpenView(TEditBuffer& Buffer);
  int ViewCount() const { return static_cast<int>(FViews.size()); }
  TEditView* View(int Index) const { return FViews.at(static_cast<size_t>(Index)).get(); }

  // -- TDocModule
  std::string GetFileName() const override;
  std::string ModuleClassName() const override { return "TSourceModule"; }
  std::vector<std::string> ModuleFileNames() const override;
  TEditBuffer* GetEditorBuffer(const std::string& FileName) override { return FSourceBuffers.FindSource(FileName); }
  int GetEditorBufferCount() const override { return FSourceBuffers.GetItemCount(); }
  TEditBuffer* GetEditorBufferAt(int Index) override;
  bool GetModified() const override;
  // The root object's name in the form file that accompanies the unit.
  std::string GetFormName() const override;
  std::string GetSaveFileDirectory() const override;
  std::string GetSaveFilter() const override;
  void Rename(const std::string& NewName) override;
  void RenameFiles(const std::string& OldName, const std::string& NewName) override;
  std::vector<std::pair<std::string, std::string>> RenamedFiles(const std::string& NewName) const override;
  bool CheckFileDate() override;
  void ReloadFile() override;
  void UnModifySource() override;
  IClosedSourceState* SourceState() override { return this; }
  void Hide() override;

  // -- IEditBufferOwner
  void SourceModified(TEditBuffer& Buffer) override;

  // -- IClosedSourceState: the first view of the main buffer
  bool HasView() const override;
  TClosedViewState ViewState() const override;
  uint8_t DesignerState() const override { return 0; }
  uint8_t FormOnTop() const override { return 0; }
  int LineCount() const override;
  void SetTopLeft(TClosedEdPos Pos) override;
  void SetCursor(TClosedEdPos Pos) override;
  void InsertElisions(const std::string& Text) override;
  void ClampViews() override;
  void InsertBookmarks(const std::string& Text) override;
  bool IsClosed() const override { return TDocModule::IsClosed; }
  void ShowForm(int /*State*/) override {}

  // When set, where the save dialog starts.
  std::string FInitialSaveDir;
  // Main buffer is not tested for changes on disk.
  bool SkipMainFileDateCheck = false;

 protected:
  friend class TDocModule;
  // Opens FileName (Load: from disk; else empty, for a file not written yet).
  TSourceModule(const std::string& FileName, bool Load = true);
  void AfterConstruction() override;
  void SaveFile() override;

 private:
  // A unit opens its form file too, when there is one beside it.
  void OpenCompanions();
  // The views the view store recorded for the module; the default view stays on the main file.
  void LoadRecordedViews();
  void StoreRecordedViews();
  TEditView* FirstMainView() const;

  TSourceBuffers FSourceBuffers;
  std::vector<std::unique_ptr<TEditView>> FViews;
};

// The open module of FileName, or a newly opened one. AllowMissing opens a file that does
// not exist yet (an empty module); without it nothing is opened for such a file.
TDocModule* OpenFile(const std::string& FileName, bool AllowMissing, bool Show, TDocModule* AOwnerModule = nullptr);

// Where the file of the module named FileName is, for opening it: the name itself when an
// open module or the disk has it; else, for a relative name, the first of the folders
// DefaultModuleDirectory and then Dirs that has it. A name without an extension is tried
// with each source extension the personalities use. Empty when none has it.
std::string FindModuleFile(const std::string& FileName, const std::vector<std::string>& Dirs = {});

void RegisterSourceModuleSaveFilter(const std::string& Filter);
void UnregisterSourceModuleSaveFilters();

// The open handler that opens any file as a source module; the default file handler.
class TSourceModuleOpenHandler : public TFileOpenHandler {
 public:
  bool CanOpen(int FilterID, const std::string& FileName) override;
  void GetFilters(std::vector<TFilterItem>& List, bool ProjectOnly) override;

 protected:
  TDocModule* DoFileOpen(int FilterID, const std::string& FileName, bool Show, TDocModule* AOwnerModule) override;
};

// Sets up the module layer: the module list, the source-module open handler as the default
// handler, and the closed-file class of source modules. Undone by DoneSourceModules.
void InitSourceModules();
void DoneSourceModules();
// The open handler of source files: the default handler, which opens what no other handler
// claims.
TFileOpenHandler& SourceOpenHandler();

}  // namespace nxs
