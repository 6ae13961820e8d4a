#include "debugger/breakpoints.h"

#include <algorithm>

#include "debugger/debugmgr.h"
#include "debugger/resstrings.h"
#include "modules/inifile.h"
#include "shared/deskparse.h"
#include "shared/dialogs.h"
#include "shared/format.h"
#include "shared/text.h"

namespace nxs {

namespace {

int Flag(bool B) { return B ? 1 : 0; }

}  // namespace

std::string StripHotkey(const std::string& Caption) {
  std::string R;
  for (size_t I = 0; I < Caption.size(); ++I) {
    if (Caption[I] == '&') {
      if (I + 1 < Caption.size() && Caption[I + 1] == '&') {
        R += '&';
        ++I;
      }
      continue;
    }
    R += Caption[I];
  }
  return R;
}

// ---------------------------------------------------------------------------------------
// TBreakpoint

void TBreakpoint::Destruct() {
  FNotifyList.Notify([this](IOTABreakpointNotifier& N) { N.Destroyed(*this); });
  FNotifyList = {};
  FOnChange = nullptr;
}

int TBreakpoint::Trigger() {
  int Result = btDefault;
  bool Decided = false;
  FNotifyList.Notify([&](IOTABreakpointNotifier& N) {
    if (Decided) return;
    const int Answer = N.Trigger(*this);
    if (Answer < btDefault) {
      Result = Answer;
      Decided = true;
    }
  });
  return Result;
}

bool TBreakpoint::Edit(bool AllowKeyChanges) {
  bool Shown = false;
  FNotifyList.Notify([&](IOTABreakpointNotifier& N) {
    if (!Shown) Shown = N.Edit(*this, AllowKeyChanges);
  });
  return Shown;
}

void TBreakpoint::SetEnabled(bool Value) { Set(FEnabled, Value); }
void TBreakpoint::SetExpression(const std::string& Value) { Set(FExpression, Value); }
void TBreakpoint::SetPassCount(int Value) { Set(FPassCount, std::max(0, Value)); }
void TBreakpoint::SetThreadCondition(const std::string& Value) { Set(FThreadCondition, Value); }
void TBreakpoint::SetGroupName(const std::string& Value) { Set(FGroupName, Value); }
void TBreakpoint::SetDoBreak(bool Value) { Set(FDoBreak, Value); }
void TBreakpoint::SetLogMessage(const std::string& Value) { Set(FLogMessage, Value); }
void TBreakpoint::SetEvalExpression(const std::string& Value) { Set(FEvalExpression, Value); }
void TBreakpoint::SetLogResult(bool Value) { Set(FLogResult, Value); }
void TBreakpoint::SetEnableGroup(const std::string& Value) { Set(FEnableGroup, Value); }
void TBreakpoint::SetDisableGroup(const std::string& Value) { Set(FDisableGroup, Value); }
void TBreakpoint::SetDoHandleExceptions(bool Value) { Set(FDoHandleExceptions, Value); }
void TBreakpoint::SetDoIgnoreExceptions(bool Value) { Set(FDoIgnoreExceptions, Value); }
void TBreakpoint::SetStackFramesToLog(int Value) { Set(FStackFramesToLog, std::max(-1, Value)); }
void TBreakpoint::SetFileName(const std::string& Value) { Set(FFileName, Value); }
void TBreakpoint::SetLineNumber(int Value) { Set(FLineNumber, Value); }

bool TBreakpoint::DecPassCount() {
  --FCurPassCount;
  return FCurPassCount == 0;
}

void TBreakpoint::EndUpdate() {
  if (FUpdateCount > 0 && --FUpdateCount == 0) Changed();
}

void TBreakpoint::Changed() {
  if (FUpdateCount > 0 || !FOnChange) return;
  FNotifyList.Notify([this](IOTABreakpointNotifier& N) { N.Modified(*this); });
  FOnChange->BreakpointChanged(*this);
}

bool TBreakpoint::ValidInProcess(const std::shared_ptr<IOTAProcess>& Process) {
  return Process && Process->IsBreakpointValid(*this);
}

bool TBreakpoint::ValidInCurrentProcess() {
  return DebugMgrExists() && ValidInProcess(DebugMgr().GetCurrentProcess());
}

void TBreakpoint::Verified(TOTABreakpointPlanting Planting, int VerifiedLine) {
  FPlanting = Planting;
  FVerifiedLine = VerifiedLine;
}

std::string TBreakpoint::GetHintText() const {
  std::vector<std::string> Lines;
  if (!FExpression.empty()) Lines.push_back(res::SBpCondition + FExpression);
  if (!FThreadCondition.empty()) Lines.push_back(res::SBpThread + FThreadCondition);
  std::vector<std::string> Actions;
  if (FDoBreak) Actions.emplace_back(res::SBpBreak);
  if (FDoIgnoreExceptions) Actions.emplace_back(res::SBpIgnoreExceptions);
  if (FDoHandleExceptions) Actions.emplace_back(res::SBpHandleExceptions);
  if (!FLogMessage.empty()) Actions.push_back(Format(res::SBpLogMessage, FLogMessage));
  if (!FEvalExpression.empty())
    Actions.push_back(Format(FLogResult ? res::SBpLogExpression : res::SBpEvalExpression, FEvalExpression));
  if (!FEnableGroup.empty()) Actions.push_back(Format(res::SBpEnableGroup, FEnableGroup));
  if (!FDisableGroup.empty()) Actions.push_back(Format(res::SBpDisableGroup, FDisableGroup));
  if (FStackFramesToLog == -1)
    Actions.emplace_back(res::SBpLogAllFrames);
  else if (FStackFramesToLog == 1)
    Actions.emplace_back(res::SBpLogOneFrame);
  else if (FStackFramesToLog != 0)
    Actions.push_back(Format(res::SBpLogFrames, FStackFramesToLog));
  if (!Actions.empty()) {
    std::string A = res::SBpAction;
    for (size_t I = 0; I < Actions.size(); ++I) {
      if (I > 0) A += res::SBpActionSeparator;
      A += Actions[I];
    }
    Lines.push_back(A);
  }
  if (!FGroupName.empty()) Lines.push_back(res::SBpGroup + FGroupName);
  Lines.push_back(res::SBpPassCount +
                  (FPassCount != 0 ? Format(res::SBpPassCountOf, FCurPassCount, FPassCount) : std::string("0")));
  std::string Text;
  for (size_t I = 0; I < Lines.size(); ++I) {
    if (I > 0) Text += '\n';
    Text += Lines[I];
  }
  return Text;
}

// ---------------------------------------------------------------------------------------
// TBreakpointManager

TBreakpointManager::~TBreakpointManager() {
  for (const auto& B : FBPList) B->Destruct();
}

void TBreakpointManager::Announce(const std::shared_ptr<TBreakpoint>& Breakpoint) {
  FModified = true;
  if (FDebugMgr) FDebugMgr->SourceBreakpointAdded(Breakpoint);
  TEvSourceBreakpoint Ev(this, Breakpoint);
  FEvSourceBreakpointAdded.Send(Ev);
}

int TBreakpointManager::Add(const TBreakpointProps& P) {
  auto B = std::make_shared<TBreakpoint>(P.FileName, P.LineNumber);
  B->BeginUpdate();
  B->SetExpression(P.Expression);
  B->SetPassCount(P.PassCount);
  B->SetEnabled(P.Enabled);
  B->SetGroupName(P.GroupName);
  B->SetDoBreak(P.DoBreak);
  B->SetDoIgnoreExceptions(P.DoIgnoreExceptions);
  B->SetDoHandleExceptions(P.DoHandleExceptions);
  B->SetLogMessage(P.LogMessage);
  B->SetLogResult(P.LogResult);
  B->SetEvalExpression(P.EvalExpression);
  B->SetEnableGroup(P.EnableGroup);
  B->SetDisableGroup(P.DisableGroup);
  B->SetStackFramesToLog(P.StackFramesToLog);
  B->SetThreadCondition(P.ThreadCondition);
  B->EndUpdate();
  B->FOnChange = this;
  FBPList.push_back(B);
  Announce(B);
  return static_cast<int>(FBPList.size()) - 1;
}

void TBreakpointManager::Toggle(const std::string& FileName, int LineNumber, bool ToggleEnabled) {
  const int I = Find(FileName, LineNumber);
  if (I < 0) {
    TBreakpointProps P;
    P.FileName = FileName;
    P.LineNumber = LineNumber;
    P.Enabled = !ToggleEnabled;
    Add(P);
    return;
  }
  if (ToggleEnabled) {
    auto& B = FBPList[static_cast<size_t>(I)];
    B->SetEnabled(!B->GetEnabled());
    return;
  }
  Delete(I);
}

int TBreakpointManager::Find(const std::string& FileName, int LineNumber) const {
  for (size_t I = 0; I < FBPList.size(); ++I)
    if (FBPList[I]->FLineNumber == LineNumber && FBPList[I]->FFileName == FileName) return static_cast<int>(I);
  return -1;
}

void TBreakpointManager::Delete(int Index) {
  if (Index < 0 || static_cast<size_t>(Index) >= FBPList.size()) return;
  std::shared_ptr<TBreakpoint> B = FBPList[static_cast<size_t>(Index)];
  FBPList.erase(FBPList.begin() + Index);
  B->FOnChange = nullptr;
  FModified = true;
  if (FDebugMgr) FDebugMgr->SourceBreakpointDeleted(B);
  TEvSourceBreakpoint Ev(this, B);
  FEvSourceBreakpointDeleted.Send(Ev);
  B->Destruct();
}

void TBreakpointManager::Clear() {
  while (!FBPList.empty()) Delete(static_cast<int>(FBPList.size()) - 1);
}

std::shared_ptr<TBreakpoint> TBreakpointManager::GetBreakpoint(int Index) const {
  if (Index < 0 || static_cast<size_t>(Index) >= FBPList.size()) return nullptr;
  return FBPList[static_cast<size_t>(Index)];
}

int TBreakpointManager::IndexOf(const IOTABreakpoint* Breakpoint) const {
  for (size_t I = 0; I < FBPList.size(); ++I)
    if (FBPList[I].get() == Breakpoint) return static_cast<int>(I);
  return -1;
}

void TBreakpointManager::BreakpointChanged(TBreakpoint& Breakpoint) {
  FModified = true;
  std::shared_ptr<TBreakpoint> B = Breakpoint.shared_from_this();
  if (FDebugMgr) FDebugMgr->SourceBreakpointChanged(B);
  TEvSourceBreakpoint Ev(this, B);
  FEvSourceBreakpointChanged.Send(Ev);
}

void TBreakpointManager::EnableGroup(const std::string& GroupName, bool Enable) {
  const std::string Group = StripHotkey(GroupName);
  // A copy: a change notice may lead a listener to delete a breakpoint.
  const auto List = FBPList;
  for (const auto& B : List)
    if (StripHotkey(B->GetGroupName()) == Group) B->SetEnabled(Enable);
  if (!FDebugMgr) return;
  for (const auto& B : FDebugMgr->KernelBreakpoints())
    if (StripHotkey(B->GetGroupName()) == Group) B->SetEnabled(Enable);
}

void TBreakpointManager::EnableAll(bool Enable) {
  const auto List = FBPList;
  for (const auto& B : List) B->SetEnabled(Enable);
  if (!FDebugMgr) return;
  for (const auto& B : FDebugMgr->KernelBreakpoints()) B->SetEnabled(Enable);
}

bool TBreakpointManager::DeleteAll() {
  if (Questions().MessageDlg(res::SDeleteAllBreakpoints, TMsgDlgType::mtConfirmation, mbYes | mbNo, mrNo) != mrYes)
    return false;
  Clear();
  return true;
}

std::vector<std::string> TBreakpointManager::GroupNames() const {
  std::vector<std::string> Names;
  auto AddName = [&](const std::string& Name) {
    if (!Name.empty() && std::find(Names.begin(), Names.end(), Name) == Names.end()) Names.push_back(Name);
  };
  for (const auto& B : FBPList) AddName(B->GetGroupName());
  if (FDebugMgr)
    for (const auto& B : FDebugMgr->KernelBreakpoints()) AddName(B->GetGroupName());
  return Names;
}

// ---------------------------------------------------------------------------------------
// Persistence

std::string TBreakpointManager::FormatBreakpoint(const TBreakpoint& B) {
  return Format(res::SBreakpointValue, DesktopQuoted(B.FFileName), static_cast<unsigned>(std::max(0, B.FLineNumber)),
                DesktopQuoted(B.FExpression), static_cast<unsigned>(std::max(0, B.FPassCount)), Flag(B.FEnabled),
                DesktopQuoted(B.FGroupName), Flag(B.FDoBreak), Flag(B.FDoIgnoreExceptions), Flag(B.FDoHandleExceptions),
                DesktopQuoted(B.FLogMessage), Flag(B.FLogResult), DesktopQuoted(B.FEvalExpression), DesktopQuoted(B.FEnableGroup),
                DesktopQuoted(B.FDisableGroup), B.FStackFramesToLog, DesktopQuoted(B.FThreadCondition));
}

void TBreakpointManager::SaveBreakpoints(TCustomIniFile& Ini, bool Force) {
  if (!Force && !(FDebugMgr && FDebugMgr->GetVDGoodies())) return;
  Ini.BeginUpdate();
  Ini.EraseSection(res::SBreakpointsSection);
  Ini.WriteInteger(res::SBreakpointsSection, res::SBreakpointsCount, GetCount());
  for (int I = 0; I < GetCount(); ++I)
    Ini.WriteString(res::SBreakpointsSection, Format(res::SBreakpointKey, I), FormatBreakpoint(*FBPList[static_cast<size_t>(I)]));
  if (FDebugMgr)
    for (int I = 0; I < FDebugMgr->GetDebuggerCount(); ++I) FDebugMgr->GetDebugger(I)->SaveBreakpoints(Ini);
  Ini.EndUpdate();
  FModified = false;
}

void TBreakpointManager::LoadBreakpoints(TCustomIniFile& Ini) {
  Clear();
  const int64_t Count = Ini.ReadInteger(res::SBreakpointsSection, res::SBreakpointsCount, 0);
  for (int64_t I = 0; I < Count && I < 1000000; ++I) {
    const std::string Value = Ini.ReadString(res::SBreakpointsSection, Format(res::SBreakpointKey, I), "");
    TBreakpointProps P;
    // A damaged entry (a hand edit, a cut-off file) is skipped; the others still load.
    if (!ParseBreakpoint(Value, P)) continue;
    const bool Enabled = P.Enabled;
    const int Index = Add(P);
    FBPList[static_cast<size_t>(Index)]->SetEnabled(Enabled);
  }
  if (FDebugMgr)
    for (int I = 0; I < FDebugMgr->GetDebuggerCount(); ++I) FDebugMgr->GetDebugger(I)->LoadBreakpoints(Ini);
  FModified = false;
}

}  // namespace nxs

namespace nxs {

bool TBreakpointManager::ParseBreakpoint(const std::string& Value, TBreakpointProps& P) {
  TDesktopParser R(Value);
  // Integers outside an int's range, and flags other than 0 and 1, mark a damaged value.
  bool Ok = true;
  auto Int = [&](int& Out, int64_t Min, int64_t Max) {
    R.SkipWhite();
    const int64_t V = R.GetInteger();
    if (V < Min || V > Max) Ok = false;
    Out = static_cast<int>(std::clamp<int64_t>(V, INT32_MIN, INT32_MAX));
  };
  auto Flag = [&](bool& Out) {
    int V = 0;
    Int(V, 0, 1);
    Out = V != 0;
  };
  auto Str = [&](std::string& Out) {
    R.SkipWhite();
    Out = R.GetString();
  };
  try {
    Str(P.FileName);
    Int(P.LineNumber, 1, INT32_MAX);
    Str(P.Expression);
    Int(P.PassCount, 0, INT32_MAX);
    Flag(P.Enabled);
    Str(P.GroupName);
    Flag(P.DoBreak);
    Flag(P.DoIgnoreExceptions);
    Flag(P.DoHandleExceptions);
    Str(P.LogMessage);
    Flag(P.LogResult);
    Str(P.EvalExpression);
    Str(P.EnableGroup);
    Str(P.DisableGroup);
    Int(P.StackFramesToLog, -1, INT32_MAX);
    Str(P.ThreadCondition);
  } catch (const EDesktopParserError&) {
    return false;
  }
  // Fields a later version adds after these are left for it.
  return Ok && !P.FileName.empty();
}

}  // namespace nxs
