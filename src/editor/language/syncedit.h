// Sync edit: every identifier that occurs more than once in a marked block becomes a point,
// and an edit inside one occurrence of a point is made in all the others; code templates
// use the same machinery with the points the template names. TSyncEditManager (one per
// process) owns the current sync edit; a controller per view ("SyncEditItem") follows the
// buffer's edits and replicates them; TSyncEditUndoRedo lets undo and redo cross the entry.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "editor/buffers/editbuffer.h"
#include "editor/buffers/pointtracker.h"
#include "shared/notifiers.h"

namespace nxs {

class TEditView;
class TSyncEditManager;

enum TSyncEditMode : int { semNone = 0, semSyncEdit = 1, semTemplate = 2 };

// How the language of a buffer reads for sync edit: which identifiers are the same, whether
// strings follow C rules, and the scanner that tells identifiers from reserved words, comments
// and strings (nullptr: every identifier the lexer finds counts).
struct TSyncEditLanguage {
  bool CaseSensitive = true;
  bool CStyleStrings = false;
  // Token classes (tokens.h) of one line into Codes, from the class the line starts in; the
  // class the next line starts in.
  std::function<uint8_t(uint8_t Class, const char* Line, size_t Length, uint8_t* Codes)> Scan;
};
// Pascal (and SQL) identifiers ignore case; C, C++, C#, IDL and plain text keep it.
TSyncEditLanguage SyncEditLanguageOf(TEditBuffer& Buffer);

// The points of the block [Start, After) of a kind: identifiers that occur more than once, in
// the order of their first occurrence, each occurrence with its bounds. At most
// MaxSyncEditPoints points.
std::shared_ptr<TSyncEditPoints> CollectSyncEditPoints(PEkView View, TCharPos Start, TCharPos After, TBlockType Type,
                                                       const TSyncEditLanguage& Language);

// The marked block of a view as sync edit found it when entered.
struct TSyncEditBlock {
  TCharPos Start{0, 0}, After{0, 0};
  TBlockType Type = btNonInclusive;
  bool Marked = false;
  bool Shown = false;  // a template entered in a hidden block keeps it hidden
};

class ISyncEditNotifier {
 public:
  virtual ~ISyncEditNotifier() = default;
  virtual void SyncEditModeChanged(TEditView& View, int Mode) {}
  virtual void PointActivated(TEditView& View, int Point) {}
};

// Follows one view's sync edit.
class TSyncEditController {
 public:
  static constexpr const char* Name = "SyncEditItem";

  TSyncEditController(TSyncEditManager& Manager, TEditView& View);
  ~TSyncEditController();
  TSyncEditController(const TSyncEditController&) = delete;  // the kernel calls it back
  TSyncEditController& operator=(const TSyncEditController&) = delete;

  // Enters the mode: with Points, template mode on them; without, the identifiers of the
  // marked block. RecordUndo adds the entry to the undo history. False (and no mode) when
  // there is nothing to edit.
  bool Start(std::shared_ptr<TSyncEditPoints> Points, bool RecordUndo);
  void Leave();
  int Mode() const { return FMode; }
  // The view may be closed while its buffer stays open: the controller is then only left.
  bool ViewAlive() const;
  TEditView& View() const { return FView; }
  TEditBuffer& Buffer() const { return *FBuffer; }
  TSyncEditPoints* Points() const { return FTracker ? FTracker->Points() : nullptr; }
  std::shared_ptr<TSyncEditPoints> PointsRef() const { return FTracker ? FTracker->PointsRef() : nullptr; }
  int ActivePoint() const { return FActive; }
  // Makes the point active and puts the cursor at the start of its first occurrence.
  void ActivatePoint(int Point);
  // The next and the previous point, round the end.
  void NextPoint();
  void PrevPoint();
  // Runs Fn now, or once the controller has finished following the current edit.
  void WhenIdle(std::function<void()> Fn);

 private:
  bool InitializeEditBufferEvents();
  void ReleaseEditBufferEvents();
  static void EventProc(void* Context, PEditorBuffer Buffer, uint16_t Event, int32_t Line, int32_t Count);
  // After the script that changed the text: bounds follow the tracker, and the occurrence that
  // was edited gives its text to the others of its point.
  void AfterEdit();
  // Drops occurrences whose text went away and points left with too few; false when no point
  // is left.
  bool RefreshPoints();
  void Replicate(int Point, size_t Source, const std::string& Text, const std::vector<const std::string*>& Known);
  // The lines read while one edit is followed, each once however many occurrences it holds.
  class TLineCache {
   public:
    struct TLine {
      std::string Text;
      std::vector<size_t> Bytes;  // where each character starts; empty when all are ASCII
      // Where character Index starts; the text's length past its end.
      size_t ByteOfChar(int32_t Index) const;
    };
    const TLine& Get(PEkView View, int32_t Line);

   private:
    std::map<int32_t, TLine> FLines;
  };
  std::string ReadRange(TCharPos Start, TCharPos End, TLineCache& Lines);
  void StoreAll();

  TSyncEditManager& FManager;
  TEditView& FView;
  TEditBuffer* FBuffer;
  int FMode = semNone;
  std::unique_ptr<TPointTracker> FTracker;
  int FActive = 0;
  int FEventSlot = -1;
  // What the buffer's events told since the last AfterEdit.
  bool FPending = false;
  bool FSawUndo = false;
  bool FSawReload = false;
  bool FLinesMoved = false;
  std::vector<int32_t> FChangedLines;
  bool FBusy = false;         // inside AfterEdit
  bool FReplicating = false;  // our own changes: not edits to follow
  std::vector<std::function<void()>> FWhenIdle;
};

class TSyncEditManager {
 public:
  TSyncEditManager();
  ~TSyncEditManager();
  TSyncEditManager(const TSyncEditManager&) = delete;  // one per process
  TSyncEditManager& operator=(const TSyncEditManager&) = delete;

  // Starts sync edit in the view, which ends the one before: on the identifiers of the marked
  // block when Points is nullptr, else in template mode on the points. Only in a buffer that
  // can be edited; false when there is nothing to edit.
  bool SyncEditBlock(TEditView& View, std::shared_ptr<TSyncEditPoints> Points = nullptr);
  void CancelSyncEdit();
  std::shared_ptr<TSyncEditPoints> GetPoints() const;
  // The points the next SyncEditBlock without points of its own takes (template mode).
  void SetPoints(std::shared_ptr<TSyncEditPoints> Points) { FNextPoints = std::move(Points); }
  int GetMode() const;
  // Mode 0 ends the current sync edit; the others are entered through SyncEditBlock.
  void SetMode(int Mode);
  TSyncEditController* Current() const;
  TSyncEditController* ControllerOf(TEditView& View) const;

  // Positions that move with a buffer's text, for the undo history.
  int RegisterMarkWithBuffer(TEditBuffer& Buffer, TCharPos Pos);
  void UnRegisterMark(int Mark);
  // Line 0 when the mark is gone (its line was deleted) or unknown.
  TCharPos GetMark(int Mark) const;

  int AddNotifier(std::shared_ptr<ISyncEditNotifier> Notifier);
  void RemoveNotifier(int Index);
  void SendSyncEvent(TEditView& View, int Mode);
  void SendPointEvent(TEditView& View, int Point);

  void ShowHint() { FHintVisible = true; }
  void HideHint() { FHintVisible = false; }
  bool HintVisible() const { return FHintVisible; }
  static std::string HintText();
  // "Sync Edit Mode", with the detail in brackets when there is one.
  static std::string Caption(const std::string& Detail = "");

  // Undo and redo of an entry (TSyncEditUndoRedo).
  void UndoEntry(TEditView& View, const TSyncEditBlock& Block);
  void RedoEntry(TEditView& View, const TSyncEditBlock& Block, std::shared_ptr<TSyncEditPoints> Points);
  // Turns of the entries undone or redone, in the order the kernel crossed them.
  uint64_t TakeEntryTurn() { return ++FEntryTurn; }
  bool IsLastEntryTurn(uint64_t Turn) const { return Turn == FEntryTurn; }

 private:
  void BufferDestroyed(TEvEditBufferLife& Args);
  TSyncEditController& ControllerFor(TEditView& View);

  std::map<TEditView*, std::unique_ptr<TSyncEditController>> FControllers;
  TSyncEditController* FCurrent = nullptr;
  std::shared_ptr<TSyncEditPoints> FNextPoints;
  std::map<TEditBuffer*, std::unique_ptr<TEdTracker>> FMarks;
  uint32_t FNextMark = 0;
  TNotifierList<ISyncEditNotifier> FNotifiers;
  bool FHintVisible = false;
  uint64_t FEntryTurn = 0;
};

TSyncEditManager& SyncEditManager();
// Ends the current sync edit and drops the manager (tests, shutdown).
void ResetSyncEditManager();

// Remembers the view and the marked block when sync edit is entered; undoing the entry marks
// the block again, shown as it was, and leaves the mode; redoing it enters the mode again.
class TSyncEditUndoRedo : public TUndoRedoObject {
 public:
  TSyncEditUndoRedo(TEditView& View, const TSyncEditBlock& Block, std::shared_ptr<TSyncEditPoints> Points);
  ~TSyncEditUndoRedo() override;

 protected:
  void Undo() override;
  void Redo() override;

 private:
  // The view it was entered in, else the buffer's top view, else its first; nullptr when none
  // is left.
  TEditView* FindView() const;
  // The block with its bounds where the marks moved them.
  TSyncEditBlock Block() const;

  TEditView* FView;
  TSyncEditBlock FBlock;
  int FStartMark = 0, FAfterMark = 0;
  std::shared_ptr<TSyncEditPoints> FPoints;  // template mode: the points to enter again
  bool FEntered = true;
};

// The keys sync edit takes while the view is in the mode: Tab and Shift+Tab move to the next
// and the previous point, Escape ends the mode. True when the key was taken.
bool SyncEditKeyStroke(TEditView& View, uint32_t Key);

// Inserts a code template at the cursor and edits it in template mode: "$name$" marks the
// places of a point ("$$" is one "$"). Line breaks go in as they are. False when the buffer is
// read-only; a template without points is inserted and leaves the mode alone.
bool InsertTemplate(TEditView& View, std::string_view Template, char Delimiter = '$');

}  // namespace nxs
