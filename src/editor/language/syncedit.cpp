#include "editor/language/syncedit.h"

#include <algorithm>
#include <map>
#include <unordered_map>
#include <utility>

#include "editor/buffers/charwidth.h"
#include "editor/buffers/edkrnl.h"
#include "editor/buffers/edoptions.h"
#include "editor/buffers/editsource.h"
#include "editor/buffers/editview.h"
#include "editor/buffers/ekinit.h"
#include "editor/language/highlight.h"
#include "editor/keyboard/keycodes.h"
#include "editor/buffers/resstrings.h"
#include "editor/language/syncparser.h"
#include "editor/language/tokens.h"
#include "options/sourceoptions.h"
#include "shared/format.h"
#include "shared/text.h"

namespace nxs {

namespace {

int32_t CharCount(std::string_view Text) { return static_cast<int32_t>(Utf8CharCount(Text)); }

// The byte where character Index of the line starts; the line's length past its end.
size_t ByteOfChar(std::string_view Text, int32_t Index) {
  size_t B = 0;
  for (int32_t I = 0; I < Index && B < Text.size(); ++I) {
    ++B;
    while (B < Text.size() && !IsUtf8Lead(Text[B])) ++B;
  }
  return B;
}

// Where a text that starts at Pos ends.
TCharPos PosAfter(TCharPos Pos, std::string_view Text) {
  for (size_t I = 0; I < Text.size(); ++I) {
    const char C = Text[I];
    if (C == '\n' || (C == '\r' && (I + 1 == Text.size() || Text[I + 1] != '\n'))) {
      ++Pos.LineNum;
      Pos.Index = 0;
    } else if (C != '\r' && IsUtf8Lead(C)) {
      ++Pos.Index;
    }
  }
  return Pos;
}

// The bytes two texts share at their start and at their end, never overlapping and never
// inside a character.
void CommonEnds(std::string_view A, std::string_view B, size_t& Prefix, size_t& Suffix) {
  const size_t N = std::min(A.size(), B.size());
  Prefix = 0;
  while (Prefix < N && A[Prefix] == B[Prefix]) ++Prefix;
  while (Prefix > 0 && ((Prefix < A.size() && !IsUtf8Lead(A[Prefix])) || (Prefix < B.size() && !IsUtf8Lead(B[Prefix])))) --Prefix;
  Suffix = 0;
  while (Suffix < N - Prefix && A[A.size() - 1 - Suffix] == B[B.size() - 1 - Suffix]) ++Suffix;
  while (Suffix > 0 && (!IsUtf8Lead(A[A.size() - Suffix]) || !IsUtf8Lead(B[B.size() - Suffix]))) --Suffix;
}

// Changes made on one line each: character columns [From, To) replaced by Inserted
// characters, in the order they were made (from the last on the line to the first).
struct TLineEdit {
  int32_t From, To, Inserted;
};
using TLineEdits = std::map<int32_t, std::vector<TLineEdit>>;

// Where a position lands after the changes, moved as the kernel moves tracked positions: a
// deleted range collapses to its start, and text inserted at a position goes before it.
TCharPos MapThroughEdits(TCharPos P, const TLineEdits& Edits) {
  auto It = Edits.find(P.LineNum);
  if (It == Edits.end()) return P;
  for (const TLineEdit& E : It->second) {
    if (P.Index >= E.To) P.Index -= E.To - E.From;
    else if (P.Index > E.From) P.Index = E.From;
    if (P.Index >= E.From) P.Index += E.Inserted;
  }
  return P;
}

bool Contains(const TSyncEditOccurrence& O, TCharPos P) { return !PosBefore(P, O.Start) && !PosBefore(O.End, P); }

bool Touches(const TSyncEditOccurrence& O, const std::vector<int32_t>& Lines) {
  for (int32_t L : Lines)
    if (L >= O.Start.LineNum && L <= O.End.LineNum) return true;
  return false;
}

// The highlighter the built-in source option groups give a file's extension: what the file
// is when the settings name no group for it.
std::string BuiltInHighlighterOf(const std::string& FileName) {
  const size_t Dot = FileName.rfind('.');
  if (Dot == std::string::npos || FileName.find('/', Dot) != std::string::npos) return {};
  const std::string Ext = FileName.substr(Dot + 1);
  for (const TBuiltInSourceOptions& O : BuiltInSourceOptions())
    for (const std::string& E : Split(O.Extensions, ';'))
      if (SameText(E, Ext)) return O.Highlighter;
  return {};
}

TCharPos CursorPos(PEkView View) { return ConvertPos(View, View->Cursor); }

std::string FoldCase(std::string_view S) { return LowerCase(S); }

}  // namespace

// ---- language ----

TSyncEditLanguage SyncEditLanguageOf(TEditBuffer& Buffer) {
  TSyncEditLanguage L;
  uint8_t Code = Buffer.SyntaxLang();
  const std::string Name = ReplaceAllText(Buffer.FileName(), "->", ".");
  std::string ID = EditorOptionsSource().SourceOptionsFor(Name).SyntaxLangID;
  if (ID.empty()) ID = BuiltInHighlighterOf(Name);
  if (Code == slNone) {
    const std::string Last = LowerCase(ID.substr(ID.rfind('.') == std::string::npos ? 0 : ID.rfind('.') + 1));
    if (Last == "pascal") Code = slPascal;
    else if (Last == "cpp") Code = slCpp;
    else if (Last == "c#") Code = slCSharp;
    else if (Last == "idl") Code = slIDL;
    else if (Last == "sql") Code = slSQL;
  }
  auto CFamily = [](TCFamily F) {
    return [F](uint8_t Class, const char* Line, size_t Length, uint8_t* Codes) { return ScanC(F, Class, Line, Length, Codes); };
  };
  switch (Code) {
    case slPascal:
      L.CaseSensitive = false;
      L.Scan = ScanPascal;
      return L;
    case slSQL:
      L.CaseSensitive = false;
      L.Scan = ScanSQL;
      return L;
    case slCpp: L.Scan = CFamily(TCFamily::Cpp); break;
    case slCSharp: L.Scan = CFamily(TCFamily::CSharp); break;
    case slIDL: L.Scan = CFamily(TCFamily::IDL); break;
    default: {
      // A highlighter registered by a package tells its own identifiers.
      const int Index = ID.empty() ? -1 : HighlightManager().LookupHighlighter(std::string_view(ID));
      if (THighlighter* H = Index < 0 ? nullptr : HighlightManager().GetHighlighter(Index); H && !H->ReceivesTokenizer())
        L.Scan = [H](uint8_t Class, const char* Line, size_t Length, uint8_t* Codes) {
          std::vector<uint8_t> Scratch;
          if (!Codes) {
            Scratch.resize(Length + 1);
            Codes = Scratch.data();
          }
          return H->Tokenize(Class, Line, static_cast<int32_t>(Length), Codes);
        };
      return L;
    }
  }
  L.CStyleStrings = true;
  return L;
}

// ---- collecting ----

std::shared_ptr<TSyncEditPoints> CollectSyncEditPoints(PEkView View, TCharPos Start, TCharPos After, TBlockType Type,
                                                       const TSyncEditLanguage& Language) {
  auto Points = std::make_shared<TSyncEditPoints>();
  if (PosBefore(After, Start)) std::swap(Start, After);
  const int32_t Lines = TotalLinesInBuffer(View);
  const int32_t First = std::max(Start.LineNum, 1), Last = std::min(After.LineNum, Lines);
  if (First > Last) return Points;
  // The line class the block starts in comes from the lines before it.
  uint8_t Class = 0;
  if (Language.Scan)
    for (int32_t Ln = 1; Ln < First; ++Ln) {
      const std::string T = GetLineText(View, Ln);
      Class = Language.Scan(Class, T.data(), T.size(), nullptr);
    }
  // The block's copy, one segment a line, with what the scanner says of every byte.
  struct TSegment {
    int32_t Line;
    size_t ByteFrom;
    int32_t CharFrom;
    std::vector<uint8_t> Codes;
  };
  std::vector<TSegment> Segments;
  std::string Block;
  for (int32_t Ln = First; Ln <= Last; ++Ln) {
    const std::string T = GetLineText(View, Ln);
    std::vector<uint8_t> Codes(T.size() + 1, tcIdentifier);
    if (Language.Scan) Class = Language.Scan(Class, T.data(), T.size(), Codes.data());
    int32_t From = 0, To = INT32_MAX;
    if (Type == btColumn) {
      From = std::min(Start.Index, After.Index);
      To = std::max(Start.Index, After.Index);
    } else if (Type != btLine) {
      if (Ln == First) From = Start.Index;
      if (Ln == Last) To = After.Index + (Type == btInclusive ? 1 : 0);
    }
    const size_t ByteFrom = ByteOfChar(T, From), ByteTo = std::max(ByteFrom, ByteOfChar(T, To));
    Segments.push_back({Ln, ByteFrom, CharCount(std::string_view(T).substr(0, ByteFrom)), std::move(Codes)});
    Block.append(T, ByteFrom, ByteTo - ByteFrom);
    if (Ln != Last) Block += '\n';
  }

  struct TFound {
    std::string Text;
    std::vector<TSyncEditOccurrence> Occurrences;
  };
  std::vector<TFound> Found;
  std::unordered_map<std::string, size_t> ByKey;
  TSyncEditParser Parser(Block, Language.CStyleStrings);
  while (Parser.NextToken() != toEOF) {
    if (Parser.Token() != toSymbol) continue;
    const size_t SegmentNo = static_cast<size_t>(Parser.SourceLine() - 1);
    if (SegmentNo >= Segments.size()) break;
    const TSegment& S = Segments[SegmentNo];
    const size_t Byte = S.ByteFrom + static_cast<size_t>(Parser.GetLinePos());
    if (Byte >= S.Codes.size() || S.Codes[Byte] != tcIdentifier) continue;  // a reserved word, a comment, ...
    std::string Token = Parser.TokenString();
    TSyncEditOccurrence O;
    O.Start = TCharPos{S.CharFrom + Parser.DisplayPos(), S.Line};
    O.End = TCharPos{O.Start.Index + CharCount(Token), S.Line};
    O.Text = Token;
    auto [It, New] = ByKey.try_emplace(Language.CaseSensitive ? Token : FoldCase(Token), Found.size());
    if (New) Found.push_back({Token, {}});
    Found[It->second].Occurrences.push_back(std::move(O));
  }
  for (TFound& F : Found) {
    if (F.Occurrences.size() < 2) continue;
    if (Points->Count() == MaxSyncEditPoints) break;
    Points->Points.push_back({std::move(F.Text), std::move(F.Occurrences)});
  }
  return Points;
}

// ---- the controller ----

size_t TSyncEditController::TLineCache::TLine::ByteOfChar(int32_t Index) const {
  if (Index <= 0) return 0;
  if (Bytes.empty()) return std::min(static_cast<size_t>(Index), Text.size());  // all ASCII
  return static_cast<size_t>(Index) < Bytes.size() ? Bytes[static_cast<size_t>(Index)] : Text.size();
}

const TSyncEditController::TLineCache::TLine& TSyncEditController::TLineCache::Get(PEkView View, int32_t Line) {
  auto [It, New] = FLines.try_emplace(Line);
  TLine& L = It->second;
  if (!New) return L;
  L.Text = GetLineText(View, Line);
  if (std::all_of(L.Text.begin(), L.Text.end(), [](char C) { return static_cast<unsigned char>(C) < 0x80; })) return L;
  for (size_t B = 0; B < L.Text.size(); ++B)
    if (IsUtf8Lead(L.Text[B])) L.Bytes.push_back(B);
  return L;
}

TSyncEditController::TSyncEditController(TSyncEditManager& Manager, TEditView& View)
    : FManager(Manager), FView(View), FBuffer(&View.Buffer()) {}

TSyncEditController::~TSyncEditController() {
  ReleaseEditBufferEvents();
  FTracker.reset();
  CancelAfterEval(this);
}

bool TSyncEditController::InitializeEditBufferEvents() {
  TEdModesLock G;
  PEditorBuffer B = FBuffer->KernelBuffer();
  for (int I = 0; I < 3; ++I)
    if (!B->EventHandlers[I].EventProc) {
      B->EventHandlers[I] = TEdEvent{static_cast<uint16_t>(eeTextChanged | eeUndoRedo | eeReloaded), &EventProc, this};
      FEventSlot = I;
      return true;
    }
  return false;
}

void TSyncEditController::ReleaseEditBufferEvents() {
  if (FEventSlot < 0) return;
  TEdModesLock G;
  FBuffer->KernelBuffer()->EventHandlers[FEventSlot] = TEdEvent{0, nullptr, nullptr};
  FEventSlot = -1;
}

void TSyncEditController::EventProc(void* Context, PEditorBuffer, uint16_t Event, int32_t Line, int32_t Count) {
  // Inside the kernel's script: only note what happened; the edit is followed once the
  // script is done, since following it means editing again.
  auto* Self = static_cast<TSyncEditController*>(Context);
  if (Self->FReplicating) return;
  if (Event == eeUndoRedo) Self->FSawUndo = true;
  if (Event == eeReloaded) Self->FSawReload = true;
  if (Event == eeTextChanged) {
    if (Count != 0) Self->FLinesMoved = true;
    else Self->FChangedLines.push_back(Line);
  }
  if (Self->FPending) return;
  Self->FPending = true;
  QueueAfterEval(Self, [Self] { Self->AfterEdit(); });
}

void TSyncEditController::WhenIdle(std::function<void()> Fn) {
  if (FBusy) FWhenIdle.push_back(std::move(Fn));
  else Fn();
}

bool TSyncEditController::Start(std::shared_ptr<TSyncEditPoints> Points, bool RecordUndo) {
  Leave();
  PEkView V = FView.EkView();
  const int Mode = Points ? semTemplate : semSyncEdit;
  TSyncEditBlock Block;
  Block.Marked = BlockIsMarked(V);
  Block.Shown = Block.Marked && BlockVisible(V);
  Block.Type = GetBlockType(V);
  if (Block.Marked) GetMarkedRange(V, false, false, Block.Start, Block.After);
  if (Mode == semSyncEdit) {
    if (!Block.Marked) return false;
    Points = CollectSyncEditPoints(V, Block.Start, Block.After, Block.Type, SyncEditLanguageOf(*FBuffer));
  }
  if (Points->Count() == 0) return false;
  // Template mode keeps the caller's block, out of sight while the points are set up.
  if (Block.Marked) HideBlock(V);
  auto Tracker = std::make_unique<TPointTracker>(FBuffer);
  Tracker->Track(Points);
  if (!InitializeEditBufferEvents()) {
    if (Block.Shown) UnHideBlock(V);
    return false;
  }
  FTracker = std::move(Tracker);
  if (Mode == semTemplate && Block.Shown) UnHideBlock(V);
  if (RecordUndo) {
    // Entering the mode is an undo step of its own, between the change before it and the
    // first keystroke in the mode. A template's entry goes with the insertion of the template
    // (the one action that made both), and the first keystroke after it starts a step too.
    auto Entry = std::make_unique<TSyncEditUndoRedo>(
        FView, Block, Mode == semTemplate ? std::make_shared<TSyncEditPoints>(*Points) : nullptr);
    if (Mode == semSyncEdit) {
      TUndoRedoObject::Register(std::move(Entry), true);
    } else {
      uint8_t Kind = ugGroupDefault, Started = 0;
      EvalOne(V, ekGetUndoGroup, TGetUndoGroupArgs{&Kind, &Started});
      TUndoRedoObject::Register(std::move(Entry));
      TEkScript S;
      S.Add(ekSetUndoGroup, TUndoGroupArgs{Kind});
      S.Add(ekStartUndoGroup);
      S.EndMacroStep();
      EvalScript(V, S);
    }
  }
  FMode = Mode;
  ActivatePoint(0);
  return true;
}

void TSyncEditController::Leave() {
  if (FBusy) {
    WhenIdle([this] { Leave(); });
    return;
  }
  ReleaseEditBufferEvents();
  FTracker.reset();
  CancelAfterEval(this);
  FPending = FSawUndo = FSawReload = FLinesMoved = false;
  FChangedLines.clear();
  const bool Was = FMode != semNone;
  FMode = semNone;
  FActive = 0;
  if (Was && ViewAlive()) FManager.SendSyncEvent(FView, semNone);
}

void TSyncEditController::ActivatePoint(int Point) {
  TSyncEditPoints* Ps = Points();
  if (!Ps || Ps->Count() == 0) return;
  FActive = ((Point % Ps->Count()) + Ps->Count()) % Ps->Count();
  TSyncEditPoint& P = Ps->Points[static_cast<size_t>(FActive)];
  if (!P.Occurrences.empty() && FTracker->Refresh(P.Occurrences.front()))
    GotoCharPos(FView.EkView(), P.Occurrences.front().Start);
  FManager.SendPointEvent(FView, FActive);
}

void TSyncEditController::NextPoint() { ActivatePoint(FActive + 1); }
void TSyncEditController::PrevPoint() { ActivatePoint(FActive - 1); }

std::string TSyncEditController::ReadRange(TCharPos Start, TCharPos End, TLineCache& Lines) {
  PEkView V = FView.EkView();
  std::string Out;
  for (int32_t Ln = Start.LineNum; Ln <= End.LineNum; ++Ln) {
    const TLineCache::TLine& L = Lines.Get(V, Ln);
    const size_t From = Ln == Start.LineNum ? L.ByteOfChar(Start.Index) : 0;
    const size_t To = Ln == End.LineNum ? std::max(From, L.ByteOfChar(End.Index)) : L.Text.size();
    Out.append(L.Text, From, To - From);
    if (Ln == End.LineNum) break;
    switch (GetLineBreakStyle(V, Ln)) {
      case lbsCRLF: Out += "\r\n"; break;
      case lbsCR: Out += '\r'; break;
      default: Out += '\n'; break;
    }
  }
  return Out;
}

void TSyncEditController::StoreAll() {
  TSyncEditPoints& Ps = *Points();
  for (size_t P = 0; P < Ps.Points.size(); ++P)
    for (size_t I = 0; I < Ps.Points[P].Occurrences.size(); ++I)
      FTracker->Store(Ps.Points[P].Occurrences[I], static_cast<int>(P), static_cast<int>(I));
}

bool TSyncEditController::RefreshPoints() {
  TSyncEditPoints& Ps = *Points();
  bool Dropped = false;
  for (TSyncEditPoint& P : Ps.Points) {
    const size_t Before = P.Occurrences.size();
    std::erase_if(P.Occurrences, [&](TSyncEditOccurrence& O) {
      if (FTracker->Refresh(O)) return false;
      FTracker->Forget(O);  // its line was deleted
      return true;
    });
    Dropped |= P.Occurrences.size() != Before;
  }
  // A point of the block needs two occurrences to be worth editing; a template's fields
  // stay while they have one.
  const size_t Least = FMode == semSyncEdit ? 2 : 1;
  const size_t Before = Ps.Points.size();
  std::erase_if(Ps.Points, [&](TSyncEditPoint& P) {
    if (P.Occurrences.size() >= Least) return false;
    for (TSyncEditOccurrence& O : P.Occurrences) FTracker->Forget(O);
    return true;
  });
  if (Ps.Points.empty()) return false;
  // Entries carry point and occurrence numbers: number them again.
  if (Dropped || Ps.Points.size() != Before) StoreAll();
  if (FActive >= Ps.Count()) FActive = 0;
  return true;
}

bool TSyncEditController::ViewAlive() const {
  for (int I = 0; I < FBuffer->GetViewCount(); ++I)
    if (FBuffer->GetView(I) == &FView) return true;
  return false;
}

void TSyncEditController::AfterEdit() {
  FPending = false;
  if (FMode == semNone || !FTracker) return;
  if (!ViewAlive()) {
    // The view the mode was entered in was closed while its buffer stayed open: the edit,
    // made in another view, ends the mode.
    Leave();
    return;
  }
  FBusy = true;
  const bool Undoing = std::exchange(FSawUndo, false);
  const bool Reloaded = std::exchange(FSawReload, false);
  const bool AllLines = std::exchange(FLinesMoved, false) || FChangedLines.size() > 64;
  std::vector<int32_t> Lines;
  Lines.swap(FChangedLines);
  bool Alive = !Reloaded;
  if (Alive) Alive = RefreshPoints();
  if (Alive) {
    PEkView V = FView.EkView();
    const TCharPos Cursor = CursorPos(V);
    TSyncEditPoints& Ps = *Points();
    std::vector<std::pair<size_t, size_t>> Leaving;
    for (size_t P = 0; P < Ps.Points.size(); ++P) {
      std::vector<TSyncEditOccurrence>& Occ = Ps.Points[P].Occurrences;
      std::vector<std::string> Read(Occ.size());
      std::vector<const std::string*> Known(Occ.size());
      TLineCache LineCache;  // read before this point's copies change the lines
      size_t Source = SIZE_MAX;
      for (size_t I = 0; I < Occ.size(); ++I) {
        Known[I] = &Occ[I].Text;
        if (!AllLines && !Touches(Occ[I], Lines)) continue;
        Read[I] = ReadRange(Occ[I].Start, Occ[I].End, LineCache);
        Known[I] = &Read[I];
        if (Read[I] == Occ[I].Text) continue;
        if (FTracker->AnchorSwallowed(Occ[I]) && !Undoing) {
          // The change began before the occurrence: not an edit of the point, and the
          // occurrence no longer stands for it.
          Leaving.emplace_back(P, I);
          continue;
        }
        if (Source == SIZE_MAX || (Contains(Occ[I], Cursor) && !Contains(Occ[Source], Cursor))) Source = I;
      }
      if (Source == SIZE_MAX) {
        for (size_t I = 0; I < Occ.size(); ++I)
          if (Known[I] == &Read[I]) FTracker->Store(Occ[I], static_cast<int>(P), static_cast<int>(I));
        continue;
      }
      const std::string Text = Read[Source];
      if (Undoing) {
        // Undo and redo put back what was there; following them would end the redo list.
        for (size_t I = 0; I < Occ.size(); ++I)
          if (Known[I] == &Read[I]) Occ[I].Text = Read[I];
      } else {
        Replicate(static_cast<int>(P), Source, Text, Known);
        for (TSyncEditOccurrence& O : Occ) O.Text = Text;
      }
      Ps.Points[P].Text = Text;
      for (size_t I = 0; I < Occ.size(); ++I) {
        if (!Undoing) FTracker->Refresh(Occ[I]);
        FTracker->Store(Occ[I], static_cast<int>(P), static_cast<int>(I));
      }
    }
    if (!Leaving.empty()) {
      for (auto It = Leaving.rbegin(); It != Leaving.rend(); ++It) {
        std::vector<TSyncEditOccurrence>& Occ = Ps.Points[It->first].Occurrences;
        FTracker->Forget(Occ[It->second]);
        Occ.erase(Occ.begin() + static_cast<std::ptrdiff_t>(It->second));
      }
      Alive = RefreshPoints();
      if (Alive) StoreAll();
    }
  }
  FBusy = false;
  if (!Alive) Leave();
  std::vector<std::function<void()>> Then;
  Then.swap(FWhenIdle);
  for (auto& Fn : Then) Fn();
}

void TSyncEditController::Replicate(int Point, size_t Source, const std::string& Text,
                                    const std::vector<const std::string*>& Known) {
  std::vector<TSyncEditOccurrence>& Occ = Points()->Points[static_cast<size_t>(Point)].Occurrences;
  std::vector<size_t> Targets;
  for (size_t I = 0; I < Occ.size(); ++I)
    if (I != Source && *Known[I] != Text) Targets.push_back(I);
  if (Targets.empty()) return;
  // From the last occurrence to the first: a change never moves the places still to change.
  std::sort(Targets.begin(), Targets.end(), [&](size_t A, size_t B) { return PosBefore(Occ[B].Start, Occ[A].Start); });
  PEkView V = FView.EkView();
  FReplicating = true;
  // The changes join the undo step of the edit they follow.
  uint8_t Kind = ugGroupDefault, Started = 0;
  EvalOne(V, ekGetUndoGroup, TGetUndoGroupArgs{&Kind, &Started});
  TEkScript S;
  S.Add(ekSetUndoGroup, TUndoGroupArgs{ugGroupWithAny});
  TLineEdits Edits;
  bool WithinLines = true;
  for (size_t I : Targets) {
    const std::string& Old = *Known[I];
    size_t Prefix, Suffix;
    CommonEnds(Old, Text, Prefix, Suffix);
    const std::string_view Removed = std::string_view(Old).substr(Prefix, Old.size() - Prefix - Suffix);
    const std::string_view Added = std::string_view(Text).substr(Prefix, Text.size() - Prefix - Suffix);
    const TCharPos From = PosAfter(Occ[I].Start, std::string_view(Old).substr(0, Prefix));
    const TCharPos To = PosAfter(From, Removed);
    if (!SamePos(From, To)) {
      S.Add(ekSetMarkerPos, TSetMarkerArgs{mkTempPos, From});
      S.Add(ekSetMarkerPos, TSetMarkerArgs{mkTempEnd, To});
      S.Add(ekDeleteBlock, TDeleteBlockArgs{1});
    }
    if (!Added.empty()) {
      S.Add(ekSetMarkerPos, TSetMarkerArgs{mkTempPos, From});
      S.Add(ekMarkOp, TMarkOpArgs{moMoveToTempPos});
      S.Add(ekInsertLiteral, TStringArgs{Added.data(), static_cast<uint32_t>(Added.size())});
    }
    WithinLines &= Removed.find_first_of("\r\n") == std::string_view::npos && Added.find_first_of("\r\n") == std::string_view::npos;
    Edits[From.LineNum].push_back({From.Index, To.Index, CharCount(Added)});
  }
  S.Add(ekSetUndoGroup, TUndoGroupArgs{Kind});
  S.EndMacroStep();
  // The cursor of every view of the buffer stays on its text: the edit may have been typed in
  // another view than the one in the mode, and the copies go in before its cursor.
  std::vector<std::pair<PEkView, TCharPos>> Cursors;
  for (int I = 0; I < FBuffer->GetViewCount(); ++I)
    if (TEditView* Each = FBuffer->GetView(I)) Cursors.emplace_back(Each->EkView(), CursorPos(Each->EkView()));
  if (WithinLines) {
    // Every change stays on its line: the new places of the points' entries follow from the
    // changes themselves, and the kernel is spared moving thousands of entries a change.
    FTracker->Detach();
    EvalScript(V, S);
    for (int I = 0; I < FTracker->Count(); ++I)
      if (FTracker->InUse(I)) FTracker->SetPosition(I, MapThroughEdits(FTracker->GetPosition(I), Edits));
    FTracker->Attach();
    // The other points' occurrences on the changed lines moved too.
    for (TSyncEditPoint& P : Points()->Points)
      for (TSyncEditOccurrence& O : P.Occurrences) FTracker->Refresh(O);
    for (auto& [View, Cursor] : Cursors) GotoCharPos(View, MapThroughEdits(Cursor, Edits), false);
  } else {
    TEdTracker Tracked(FBuffer);
    std::vector<int> Entries;
    for (const auto& [View, Cursor] : Cursors) Entries.push_back(Tracked.AddPos(Cursor, 0));
    Tracked.Attach();
    EvalScript(V, S);
    for (size_t I = 0; I < Cursors.size(); ++I)
      if (Entries[I] >= 0) GotoCharPos(Cursors[I].first, Tracked.GetPosition(Entries[I]), false);
  }
  FReplicating = false;
}

// ---- the manager ----

TSyncEditManager::TSyncEditManager() { EvEditBufferDestroyed().Add(this, &TSyncEditManager::BufferDestroyed); }

TSyncEditManager::~TSyncEditManager() {
  EvEditBufferDestroyed().Remove(this, &TSyncEditManager::BufferDestroyed);
  FControllers.clear();
  FMarks.clear();
}

void TSyncEditManager::BufferDestroyed(TEvEditBufferLife& Args) {
  TEditBuffer* B = &Args.Buffer;
  for (auto It = FControllers.begin(); It != FControllers.end();) {
    if (&It->second->Buffer() != B) {
      ++It;
      continue;
    }
    if (FCurrent == It->second.get()) FCurrent = nullptr;
    It = FControllers.erase(It);
  }
  FMarks.erase(B);
}

TSyncEditController& TSyncEditManager::ControllerFor(TEditView& View) {
  auto& C = FControllers[&View];
  // A view made where an ended one was gets a controller of its own.
  if (C && &C->Buffer() != &View.Buffer()) C.reset();
  if (!C) C = std::make_unique<TSyncEditController>(*this, View);
  return *C;
}

TSyncEditController* TSyncEditManager::ControllerOf(TEditView& View) const {
  auto It = FControllers.find(&View);
  return It == FControllers.end() ? nullptr : It->second.get();
}

TSyncEditController* TSyncEditManager::Current() const {
  return FCurrent && FCurrent->Mode() != semNone && FCurrent->ViewAlive() ? FCurrent : nullptr;
}

bool TSyncEditManager::SyncEditBlock(TEditView& View, std::shared_ptr<TSyncEditPoints> Points) {
  if (View.Buffer().GetReadOnly() || !View.Buffer().QueryIsEditable()) return false;
  if (!Points) Points = std::exchange(FNextPoints, nullptr);
  CancelSyncEdit();
  TSyncEditController& C = ControllerFor(View);
  if (!C.Start(std::move(Points), true)) return false;
  FCurrent = &C;
  SendSyncEvent(View, C.Mode());
  ShowHint();
  return true;
}

void TSyncEditManager::CancelSyncEdit() {
  HideHint();
  if (TSyncEditController* C = Current()) C->Leave();
}

std::shared_ptr<TSyncEditPoints> TSyncEditManager::GetPoints() const {
  TSyncEditController* C = Current();
  return C ? C->PointsRef() : FNextPoints;
}

int TSyncEditManager::GetMode() const {
  TSyncEditController* C = Current();
  return C ? C->Mode() : semNone;
}

void TSyncEditManager::SetMode(int Mode) {
  if (Mode == semNone) CancelSyncEdit();
}

int TSyncEditManager::RegisterMarkWithBuffer(TEditBuffer& Buffer, TCharPos Pos) {
  auto& T = FMarks[&Buffer];
  if (!T) {
    T = std::make_unique<TEdTracker>(&Buffer);
    T->SetCapacity(8);
    T->Attach();
  }
  const int Id = static_cast<int>(++FNextMark & 0x7FFFFFFF);
  return T->AddPos(Pos, static_cast<uint32_t>(Id)) < 0 ? 0 : Id;
}

void TSyncEditManager::UnRegisterMark(int Mark) {
  if (Mark <= 0) return;
  for (auto& [Buffer, T] : FMarks)
    if (const int I = T->IndexOfData(static_cast<uint32_t>(Mark)); I >= 0) {
      T->Delete(I);
      return;
    }
}

TCharPos TSyncEditManager::GetMark(int Mark) const {
  if (Mark <= 0) return TCharPos{0, 0};
  for (const auto& [Buffer, T] : FMarks)
    if (const int I = T->IndexOfData(static_cast<uint32_t>(Mark)); I >= 0) return T->GetPosition(I);
  return TCharPos{0, 0};
}

int TSyncEditManager::AddNotifier(std::shared_ptr<ISyncEditNotifier> Notifier) { return FNotifiers.Add(std::move(Notifier)); }
void TSyncEditManager::RemoveNotifier(int Index) { FNotifiers.Remove(Index); }

void TSyncEditManager::SendSyncEvent(TEditView& View, int Mode) {
  if (Mode == semNone && FCurrent && &FCurrent->View() == &View) HideHint();
  FNotifiers.Notify([&](ISyncEditNotifier& N) { N.SyncEditModeChanged(View, Mode); });
}

void TSyncEditManager::SendPointEvent(TEditView& View, int Point) {
  FNotifiers.Notify([&](ISyncEditNotifier& N) { N.PointActivated(View, Point); });
}

std::string TSyncEditManager::HintText() { return res::SSyncEditHint; }

std::string TSyncEditManager::Caption(const std::string& Detail) {
  return Detail.empty() ? std::string(res::SSyncEditMode) : res::SSyncEditMode + Format(res::SSyncEditModeDetail, Detail);
}

namespace {
// Marks the block again, shown or hidden as it was.
void RestoreBlock(TEditView& View, const TSyncEditBlock& Block) {
  if (!Block.Marked) return;
  PEkView V = View.EkView();
  SetBlockType(V, Block.Type);
  SetMarkedRange(V, false, false, Block.Start, Block.After);
  Block.Shown ? UnHideBlock(V) : HideBlock(V);
}
}  // namespace

void TSyncEditManager::UndoEntry(TEditView& View, const TSyncEditBlock& Block) {
  TSyncEditController& C = ControllerFor(View);
  C.WhenIdle([&C, &View, Block] {
    C.Leave();
    RestoreBlock(View, Block);
  });
}

void TSyncEditManager::RedoEntry(TEditView& View, const TSyncEditBlock& Block, std::shared_ptr<TSyncEditPoints> Points) {
  TSyncEditController& C = ControllerFor(View);
  C.WhenIdle([this, &C, &View, Block, Points] {
    RestoreBlock(View, Block);
    if (FCurrent && FCurrent != &C) FCurrent->Leave();
    if (!C.Start(Points ? std::make_shared<TSyncEditPoints>(*Points) : nullptr, false)) return;
    FCurrent = &C;
    SendSyncEvent(View, C.Mode());
    ShowHint();
  });
}

namespace {
std::unique_ptr<TSyncEditManager>& ManagerSlot() {
  // Made first, the event the manager subscribes to is destroyed after it at exit.
  EvEditBufferDestroyed();
  static std::unique_ptr<TSyncEditManager> M;
  return M;
}
}  // namespace

TSyncEditManager& SyncEditManager() {
  auto& M = ManagerSlot();
  if (!M) M = std::make_unique<TSyncEditManager>();
  return *M;
}

void ResetSyncEditManager() { ManagerSlot().reset(); }

// ---- undo ----

TSyncEditUndoRedo::TSyncEditUndoRedo(TEditView& View, const TSyncEditBlock& Block, std::shared_ptr<TSyncEditPoints> Points)
    : TUndoRedoObject(View.Buffer()), FView(&View), FBlock(Block), FPoints(std::move(Points)) {
  if (Block.Marked) {
    FStartMark = SyncEditManager().RegisterMarkWithBuffer(View.Buffer(), Block.Start);
    FAfterMark = SyncEditManager().RegisterMarkWithBuffer(View.Buffer(), Block.After);
  }
}

TSyncEditUndoRedo::~TSyncEditUndoRedo() {
  CancelAfterEval(this);
  SyncEditManager().UnRegisterMark(FStartMark);
  SyncEditManager().UnRegisterMark(FAfterMark);
}

TEditView* TSyncEditUndoRedo::FindView() const {
  for (int I = 0; I < FEditBuffer->GetViewCount(); ++I)
    if (FEditBuffer->GetView(I) == FView) return FView;
  return FEditBuffer->EditSource().TopView();  // the first view when no view is on top
}

TSyncEditBlock TSyncEditUndoRedo::Block() const {
  TSyncEditBlock B = FBlock;
  for (auto [Id, Pos] : {std::pair{FStartMark, &B.Start}, std::pair{FAfterMark, &B.After}})
    if (const TCharPos P = SyncEditManager().GetMark(Id); P.LineNum >= 1) *Pos = P;
  return B;
}

// The kernel calls these inside its undo script, where the buffer must not be edited: the
// work waits for the script's end. The block's bounds are read then, from marks that moved
// with whatever else the same undo step changed. When one step crosses several entries (a
// sync edit and a template entered in it), the last one the kernel crossed decides the mode:
// the others' work is skipped, and no entry's work runs inside another's.
void TSyncEditUndoRedo::Undo() {
  if (!FEntered) return;
  FEntered = false;
  QueueAfterEval(this, [this, Turn = SyncEditManager().TakeEntryTurn()] {
    if (!SyncEditManager().IsLastEntryTurn(Turn)) return;
    if (TEditView* V = FindView())
      SyncEditManager().UndoEntry(*V, Block());
  });
}

void TSyncEditUndoRedo::Redo() {
  if (FEntered) return;
  FEntered = true;
  QueueAfterEval(this, [this, Turn = SyncEditManager().TakeEntryTurn()] {
    if (!SyncEditManager().IsLastEntryTurn(Turn)) return;
    if (TEditView* V = FindView())
      SyncEditManager().RedoEntry(*V, Block(), FPoints);
  });
}

// ---- keys ----

bool SyncEditKeyStroke(TEditView& View, uint32_t Key) {
  constexpr uint32_t Tab = 0x09, Escape = 0x1B;
  TSyncEditController* C = SyncEditManager().ControllerOf(View);
  if (!C || C->Mode() == semNone) return false;
  if (Key == Tab) C->NextPoint();
  else if (Key == (Tab | kcShift)) C->PrevPoint();
  else if (Key == Escape) SyncEditManager().CancelSyncEdit();
  else return false;
  return true;
}

// ---- templates ----

bool InsertTemplate(TEditView& View, std::string_view Template, char Delimiter) {
  TEditBuffer& B = View.Buffer();
  if (B.GetReadOnly() || !B.QueryIsEditable()) return false;
  PEkView V = View.EkView();
  const TExpandedTemplate T = ExpandTemplate(Template, Delimiter);
  // Inserted inside a point of a sync edit still on, the template would be copied into every
  // occurrence of it.
  SyncEditManager().CancelSyncEdit();
  const TCharPos At = CursorPos(V);
  InsertLiteral(V, T.Text);
  if (T.Points.empty()) return true;
  auto Points = std::make_shared<TSyncEditPoints>();
  for (const TTemplatePoint& TP : T.Points) {
    TSyncEditPoint P{TP.Name, {}};
    for (const TTemplatePoint::TPlace& Place : TP.Places) {
      TSyncEditOccurrence O;
      O.Start = Place.Line == 0 ? TCharPos{At.Index + Place.Index, At.LineNum} : TCharPos{Place.Index, At.LineNum + Place.Line};
      O.End = TCharPos{O.Start.Index + CharCount(TP.Name), O.Start.LineNum};
      O.Text = TP.Name;
      P.Occurrences.push_back(std::move(O));
    }
    Points->Points.push_back(std::move(P));
  }
  return SyncEditManager().SyncEditBlock(View, std::move(Points));
}

}  // namespace nxs
