// The closed-file entry of source modules: besides the file it keeps the editor state of the
// module's first view (scroll position, cursor, folded regions, bookmarks) and its designer
// state, and puts them back when the file is reopened.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "modules/closedfiles.h"

namespace nxs {

// An editor position: column (16 bits) and line (32 bits), both from 1.
struct TClosedEdPos {
  int32_t Col = 1;
  int32_t Line = 1;
  bool operator==(const TClosedEdPos&) const = default;
};

// The state of a view as the closed-file list keeps it.
struct TClosedViewState {
  TClosedEdPos TopLeft;
  TClosedEdPos Cursor;
  // The editor kernel's text forms of the folded regions and of the bookmarks.
  std::string Elisions;
  std::string Bookmarks;
};

// What a source module offers: its first view of the main buffer and its form.
class IClosedSourceState {
 public:
  virtual ~IClosedSourceState() = default;
  virtual bool HasView() const = 0;
  // The view's state on the lines of the file on disk, which is what a reopened module shows:
  // where the module has unsaved changes, positions move to the lines they stand on there,
  // and folds and bookmarks on changed lines are left out.
  virtual TClosedViewState ViewState() const = 0;
  virtual uint8_t DesignerState() const = 0;
  virtual uint8_t FormOnTop() const = 0;

  virtual int LineCount() const = 0;
  virtual void SetTopLeft(TClosedEdPos Pos) = 0;
  virtual void SetCursor(TClosedEdPos Pos) = 0;
  virtual void InsertElisions(const std::string& Text) = 0;
  virtual void ClampViews() = 0;
  virtual void InsertBookmarks(const std::string& Text) = 0;
  virtual bool IsClosed() const = 0;
  // 0 normal, 1 and 2 the states that bits 1 and 2 of the designer state ask for.
  virtual void ShowForm(int State) = 0;
};

class TSourceModuleClosedFile : public TClosedFile {
 public:
  TSourceModuleClosedFile() = default;
  explicit TSourceModuleClosedFile(const IClosedFileModule& Module);

  static TClosedFileClass Class();

  bool CanHandleModule(const IClosedFileModule& Module) const override;
  void LoadState(const std::vector<std::string>& Items) override;
  void RestoreModule(IClosedFileModule& Module) override;
  std::string SaveState() const override;

  uint8_t FDesignerState = 0;
  uint8_t FFormOnTop = 0;
  TClosedEdPos FViewTop;
  TClosedEdPos FCursor;
  std::string FElisions;
  std::string FBookmarks;
};

}  // namespace nxs
