// Custom line marks: objects that plug-ins attach to lines of an edit buffer to draw in the
// gutter and answer hints and clicks there.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace nxs {

class TEditBuffer;
class TEdTracker;

class TCustomEditorLineMark {
 public:
  virtual ~TCustomEditorLineMark() = default;
  // True when the mark has a hint to show for its line; Hint receives it.
  virtual bool HasHintInfo(int Line, std::string& Hint) { return false; }
  // A click in the gutter on the mark; true when the mark handled it.
  virtual bool MouseDown(int Line, int Button, int X, int Y) { return false; }
};

// The line attributes a mark may set while its line is drawn.
struct TLineMarkAttributes {
  int ForegroundColor = -1;  // -1 keeps the colour the highlighter chose
  int BackgroundColor = -1;
  bool Bold = false;
};

class TExtendedCustomEditorLineMark : public TCustomEditorLineMark {
 public:
  virtual void SetLineAttributes(int Line, TLineMarkAttributes& Attributes) {}
};

using PEditorLineMark = std::shared_ptr<TCustomEditorLineMark>;

class TEditorLineMarks {
 public:
  TEditorLineMarks();
  // The marks of a buffer's lines move with the text: a line inserted above moves them down,
  // a deleted line takes its marks along, and two lines joined into one keep the marks of both.
  explicit TEditorLineMarks(TEditBuffer* Buffer);
  ~TEditorLineMarks();
  TEditorLineMarks(const TEditorLineMarks&) = delete;  // the line cache points into the list
  TEditorLineMarks& operator=(const TEditorLineMarks&) = delete;

  // Adds the mark to the line; a mark already on the line is not added twice.
  void AddLineMark(int Line, PEditorLineMark Mark);
  // Removes the mark from the line; a line left without marks is dropped.
  void RemoveLineMark(int Line, const TCustomEditorLineMark* Mark);
  int GetMarkCount(int Line);
  // The Index-th mark of the line, or nullptr when there is none.
  PEditorLineMark GetMark(int Line, int Index);
  bool Exists(int Line) { return Find(Line) >= 0; }
  // Index of the line's entry in the cache, or -1.
  int Find(int Line);
  // Drops the entry at Index with all its marks.
  void DeleteItem(int Index);
  // Lines that carry marks, in ascending order.
  std::vector<int> Lines();
  void Clear();

 private:
  struct TLineEntry {
    int Line = 0;
    std::vector<PEditorLineMark> Marks;
    uint32_t Id = 0;  // the entry's data in the tracker
  };
  TLineEntry* Entry(int Line);
  void LineMoved(int32_t NewLine, uint32_t Id);
  // Puts moved entries back in order: deleted lines go, lines that met are merged.
  void Settle();
  void Untrack(const TLineEntry& E);

  // Sorted by line, so that Find can bisect.
  std::vector<std::unique_ptr<TLineEntry>> FMarkCache;
  TLineEntry* FLineCache = nullptr;
  std::unique_ptr<TEdTracker> FTracker;
  uint32_t FNextId = 1;
  bool FMoved = false;
};

}  // namespace nxs
