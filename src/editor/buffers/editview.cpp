// Edit views: the kernel view of each, the saved view state and the bookmarks string.
#include "editor/buffers/editview.h"

#include <cstdio>

#include "editor/buffers/edkrnl.h"
#include "editor/buffers/editbuffer.h"
#include "editor/buffers/ekinit.h"
#include "shared/filenames.h"
#include "shared/format.h"
#include "shared/text.h"

namespace nxs {

namespace {
std::string Get(const TViewState& State, const char* Key) {
  auto It = State.find(Key);
  return It == State.end() ? std::string() : It->second;
}
}  // namespace

std::unique_ptr<TEditView> TEditBuffer::OpenNewView() { return std::make_unique<TEditView>(shared_from_this()); }

TEditView::TEditView(std::shared_ptr<TEditBuffer> Buffer) : FEditBuffer(std::move(Buffer)) { Attach(); }

TEditView::~TEditView() {
  Destroying = true;
  Detach();
}

void TEditView::Attach() {
  FEkView = TEkView{};
  NewEditor(FEditBuffer->KernelBuffer(), &FEkView);
  FEditBuffer->InsertView(this);
}

void TEditView::Detach() {
  FEditBuffer->RemoveView(this);
  KillEditor(&FEkView);
}

std::function<void()> TEditView::KeepAcrossReload() {
  TViewState State;
  SaveViewState(State);
  return [this, State = std::move(State)] {
    LoadViewState(State);
    FixCursor(EkView());
  };
}

void TEditView::SetCursor(TEdPos Pos) { GotoLineCol(&FEkView, Pos.LineNum, Pos.Col); }

void TEditView::SetEditBuffer(std::shared_ptr<TEditBuffer> Buffer) {
  if (!Buffer || Buffer == FEditBuffer) return;
  Detach();
  FEditBuffer = std::move(Buffer);
  Attach();
}

std::unique_ptr<TEditView> TEditView::CloneEditView() {
  auto Clone = std::make_unique<TEditView>(FEditBuffer);
  Clone->SetCursor(Cursor());
  return Clone;
}

std::string TEditView::BookmarksString(const TSavedLineMap& MapLine) {
  std::string S;
  for (int I = 0; I <= 9; ++I) {
    const TCharPos P = GetMarkerPos(&FEkView, mkBookmark0 + static_cast<uint32_t>(I));
    if (P.LineNum < 1) continue;
    const int32_t Line = MapLine ? MapLine(P.LineNum) : P.LineNum;
    if (Line < 1) continue;
    S += Format("{%d,%d,%d}", I, static_cast<int>(Line), static_cast<int>(P.Index));
  }
  return S;
}

void TEditView::LoadBookmarks(const std::string& Text) {
  size_t Pos = 0;
  while ((Pos = Text.find('{', Pos)) != std::string::npos) {
    const size_t End = Text.find('}', Pos);
    if (End == std::string::npos) break;
    const std::vector<std::string> Parts = Split(Text.substr(Pos + 1, End - Pos - 1), ',');
    Pos = End + 1;
    if (Parts.size() != 3) continue;
    const int64_t N = StrToIntDef(Trim(Parts[0]), -1), Line = StrToIntDef(Trim(Parts[1]), 0),
                  Index = StrToIntDef(Trim(Parts[2]), 0);
    if (N < 0 || N > 9 || Line < 1 || Line > TotalLinesInBuffer(&FEkView) || Index < 0 || Index > INT32_MAX) continue;
    SetMarkerPos(&FEkView, mkBookmark0 + static_cast<uint32_t>(N),
                 TCharPos{static_cast<int32_t>(Index), static_cast<int32_t>(Line)});
  }
}

void TEditView::SaveViewState(TViewState& State) {
  State["Module"] = FEditBuffer->FileName();
  State["CursorX"] = IntToStr(FEkView.Cursor.Col);
  State["CursorY"] = IntToStr(FEkView.Cursor.LineNum);
  State["TopLine"] = IntToStr(FEkView.WinTopLine);
  State["LeftCol"] = IntToStr(FEkView.WinLeftCol);
  State["Elisions"] = PrintElisions(&FEkView);
  State["Bookmarks"] = BookmarksString();
  State["EditViewName"] = FDefaultEditViewName;
}

void TEditView::LoadViewState(const TViewState& State) {
  const int64_t X = StrToIntDef(Get(State, "CursorX"), 1), Y = StrToIntDef(Get(State, "CursorY"), 1);
  const int64_t Top = StrToIntDef(Get(State, "TopLine"), 1), Left = StrToIntDef(Get(State, "LeftCol"), 1);
  GotoLineCol(&FEkView, static_cast<int32_t>(std::max<int64_t>(Y, 1)),
              static_cast<int32_t>(std::clamp<int64_t>(X, 1, INT32_MAX)), false);
  {
    TEdModesLock G;
    FEkView.WinTopLine = static_cast<int32_t>(std::max<int64_t>(Top, 1));
    FEkView.WinLeftCol = static_cast<int32_t>(std::clamp<int64_t>(Left, 1, INT32_MAX));
  }
  FixEd(&FEkView);
  InsertSavedElisions(&FEkView, Get(State, "Elisions"));
  LoadBookmarks(Get(State, "Bookmarks"));
  const std::string Name = Get(State, "EditViewName");
  if (!Name.empty()) FDefaultEditViewName = Name;
}

bool TEditView::BookmarkGoto(int Index) { return nxs::BookmarkGoto(&FEkView, Index); }

bool TEditView::BookmarkRecord(int Index, bool Toggle) { return nxs::BookmarkRecord(&FEkView, Index, Toggle); }

std::string TEditView::GetCaption() const {
  std::string Caption = ExtractFileName(FEditBuffer->FileName());
  if (!FDefaultEditViewName.empty()) Caption += " (" + FDefaultEditViewName + ")";
  return Caption;
}

TEditView::TEditState TEditView::GetEditState() {
  TEditState S{};
  {
    TEdModesLock G;
    S.InsertMode = (FEkView.Editor->EdModes & emInsert) != 0;
    S.UndoAvailable = FEkView.Editor->UndoAvailable != 0;
    S.RedoAvailable = FEkView.Editor->RedoAvailable != 0;
  }
  S.BlockMarked = BlockIsMarked(&FEkView);
  return S;
}

bool TEditView::WindowCommand(const std::string& Name) {
  const std::optional<TEkCommandRef> Ref = EkFindCommand(Name);
  return Ref && RunMapCommand(&FEkView, *Ref).Known;
}

void TEditView::Save() { FEditBuffer->SaveFile(); }

void TEditView::SaveAndClose() {
  Save();
  Destroying = true;
}

bool TEditView::TryCloseView() { return !FEditBuffer->GetIsModified() || FEditBuffer->GetViewCount() > 1; }

void TEditView::ToggleBreakpoint() { FEditBuffer->ToggleBreakpoint(FEkView.Cursor.LineNum); }

bool TEditView::IsBreakpointableLine(int32_t Line) const { return FEditBuffer->IsBreakpointable(Line); }

}  // namespace nxs
