// Keyboard services: the in-process keyboard engine that maps key sequences to commands of the
// command map through the active keymap, key-macro recording and playback, and the service
// through which bindings are registered, chosen, pushed and popped.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "editor/keyboard/keycodes.h"
#include "editor/kernel/ek.h"
#include "shared/exceptions.h"

namespace nxs {

class TSettingsStore;

enum class TKbdErrorCode { InternalErrorCantFindBINARYKBD, InternalErrorCantLoadBINARYKBD, ErrorWrongDLLVersion };

class EKeyboardError : public Exception {
 public:
  EKeyboardError(TKbdErrorCode Code, const std::string& Message) : Exception(Message), FCode(Code) {}
  TKbdErrorCode Code() const { return FCode; }

 private:
  TKbdErrorCode FCode;
};

// The module the engine and its keymaps are known by in messages.
extern const char* const KbdKernel;
inline constexpr uint32_t KbdEngineVersion = 0x4040400;

class TIDEKBDChildAPI;

// What a binding's key procedure did with its keys: handled, or left to the keymaps below.
enum class TKeyBindingResult { krHandled, krUnhandled };
using TKeyProc = std::function<TKeyBindingResult(TIDEKBDChildAPI& Child, const std::vector<uint32_t>& Keys)>;
// A key sequence an enhancement binding answers with a procedure of its own.
struct TKeyProcBinding {
  std::vector<uint32_t> Keys;
  TKeyProc Proc;
};

// The engine's state for one keymap: the tables and the table the pending sequence reached.
struct TKbdMac {
  uint32_t Version = 0;
  TKeymapTables Keymap;
  size_t Table = 0;  // 0 when no sequence is pending
  std::vector<uint32_t> Pending;  // the keys of the pending sequence
  // A keymap made of key procedures: its entries index Procs instead of the command map.
  std::shared_ptr<const std::vector<TKeyProcBinding>> Procs;
  std::string Binding;  // the binding it was made from
};
// Nothing when the version's high 16 bits are not one the engine accepts.
std::unique_ptr<TKbdMac> INITKBDMAC(const TKeymapTables& Keymap, uint32_t Version);

// The keymap resource of that name, raising EKeyboardError when it is missing or unreadable.
TKeymapTables LoadKeymapResource(const std::string& Resource);

// Reference-counted start and stop of the engine with the default keymap.
void StartKBD();
void StopKBD();
bool KBDStarted();

enum class TKeyTag : uint8_t { ktNothing, ktKeyCode, ktKeyCommand };
struct TKeyRec {
  TKeyTag Tag = TKeyTag::ktNothing;
  uint32_t KC = 0;
  int Cmd = -1;  // command map index
};

// A recorded key macro, replayed entry by entry.
class TRecord {
 public:
  void Append(const TKeyRec& Key) { FKeys.push_back(Key); }
  void Clear() { FKeys.clear(), FAt = 0; }
  void DropLast() {
    if (!FKeys.empty()) FKeys.pop_back();
  }
  void Reset() { FAt = 0; }
  const std::vector<TKeyRec>& Keys() const { return FKeys; }
  bool Next() { return ++FAt < FKeys.size(); }
  int GetCount() const { return static_cast<int>(FKeys.size()); }
  bool AtEnd() const { return FAt >= FKeys.size(); }
  TKeyTag GetCurrentKeyTag() const { return AtEnd() ? TKeyTag::ktNothing : FKeys[FAt].Tag; }
  uint32_t GetCurrentKeyCode() const { return AtEnd() ? 0 : FKeys[FAt].KC; }
  int GetCurrentKeyCommand() const { return AtEnd() ? -1 : FKeys[FAt].Cmd; }

 private:
  std::vector<TKeyRec> FKeys;
  size_t FAt = 0;
};

// What a key did.
enum class TKeyResult { Pending, Command, Typed, Unbound };

struct TKeyboardBinding {
  std::string Name;         // "Tarvos.Internal"
  std::string DisplayName;  // "Default"
  std::string Resource;     // the keymap resource, "INTERNAL"
  bool Enhancement = false; // an added binding rather than one of the main keymaps
  bool Enabled = true;
  int Priority = 0;
  // Sequences answered by procedures (an enhancement a package brings); when there are any,
  // pushing the binding pushes them instead of the resource.
  std::vector<TKeyProcBinding> KeyProcs{};
  // The binding's own key table (the keymap a package brings): when given, the binding's
  // keymap is compiled from it rather than read from its resource.
  std::vector<TKeyBinding> Keys{};
};

// A menu a host shows: items that name commands of the command map, each given the shortcut
// text of that command in the keymaps in force.
struct TMenuItem {
  std::string Command;
  std::string Caption;
  std::string AccelText{};  // filled by the keyboard; empty when no key reaches the command
};
struct TKeyMenu {
  std::string Name;
  std::vector<TMenuItem> Items;
};

// The editor control's side: carries out commands and typed characters on its kernel view.
class TIDEKBDChildAPI {
 public:
  explicit TIDEKBDChildAPI(PEkView View) : FView(View) {}
  virtual ~TIDEKBDChildAPI() = default;
  // False when the command is not one the editor carries out (a window or IDE command). A
  // host that carries out those commands overrides it and asks the editor first.
  virtual bool ExecuteCommand(int Command);
  void TypeKey(uint32_t Key);
  PEkView View() const { return FView; }

 private:
  PEkView FView;
};

class TKeyboardServices {
 public:
  TKeyboardServices();
  TKeyboardServices(const TKeyboardServices&) = delete;  // holds the engine state
  TKeyboardServices& operator=(const TKeyboardServices&) = delete;

  // Raises Exception for a name already registered and for key procedures whose sequences
  // conflict.
  int AddKeyboardBinding(TKeyboardBinding Binding);
  void RemoveKeyboardBinding(int Index);
  int GetBindingCount() const { return static_cast<int>(FBindings.size()); }
  std::string GetBindingName(int Index) const { return FBindings.at(static_cast<size_t>(Index)).Name; }
  std::string GetBindingDisplayName(int Index) const { return FBindings.at(static_cast<size_t>(Index)).DisplayName; }
  bool GetBindingState(int Index) const { return FBindings.at(static_cast<size_t>(Index)).Enabled; }
  // Index of the binding by name, display name or resource (without regard to case); -1 when none.
  int LookupKeyBinding(const std::string& Name) const;
  // Makes the binding the active keymap (the pushed ones are dropped).
  void SetBindingIndex(int Index);
  int BindingIndex() const { return FActive; }
  void LoadDefaultKeyBinding() { SetBindingIndex(LookupKeyBinding("Tarvos.Internal")); }
  // A keymap that binds nothing: every key types or is unbound.
  void LoadEmptyKeyBinding();
  // A binding's keymap (or its key procedures) over the active one until popped; a binding
  // removed takes what it pushed with it.
  void PushKeyboard(const std::string& Name);
  void PopKeyboard();
  // Menu shortcut texts are brought up to date once the outermost update ends.
  void BeginUpdate() { ++FUpdating; }
  void EndUpdate();
  // Packages being loaded or unloaded change bindings in a batch; a package going away takes
  // the enhancement bindings it registered under its name prefix ("Acme." for "Acme.Keys").
  void BeginUpdatingPackages() { BeginUpdate(); }
  void EndUpdatingPackages() { EndUpdate(); }
  void UnInstallingPackage(const std::string& NamePrefix);
  // Loads the active keymap again (its binding changed), dropping pushed keymaps.
  void RestartKeyboardServices() { SetBindingIndex(FActive < 0 ? 0 : FActive); }
  // The enhancement bindings' state under "Editor\Options\Known Editor Enhancements".
  void LoadBindings(TSettingsStore& Store);
  void SaveBindings(TSettingsStore& Store);

  // Every binding of the active keymap, in key order.
  std::vector<TKeyBinding> ActiveBindings() const;

  // Menus: registering one gives its items their shortcut texts, which follow every change of
  // the keymaps in force (choosing, pushing, popping, removing a binding).
  void RegisterMenu(TKeyMenu Menu);
  void UnRegisterMenu(const std::string& Name);
  const std::vector<TKeyMenu>& Menus() const { return FMenus; }
  void SetMenuAccelText();
  // The shortcut of a command in the keymaps in force: its shortest sequence that no pushed
  // keymap hides, in the form "Ctrl+K B"; empty when none.
  std::string AccelText(const std::string& Command) const;

  // Runs one key through the keymap and carries out what it ends on.
  TKeyResult ProcessKeyStroke(TIDEKBDChildAPI& Child, uint32_t Key);
  // Runs a whole sequence from the keymaps' start and carries out what it ends on: a chord the
  // user left pending is kept aside meanwhile, and one the sequence leaves pending is dropped.
  TKeyResult MapAndEval(TIDEKBDChildAPI& Child, const std::vector<uint32_t>& Keys);
  bool ExecuteCommand(TIDEKBDChildAPI& Child, int Command);

  // Recording: starting clears the record; keys and commands processed meanwhile are kept.
  void RecordKeyMacro(bool Start);
  bool Recording() const { return FRecording && !FRecordPaused; }
  // Replays the record as one undo step (kernel playback).
  void PlayKeyMacro(TIDEKBDChildAPI& Child);
  // Plays a macro at this point as one undo step; while recording, its entries join the record,
  // so that a macro can be made of macros.
  void InsertMacro(TIDEKBDChildAPI& Child, const TRecord& Macro);
  const TRecord& GetCurrentRecord() const { return FRecord; }
  const TRecord& GetCurrentPlayback() const { return FRecord; }
  // A paused playback stops after the entry it is at; resuming does not go on with it.
  void PausePlayback() { FPlaybackPaused = true; }
  void ResumePlayback() { FPlaybackPaused = false; }
  void PauseRecord() { FRecordPaused = true; }
  void ResumeRecord() { FRecordPaused = false; }
  uint64_t GetKeysProcessed() const { return FKeysProcessed; }
  bool GetKeyTracing() const { return FKeyTracing; }
  void SetKeyTracing(bool On) { FKeyTracing = On; }
  // The trace lines of the keys processed while tracing was on.
  const std::vector<std::string>& TraceLines() const { return FTrace; }

 private:
  TKbdMac& Engine();
  void Play(TIDEKBDChildAPI& Child, TRecord& Macro);
  // The shortcut text of every command of the command map, by index.
  std::vector<std::string> AccelTexts() const;
  // After a change of the keymaps in force.
  void KeymapsChanged();
  // One key through the stack of keymaps (no recording, counting or tracing).
  TKeyResult Stroke(TIDEKBDChildAPI& Child, uint32_t Key, bool& Handled);
  std::vector<TKeyboardBinding> FBindings;
  int FActive = -1;
  std::vector<std::unique_ptr<TKbdMac>> FStack;  // the active keymap, then those pushed
  int FUpdating = 0;
  bool FModified = false;
  TRecord FRecord;
  bool FRecording = false, FRecordPaused = false, FPlaying = false;
  bool FInKey = false;
  bool FPlaybackPaused = false;  // a command carried out for a key, which the record holds as the key
  uint64_t FKeysProcessed = 0;
  bool FKeyTracing = false;
  std::vector<std::string> FTrace;
  std::vector<TKeyMenu> FMenus;
  bool FMenusStale = false;  // keymaps changed during an update
};

}  // namespace nxs
