#include "modules/srcclosedfile.h"

#include <algorithm>
#include <utility>

#include "modules/resstrings.h"
#include "shared/deskparse.h"
#include "shared/format.h"
#include "shared/text.h"

namespace nxs {

namespace {

// Folded regions and bookmarks contain commas ("{{1,0},{5,3},{'x'}}", "{0,12,5}"), so they
// are stored quoted like the file name. Values written unquoted by older versions come
// apart at every comma: the parts from item 9 on are put together again and split at the
// first comma outside braces.
void SplitEditorTexts(const std::vector<std::string>& Items, std::string& Elisions, std::string& Bookmarks) {
  if (Items.size() <= 11) {
    Elisions = Items.size() > 9 ? Items[9] : "";
    Bookmarks = Items.size() > 10 ? Items[10] : "";
    return;
  }
  std::string Raw;
  for (size_t I = 9; I < Items.size(); ++I) Raw += (I > 9 ? "," : "") + Items[I];
  int Depth = 0;
  for (size_t I = 0; I < Raw.size(); ++I) {
    char C = Raw[I];
    if (C == '\\') {
      ++I;
    } else if (C == '{') {
      ++Depth;
    } else if (C == '}') {
      Depth = std::max(0, Depth - 1);
    } else if (C == ',' && Depth == 0) {
      Elisions = Raw.substr(0, I);
      Bookmarks = Raw.substr(I + 1);
      return;
    }
  }
  Elisions = Raw;
  Bookmarks.clear();
}

int ItemInt(const std::vector<std::string>& Items, size_t Index, int Default) {
  return Index < Items.size() ? static_cast<int>(StrToIntDef(Trim(Items[Index]), Default)) : Default;
}

}  // namespace

TSourceModuleClosedFile::TSourceModuleClosedFile(const IClosedFileModule& Module) : TClosedFile(Module) {
  IClosedSourceState* S = const_cast<IClosedFileModule&>(Module).SourceState();
  if (!S) return;
  FDesignerState = S->DesignerState();
  FFormOnTop = S->FormOnTop();
  if (!S->HasView()) return;
  TClosedViewState View = S->ViewState();
  FViewTop = View.TopLeft;
  FCursor = View.Cursor;
  FElisions = std::move(View.Elisions);
  FBookmarks = std::move(View.Bookmarks);
}

TClosedFileClass TSourceModuleClosedFile::Class() {
  TClosedFileClass C;
  C.ClassName = "TSourceModuleClosedFile";
  C.CanHandleModule = [](const IClosedFileModule& M) { return M.ModuleClassName() == res::SSourceModuleHandler; };
  C.CreateEmpty = [] { return std::make_unique<TSourceModuleClosedFile>(); };
  C.Create = [](const IClosedFileModule& M) { return std::make_unique<TSourceModuleClosedFile>(M); };
  return C;
}

bool TSourceModuleClosedFile::CanHandleModule(const IClosedFileModule& Module) const {
  return Module.ModuleClassName() == res::SSourceModuleHandler;
}

void TSourceModuleClosedFile::LoadState(const std::vector<std::string>& Items) {
  TClosedFile::LoadState(Items);
  FViewTop.Col = ItemInt(Items, 3, 1);
  FViewTop.Line = ItemInt(Items, 4, 1);
  FCursor.Col = ItemInt(Items, 5, 1);
  FCursor.Line = ItemInt(Items, 6, 1);
  FDesignerState = static_cast<uint8_t>(ItemInt(Items, 7, 0));
  FFormOnTop = static_cast<uint8_t>(ItemInt(Items, 8, 0));
  SplitEditorTexts(Items, FElisions, FBookmarks);
}

std::string TSourceModuleClosedFile::SaveState() const {
  return Format(res::SSourceClosedFileValue, TClosedFile::SaveState(), FViewTop.Col, FViewTop.Line, FCursor.Col,
                FCursor.Line, static_cast<int>(FDesignerState), static_cast<int>(FFormOnTop),
                DesktopQuoted(FElisions), DesktopQuoted(FBookmarks));
}

void TSourceModuleClosedFile::RestoreModule(IClosedFileModule& Module) {
  IClosedSourceState* S = Module.SourceState();
  if (!S) return;
  if (S->HasView()) {
    S->SetTopLeft(FViewTop);
    int Lines = S->LineCount();
    if (Lines > 0) S->SetCursor(TClosedEdPos{FCursor.Col, std::clamp(FCursor.Line, 1, Lines)});
    if (!FElisions.empty()) S->InsertElisions(FElisions);
    S->ClampViews();
    if (!FBookmarks.empty()) S->InsertBookmarks(FBookmarks);
  }
  if (S->IsClosed() || !(FDesignerState & 1)) return;
  S->ShowForm((FDesignerState & 2) ? 1 : (FDesignerState & 4) ? 2 : 0);
}

}  // namespace nxs
