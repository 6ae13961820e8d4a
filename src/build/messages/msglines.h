// Message lines: the model of the message view. Named groups (tabs) hold lines (titles,
// file messages, compiler messages, search hits) with their children; a file message keeps a
// position in its file that follows edits while the file is open in an edit buffer.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "shared/event.h"
#include "shared/searchflags.h"

namespace nxs {

class TEdTracker;
class TEditBuffer;
class TEvEditBufferLife;
class TFileEntry;
class TFileMessageLine;
class TLineBuffer;
class TLineBufferList;

enum TMsgKind { msgHint, msgWarn, msgError, msgFatal, msgInfo };

// The kind's name in a message's label: "Hint", "Warning", "Error", "Fatal Error", "".
const char* MsgKindName(TMsgKind Kind);
// The kind a word names: hint, warning, error, fatal or info; false for any other word.
bool MsgKindFromWord(std::string_view Word, TMsgKind& Kind);

class TLine {
 public:
  // Group nullptr: the first group of the list, once the line joins one.
  explicit TLine(TLineBuffer* Group = nullptr) : FGroup(Group) {}
  virtual ~TLine();
  TLine(const TLine&) = delete;  // children and file entries point at it
  TLine& operator=(const TLine&) = delete;

  TLineBuffer* Group() const { return FGroup; }
  TLine* Parent() const { return FParent; }
  // Takes the child; sets its parent and sends the group's child-added event.
  TLine* AddChild(std::unique_ptr<TLine> Child);
  TLine* GetChild(int Index) const;
  int GetChildCount() const { return static_cast<int>(FChildren.size()); }

  virtual std::string GetLineText() const = 0;
  virtual std::string GetFileName() const { return {}; }
  virtual bool CanGotoSource() const { return false; }
  virtual void GotoSource() {}
  // Shows the place without moving the focus.
  virtual void TrackSource() {}
  virtual void ShowHelp() {}
  // The group was removed: the line lets go of it.
  void MessageGroupRemoved();
  // The line as a file message line, or nullptr (cheaper than a cast for every line).
  virtual TFileMessageLine* AsFileMessageLine() { return nullptr; }
  const TFileMessageLine* AsFileMessageLine() const { return const_cast<TLine*>(this)->AsFileMessageLine(); }

 private:
  friend class TLineBuffer;
  // Joins Group (this line and its descendants): file lines register with the file buffer.
  void Join(TLineBuffer* Group);
  // Leaves the file buffer (this line and its descendants), before it is freed.
  void Leave();

  TLineBuffer* FGroup;
  TLine* FParent = nullptr;
  std::vector<std::unique_ptr<TLine>> FChildren;
};

class TTitleLine : public TLine {
 public:
  // Made in place: under Parent when there is one, else at the top level of Group.
  static TTitleLine* Make(TLineBuffer& Group, const std::string& Title, TLine* Parent = nullptr);
  TTitleLine(TLineBuffer* Group, std::string Title) : TLine(Group), FTitle(std::move(Title)) {}
  std::string GetLineText() const override { return FTitle; }

 protected:
  std::string FTitle;
};

class TFindTitleLine : public TTitleLine {
 public:
  TFindTitleLine(TLineBuffer* Group, std::string Title, bool ShowCount)
      : TTitleLine(Group, std::move(Title)), FShowCount(ShowCount) {}
  // "%s [%d]" once it has children and counts them.
  std::string GetLineText() const override;

 private:
  bool FShowCount;
};

// A file name that many lines share (the hits of one file).
using TSharedFileName = std::shared_ptr<const std::string>;

class TFileMessageLine : public TLine {
 public:
  TFileMessageLine(std::string FileName, int32_t Line, int32_t Column, std::string Text, int32_t Ident = -1,
                   TLineBuffer* Group = nullptr);
  TFileMessageLine(TSharedFileName FileName, int32_t Line, int32_t Column, std::string Text, int32_t Ident = -1,
                   TLineBuffer* Group = nullptr);
  ~TFileMessageLine() override;

  std::string GetLineText() const override { return FText; }
  std::string GetFileName() const override { return *FFileName; }
  TFileMessageLine* AsFileMessageLine() override { return this; }
  bool CanGotoSource() const override { return true; }
  void GotoSource() override { Show(true); }
  void TrackSource() override { Show(false); }

  int32_t Line() const { return FLine; }
  int32_t Column() const { return FColumn; }
  int32_t Ident() const { return FIdent; }
  const std::string& Text() const { return FText; }
  const std::string& FileName() const { return *FFileName; }
  // The line and column the message points at now: tracked while it has a file entry,
  // else the stored ones. Lines from 1, columns from 1.
  int32_t CurrentLine() const;
  int32_t CurrentColumn() const;
  bool Tracked() const { return FEntry != nullptr; }

 protected:
  TSharedFileName FFileName;  // never null
  int32_t FLine;
  int32_t FColumn;
  std::string FText;
  int32_t FIdent;

 private:
  friend class TFileEntry;
  friend class TFileBuffer;
  void Show(bool Focus);

  TFileEntry* FEntry = nullptr;
  uint32_t FTrackId = 0;
  int FTrackIndex = -1;  // where the tracker holds FTrackId
};

class TCompilerMsgLine : public TFileMessageLine {
 public:
  TCompilerMsgLine(TMsgKind Kind, std::string Prefix, std::string FileName, int32_t Line, int32_t Column,
                   std::string Text, int32_t HelpId = 0, TLineBuffer* Group = nullptr)
      : TFileMessageLine(std::move(FileName), Line, Column, std::move(Text), -1, Group),
        FKind(Kind), FPrefix(std::move(Prefix)), FHelpId(HelpId) {}
  // "[prefix Kind] Unit.pas(28): text"; a child has no label, a line without a number no place.
  std::string GetLineText() const override;
  TMsgKind Kind() const { return FKind; }
  const std::string& Prefix() const { return FPrefix; }
  int32_t HelpId() const { return FHelpId; }

 private:
  TMsgKind FKind;
  std::string FPrefix;
  int32_t FHelpId;
};

class TFileFindLine : public TFileMessageLine {
 public:
  TFileFindLine(std::string FileName, int32_t Line, int32_t Column, std::string LineText, int32_t MatchStart,
                int32_t MatchLength, TLineBuffer* Group = nullptr)
      : TFileMessageLine(std::move(FileName), Line, Column, std::move(LineText), -1, Group),
        FMatchStart(MatchStart), FMatchLength(MatchLength) {}
  TFileFindLine(TSharedFileName FileName, int32_t Line, int32_t Column, std::string LineText, int32_t MatchStart,
                int32_t MatchLength, TLineBuffer* Group = nullptr)
      : TFileMessageLine(std::move(FileName), Line, Column, std::move(LineText), -1, Group),
        FMatchStart(MatchStart), FMatchLength(MatchLength) {}
  std::string GetLineText() const override;
  // Appends the text a find line shows, "FILE(LINE): TEXT", to Out: for a printer that
  // writes hits without making their lines.
  static void AppendLineText(std::string& Out, std::string_view FileName, int32_t Line, std::string_view LineText);
  int32_t MatchStart() const { return FMatchStart; }
  int32_t MatchLength() const { return FMatchLength; }

 private:
  int32_t FMatchStart;
  int32_t FMatchLength;
};

// A class of lines for ClearLineClass: IsLineClass<TCompilerMsgLine> takes that class and the
// classes derived from it; nullptr takes every line.
using TLineClass = bool (*)(const TLine&);
template <class T>
bool IsLineClass(const TLine& Line) {
  return dynamic_cast<const T*>(&Line) != nullptr;
}

class TEvMessageLine : public TEvArgs {
 public:
  TEvMessageLine(TLineBuffer& Group, TLine* Line) : Group(Group), Line(Line) {}
  TLineBuffer& Group;
  TLine* Line;  // nullptr for lines-removed
};

class TEvMessageGroup : public TEvArgs {
 public:
  explicit TEvMessageGroup(TLineBuffer& Group) : Group(Group) {}
  TLineBuffer& Group;
};

enum TMessageGroupAutoScrollType { mgastAlways, mgastNever, mgastAuto };

// One group (tab) of the message view.
class TLineBuffer {
 public:
  // A group made by a list tracks its file lines' positions through the list's file buffer.
  TLineBuffer(std::string Name, int Index, TLineBufferList* List = nullptr)
      : FName(std::move(Name)), FIndex(Index), FList(List) {}
  virtual ~TLineBuffer();
  TLineBuffer(const TLineBuffer&) = delete;  // lines point at their group
  TLineBuffer& operator=(const TLineBuffer&) = delete;

  // Appends a top-level line and sends line-added.
  TLine* Add(std::unique_ptr<TLine> Line);
  // Only file message lines are taken (others come back as nullptr): at the top level, or
  // under Parent when one is given.
  TLine* AddFileLine(std::unique_ptr<TLine> Line, TLine* Parent = nullptr);
  // Takes the top-level line out and frees it.
  void Remove(TLine* Line);
  void Clear();
  void ClearLineClass(TLineClass Class);
  int GetCount() const { return static_cast<int>(FLines.size()); }
  TLine* GetLines(int Index) const;
  // Top-level compiler messages of kind error or fatal.
  int GetErrorCount() const;
  const std::string& GetGroupName() const { return FName; }
  int GetGroupIndex() const { return FIndex; }
  void SetAutoScroll(bool Value) { FAutoScroll = Value; }
  bool GetAutoScroll() const { return FAutoScroll; }
  void SetAutoScrollType(TMessageGroupAutoScrollType Type) { FAutoScrollType = Type; }
  TMessageGroupAutoScrollType GetAutoScrollType() const { return FAutoScrollType; }
  void SetCanClose(bool Value) { FCanClose = Value; }
  bool GetCanClose() const { return FCanClose; }
  bool Clearing() const { return FClearing; }
  virtual bool IsSearchGroup() const { return false; }

  TEvent<TEvMessageLine>& EvLineAdded() { return FLineAdded; }
  TEvent<TEvMessageLine>& EvChildAdded() { return FChildAdded; }
  TEvent<TEvMessageLine>& EvLinesRemoved() { return FLinesRemoved; }

 private:
  friend class TLine;
  friend class TLineBufferList;
  void Prune(const std::function<bool(const TLine&)>& Take);

  std::string FName;
  int FIndex;
  TLineBufferList* FList;
  std::vector<std::unique_ptr<TLine>> FLines;
  bool FAutoScroll = true;
  TMessageGroupAutoScrollType FAutoScrollType = mgastAuto;
  bool FCanClose = true;
  bool FClearing = false;
  TEvent<TEvMessageLine> FLineAdded;
  TEvent<TEvMessageLine> FChildAdded;
  TEvent<TEvMessageLine> FLinesRemoved;
};

// A group filled by a search, with what it takes to repeat it.
class TSearchLineBuffer : public TLineBuffer {
 public:
  using TLineBuffer::TLineBuffer;
  bool IsSearchGroup() const override { return true; }
  std::string SearchString;
  TSearchFlags SearchFlags;
  int AdvancedMode = 0;
  unsigned AdvancedFlags = 0;
  std::string Directory;
  std::string FileMasks;
};

// One file that file message lines refer to: its lines and the tracker that moves their
// positions while the file has an edit buffer.
class TFileEntry {
 public:
  explicit TFileEntry(std::string FileName);
  ~TFileEntry();
  TFileEntry(const TFileEntry&) = delete;  // lines point at it
  TFileEntry& operator=(const TFileEntry&) = delete;

  const std::string& FileName() const { return FFileName; }
  int LineCount() const { return static_cast<int>(FLines.size()); }
  void AddLine(TFileMessageLine& Line);
  void RemoveLine(TFileMessageLine& Line);
  void AttachBuffer(TEditBuffer* Buffer);
  // The edit buffer whose edits move the positions, or nullptr.
  TEditBuffer* Buffer() const;
  // The tracked position of Line: {line, character index}; line 0 when it has none.
  void TrackedPosition(const TFileMessageLine& Line, int32_t& LineNum, int32_t& CharIndex) const;

 private:
  void LineMoved(int32_t OldLine, int32_t NewLine, uint32_t Id);
  // The tracker's index of the line's entry, or -1.
  int TrackIndex(const TFileMessageLine& Line) const;

  std::string FFileName;
  std::unique_ptr<TEdTracker> FTracker;
  // By id; ids only grow, so adding appends and the lines of a group that goes, which
  // leave last first, are taken from the end.
  std::vector<std::pair<uint32_t, TFileMessageLine*>> FLines;
  uint32_t FNextId = 1;
  bool FTracking = false;  // the file had an edit buffer: the tracker holds the positions
};

// The file entries, one per file name; an entry goes when its last line leaves.
class TFileBuffer {
 public:
  TFileBuffer();
  ~TFileBuffer();
  TFileBuffer(const TFileBuffer&) = delete;  // registered with the edit buffers' events
  TFileBuffer& operator=(const TFileBuffer&) = delete;

  void Register(TFileMessageLine& Line);
  void Unregister(TFileMessageLine& Line);
  TFileEntry* Find(const std::string& FileName) const;
  int Count() const { return static_cast<int>(FEntries.size()); }

 private:
  void BufferCreated(TEvEditBufferLife& Args);
  void BufferDestroyed(TEvEditBufferLife& Args);
  std::map<std::string, std::unique_ptr<TFileEntry>> FEntries;  // by expanded name
  // The entry of the file named last, as the line gave the name: hits of one file come in
  // runs.
  TSharedFileName FLastName;
  TFileEntry* FLastEntry = nullptr;
};

// What the hosts' message views are told to do: show (with the group to show), draw their
// lines again, or hide.
enum class TMsgViewChange { mvcShow, mvcUpdate, mvcHide };

class TEvMessageViews : public TEvArgs {
 public:
  TEvMessageViews(TMsgViewChange Change, TLineBuffer* Group) : Change(Change), Group(Group) {}
  TMsgViewChange Change;
  TLineBuffer* Group;  // the group the view shows
};

class TCustomizeLocalMenuEvent : public TEvArgs {
 public:
  explicit TCustomizeLocalMenuEvent(TLineBuffer* Group) : Group(Group) {}
  TLineBuffer* Group;
  std::vector<std::string> Items;  // the menu's item captions, to add to or change
};

// The groups of the process.
class TLineBufferList {
 public:
  TLineBufferList() = default;
  ~TLineBufferList();
  TLineBufferList(const TLineBufferList&) = delete;  // groups and lines point into it
  TLineBufferList& operator=(const TLineBufferList&) = delete;

  // The group of that name, made (with the next index) when missing.
  TLineBuffer* AddList(const std::string& Name);
  // The search group of that name; a new one when the name is missing or not a search group.
  TSearchLineBuffer* AddSearchList(const std::string& Name);
  TLineBuffer* GetGroup(const std::string& Name) const;
  TLineBuffer* GetItem(int Index) const;
  std::string GetName(int Index) const;
  int GetCount() const { return static_cast<int>(FGroups.size()); }
  // The group with index 0 always stays.
  void RemoveList(TLineBuffer* Group);
  void ClearList(TLineBuffer* Group);
  void ClearAll();
  // GroupIndex -1: every group.
  void ClearLineClass(TLineClass Class, int GroupIndex);
  void CustomizeLocalMenu(TCustomizeLocalMenuEvent& Args) { FCustomizeLocalMenu.Send(Args); }

  TFileBuffer& FileBuffer() { return FFileBuffer; }

  // The message view's selection: what NextMessage moves.
  TLine* Selected() const { return FSelected; }
  void SelectLine(TLine* Line) { FSelected = Line; }
  // The group the view shows: the selection's, else the one opened last, else the first.
  TLineBuffer* CurrentGroup() const;
  void SetCurrentGroup(TLineBuffer* Group) { FCurrentGroup = Group; }
  // Whether the message view is on screen, as OpenMsgView and HideMsgViews leave it; hosts
  // follow it through EvViewsChanged.
  bool ViewsVisible() const { return FViewsVisible; }

  TEvent<TEvMessageGroup>& EvGroupAdded() { return FGroupAdded; }
  TEvent<TEvMessageGroup>& EvGroupRemoved() { return FGroupRemoved; }
  TEvent<TCustomizeLocalMenuEvent>& EvCustomizeLocalMenu() { return FCustomizeLocalMenu; }
  TEvent<TEvMessageViews>& EvViewsChanged() { return FViewsChanged; }

 private:
  friend class TLineBuffer;
  friend void OpenMsgView(TLineBuffer* Group, bool Show);
  friend void UpdateMsgViews();
  friend void HideMsgViews();
  void ChangeViews(TMsgViewChange Change);
  TLineBuffer* Append(std::unique_ptr<TLineBuffer> Group);
  void Forget(const TLine& Line);

  std::vector<std::unique_ptr<TLineBuffer>> FGroups;
  TFileBuffer FFileBuffer;
  TLine* FSelected = nullptr;
  TLineBuffer* FCurrentGroup = nullptr;
  TEvent<TEvMessageGroup> FGroupAdded;
  TEvent<TEvMessageGroup> FGroupRemoved;
  TEvent<TCustomizeLocalMenuEvent> FCustomizeLocalMenu;
  TEvent<TEvMessageViews> FViewsChanged;
  bool FViewsVisible = false;
};

// The process's group list: made by InitializeMessageLines (or on first use), freed by
// FinalizeMessageLines.
TLineBufferList& LineBufferList();
void InitializeMessageLines();
void FinalizeMessageLines();

// How a message is shown in its file: the module layer opens the file and moves the cursor.
// Line 0: open without a position. Without a hook, an open edit buffer of the file shows it,
// else the file is opened as a module.
using TShowSourceHook = std::function<void(const std::string& FileName, int32_t Line, int32_t Column, int32_t Ident,
                                           bool Focus)>;
void SetShowSourceHook(TShowSourceHook Hook);

// Makes the group the one the view shows, with nothing selected; with Show, the view comes on
// screen showing it (hosts are told, also when it was on screen with another group).
void OpenMsgView(TLineBuffer* Group, bool Show);
// Tells the views on screen to draw their lines again (after lines changed in place).
void UpdateMsgViews();
// Takes the views off the screen; nothing when they are not on it.
void HideMsgViews();
void SelectLine(TLine* Line);
// Moves the selection to the next (or previous) line that leads to source, in the order the
// view shows the lines, and goes there; nullptr when there is none.
TLine* NextMessage(bool Forward);
// The same for compiler messages of kind error or fatal; FromTop starts before the first line
// (the end of a build).
TLine* NextErrorMessage(bool Forward, bool FromTop = false);
TLine* ShowFirstFind(TLineBuffer* Group);

// The text the view shows for every line of every group, a group's name and then its lines,
// children indented two spaces per level.
std::string MessageViewText();
// The N-th line (from 1) in that order, or nullptr.
TLine* MessageAt(int N);

}  // namespace nxs
