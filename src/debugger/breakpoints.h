// Source breakpoints and the breakpoint manager that owns them. Breakpoints exist before
// any process runs and are handed to every kernel, which keeps its planted copy in step
// through the added, changed and deleted notices; they persist in the desktop file.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "debugger/kernel.h"
#include "shared/event.h"
#include "shared/notifiers.h"

namespace nxs {

class TCustomIniFile;
class TDebuggerMgr;
class TBreakpointManager;

// A source breakpoint. Every setter is a change: it calls Changed, which tells the manager
// unless an update is open.
class TBreakpoint : public IOTASourceBreakpoint, public std::enable_shared_from_this<TBreakpoint> {
 public:
  TBreakpoint(std::string FileName, int LineNumber) : FFileName(std::move(FileName)), FLineNumber(LineNumber) {}
  TBreakpoint(const TBreakpoint&) = delete;  // kernels and notifiers hold it by identity
  TBreakpoint& operator=(const TBreakpoint&) = delete;

  int AddNotifier(std::shared_ptr<IOTABreakpointNotifier> Notifier) override { return FNotifyList.Add(std::move(Notifier)); }
  void RemoveNotifier(int Index) override { FNotifyList.Remove(Index); }
  // Tells the notifiers that the breakpoint goes, and forgets them.
  void Destruct();
  int Trigger() override;
  int DefaultTrigger() override { return btDefault; }
  bool Edit(bool AllowKeyChanges) override;

  bool GetEnabled() const override { return FEnabled; }
  void SetEnabled(bool Value) override;
  std::string GetExpression() const override { return FExpression; }
  void SetExpression(const std::string& Value) override;
  int GetPassCount() const override { return FPassCount; }
  void SetPassCount(int Value) override;
  int GetCurPassCount() const override { return FCurPassCount; }
  // The passes so far are the kernel's count, not a property: no change notice.
  void SetCurPassCount(int Value) override { FCurPassCount = Value; }
  bool DecPassCount() override;
  void ResetPassCount() override { FCurPassCount = 0; }
  std::string GetThreadCondition() const override { return FThreadCondition; }
  void SetThreadCondition(const std::string& Value) override;
  std::string GetGroupName() const override { return FGroupName; }
  void SetGroupName(const std::string& Value) override;
  bool GetDoBreak() const override { return FDoBreak; }
  void SetDoBreak(bool Value) override;
  std::string GetLogMessage() const override { return FLogMessage; }
  void SetLogMessage(const std::string& Value) override;
  std::string GetEvalExpression() const override { return FEvalExpression; }
  void SetEvalExpression(const std::string& Value) override;
  bool GetLogResult() const override { return FLogResult; }
  void SetLogResult(bool Value) override;
  std::string GetEnableGroup() const override { return FEnableGroup; }
  void SetEnableGroup(const std::string& Value) override;
  std::string GetDisableGroup() const override { return FDisableGroup; }
  void SetDisableGroup(const std::string& Value) override;
  bool GetDoHandleExceptions() const override { return FDoHandleExceptions; }
  void SetDoHandleExceptions(bool Value) override;
  bool GetDoIgnoreExceptions() const override { return FDoIgnoreExceptions; }
  void SetDoIgnoreExceptions(bool Value) override;
  int GetStackFramesToLog() const override { return FStackFramesToLog; }
  void SetStackFramesToLog(int Value) override;
  std::string GetFileName() const override { return FFileName; }
  void SetFileName(const std::string& Value) override;
  int GetLineNumber() const override { return FLineNumber; }
  void SetLineNumber(int Value) override;

  void BeginUpdate() override { ++FUpdateCount; }
  void EndUpdate() override;
  // Tells the manager of a change, unless an update is open or no manager listens.
  void Changed();

  bool ValidInProcess(const std::shared_ptr<IOTAProcess>& Process) override;
  bool ValidInCurrentProcess() override;
  std::string GetHintText() const override;

  void Verified(TOTABreakpointPlanting Planting, int VerifiedLine) override;
  TOTABreakpointPlanting GetPlanting() const override { return FPlanting; }
  int GetVerifiedLine() const override { return FVerifiedLine; }

 private:
  friend class TBreakpointManager;
  template <class T>
  void Set(T& Field, const T& Value) {
    if (Field == Value) return;
    Field = Value;
    Changed();
  }

  bool FEnabled = true;
  std::string FExpression;
  std::string FFileName;
  int FLineNumber;
  int FCurPassCount = 0;
  int FPassCount = 0;
  std::string FGroupName;
  bool FDoBreak = true;
  std::string FLogMessage;
  std::string FEvalExpression;
  bool FLogResult = true;
  std::string FEnableGroup;
  std::string FDisableGroup;
  bool FDoHandleExceptions = false;
  bool FDoIgnoreExceptions = false;
  int FStackFramesToLog = 0;
  std::string FThreadCondition;
  int FUpdateCount = 0;
  // The manager's BreakpointChanged; none while the breakpoint is not listed.
  TBreakpointManager* FOnChange = nullptr;
  TNotifierList<IOTABreakpointNotifier> FNotifyList;
  TOTABreakpointPlanting FPlanting = bpUnplanted;
  int FVerifiedLine = 0;
};

// Every persisted property of a source breakpoint, as Add takes it and the desktop file
// keeps it.
struct TBreakpointProps {
  std::string FileName;
  int LineNumber = 0;
  std::string Expression;
  int PassCount = 0;
  bool Enabled = true;
  std::string GroupName;
  bool DoBreak = true;
  bool DoIgnoreExceptions = false;
  bool DoHandleExceptions = false;
  std::string LogMessage;
  bool LogResult = true;
  std::string EvalExpression;
  std::string EnableGroup;
  std::string DisableGroup;
  int StackFramesToLog = 0;
  std::string ThreadCondition;
};

class TEvSourceBreakpoint : public TEvArgs {
 public:
  TEvSourceBreakpoint(TBreakpointManager* Sender, std::shared_ptr<TBreakpoint> Breakpoint)
      : Sender(Sender), Breakpoint(std::move(Breakpoint)) {}
  TBreakpointManager* Sender;
  std::shared_ptr<TBreakpoint> Breakpoint;
};

// A kernel-held breakpoint's notice.
class TEvBreakpoint : public TEvArgs {
 public:
  TEvBreakpoint(TBreakpointManager* Sender, std::shared_ptr<IOTABreakpoint> Breakpoint)
      : Sender(Sender), Breakpoint(std::move(Breakpoint)) {}
  TBreakpointManager* Sender;
  std::shared_ptr<IOTABreakpoint> Breakpoint;
};

using TSourceBreakpointEvent = TEvent<TEvSourceBreakpoint>;
using TBreakpointEvent = TEvent<TEvBreakpoint>;

// An action that adds a breakpoint of another kind (address, data, module load), offered
// by a kernel in the breakpoint views' add menu.
struct TBPAdderItem {
  std::string Caption;
  std::function<void()> Execute;
};

class TBreakpointManager {
 public:
  // DebugMgr: the manager told of every change, so that the kernels keep in step; null
  // where no kernel listens.
  explicit TBreakpointManager(TDebuggerMgr* DebugMgr = nullptr) : FDebugMgr(DebugMgr) {}
  ~TBreakpointManager();
  TBreakpointManager(const TBreakpointManager&) = delete;  // breakpoints point back at it
  TBreakpointManager& operator=(const TBreakpointManager&) = delete;

  // Adds a breakpoint with every given property set inside one update, and announces it.
  // Returns its index.
  int Add(const TBreakpointProps& Props);
  // No breakpoint at the line: makes one (disabled when ToggleEnabled). One there: with
  // ToggleEnabled its enabled state flips, otherwise it is deleted.
  void Toggle(const std::string& FileName, int LineNumber, bool ToggleEnabled = false);
  // The first breakpoint at the line of the same file (names compare exactly); -1 when none.
  int Find(const std::string& FileName, int LineNumber) const;
  void Delete(int Index);
  void Clear();
  std::shared_ptr<TBreakpoint> GetBreakpoint(int Index) const;
  int GetCount() const { return static_cast<int>(FBPList.size()); }
  int IndexOf(const IOTABreakpoint* Breakpoint) const;

  // Enables or disables every breakpoint of the group (names compare as menu captions, an
  // accelerator "&" not counting), source ones first, then the kernels'.
  void EnableGroup(const std::string& GroupName, bool Enable);
  // Every breakpoint, source and kernel-held.
  void EnableAll(bool Enable);
  // Asks "Delete all breakpoints?" first; false when the user said no.
  bool DeleteAll();
  // The group names in use, in first-use order.
  std::vector<std::string> GroupNames() const;

  void RegisterAddBreakpointItem(TBPAdderItem Item) { FBPAdderList.push_back(std::move(Item)); }
  const std::vector<TBPAdderItem>& AddinBPAdderItems() const { return FBPAdderList; }

  // The desktop file's "Breakpoints" section. Saving writes when forced or when the manager
  // saves breakpoints with the desktop (on by default), then lets each kernel store its own.
  // Loading replaces every breakpoint; an entry that does not read is skipped.
  void SaveBreakpoints(TCustomIniFile& Ini, bool Force);
  void LoadBreakpoints(TCustomIniFile& Ini);
  // One breakpoint's desktop value, and back; false when Value does not read.
  static std::string FormatBreakpoint(const TBreakpoint& Breakpoint);
  [[nodiscard]] static bool ParseBreakpoint(const std::string& Value, TBreakpointProps& Props);

  // Set whenever a breakpoint was added, changed or deleted; the desktop saves when it is.
  bool GetModified() const { return FModified; }
  void SetModified(bool Value) { FModified = Value; }

  TSourceBreakpointEvent& EvSourceBreakpointAdded() { return FEvSourceBreakpointAdded; }
  TSourceBreakpointEvent& EvSourceBreakpointChanged() { return FEvSourceBreakpointChanged; }
  TSourceBreakpointEvent& EvSourceBreakpointDeleted() { return FEvSourceBreakpointDeleted; }
  TBreakpointEvent& EvBreakpointAdded() { return FEvBreakpointAdded; }
  TBreakpointEvent& EvBreakpointChanged() { return FEvBreakpointChanged; }
  TBreakpointEvent& EvBreakpointDeleted() { return FEvBreakpointDeleted; }

  // A breakpoint's change callback.
  void BreakpointChanged(TBreakpoint& Breakpoint);

 private:
  void Announce(const std::shared_ptr<TBreakpoint>& Breakpoint);

  TDebuggerMgr* FDebugMgr;
  std::vector<std::shared_ptr<TBreakpoint>> FBPList;
  TSourceBreakpointEvent FEvSourceBreakpointAdded;
  TSourceBreakpointEvent FEvSourceBreakpointChanged;
  TSourceBreakpointEvent FEvSourceBreakpointDeleted;
  TBreakpointEvent FEvBreakpointAdded;
  TBreakpointEvent FEvBreakpointChanged;
  TBreakpointEvent FEvBreakpointDeleted;
  std::vector<TBPAdderItem> FBPAdderList;
  bool FModified = false;
};

// "&Group" as a caption reads "Group": the accelerator mark goes, "&&" stays one "&".
std::string StripHotkey(const std::string& Caption);

}  // namespace nxs
