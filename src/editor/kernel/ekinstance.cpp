// EK_INIT and the function table: creating and ending views and buffers, evaluating scripts.
// Each entry catches everything: no exception leaves the table.
#include <algorithm>
#include <cstring>
#include <new>
#include <unordered_set>

#include "editor/kernel/ek.h"
#include "editor/kernel/ekcolumns.h"
#include "editor/kernel/ekeditor.h"
#include "editor/kernel/ekeval.h"
#include "editor/kernel/ekpaint.h"
#include "editor/kernel/ektokens.h"

namespace nxs {

namespace {

using ek::TEkDocument;
using ek::TEkEditor;
using ek::TEkViewState;

// Live buffers and views: a pointer the kernel did not make (or already ended) is refused
// instead of followed.
struct TRegistry {
  std::unordered_set<TEditorBuffer*> Buffers;
  std::unordered_set<TEkView*> Views;
};

TRegistry& Registry() {
  static TRegistry R;
  return R;
}

TEkDocument* DocOf(TEkView* View) {
  if (!View || !Registry().Views.count(View) || !View->Editor) return nullptr;
  return static_cast<TEkDocument*>(View->Editor->EditorData);
}

bool KernelNew(PEditorBuffer Share, PEkView View, uint32_t Flags) {
  try {
    if (!View || Registry().Views.count(View)) return false;
    TEditorBuffer* Buffer = Share;
    if (Buffer) {
      if (!Registry().Buffers.count(Buffer)) return false;
    } else {
      Buffer = new TEditorBuffer{};
      Buffer->NLines = 1;
      Buffer->EdModes = emInsert | emGroupUndo;
      Buffer->RightMargin = 80;
      Buffer->EditorData = new TEkDocument(Buffer);
      Registry().Buffers.insert(Buffer);
    }
    auto* Doc = static_cast<TEkDocument*>(Buffer->EditorData);
    std::memset(View, 0, sizeof(TEkView));
    View->Editor = Buffer;
    View->Cursor = TEdPos{1, 1};
    View->WinLeftCol = 1;
    View->WinTopLine = 1;
    View->FWinLength = 25;
    View->WinWidth = 80;
    View->ViewData = new TEkViewState();
    if (!Doc->Views().empty()) {
      TEkView* Last = Doc->Views().back();
      Last->NextWin = View;
      View->PrevWin = Last;
    }
    Doc->Views().push_back(View);
    Buffer->viewCount = static_cast<uint16_t>(Doc->Views().size());
    Registry().Views.insert(View);
    return true;
  } catch (...) {
    return false;
  }
}

void KernelEnd(PEkView View) {
  try {
    TEkDocument* Doc = DocOf(View);
    if (!Doc) return;
    auto& Views = Doc->Views();
    for (size_t I = 0; I < Views.size(); ++I)
      if (Views[I] == View) {
        if (View->PrevWin) View->PrevWin->NextWin = View->NextWin;
        if (View->NextWin) View->NextWin->PrevWin = View->PrevWin;
        Views.erase(Views.begin() + static_cast<std::ptrdiff_t>(I));
        break;
      }
    delete static_cast<TEkViewState*>(View->ViewData);
    Registry().Views.erase(View);
    TEditorBuffer* Buffer = View->Editor;
    Buffer->viewCount = static_cast<uint16_t>(Views.size());
    View->ViewData = nullptr;
    View->Editor = nullptr;
    View->PrevWin = View->NextWin = nullptr;
    View->LVec = nullptr;
    if (Views.empty()) {
      Registry().Buffers.erase(Buffer);
      delete Doc;
      delete Buffer;
    }
  } catch (...) {
  }
}

// While a script runs on one view, the other views of its buffer keep their cursor and top
// line on the same text: lines typed above them push them down as they push the bookmarks.
// The document keeps the positions (its storage is reused from script to script).
class TOtherViews {
 public:
  TOtherViews(TEkView* Running, TEkDocument& Doc) : FDoc(Doc) {
    if (Doc.Views().size() < 2 || !Doc.Carried.empty()) return;
    FMine = true;
    const int64_t Last = static_cast<int64_t>(Doc.LineCount());
    for (TEkView* V : Doc.Views()) {
      if (V == Running) continue;
      TEkEditor E(V, Doc);
      // A cursor past the last line keeps its distance to it and its column.
      const int64_t LinesOver = std::max<int64_t>(V->Cursor.LineNum - Last, 0);
      int64_t Beyond = 0;
      bool Exact = false;
      const ek::TTextPos P = E.CursorPos(&Beyond, &Exact);
      // Columns past the line's end, or inside a tab or a wide character.
      const int64_t ColsOver = LinesOver || Exact ? 0 : Beyond ? Beyond : V->Cursor.Col - E.ColumnOf(P);
      const int64_t Top = std::clamp<int64_t>(V->WinTopLine - 1, 0, Last - 1);
      Doc.Carried.push_back({P});
      Doc.Carried.push_back({ek::TTextPos{static_cast<uint64_t>(Top), 0}});
      Doc.CarriedViews.push_back({V, LinesOver, ColsOver, std::max<int64_t>(V->WinTopLine - Last, 0)});
    }
  }
  ~TOtherViews() {
    if (!FMine) return;
    FDoc.Carried.clear();
    FDoc.CarriedViews.clear();
  }
  TOtherViews(const TOtherViews&) = delete;  // owns the document's carried positions
  TOtherViews& operator=(const TOtherViews&) = delete;

  void Follow() {
    if (!FMine) return;
    for (size_t I = 0; I < FDoc.CarriedViews.size(); ++I) {
      const TEkDocument::TCarriedView& A = FDoc.CarriedViews[I];
      const TEkDocument::TCarried &Cursor = FDoc.Carried[2 * I], &Top = FDoc.Carried[2 * I + 1];
      // A script may end a view (a query or track procedure can).
      if (!Registry().Views.count(A.View) || A.View->Editor != FDoc.Rec()) continue;
      TEkEditor E(A.View, FDoc);
      if (Cursor.Moved) {
        const int64_t Col = A.LinesOver ? A.View->Cursor.Col : E.ColumnOf(Cursor.Pos) + A.ColsOver;
        E.SetScreen(static_cast<int64_t>(Cursor.Pos.Line) + 1 + A.LinesOver, Col);
      }
      if (Top.Moved)
        A.View->WinTopLine = static_cast<int32_t>(
            std::clamp<int64_t>(static_cast<int64_t>(Top.Pos.Line) + 1 + A.TopOver, 1, INT32_MAX));
    }
  }

 private:
  TEkDocument& FDoc;
  bool FMine = false;
};

uint16_t KernelEval(PEkView View, TEdCmd* Script, uint32_t Length) {
  TEkDocument* Doc = DocOf(View);
  if (!Doc) return erNoView;
  if (!Script) return Length == 0 ? erOk : erBadArgument;
  uint16_t Status;
  ++Doc->EvalDepth;
  try {
    TOtherViews Others(View, *Doc);
    TEkEditor Editor(View, *Doc);
    Status = ek::Evaluate(Editor, reinterpret_cast<uint8_t*>(Script), Length);
    Others.Follow();
  } catch (...) {
    Status = erInternal;
  }
  --Doc->EvalDepth;
  try {
    Doc->SyncRecord();
    // Told last: a track procedure may evaluate scripts, even end views.
    if (Doc->EvalDepth == 0) Doc->FlushTrackReports();
  } catch (...) {
  }
  return Status;
}

bool KernelBeginPaint(PEkView View, TPaintContext* Context) {
  try {
    TEkDocument* Doc = DocOf(View);
    if (!Doc) return false;
    TEkEditor Editor(View, *Doc);
    return ek::BeginPaint(Editor, Context);
  } catch (...) {
    return false;
  }
}

bool KernelGetLineContents(PEkView View, int32_t Line, TPaintContext* Context) {
  try {
    TEkDocument* Doc = DocOf(View);
    if (!Doc || !Context) return false;
    TEkEditor Editor(View, *Doc);
    return ek::GetLineContents(Editor, Line, *Context);
  } catch (...) {
    return false;
  }
}

TEkInstance Instance = {
    EkKernelVersion,
    KernelNew,
    KernelEval,
    KernelEnd,
    KernelBeginPaint,
    KernelGetLineContents,
    ek::RegisterTokenizer,
    ek::TokenizerIsRegistered,
    ek::MakeSyntaxID,
    ek::EnumRegisteredTokenizers,
    ek::BuildTables,
    ek::FreeTables,
};

}  // namespace

TEkInstance* EK_INIT(uint32_t Version, TEkMalloc EKMALLOC, TEkFree EKFREE, TEkMemMove EKMEMMOVE,
                     TEkCharMap EKTOUPPER, TEkCharMap EKTOLOWER, TEkCharTest EKISUPPER,
                     TEkCharTest EKISWORDCHAR, TEkCharTest EKISWHITESPACE,
                     TEkCharTest EKISSPECIALCHAR, TEkCharProbe EKGETMBCSLENGTH,
                     TEkCharProbe EKGETCHARWIDTH) {
  if (Version != EkKernelVersion) return nullptr;
  ek::TCallbacks& C = ek::Callbacks();
  C.Malloc = EKMALLOC;
  C.Free = EKFREE;
  C.MemMove = EKMEMMOVE;
  C.ToUpper = EKTOUPPER;
  C.ToLower = EKTOLOWER;
  C.IsUpper = EKISUPPER;
  C.IsWordChar = EKISWORDCHAR;
  C.IsWhiteSpace = EKISWHITESPACE;
  C.IsSpecialChar = EKISSPECIALCHAR;
  C.GetMbcsLength = EKGETMBCSLENGTH;
  C.GetCharWidth = EKGETCHARWIDTH;
  return &Instance;
}

}  // namespace nxs
