#include "terminal/panes.h"

#include <algorithm>

#include "build/messages/msglines.h"
#include "editor/keyboard/keycodes.h"
#include "projects/containers.h"
#include "projects/project.h"
#include "projects/projectgroup.h"
#include "shared/filenames.h"

namespace nxs::term {

// ---- the list ----

void TListPane::Select(int Index) { FSelected = std::clamp(Index, 0, std::max(Count() - 1, 0)); }

bool TListPane::Key(uint32_t Key) {
  const int Page = std::max(FRect.Rows - 2, 1);
  switch (Key) {
    case 0x26: Select(FSelected - 1); return true;
    case 0x28: Select(FSelected + 1); return true;
    case 0x21: Select(FSelected - Page); return true;
    case 0x22: Select(FSelected + Page); return true;
    case 0x24: Select(0); return true;
    case 0x23: Select(Count() - 1); return true;
    case 0x0D:
      if (FSelected < Count()) Activate(FSelected);
      return true;
    case 0x25: return Collapse(FSelected);
    case 0x27: return Expand(FSelected);
    default: return false;
  }
}

void TListPane::Click(int Row) {
  const int Index = FTop + Row - FRect.Row - 1;
  if (Row <= FRect.Row || Index >= Count()) return;
  if (Index == FSelected) {
    Activate(Index);
    return;
  }
  Select(Index);
}

void TListPane::Draw(TCellGrid& Grid, const TRect& R, bool Focused, const TPaneStyles& S) {
  FRect = R;
  if (R.Rows <= 0 || R.Cols <= 0) return;
  const TCellStyle TitleStyle = Focused ? S.TitleFocused : S.Title;
  Grid.Fill(TRect{R.Row, R.Col, 1, R.Cols}, TitleStyle);
  Grid.Put(R.Row, R.Col + 1, Title(), TitleStyle, R.Cols - 1);
  const int Rows = R.Rows - 1;
  const int N = Count();
  FSelected = std::clamp(FSelected, 0, std::max(N - 1, 0));
  if (FSelected < FTop) FTop = FSelected;
  if (FSelected >= FTop + Rows) FTop = FSelected - Rows + 1;
  FTop = std::clamp(FTop, 0, std::max(N - Rows, 0));
  for (int I = 0; I < Rows; ++I) {
    const int Index = FTop + I;
    const int Row = R.Row + 1 + I;
    TCellStyle Style = Index < N && RowIsError(Index) ? S.Error : S.Normal;
    if (Index == FSelected && Index < N) Style = Focused ? S.Selected : TCellStyle{Style.Fg, Style.Bg, caUnderline};
    Grid.Fill(TRect{Row, R.Col, 1, R.Cols}, Style);
    if (Index < N) Grid.Put(Row, R.Col, RowText(Index), Style, R.Cols);
  }
}

// ---- the project tree ----

TTreePane::TTreePane(TProjectGroup* Group, TBaseProject* Project, TOpenFile Open)
    : FGroup(Group), FProject(Project), FOpen(std::move(Open)) {
  // The projects start open, so that their files show at once.
  for (TBaseProject* P : Projects()) FExpanded.insert(&P->ProjectContainer());
}

std::vector<TBaseProject*> TTreePane::Projects() const {
  if (FGroup) return FGroup->Projects();
  return FProject ? std::vector<TBaseProject*>{FProject} : std::vector<TBaseProject*>{};
}

std::string TTreePane::Title() { return "Projects"; }

void TTreePane::AddNode(TBaseContainer& Node, int Depth) {
  const bool HasChildren = Node.HasChildren();
  FRows.push_back(TRow{&Node, Depth, HasChildren});
  if (!HasChildren || !FExpanded.count(&Node)) return;
  if (!Node.ChildrenSorted()) Node.SortChildren();
  // A copy: a container may fill its children lazily while they are read.
  const std::vector<PContainer> Children = Node.GetChildren();
  for (const PContainer& C : Children) AddNode(*C, Depth + 1);
}

void TTreePane::Rebuild() {
  FRows.clear();
  FRows.push_back(TRow{nullptr, 0, true});
  if (FGroupExpanded)
    for (TBaseProject* P : Projects()) AddNode(P->ProjectContainer(), 1);
  FStale = false;
}

int TTreePane::Count() {
  if (FStale) Rebuild();
  return static_cast<int>(FRows.size());
}

std::string TTreePane::RowText(int Index) {
  if (FStale) Rebuild();
  const TRow& R = FRows.at(static_cast<size_t>(Index));
  const bool Open = R.Node ? FExpanded.count(R.Node) != 0 : FGroupExpanded;
  std::string Text(static_cast<size_t>(R.Depth) * 2, ' ');
  Text += R.HasChildren ? (Open ? "- " : "+ ") : "  ";
  Text += R.Node ? R.Node->GetString() : ExtractFileName(FGroup ? FGroup->GetFileName() : FProject->GetFileName());
  return Text;
}

void TTreePane::Activate(int Index) {
  if (FStale) Rebuild();
  const TRow& R = FRows.at(static_cast<size_t>(Index));
  if (R.Node && R.Node->IsFileItem() && !R.HasChildren) {
    if (auto* F = dynamic_cast<TStdFileContainer*>(R.Node)) FOpen(F->GetFileName());
    return;
  }
  if (R.HasChildren && !Expand(Index)) Collapse(Index);
}

bool TTreePane::Collapse(int Index) {
  if (FStale) Rebuild();
  const TRow& R = FRows.at(static_cast<size_t>(Index));
  const bool Open = R.Node ? FExpanded.count(R.Node) != 0 : FGroupExpanded;
  if (!Open || !R.HasChildren) {
    // On a closed row Left goes up to the parent.
    for (int I = Index - 1; I >= 0; --I)
      if (FRows[static_cast<size_t>(I)].Depth < R.Depth) {
        Select(I);
        break;
      }
    return true;
  }
  if (R.Node) FExpanded.erase(R.Node);
  else FGroupExpanded = false;
  FStale = true;
  return true;
}

bool TTreePane::Expand(int Index) {
  if (FStale) Rebuild();
  const TRow& R = FRows.at(static_cast<size_t>(Index));
  const bool Open = R.Node ? FExpanded.count(R.Node) != 0 : FGroupExpanded;
  if (Open || !R.HasChildren) return false;
  if (R.Node) FExpanded.insert(R.Node);
  else FGroupExpanded = true;
  FStale = true;
  return true;
}

// ---- the message view ----

namespace {

void Flatten(TLine& Line, int Depth, std::vector<std::pair<TLine*, int>>& Out) {
  Out.emplace_back(&Line, Depth);
  for (int I = 0; I < Line.GetChildCount(); ++I) Flatten(*Line.GetChild(I), Depth + 1, Out);
}

// A number that changes whenever lines come or go in any group.
uint64_t MessageGeneration() {
  uint64_t G = 0;
  TLineBufferList& L = LineBufferList();
  for (int I = 0; I < L.GetCount(); ++I) {
    const TLineBuffer* B = L.GetItem(I);
    G = G * 1000003u + static_cast<uint64_t>(B->GetCount()) + reinterpret_cast<uintptr_t>(B);
    if (B->GetCount() > 0) G = G * 31u + static_cast<uint64_t>(B->GetLines(B->GetCount() - 1)->GetChildCount());
  }
  return G * 7u + reinterpret_cast<uintptr_t>(L.CurrentGroup());
}

}  // namespace

void TMessagePane::Rebuild() {
  FRows.clear();
  if (TLineBuffer* G = LineBufferList().CurrentGroup())
    for (int I = 0; I < G->GetCount(); ++I) Flatten(*G->GetLines(I), 0, FRows);
  FStale = false;
}

std::string TMessagePane::Title() {
  TLineBufferList& L = LineBufferList();
  std::string T;
  for (int I = 0; I < L.GetCount(); ++I) {
    const bool Current = L.GetItem(I) == L.CurrentGroup();
    T += Current ? "[" + L.GetName(I) + "]" : " " + L.GetName(I) + " ";
    T += ' ';
  }
  return T.empty() ? "Messages" : T;
}

int TMessagePane::Count() {
  const uint64_t G = MessageGeneration();
  if (FStale || G != FSeen) Rebuild(), FSeen = G;
  return static_cast<int>(FRows.size());
}

std::string TMessagePane::RowText(int Index) {
  if (Index < 0 || Index >= Count()) return {};
  const auto& [Line, Depth] = FRows[static_cast<size_t>(Index)];
  return std::string(static_cast<size_t>(Depth) * 2, ' ') + Line->GetLineText();
}

bool TMessagePane::RowIsError(int Index) {
  if (Index < 0 || Index >= Count()) return false;
  const auto* C = dynamic_cast<const TCompilerMsgLine*>(FRows[static_cast<size_t>(Index)].first);
  return C && (C->Kind() == msgError || C->Kind() == msgFatal);
}

void TMessagePane::Activate(int Index) {
  if (Index < 0 || Index >= Count()) return;
  TLine* Line = FRows[static_cast<size_t>(Index)].first;
  LineBufferList().SelectLine(Line);
  if (Line->CanGotoSource()) Line->GotoSource();
}

int TMessagePane::RowOf(const TLine* Line) {
  const int N = Count();
  for (int I = 0; I < N; ++I)
    if (FRows[static_cast<size_t>(I)].first == Line) return I;
  return -1;
}

bool TMessagePane::Collapse(int) {
  TLineBufferList& L = LineBufferList();
  for (int I = 1; I < L.GetCount(); ++I)
    if (L.GetItem(I) == L.CurrentGroup()) {
      L.SetCurrentGroup(L.GetItem(I - 1));
      FStale = true;
      Select(0);
      return true;
    }
  return true;
}

bool TMessagePane::Expand(int) {
  TLineBufferList& L = LineBufferList();
  for (int I = 0; I + 1 < L.GetCount(); ++I)
    if (L.GetItem(I) == L.CurrentGroup()) {
      L.SetCurrentGroup(L.GetItem(I + 1));
      FStale = true;
      Select(0);
      return true;
    }
  return true;
}

}  // namespace nxs::term
