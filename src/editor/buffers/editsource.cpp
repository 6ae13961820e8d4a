// The buffer facade: options, block, content and notifiers.
#include "editor/buffers/editsource.h"

#include "editor/buffers/edkrnl.h"
#include "editor/buffers/edoptions.h"
#include "editor/buffers/editbuffer.h"
#include "editor/buffers/editstream.h"
#include "editor/buffers/editview.h"
#include "editor/buffers/ekinit.h"
#include "editor/buffers/resstrings.h"
#include "shared/format.h"
#include "shared/text.h"

namespace nxs {

TEditSource::TEditSource(TEditBuffer& Buffer) : FEditBuffer(Buffer) {}

// The buffer's facade, made on first use.
TEditSource& TEditBuffer::EditSource() {
  if (!FEditSource) FEditSource = std::make_shared<TEditSource>(*this);
  return *FEditSource;
}

bool TEditSource::Mode(uint32_t Bit) const {
  TEdModesLock G;
  return (FEditBuffer.KernelBuffer()->EdModes & Bit) != 0;
}

void TEditSource::SetMode(uint32_t Bit, bool On) {
  TEdModesLock G;
  // A packed field: read and written by value, never bound to a reference.
  PEditorBuffer Buffer = FEditBuffer.KernelBuffer();
  const uint32_t Modes = Buffer->EdModes;
  Buffer->EdModes = On ? (Modes | Bit) : (Modes & ~Bit);
}

bool TEditSource::GetPreserveLineEnds() const { return FEditBuffer.PreserveLineEnds(); }
void TEditSource::SetPreserveLineEnds(bool V) { FEditBuffer.SetPreserveLineEnds(V); }

int TEditSource::GetRightMargin() const {
  TEdModesLock G;
  return FEditBuffer.KernelBuffer()->RightMargin;
}

void TEditSource::SetRightMargin(int V) {
  if (V < 0 || V > 4095) throw EEditorError(Format(res::SIntegerOutOfRange, res::SRightMargin, 0, 4095));
  TEdModesLock G;
  FEditBuffer.KernelBuffer()->RightMargin = static_cast<int16_t>(V);
}

void TEditSource::SetLeftGutterWidth(int V) {
  if (V < 0 || V > 4095) throw EEditorError(Format(res::SIntegerOutOfRange, res::SLeftGutterWidth, 0, 4095));
  FLeftGutterWidth = V;
}

int TEditSource::GetUndoLimit() const { return static_cast<int>(nxs::GetUndoLimit(FEditBuffer.EkView())); }
void TEditSource::SetUndoLimit(int V) { nxs::SetUndoLimit(FEditBuffer.EkView(), static_cast<uint32_t>(V < 0 ? 0 : V)); }

std::string TEditSource::GetTabStops() const {
  const TTabRack Rack = GetTabRack(FEditBuffer.EkView());
  if (Rack.Length == 0) return IntToStr(Rack.TabWidth ? Rack.TabWidth : 8);
  std::vector<std::string> Parts;
  for (int I = 0; I < Rack.Length && I < EkMaxTabStops; ++I) Parts.push_back(IntToStr(Rack.Stops[I]));
  return Join(Parts, " ");
}

void TEditSource::SetTabStops(const std::string& V) {
  std::vector<int> Stops;
  if (!ParseTabStops(V, Stops)) return;
  TTabRack Rack{};
  if (Stops.size() == 1) {
    Rack.TabWidth = static_cast<uint16_t>(Stops[0]);
  } else {
    Rack.Length = static_cast<uint16_t>(std::min<size_t>(Stops.size(), EkMaxTabStops));
    for (int I = 0; I < Rack.Length; ++I) Rack.Stops[I] = static_cast<uint16_t>(Stops[static_cast<size_t>(I)]);
  }
  SetTabRack(FEditBuffer.EkView(), Rack);
}

TCharPos TEditSource::BlockStart() const {
  TCharPos S, A;
  GetMarkedRange(FEditBuffer.EkView(), false, false, S, A);
  return S;
}

TCharPos TEditSource::BlockAfter() const {
  TCharPos S, A;
  GetMarkedRange(FEditBuffer.EkView(), false, false, S, A);
  return A;
}

TBlockType TEditSource::BlockType() const { return GetBlockType(FEditBuffer.EkView()); }
bool TEditSource::BlockVisible() const { return nxs::BlockVisible(FEditBuffer.EkView()); }

void TEditSource::SetBlock(TCharPos Start, TCharPos After, TBlockType Type) {
  SetBlockType(FEditBuffer.EkView(), Type);
  SetMarkedRange(FEditBuffer.EkView(), false, false, Start, After);
  UnHideBlock(FEditBuffer.EkView());
}

std::string TEditSource::GetContent() const {
  std::string Text;
  if (!WriteToStream(FEditBuffer.EkView(), Text, FEditBuffer.PreserveLineEnds())) return {};
  return Text;
}

void TEditSource::SetContent(std::string_view Text) {
  // The writer counts the bytes as stored: GetContent may give other line ends than the
  // buffer holds, and their length would delete too little or too much.
  std::string Old;
  if (!WriteToStream(FEditBuffer.EkView(), Old, true)) throw EEditorError(res::SUnableToOpenEditorForReading);
  std::unique_ptr<TEditWriter> W = FEditBuffer.CreateUndoableWriter();
  W->DeleteTo(static_cast<uint32_t>(Old.size()));
  W->Insert(Text);
}

int32_t TEditSource::GetContentAge() const { return FEditBuffer.FileAge(); }
int32_t TEditSource::GetLinesInBuffer() const { return TotalLinesInBuffer(FEditBuffer.EkView()); }
void TEditSource::Undo() { nxs::Undo(TopView() ? TopView()->EkView() : FEditBuffer.EkView()); }
void TEditSource::Redo() { nxs::Redo(TopView() ? TopView()->EkView() : FEditBuffer.EkView()); }
void TEditSource::ClearUndo() { FEditBuffer.ClearUndoBuffer(); }

void TEditSource::Indent(int Columns) {
  if (Columns == 0) return;
  IndentBlock(TopView() ? TopView()->EkView() : FEditBuffer.EkView(), Columns < 0,
              static_cast<int16_t>(Columns < 0 ? -Columns : Columns));
}

std::unique_ptr<TEditViewReader> TEditSource::CreateReader() { return FEditBuffer.CreateReader(); }
std::unique_ptr<TEditWriter> TEditSource::CreateWriter() { return FEditBuffer.CreateWriter(); }
std::unique_ptr<TEditWriter> TEditSource::CreateUndoableWriter() { return FEditBuffer.CreateUndoableWriter(); }

int TEditSource::AddNotifier(std::shared_ptr<IEditSourceNotifier> Notifier) {
  return FEditBuffer.SourceNotifiers().Add(std::move(Notifier));
}
void TEditSource::RemoveNotifier(int Index) { FEditBuffer.SourceNotifiers().Remove(Index); }
void TEditSource::NotifyBeforeSave() { FEditBuffer.SourceNotifiers().Notify([](IEditSourceNotifier& N) { N.BeforeSave(); }); }
void TEditSource::NotifyAfterSave() { FEditBuffer.SourceNotifiers().Notify([](IEditSourceNotifier& N) { N.AfterSave(); }); }
void TEditSource::NotifyModified() { FEditBuffer.SourceNotifiers().Notify([](IEditSourceNotifier& N) { N.Modified(); }); }

TEditView* TEditSource::TopView() const { return FEditBuffer.GetView(FTopView) ? FEditBuffer.GetView(FTopView) : FEditBuffer.GetView(0); }

void TEditSource::SwitchToView(int Index) {
  if (FEditBuffer.GetView(Index)) FTopView = Index;
}

TEdTracker& TEditSource::EditTracker() {
  if (!FEditTracker) {
    FEditTracker = std::make_unique<TEdTracker>(&FEditBuffer);
    FEditTracker->Attach();
  }
  ++FEditTrackerCounter;
  return *FEditTracker;
}

}  // namespace nxs
