// Writers, readers and the read-only editor stream.
#include "editor/buffers/editstream.h"

#include <cstring>

#include "editor/buffers/edkrnl.h"
#include "editor/buffers/editbuffer.h"
#include "editor/buffers/editview.h"
#include "editor/buffers/ekinit.h"
#include "editor/buffers/resstrings.h"
#include "shared/format.h"

namespace nxs {

// The buffer's readers and writers.
std::unique_ptr<TEditViewReader> TEditBuffer::CreateReader() { return std::make_unique<TEditViewReader>(*this); }
std::unique_ptr<TEditWriter> TEditBuffer::CreateWriter() { return std::make_unique<TEditWriter>(*this, false); }
std::unique_ptr<TEditWriter> TEditBuffer::CreateUndoableWriter() { return std::make_unique<TEditWriter>(*this, true); }

// -- Writer -----------------------------------------------------------------------------------

TEditWriter::TEditWriter(TEditBuffer& Buffer, bool Undoable)
    : FBuffer(Buffer), FEkView(Buffer.EkView()), FUndoable(Undoable), FCursorTracker(&Buffer) {
  // The other views keep their cursors on the same text while the writer patches it.
  for (int I = 0; I < Buffer.GetViewCount(); ++I) {
    PEkView V = Buffer.GetView(I)->EkView();
    FCursorTracker.AddPos(ConvertPos(V, V->Cursor), static_cast<uint32_t>(I));
  }
  FCursorTracker.Attach();
  OpenReadFile(FEkView, FEdFile);
  FOldBlockType = GetBlockType(FEkView);
  SetBlockType(FEkView, btNonInclusive);
  EndMac(FEkView);
  if (FUndoable) SetUndoGroup(FEkView, ugGroupWithNone);
  FOldHighlighter = GetSyntaxHilighter(FEkView);
  SetSyntaxHilighter(FEkView, 0);
  if (!FUndoable && Buffer.GetIsModified()) Buffer.ClearUndoBuffer();
}

TEditWriter::~TEditWriter() {
  try {
    CloseReadFile(FEkView, FEdFile);
    SetBlockType(FEkView, FOldBlockType);
    FCursorTracker.TableChanged();
    for (int I = 0; I < FCursorTracker.Count(); ++I) {
      if (!FCursorTracker.InUse(I)) continue;
      TEditView* View = FBuffer.GetView(static_cast<int>(FCursorTracker.GetData(I)));
      if (View) GotoCharPos(View->EkView(), FCursorTracker.GetPosition(I), false);
    }
    FCursorTracker.Detach();
    SetSyntaxHilighter(FEkView, FOldHighlighter);
    for (int I = 0; I < FBuffer.GetViewCount(); ++I) FixCursor(FBuffer.GetView(I)->EkView());
    FBuffer.RefreshViews();
    if (FChanged) {
      if (!FUndoable) FBuffer.ClearUndoBuffer();
      {
        TEdModesLock G;
        FEkView->Editor->ModifyFlags &= static_cast<uint16_t>(~mfModifiedNotify);
      }
      FBuffer.SourceModified();
    }
  } catch (...) {
    // A destructor cannot report; the text itself is already in place.
  }
}

void TEditWriter::BeginAction() {
  LockEdModes();
  if (FActionDepth++ > 0) return;
  FOldModes = FEkView->Editor->EdModes;
  uint32_t Modes = FOldModes;
  if (!FUndoable) Modes |= emNoUndo;
  // Under emWriter the kernel inserts the text as given; the blank-handling modes go too.
  Modes &= ~(emKeepTrailingBlanks | emOptimalFill);
  Modes |= emWriter | emInsert;
  FEkView->Editor->EdModes = Modes;
}

void TEditWriter::EndAction() {
  if (--FActionDepth == 0) FEkView->Editor->EdModes = FOldModes;
  UnlockEdModes();
}

void TEditWriter::CheckReadOnly() {
  if (FBuffer.GetReadOnly()) throw EEditorError(Format(res::SEditBufferReadOnly, FBuffer.FileName()));
}

void TEditWriter::CopyTo(uint32_t Offset) {
  if (Offset <= FFilePos) return;
  BeginAction();
  try {
    // Step over the kept text in the current coordinates.
    SeekTo(FEkView, FEdFile, FEdFile.Pos + (Offset - FFilePos));
    FFilePos = Offset;
  } catch (...) {
    EndAction();
    throw;
  }
  EndAction();
}

void TEditWriter::DeleteTo(uint32_t Offset) {
  if (Offset <= FFilePos) return;
  CheckReadOnly();
  BeginAction();
  try {
    nxs::DeleteTo(FEkView, FEdFile, static_cast<int32_t>(Offset - FFilePos));
    SeekTo(FEkView, FEdFile, FEdFile.Pos);  // the character position may have changed meaning
    FFilePos = Offset;
    FChanged = true;
  } catch (...) {
    EndAction();
    throw;
  }
  EndAction();
}

void TEditWriter::Insert(std::string_view Text) {
  if (Text.empty()) return;
  CheckReadOnly();
  BeginAction();
  try {
    // By byte offset and as given: the cursor cannot reach past the 32,767th column of a long
    // line, and typed text would have its line breaks made the buffer's own.
    InsertAt(FEkView, FEdFile.Pos, Text, TotalLinesInBuffer(FEkView) > 0 ? ugGroupDefault : ugGroupWithDataChangeAdd);
    if (!FUndoable) EndMac(FEkView);
    SeekTo(FEkView, FEdFile, FEdFile.Pos + static_cast<uint32_t>(Text.size()));
    FChanged = true;
  } catch (...) {
    EndAction();
    throw;
  }
  EndAction();
}

// -- Reader -----------------------------------------------------------------------------------

TEditViewReader::TEditViewReader(TEditBuffer& Buffer) : FBuffer(Buffer), FModificationCount(ReloadCounter) {
  OpenReadFile(Buffer.EkView(), FEdFile);
}

TEditViewReader::~TEditViewReader() { CloseReadFile(FBuffer.EkView(), FEdFile); }

int TEditViewReader::GetText(uint32_t Offset, char* Buffer, int Count) {
  if (FModificationCount != ReloadCounter) throw EAbort();
  if (Count <= 0) return 0;
  if (Offset != FEdFile.Pos && !SeekTo(FBuffer.EkView(), FEdFile, Offset)) return 0;
  return static_cast<int>(ReadChars(FBuffer.EkView(), FEdFile, Buffer, static_cast<uint32_t>(Count)));
}

// -- Stream -----------------------------------------------------------------------------------

int TEditorStream::Read(char* Buffer, int Count) {
  if (Count <= 0) return 0;
  const size_t N = std::min<size_t>(static_cast<size_t>(Count), FText.size() - FPos);
  std::memcpy(Buffer, FText.data() + FPos, N);
  FPos += N;
  return static_cast<int>(N);
}

std::unique_ptr<TEditorStream> OpenEditorStream(TEditBuffer& Buffer, bool ByteOrderMark) {
  if (!Buffer.KernelBuffer()) throw EEditorError(res::SUnableToOpenEditorForReading);
  std::string Text = ByteOrderMark ? "\xEF\xBB\xBF" : "";
  if (!WriteToStream(Buffer.EkView(), Text, true)) throw EEditorError(res::SUnableToOpenEditorForReading);
  return std::make_unique<TEditorStream>(std::move(Text));
}

}  // namespace nxs
