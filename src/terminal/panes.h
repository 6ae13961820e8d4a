// The panes around the editor: a scrolling list with a selection, and the lists the IDE shows
// in it (the project tree, the message groups).
#pragma once

#include <cstdint>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "terminal/cells.h"

namespace nxs {
class TBaseContainer;
class TBaseProject;
class TLine;
class TProjectGroup;
}  // namespace nxs

namespace nxs::term {

struct TPaneStyles {
  TCellStyle Normal;
  TCellStyle Selected;
  TCellStyle Title;
  TCellStyle TitleFocused;
  TCellStyle Error;
};

// A list of rows, one selected, scrolled to keep the selection in sight.
class TListPane {
 public:
  virtual ~TListPane() = default;
  virtual std::string Title() = 0;
  virtual int Count() = 0;
  virtual std::string RowText(int Index) = 0;
  virtual bool RowIsError(int Index) { return false; }
  // Enter on a row.
  virtual void Activate(int Index) {}
  // Left and Right on a row; false when the row takes neither.
  virtual bool Collapse(int Index) { return false; }
  virtual bool Expand(int Index) { return false; }

  // Moves the selection (Up, Down, PgUp, PgDn, Home, End), Enter activates; false for other keys.
  bool Key(uint32_t Key);
  // A click on a row selects it; a second click on the selected row activates it.
  void Click(int Row);
  void Draw(TCellGrid& Grid, const TRect& R, bool Focused, const TPaneStyles& Styles);
  int Selected() const { return FSelected; }
  void Select(int Index);
  // Where the last Draw put the pane.
  const TRect& Bounds() const { return FRect; }

 protected:
  int FSelected = 0;
  int FTop = 0;
  TRect FRect{};
};

// The project tree: the group, its projects and their containers, each level in the order
// of its containers' sort; a container opens and closes with Enter, Right and Left, a file
// opens with Enter.
class TTreePane : public TListPane {
 public:
  using TOpenFile = std::function<void(const std::string& FileName)>;
  // The tree of a group, or of one project (Group nullptr) under the row of its file.
  TTreePane(TProjectGroup* Group, TBaseProject* Project, TOpenFile Open);
  std::string Title() override;
  int Count() override;
  std::string RowText(int Index) override;
  void Activate(int Index) override;
  bool Collapse(int Index) override;
  bool Expand(int Index) override;
  // The rows as the tree stands now (after a project changed).
  void Refresh() { FStale = true; }

 private:
  struct TRow {
    TBaseContainer* Node;  // nullptr for the group's own row
    int Depth;
    bool HasChildren;
  };
  void Rebuild();
  void AddNode(TBaseContainer& Node, int Depth);

  std::vector<TBaseProject*> Projects() const;
  TProjectGroup* FGroup;
  TBaseProject* FProject;
  TOpenFile FOpen;
  std::vector<TRow> FRows;
  std::set<const TBaseContainer*> FExpanded;
  bool FGroupExpanded = true;
  bool FStale = true;
};

// The message view: the lines of the group it shows (build messages, search results), child
// lines indented under their parents; Enter shows a line's place in its file.
class TMessagePane : public TListPane {
 public:
  std::string Title() override;
  int Count() override;
  std::string RowText(int Index) override;
  bool RowIsError(int Index) override;
  void Activate(int Index) override;
  // Left and Right show the group before or after.
  bool Collapse(int Index) override;
  bool Expand(int Index) override;
  // The row of a line, -1 when it is not shown.
  int RowOf(const TLine* Line);
  // The rows are read again at the next draw.
  void Refresh() { FStale = true; }

 private:
  void Rebuild();
  std::vector<std::pair<TLine*, int>> FRows;  // the line and its depth
  bool FStale = true;
  uint64_t FSeen = 0;
};

}  // namespace nxs::term
