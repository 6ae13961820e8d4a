// TEditView: one view of an edit buffer in an editor window (a tab or a split pane), with
// its own kernel view: its own cursor and scroll position on the shared text.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "editor/buffers/editbuffer.h"
#include "editor/buffers/edkrnl.h"
#include "editor/kernel/ek.h"

namespace nxs {

// The window side of a view: what the editor window keeps about it.
class TCustomEditView {
 public:
  virtual ~TCustomEditView() = default;
  void* OwnerWindow = nullptr;
  TCustomEditView* ParentView = nullptr;
  std::vector<TCustomEditView*> ChildViews;
  bool OpenedDuringDebug = false;
  bool Destroying = false;
  int ViewNum = 0;
};

// One section of a desktop file: the view state keys and their values.
using TViewState = std::map<std::string, std::string>;

class TEditView : public TCustomEditView, public IEditBufferView {
 public:
  explicit TEditView(std::shared_ptr<TEditBuffer> Buffer);
  ~TEditView() override;
  TEditView(const TEditView&) = delete;  // the kernel holds its view record
  TEditView& operator=(const TEditView&) = delete;

  TEditBuffer& Buffer() const { return *FEditBuffer; }
  const std::shared_ptr<TEditBuffer>& BufferRef() const { return FEditBuffer; }
  PEkView EkView() { return &FEkView; }

  TEdPos Cursor() const { return FEkView.Cursor; }
  void SetCursor(TEdPos Pos);

  void SaveViewState(TViewState& State);
  void LoadViewState(const TViewState& State);
  // "{%d,%d,%d}" per set bookmark: number, line, character index.
  // "{%d,%d,%d}" for each bookmark set: its number, line and column; with MapLine, on the
  // line it maps to, and left out where it maps to 0.
  std::string BookmarksString(const TSavedLineMap& MapLine = {});
  void LoadBookmarks(const std::string& Text);
  bool BookmarkGoto(int Index);
  bool BookmarkRecord(int Index, bool Toggle);

  std::string GetCaption() const;
  // Insert mode, the block, undo and redo as the edit commands need them.
  struct TEditState {
    bool InsertMode;
    bool BlockMarked;
    bool UndoAvailable;
    bool RedoAvailable;
  };
  TEditState GetEditState();
  // Moves the view to another buffer: a new kernel view there.
  void SetEditBuffer(std::shared_ptr<TEditBuffer> Buffer);
  std::unique_ptr<TEditView> CloneEditView();
  void SelectView() { FSelected = true; }
  void DeselectView() { FSelected = false; }
  bool Selected() const { return FSelected; }
  // Runs a command-map command by name; false when it is not an editor command.
  bool WindowCommand(const std::string& Name);
  void Save();
  void SaveAndClose();
  bool TryCloseView();
  void ToggleBreakpoint();
  bool IsBreakpointableLine(int32_t Line) const;

  // As its buffer reaches it.
  TEditView& EditView() override { return *this; }
  PEkView ViewKernel() override { return &FEkView; }
  void BufferClosing() override { Destroying = true; }
  std::function<void()> KeepAcrossReload() override;

  std::string FDefaultEditViewName;
  TEdPos FSavedCursor{1, 1};
  int32_t FSavedSplitCol = 0;
  int32_t FSavedWinTop = 1;
  int32_t FSavedWinLeft = 1;
  bool FLineTooLong = false;

 private:
  void Attach();
  void Detach();

  std::shared_ptr<TEditBuffer> FEditBuffer;
  TEkView FEkView{};
  bool FSelected = false;
};

}  // namespace nxs
