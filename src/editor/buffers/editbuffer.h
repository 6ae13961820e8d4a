// TEditBuffer: one open text file in one kernel buffer, with its name, file system, ages on
// disk and in memory, markers, undo objects for the modified state, and the views on it.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "editor/buffers/edtracker.h"
#include "editor/kernel/ek.h"
#include "editor/buffers/linemarks.h"
#include "shared/event.h"
#include "shared/fileio.h"
#include "shared/notifiers.h"

namespace nxs {

class TEditBuffer;
class TEditView;
class TEditSource;
class TEditWriter;
class TEditViewReader;

// A view as its buffer reaches it: the buffer moves, repaints, closes and reloads its views
// through this, and never needs the view's class. TEditView is the one kind.
class IEditBufferView {
 public:
  virtual ~IEditBufferView() = default;
  virtual TEditView& EditView() = 0;
  virtual PEkView ViewKernel() = 0;
  // The buffer closes: the view is on its way out.
  virtual void BufferClosing() = 0;
  // Asked before the buffer reads its file again: what puts the view back afterwards.
  virtual std::function<void()> KeepAcrossReload() = 0;
};

// Told of saves and changes of the buffer: plug-ins register these through its source
// (TEditSource::AddNotifier), and the buffer tells them as it saves and changes.
class IEditSourceNotifier {
 public:
  virtual ~IEditSourceNotifier() = default;
  virtual void BeforeSave() {}
  virtual void AfterSave() {}
  virtual void Modified() {}
};

// The module that owns a buffer (a document module): told when the text changes, asked
// whether it may change. The module layer implements it.
class IEditBufferOwner {
 public:
  virtual ~IEditBufferOwner() = default;
  virtual void SourceModified(TEditBuffer& Buffer) = 0;
  virtual bool QueryEditable(TEditBuffer& Buffer) { return true; }
};

// Asked before an edit; setting Allowed to false refuses it.
class TEvQueryEditEvent : public TEvArgs {
 public:
  explicit TEvQueryEditEvent(TEditBuffer& Buffer) : Buffer(Buffer) {}
  TEditBuffer& Buffer;
  bool Allowed = true;
};

class TEvCaretMoved : public TEvArgs {
 public:
  TEvCaretMoved(TEditView& View, int32_t Value) : View(View), Value(Value) {}
  TEditView& View;
  int32_t Value;  // the new line or column
};

// Process-wide: a buffer was made or is going away; a buffer's file changed (the file-age
// cache of the compiler services drops it).
class TEvEditBufferLife : public TEvArgs {
 public:
  explicit TEvEditBufferLife(TEditBuffer& Buffer) : Buffer(Buffer) {}
  TEditBuffer& Buffer;
};
TEvent<TEvEditBufferLife>& EvEditBufferCreated();
TEvent<TEvEditBufferLife>& EvEditBufferDestroyed();
TEvent<TEvEditBufferLife>& EvEditBufferFileChanged();

// Show modes for ShowLineCol/ShowText.
enum TShowMode : uint16_t {
  smFrozenLine = 1 << 0,
  smExecutionPoint = 1 << 1,
  smError = 1 << 2,
  smBehind = 1 << 3,
  smNoLoad = 1 << 4,
  smUnShow = 1 << 5,
  smNoFocus = 1 << 6,
  smHistory = 1 << 7,
  smOpenedDuringDebugging = 1 << 8,
};
using TShowModes = uint16_t;

struct TEditorCommandState {
  bool UndoAvailable = false;
  bool RedoAvailable = false;
  bool ValidBlockMarked = false;
  bool ClipboardDataValid = false;
};

// Line flags this layer keeps on kernel lines (the kernel's own are bits 0 and 1).
inline constexpr uint32_t lfBreakpoint = 0x100;
inline constexpr uint32_t lfExecutionPoint = 0x200;
inline constexpr uint32_t lfErrorLine = 0x400;
inline constexpr uint32_t lfBreakpointable = 0x800;

// A client undo procedure registered with the kernel and kept in the buffer's list.
class TUndoRedoObject {
 public:
  explicit TUndoRedoObject(TEditBuffer& Buffer);
  virtual ~TUndoRedoObject();
  TUndoRedoObject(const TUndoRedoObject&) = delete;  // the kernel holds its address
  TUndoRedoObject& operator=(const TUndoRedoObject&) = delete;

  // Registers with the kernel and joins the buffer's list, which owns it from then on. It goes
  // with the last change, or with OwnStep is an undo step of its own.
  static TUndoRedoObject* Register(std::unique_ptr<TUndoRedoObject> Object, bool OwnStep = false);
  bool Disabled() const { return FDisabled; }
  void Disable() { FDisabled = true; }

 protected:
  virtual void Undo() {}
  virtual void Redo() {}
  PEditorBuffer FEditorBuffer;
  TEditBuffer* FEditBuffer;
  bool FDisabled = false;

 private:
  static void Execute(void* Context, uint8_t Op);
};

// Swaps the buffer's modified state when the kernel undoes or redoes across it.
class TModifiedUndoRedo : public TUndoRedoObject {
 public:
  TModifiedUndoRedo(TEditBuffer& Buffer, uint16_t SavedFlags) : TUndoRedoObject(Buffer), FSavedFlags(SavedFlags) {}

 protected:
  // The kernel marks the buffer modified at each change it undoes or redoes; the swap runs in
  // its place among them and so has the last word when it comes last.
  void Undo() override { Swap(); }
  void Redo() override { Swap(); }

 private:
  void Swap();
  uint16_t FSavedFlags;
};

class TEditBuffer : public std::enable_shared_from_this<TEditBuffer> {
 public:
  // Makes the buffer and its kernel buffer (InitEditorBuffer). With Load set the file is read
  // through the file system (nullptr: the process's); otherwise the buffer starts empty.
  static std::shared_ptr<TEditBuffer> Create(const std::string& FileName, bool Load,
                                             std::shared_ptr<IFileSystem> FS = nullptr,
                                             IEditBufferOwner* Module = nullptr);
  ~TEditBuffer();
  TEditBuffer(const TEditBuffer&) = delete;  // the kernel and the views hold its address
  TEditBuffer& operator=(const TEditBuffer&) = delete;

  // The buffer whose file is FileName (compared as file names), or nullptr.
  static std::shared_ptr<TEditBuffer> FindBuffer(const std::string& FileName);
  static TEditBuffer* FromKernelBuffer(PEditorBuffer Buffer);
  // Every buffer, in the order they were made.
  static std::vector<std::shared_ptr<TEditBuffer>> AllBuffers();

  // Files.
  void LoadFile();
  void ReloadFile();
  // The text as UTF-8 (a leading byte-order mark is remembered and dropped) or in the
  // system code page (Latin-1 here), converted to UTF-8.
  void ReadFromStreamUTF8(std::string_view Data);
  void ReadFromStreamAnsi(std::string_view Data);
  // The text as it is saved: UTF-8 with the byte-order mark the file had; ANSI converts to
  // Latin-1 and keeps UTF-8 when a character has no Latin-1 form, so that nothing is lost;
  // UTF-16 (a file that began with its byte-order mark) in the file's byte order, with the mark.
  std::string WriteToStreamUTF8();
  std::string WriteToStreamAnsi();
  std::string WriteToStreamUTF16();
  // The bytes a save writes, in the file's encoding.
  std::string SavedText();
  // Writes the file as SavedText gives it.
  void WriteSavedText(IFileSystem& FS);
  // The text in UTF-8, the file's line ends kept.
  std::string Text();
  // The text of the file on disk as this buffer would hold it, read now.
  std::string DiskText();
  // A save that would change the file's encoding (an 8-bit file that got a character its code
  // page lacks) asks first; No raises EAbort and changes nothing, Yes makes the file UTF-8.
  // SaveFile asks through this; a caller that must ask before it does anything else of a
  // save (its backup) calls it first.
  void ConfirmSaveEncoding();
  void Save() { SaveFile(); }
  void SaveFile();
  void SaveAndClose();
  void Close();
  void Rename(const std::string& NewName);
  // True when the file on disk changed since the last check: its time, its size or the file
  // itself (its inode) differs.
  bool CheckFileDate();
  // True when the text may differ from the file on disk: the buffer is modified, or the file
  // changed since it was read or saved. Nothing is remembered.
  bool DiskDiffers();

  const std::string& FileName() const { return FFileName; }
  const std::string& OldFileName() const { return FOldFileName; }
  IFileSystem& FileSystem();
  void SetFileSystem(std::shared_ptr<IFileSystem> FS);
  IEditBufferOwner* Module() const { return FModule; }
  void SetModule(IEditBufferOwner* Module) { FModule = Module; }
  const std::string& FileFilter() const { return FFileFilter; }
  bool HasByteOrderMark() const { return FHasBOM; }

  // Modified state.
  bool GetIsModified() const;
  void SetModified(bool Modified);
  void MarkModified() { SetModified(true); }
  void SourceModified();
  void SourceUnmodified() { SetModified(false); }
  void SourceReloaded();
  int32_t FileAge() const { return FFileAge; }
  int32_t DiskAge() const { return FDiskAge; }

  // Editability.
  bool GetReadOnly() const;
  void SetReadOnly(bool ReadOnly);
  bool GetSourceEditable();
  bool QueryIsEditable();
  bool QueryLocked() const { return GetReadOnly(); }
  bool FileReadOnly() const { return FFileReadOnly; }
  void Lock() { FBufferCriticalSection.lock(); }
  void Unlock() { FBufferCriticalSection.unlock(); }

  void ClearUndoBuffer();
  std::unique_ptr<TEditViewReader> CreateReader();
  std::unique_ptr<TEditWriter> CreateWriter();
  std::unique_ptr<TEditWriter> CreateUndoableWriter();

  // Views. A view adds itself when it is made and removes itself when it goes.
  std::unique_ptr<TEditView> OpenNewView();
  void InsertView(IEditBufferView* View);
  void RemoveView(IEditBufferView* View);
  TEditView* GetView(int Index) const;
  int GetViewCount() const { return static_cast<int>(FViewList.size()); }
  void UpdateViews();
  void RefreshViews();
  // Moves every view's cursor to the line and column (the first view gets the focus).
  void ShowLineCol(int32_t Line, int32_t Col, TShowModes Modes = 0);
  void ShowText(int32_t Line, int32_t Col, int32_t Length, TShowModes Modes = 0);

  // Markers.
  void SetErrorLine(int32_t Line);
  void ClearErrorLine();
  int32_t ErrorLine() const;
  void SetCPULine(int32_t Line);
  void ClearCPULine();
  std::vector<int32_t> CPULines() const;
  void ToggleBreakpoint(int32_t Line);
  void SetBreakMarks(const std::vector<int32_t>& Lines);
  std::vector<int32_t> BreakMarks() const;
  void SetBreakpointables(const std::vector<int32_t>& Lines);
  bool IsBreakpointable(int32_t Line) const;
  TEdTracker& BreakListTable() { return *FBreakListTable; }
  TEditorLineMarks& EditorLineMarks() { return *FEditorLineMarks; }

  TEditorCommandState GetEditorState();
  void FreezeBuffer(bool Freeze);
  void SetSyntaxLang(uint8_t Lang);
  uint8_t SyntaxLang() const { return FSyntaxLang; }
  void AddChildBuffer(const std::shared_ptr<TEditBuffer>& Child);
  void RemoveChildBuffer(TEditBuffer* Child);
  const std::vector<std::shared_ptr<TEditBuffer>>& Children() const { return FChildren; }

  // The string-list view of the text: lines from 0.
  int LineCount();
  std::string GetLine(int Index);

  TEditSource& EditSource();
  // The notifiers registered through the source.
  TNotifierList<IEditSourceNotifier>& SourceNotifiers() { return FSourceNotifiers; }
  PEkView EkView() { return &FEkView; }
  PEditorBuffer KernelBuffer() const { return FEkView.Editor; }
  TEvent<TEvQueryEditEvent>& EvQueryEditEvent() { return FEvQueryEditEvent; }
  TEvent<TEvCaretMoved>& EvCaretLineChange() { return FEvCaretLineChange; }
  TEvent<TEvCaretMoved>& EvCaretColChange() { return FEvCaretColChange; }

  bool PreserveLineEnds() const { return FPreserveLineEnds; }
  void SetPreserveLineEnds(bool Preserve) { FPreserveLineEnds = Preserve; }
  bool LineTooLong() const { return FLineTooLong; }
  bool IgnoreForOpen = false;
  bool FileWasReadOnlyBeforeDebug = false;

  // Undo objects: owned here, registered with the kernel.
  void AddUndoObject(std::unique_ptr<TUndoRedoObject> Object);
  void RemoveUndoObject(TUndoRedoObject* Object);
  // A new modified-state object; all older ones stop acting.
  void AddModifiedUndo(uint16_t SavedFlags);

 private:
  TEditBuffer(const std::string& FileName, std::shared_ptr<IFileSystem> FS, IEditBufferOwner* Module);
  void InitEditorBuffer(bool Load);
  void ApplySourceOptions();
  void StampFileAge();
  void SetMarkerLine(TEdTracker& Tracker, uint32_t Flag, int32_t Line, bool On);
  void ReadText(std::string_view Utf8);
  // What follows a new text: not modified, the undo history's first object.
  void TextRead();
  void RememberDiskState(const TFileInfo& Info);
  bool ChangedOnDisk(const TFileInfo& Info) const;

  std::string FFileName;
  std::string FOldFileName;
  std::shared_ptr<IFileSystem> FFileSystem;
  IEditBufferOwner* FModule;
  std::string FFileFilter;
  bool FHasBOM = false;
  int32_t FFileAge = -1;
  int32_t FDiskAge = -1;
  int64_t FDiskStamp = -1;  // nanoseconds: finer than a file date for the change check
  uint64_t FDiskSize = 0;
  uint64_t FDiskInode = 0;
  bool FFrozenInvalid = false;
  bool FFileReadOnly = false;
  bool FLineTooLong = false;
  bool FSourceEditable = true;
  bool FPreserveLineEnds = true;
  uint8_t FSyntaxLang = 0;
  TEkView FEkView{};
  std::recursive_mutex FBufferCriticalSection;
  std::vector<IEditBufferView*> FViewList;
  std::unique_ptr<TEdTracker> FBreakListTable;
  std::unique_ptr<TEdTracker> FCPULines;
  std::unique_ptr<TEdTracker> FErrorLine;
  std::vector<int32_t> FBreakpointables;
  std::unique_ptr<TEditorLineMarks> FEditorLineMarks;
  // Shared, so that the buffer can drop the facade without knowing its class.
  std::shared_ptr<TEditSource> FEditSource;
  TNotifierList<IEditSourceNotifier> FSourceNotifiers;
  TEditBuffer* FOwner = nullptr;
  std::vector<std::shared_ptr<TEditBuffer>> FChildren;
  std::vector<std::unique_ptr<TUndoRedoObject>> FModifiedUndoList;
  TEvent<TEvQueryEditEvent> FEvQueryEditEvent;
  TEvent<TEvCaretMoved> FEvCaretLineChange;
  TEvent<TEvCaretMoved> FEvCaretColChange;
  bool FKernelReady = false;
};

// The current text of the open buffer for FileName, as it would be saved; false when no
// buffer has that file. Start-up connects it to the project document's hook.
bool GetOpenBufferText(const std::string& FileName, std::string& Text);

// Incremented by every reload: readers made before it stop reading.
extern std::atomic<uint32_t> ReloadCounter;

}  // namespace nxs
