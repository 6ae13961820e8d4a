// Message lines: lines and their texts, groups, the group list, and the file entries whose
// trackers keep messages pointing at the right place while their files are edited.
#include "build/messages/msglines.h"

#include <algorithm>
#include <charconv>
#include <climits>

#include "build/messages/resstrings.h"
#include "editor/buffers/edkrnl.h"
#include "editor/buffers/editbuffer.h"
#include "editor/buffers/editview.h"
#include "editor/buffers/edtracker.h"
#include "modules/sourcemodule.h"
#include "shared/filenames.h"
#include "shared/format.h"

namespace nxs {

const char* MsgKindName(TMsgKind Kind) {
  switch (Kind) {
    case msgHint: return res::SMsgHint;
    case msgWarn: return res::SMsgWarning;
    case msgError: return res::SMsgError;
    case msgFatal: return res::SMsgFatal;
    case msgInfo: return "";
  }
  return "";
}

bool MsgKindFromWord(std::string_view Word, TMsgKind& Kind) {
  static const struct {
    const char* Word;
    TMsgKind Kind;
  } Words[] = {{"hint", msgHint}, {"warning", msgWarn}, {"error", msgError}, {"fatal", msgFatal}, {"info", msgInfo}};
  for (const auto& W : Words)
    if (Word == W.Word) {
      Kind = W.Kind;
      return true;
    }
  return false;
}

// ---- lines ----

TLine::~TLine() = default;

TLine* TLine::AddChild(std::unique_ptr<TLine> Child) {
  TLine* C = Child.get();
  C->FParent = this;
  FChildren.push_back(std::move(Child));
  if (FGroup) {
    C->Join(FGroup);
    TEvMessageLine Args(*FGroup, C);
    FGroup->FChildAdded.Send(Args);
  }
  return C;
}

TLine* TLine::GetChild(int Index) const {
  return Index >= 0 && Index < GetChildCount() ? FChildren[static_cast<size_t>(Index)].get() : nullptr;
}

void TLine::MessageGroupRemoved() {
  FGroup = nullptr;
  for (auto& C : FChildren) C->MessageGroupRemoved();
}

void TLine::Join(TLineBuffer* Group) {
  FGroup = Group;
  if (auto* F = AsFileMessageLine(); F && Group->FList) Group->FList->FileBuffer().Register(*F);
  for (auto& C : FChildren) C->Join(Group);
}

void TLine::Leave() {
  // Last first, as the file entries take them from the end.
  for (auto It = FChildren.rbegin(); It != FChildren.rend(); ++It) (*It)->Leave();
  if (auto* F = AsFileMessageLine(); F && F->Tracked() && FGroup && FGroup->FList)
    FGroup->FList->FileBuffer().Unregister(*F);
}

TTitleLine* TTitleLine::Make(TLineBuffer& Group, const std::string& Title, TLine* Parent) {
  auto L = std::make_unique<TTitleLine>(&Group, Title);
  TTitleLine* Raw = L.get();
  if (Parent) Parent->AddChild(std::move(L));
  else Group.Add(std::move(L));
  return Raw;
}

std::string TFindTitleLine::GetLineText() const {
  if (FShowCount && GetChildCount() > 0) return Format("%s [%d]", FTitle, GetChildCount());
  return FTitle;
}

TFileMessageLine::TFileMessageLine(std::string FileName, int32_t Line, int32_t Column, std::string Text, int32_t Ident,
                                   TLineBuffer* Group)
    : TFileMessageLine(std::make_shared<const std::string>(std::move(FileName)), Line, Column, std::move(Text), Ident,
                       Group) {}

TFileMessageLine::TFileMessageLine(TSharedFileName FileName, int32_t Line, int32_t Column, std::string Text,
                                   int32_t Ident, TLineBuffer* Group)
    : TLine(Group), FFileName(FileName ? std::move(FileName) : std::make_shared<const std::string>()), FLine(Line),
      FColumn(Column), FText(std::move(Text)), FIdent(Ident) {}

TFileMessageLine::~TFileMessageLine() {
  if (FEntry) FEntry->RemoveLine(*this);
}

int32_t TFileMessageLine::CurrentLine() const {
  int32_t L = 0, C = 0;
  if (FEntry) FEntry->TrackedPosition(*this, L, C);
  return L > 0 ? L : FLine;
}

int32_t TFileMessageLine::CurrentColumn() const {
  int32_t L = 0, C = 0;
  if (FEntry) FEntry->TrackedPosition(*this, L, C);
  return L > 0 ? C + 1 : FColumn;
}

namespace {

TShowSourceHook& ShowSourceHook() {
  static TShowSourceHook Hook;
  return Hook;
}

void ShowInEditor(const std::string& FileName, int32_t Line, int32_t Column, int32_t, bool Focus) {
  std::shared_ptr<TEditBuffer> B = TEditBuffer::FindBuffer(FileName);
  if (!B) {
    auto* M = dynamic_cast<TSourceModule*>(OpenFile(FileName, false, Focus));
    if (!M) return;
    M->ShowEditor();
    if (M->GetMainSource()) B = M->GetMainSource()->shared_from_this();
  }
  if (!B || Line < 1) return;
  // Tools count characters; the editor goes to screen columns, which tabs and wide
  // characters move further right.
  int32_t Col = std::clamp<int32_t>(Column, 1, SHRT_MAX);
  if (B->GetViewCount() > 0)
    Col = ConvertPos(B->GetView(0)->EkView(), TCharPos{static_cast<int16_t>(Col - 1), Line}).Col;
  B->ShowLineCol(Line, static_cast<int16_t>(std::clamp<int32_t>(Col, 1, SHRT_MAX)), smError | (Focus ? 0 : smNoFocus));
}

}  // namespace

void SetShowSourceHook(TShowSourceHook Hook) { ShowSourceHook() = std::move(Hook); }

void TFileMessageLine::Show(bool Focus) {
  int32_t L = 0, C = 0;
  if (FEntry) FEntry->TrackedPosition(*this, L, C);
  int32_t Line = 0, Column = 0;
  if (L > 0) {
    Line = L;
    Column = C + 1;
  } else if (FLine > 0) {
    Line = FLine;
    Column = FColumn;
  }
  const TShowSourceHook& Hook = ShowSourceHook();
  if (Hook) Hook(*FFileName, Line, Column, FIdent, Focus);
  else ShowInEditor(*FFileName, Line, Column, FIdent, Focus);
}

std::string TCompilerMsgLine::GetLineText() const {
  std::string Label;
  const std::string KindName = MsgKindName(FKind);
  if (!Parent() && (!FPrefix.empty() || !KindName.empty()))
    Label = Format("[%s%s%s] ", FPrefix, !FPrefix.empty() && !KindName.empty() ? " " : "", KindName);
  std::string Place;
  if (!FFileName->empty() && FLine != 0) Place = Format("%s(%d): ", ExtractFileName(*FFileName), FLine);
  return Format("%s%s%s", Label, Place, FText);
}

std::string TFileFindLine::GetLineText() const {
  std::string Text;
  AppendLineText(Text, *FFileName, FLine, FText);
  return Text;
}

void TFileFindLine::AppendLineText(std::string& Out, std::string_view FileName, int32_t Line, std::string_view LineText) {
  char Number[16];
  const char* End = std::to_chars(Number, Number + sizeof Number, Line).ptr;
  Out.append(FileName).append(1, '(').append(Number, static_cast<size_t>(End - Number)).append("): ").append(LineText);
}

// ---- groups ----

TLineBuffer::~TLineBuffer() {
  // Lines leave the file buffer before they go; the list may be going too.
  for (auto It = FLines.rbegin(); It != FLines.rend(); ++It) (*It)->Leave();
}

TLine* TLineBuffer::Add(std::unique_ptr<TLine> Line) {
  TLine* L = Line.get();
  FLines.push_back(std::move(Line));
  L->Join(this);
  TEvMessageLine Args(*this, L);
  FLineAdded.Send(Args);
  return L;
}

TLine* TLineBuffer::AddFileLine(std::unique_ptr<TLine> Line, TLine* Parent) {
  if (!Line->AsFileMessageLine()) return nullptr;
  return Parent ? Parent->AddChild(std::move(Line)) : Add(std::move(Line));
}

void TLineBuffer::Remove(TLine* Line) {
  auto It = std::find_if(FLines.begin(), FLines.end(), [Line](const auto& L) { return L.get() == Line; });
  if (It == FLines.end()) return;
  Line->Leave();
  if (FList) FList->Forget(*Line);
  FLines.erase(It);
}

void TLineBuffer::Prune(const std::function<bool(const TLine&)>& Take) {
  FClearing = true;
  for (size_t I = FLines.size(); I-- > 0;) {
    if (!Take(*FLines[I])) continue;
    FLines[I]->Leave();
    if (FList) FList->Forget(*FLines[I]);
    FLines.erase(FLines.begin() + static_cast<std::ptrdiff_t>(I));
  }
  if (FAutoScrollType == mgastAuto) FAutoScroll = true;
  FClearing = false;
}

void TLineBuffer::Clear() {
  Prune([](const TLine&) { return true; });
  TEvMessageLine Args(*this, nullptr);
  FLinesRemoved.Send(Args);
}

void TLineBuffer::ClearLineClass(TLineClass Class) {
  const size_t Before = FLines.size();
  Prune([Class](const TLine& L) { return !Class || Class(L); });
  if (FLines.size() == Before) return;
  TEvMessageLine Args(*this, nullptr);
  FLinesRemoved.Send(Args);
}

TLine* TLineBuffer::GetLines(int Index) const {
  return Index >= 0 && Index < GetCount() ? FLines[static_cast<size_t>(Index)].get() : nullptr;
}

int TLineBuffer::GetErrorCount() const {
  int N = 0;
  for (const auto& L : FLines)
    if (auto* C = dynamic_cast<const TCompilerMsgLine*>(L.get()); C && (C->Kind() == msgError || C->Kind() == msgFatal))
      ++N;
  return N;
}

// ---- file entries ----

TFileEntry::TFileEntry(std::string FileName)
    : FFileName(std::move(FileName)), FTracker(std::make_unique<TEdTracker>()) {
  FTracker->FOnLineMoved = [this](int32_t Old, int32_t New, uint32_t Id) { LineMoved(Old, New, Id); };
  if (std::shared_ptr<TEditBuffer> B = TEditBuffer::FindBuffer(FFileName)) AttachBuffer(B.get());
}

TFileEntry::~TFileEntry() {
  for (auto& [Id, Line] : FLines) Line->FEntry = nullptr;
}

void TFileEntry::AddLine(TFileMessageLine& Line) {
  if (Line.Line() < 1) return;  // no place in the text to follow
  const uint32_t Id = FNextId++;
  const int16_t CharIndex = static_cast<int16_t>(std::clamp<int32_t>(Line.Column() - 1, 0, SHRT_MAX));
  // Positions go into the tracker once the file has an edit buffer that can move them.
  const int Index = FTracking ? FTracker->Add(Line.Line(), CharIndex, Id) : -1;
  if (FTracking && Index < 0) return;  // the table is full: untracked
  FLines.emplace_back(Id, &Line);
  Line.FEntry = this;
  Line.FTrackId = Id;
  Line.FTrackIndex = Index;
}

int TFileEntry::TrackIndex(const TFileMessageLine& Line) const {
  if (!FTracking) return -1;
  // Entries keep their index while they live: a line without one has none, and looking for
  // it would read the whole table for every untracked line.
  if (Line.FTrackIndex >= 0 && FTracker->GetData(Line.FTrackIndex) == Line.FTrackId) return Line.FTrackIndex;
  return -1;
}

void TFileEntry::RemoveLine(TFileMessageLine& Line) {
  if (Line.FEntry != this) return;
  FTracker->Delete(TrackIndex(Line));
  auto It = std::lower_bound(FLines.begin(), FLines.end(), Line.FTrackId,
                             [](const auto& E, uint32_t Id) { return E.first < Id; });
  if (It != FLines.end() && It->first == Line.FTrackId) FLines.erase(It);
  Line.FEntry = nullptr;
  Line.FTrackIndex = -1;
}

void TFileEntry::AttachBuffer(TEditBuffer* Buffer) {
  if (Buffer && !FTracking) {
    // The first buffer of the file: every line's position enters the tracker, in the order
    // the lines came; those the table cannot take stay at the places the tools reported.
    FTracking = true;
    for (auto& [Id, Line] : FLines) {
      const int16_t CharIndex = static_cast<int16_t>(std::clamp<int32_t>(Line->Column() - 1, 0, SHRT_MAX));
      Line->FTrackIndex = FTracker->Add(Line->Line(), CharIndex, Id);
      if (Line->FTrackIndex < 0) Line->FEntry = nullptr;
    }
    // In one pass: one at a time, each would move the rest of the list.
    std::erase_if(FLines, [](const auto& E) { return E.second->FTrackIndex < 0; });
  }
  FTracker->SetEditBuffer(Buffer);
  if (Buffer) FTracker->Attach();
}

TEditBuffer* TFileEntry::Buffer() const { return FTracker->Attached() ? FTracker->EditBuffer() : nullptr; }

void TFileEntry::TrackedPosition(const TFileMessageLine& Line, int32_t& LineNum, int32_t& CharIndex) const {
  const int I = TrackIndex(Line);
  const TCharPos P = FTracker->GetPosition(I);
  LineNum = I >= 0 && FTracker->InUse(I) ? P.LineNum : 0;
  CharIndex = I >= 0 && FTracker->InUse(I) ? P.Index : 0;
}

// A message whose line was deleted points at nothing in the text any more: it leaves the
// entry and goes back to the place the tool reported.
void TFileEntry::LineMoved(int32_t, int32_t NewLine, uint32_t Id) {
  if (NewLine >= 1) return;
  auto It = std::lower_bound(FLines.begin(), FLines.end(), Id, [](const auto& E, uint32_t I) { return E.first < I; });
  if (It == FLines.end() || It->first != Id) return;
  RemoveLine(*It->second);
}

TFileBuffer::TFileBuffer() {
  EvEditBufferCreated().Add(this, &TFileBuffer::BufferCreated);
  EvEditBufferDestroyed().Add(this, &TFileBuffer::BufferDestroyed);
}

TFileBuffer::~TFileBuffer() {
  EvEditBufferCreated().Remove(this, &TFileBuffer::BufferCreated);
  EvEditBufferDestroyed().Remove(this, &TFileBuffer::BufferDestroyed);
}

void TFileBuffer::Register(TFileMessageLine& Line) {
  const std::string& Name = *Line.FFileName;
  if (Line.FEntry || Name.empty()) return;
  // A relative name may stand for another file once the current directory changed.
  const bool Same = FLastEntry && Name[0] == '/' && (Line.FFileName == FLastName || Name == *FLastName);
  if (!Same) {
    const std::string Key = ExpandFileName(Name);
    auto& E = FEntries[Key];
    if (!E) E = std::make_unique<TFileEntry>(Key);
    FLastEntry = E.get();
  }
  FLastName = Line.FFileName;
  FLastEntry->AddLine(Line);
}

void TFileBuffer::Unregister(TFileMessageLine& Line) {
  TFileEntry* E = Line.FEntry;
  if (!E) return;
  E->RemoveLine(Line);
  if (E->LineCount() > 0) return;
  if (E == FLastEntry) {
    FLastEntry = nullptr;
    FLastName.reset();
  }
  FEntries.erase(E->FileName());
}

TFileEntry* TFileBuffer::Find(const std::string& FileName) const {
  auto It = FEntries.find(ExpandFileName(FileName));
  return It == FEntries.end() ? nullptr : It->second.get();
}

void TFileBuffer::BufferCreated(TEvEditBufferLife& Args) {
  if (TFileEntry* E = Find(Args.Buffer.FileName())) E->AttachBuffer(&Args.Buffer);
}

void TFileBuffer::BufferDestroyed(TEvEditBufferLife& Args) {
  TFileEntry* E = Find(Args.Buffer.FileName());
  if (E && E->Buffer() == &Args.Buffer) E->AttachBuffer(nullptr);
}

// ---- the group list ----

TLineBufferList::~TLineBufferList() {
  // The groups' lines leave the file buffer while it still exists.
  while (!FGroups.empty()) FGroups.pop_back();
}

TLineBuffer* TLineBufferList::Append(std::unique_ptr<TLineBuffer> Group) {
  TLineBuffer* G = Group.get();
  FGroups.push_back(std::move(Group));
  TEvMessageGroup Args(*G);
  FGroupAdded.Send(Args);
  return G;
}

TLineBuffer* TLineBufferList::AddList(const std::string& Name) {
  if (TLineBuffer* G = GetGroup(Name)) return G;
  return Append(std::make_unique<TLineBuffer>(Name, GetCount(), this));
}

// A plain group of the same name does not stand in the way, nor does it make a second
// search group at every call.
TSearchLineBuffer* TLineBufferList::AddSearchList(const std::string& Name) {
  for (const auto& G : FGroups)
    if (G->GetGroupName() == Name && G->IsSearchGroup()) return static_cast<TSearchLineBuffer*>(G.get());
  return static_cast<TSearchLineBuffer*>(Append(std::make_unique<TSearchLineBuffer>(Name, GetCount(), this)));
}

TLineBuffer* TLineBufferList::GetGroup(const std::string& Name) const {
  for (const auto& G : FGroups)
    if (G->GetGroupName() == Name) return G.get();
  return nullptr;
}

TLineBuffer* TLineBufferList::GetItem(int Index) const {
  return Index >= 0 && Index < GetCount() ? FGroups[static_cast<size_t>(Index)].get() : nullptr;
}

std::string TLineBufferList::GetName(int Index) const {
  TLineBuffer* G = GetItem(Index);
  return G ? G->GetGroupName() : std::string();
}

void TLineBufferList::RemoveList(TLineBuffer* Group) {
  if (!Group || Group->GetGroupIndex() == 0) return;
  auto It = std::find_if(FGroups.begin(), FGroups.end(), [Group](const auto& G) { return G.get() == Group; });
  if (It == FGroups.end()) return;
  TEvMessageGroup Args(*Group);
  FGroupRemoved.Send(Args);
  Group->Clear();
  if (FCurrentGroup == Group) FCurrentGroup = nullptr;
  FGroups.erase(It);
  for (size_t I = 0; I < FGroups.size(); ++I) FGroups[I]->FIndex = static_cast<int>(I);
}

void TLineBufferList::ClearList(TLineBuffer* Group) {
  if (Group) Group->Clear();
}

void TLineBufferList::ClearAll() {
  for (int I = GetCount() - 1; I >= 0; --I) {
    TLineBuffer* G = GetItem(I);
    G->Clear();
    if (G->GetCanClose()) RemoveList(G);
  }
}

void TLineBufferList::ClearLineClass(TLineClass Class, int GroupIndex) {
  for (int I = 0; I < GetCount(); ++I)
    if (GroupIndex < 0 || GroupIndex == I) GetItem(I)->ClearLineClass(Class);
}

TLineBuffer* TLineBufferList::CurrentGroup() const {
  if (FSelected && FSelected->Group()) return FSelected->Group();
  if (FCurrentGroup) return FCurrentGroup;
  return GetItem(0);
}

void TLineBufferList::Forget(const TLine& Line) {
  for (const TLine* L = FSelected; L; L = L->Parent())
    if (L == &Line) {
      FSelected = nullptr;
      return;
    }
}

namespace {

std::unique_ptr<TLineBufferList>& TheList() {
  // Made first, the edit buffers' events outlive the list, which leaves them as it goes.
  EvEditBufferCreated();
  EvEditBufferDestroyed();
  static std::unique_ptr<TLineBufferList> List;
  return List;
}

// The lines of Group in the order the view shows them: each line, then its children.
void Flatten(const TLine& L, std::vector<TLine*>& Out) {
  Out.push_back(const_cast<TLine*>(&L));
  for (int I = 0; I < L.GetChildCount(); ++I) Flatten(*L.GetChild(I), Out);
}

std::vector<TLine*> ViewOrder(const TLineBuffer& Group) {
  std::vector<TLine*> Out;
  for (int I = 0; I < Group.GetCount(); ++I) Flatten(*Group.GetLines(I), Out);
  return Out;
}

TLine* Step(bool Forward, bool FromTop, bool (*Wanted)(const TLine&)) {
  TLineBufferList& List = LineBufferList();
  TLineBuffer* G = List.CurrentGroup();
  if (!G) return nullptr;
  const std::vector<TLine*> Lines = ViewOrder(*G);
  const auto N = static_cast<std::ptrdiff_t>(Lines.size());
  std::ptrdiff_t At = Forward ? -1 : N;
  if (!FromTop && List.Selected()) {
    auto It = std::find(Lines.begin(), Lines.end(), List.Selected());
    if (It != Lines.end()) At = It - Lines.begin();
  }
  for (At += Forward ? 1 : -1; At >= 0 && At < N; At += Forward ? 1 : -1) {
    TLine* L = Lines[static_cast<size_t>(At)];
    if (!Wanted(*L)) continue;
    List.SelectLine(L);
    L->GotoSource();
    return L;
  }
  return nullptr;
}

void AppendLines(const TLine& L, int Depth, std::string& Out) {
  Out.append(static_cast<size_t>(Depth) * 2, ' ');
  Out += L.GetLineText();
  Out += '\n';
  for (int I = 0; I < L.GetChildCount(); ++I) AppendLines(*L.GetChild(I), Depth + 1, Out);
}

}  // namespace

TLineBufferList& LineBufferList() {
  if (!TheList()) TheList() = std::make_unique<TLineBufferList>();
  return *TheList();
}

void InitializeMessageLines() { LineBufferList(); }

void FinalizeMessageLines() { TheList().reset(); }

void TLineBufferList::ChangeViews(TMsgViewChange Change) {
  TEvMessageViews Args(Change, CurrentGroup());
  FViewsChanged.Send(Args);
}

void OpenMsgView(TLineBuffer* Group, bool Show) {
  TLineBufferList& List = LineBufferList();
  List.SetCurrentGroup(Group);
  List.SelectLine(nullptr);
  if (!Show) return;
  List.FViewsVisible = true;
  List.ChangeViews(TMsgViewChange::mvcShow);
}

void UpdateMsgViews() {
  TLineBufferList& List = LineBufferList();
  if (List.ViewsVisible()) List.ChangeViews(TMsgViewChange::mvcUpdate);
}

void HideMsgViews() {
  TLineBufferList& List = LineBufferList();
  if (!List.FViewsVisible) return;
  List.FViewsVisible = false;
  List.ChangeViews(TMsgViewChange::mvcHide);
}

void SelectLine(TLine* Line) { LineBufferList().SelectLine(Line); }

TLine* NextMessage(bool Forward) {
  return Step(Forward, false, [](const TLine& L) { return L.CanGotoSource(); });
}

TLine* NextErrorMessage(bool Forward, bool FromTop) {
  return Step(Forward, FromTop, [](const TLine& L) {
    auto* C = dynamic_cast<const TCompilerMsgLine*>(&L);
    return C && (C->Kind() == msgError || C->Kind() == msgFatal);
  });
}

TLine* ShowFirstFind(TLineBuffer* Group) {
  OpenMsgView(Group, true);
  return NextMessage(true);
}

TLine* MessageAt(int N) {
  TLineBufferList& List = LineBufferList();
  for (int G = 0; G < List.GetCount() && N >= 1; ++G) {
    const std::vector<TLine*> Lines = ViewOrder(*List.GetItem(G));
    if (N <= static_cast<int>(Lines.size())) return Lines[static_cast<size_t>(N - 1)];
    N -= static_cast<int>(Lines.size());
  }
  return nullptr;
}

std::string MessageViewText() {
  std::string Out;
  TLineBufferList& List = LineBufferList();
  for (int G = 0; G < List.GetCount(); ++G)
    for (int I = 0; I < List.GetItem(G)->GetCount(); ++I) AppendLines(*List.GetItem(G)->GetLines(I), 0, Out);
  return Out;
}

}  // namespace nxs
