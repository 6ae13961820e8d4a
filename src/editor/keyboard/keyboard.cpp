#include "editor/keyboard/keyboard.h"

#include <strings.h>

#include <algorithm>
#include <cstdio>
#include <mutex>
#include <utility>

#include "editor/keyboard/cmdmap.h"
#include "editor/buffers/edkrnl.h"
#include "editor/keyboard/keymaps.h"
#include "editor/buffers/resstrings.h"
#include "shared/format.h"
#include "shared/settings.h"

namespace nxs {

const char* const KbdKernel = "tvskbd.dll";

namespace {

// The engine versions whose high 16 bits the engine accepts.
constexpr uint16_t AcceptedVersions[] = {0x0404, 0x0403, 0x0402};

constexpr const char* KeyEnhancements = "Editor\\Options\\Known Editor Enhancements";

bool SameName(const std::string& A, const std::string& B) {
  return A.size() == B.size() && strncasecmp(A.data(), B.data(), A.size()) == 0;
}

// The character a key types, 0 for a key that types none.
char TypedChar(uint32_t Key) {
  if (Key & (kcCtrl | kcAlt)) return 0;
  const bool Shift = (Key & kcShift) != 0;
  const uint32_t VK = Key & 0xFF;
  if (VK >= 'A' && VK <= 'Z') return static_cast<char>(Shift ? VK : VK + 32);
  if (VK >= '0' && VK <= '9') return Shift ? ")!@#$%^&*("[VK - '0'] : static_cast<char>(VK);
  if (VK == 0x20) return ' ';
  if (VK == 0x0D) return '\r';  // a typed line break
  static const struct {
    uint32_t VK;
    char Plain, Shifted;
  } Punctuation[] = {{0xBA, ';', ':'}, {0xBB, '=', '+'}, {0xBC, ',', '<'}, {0xBD, '-', '_'},
                     {0xBE, '.', '>'}, {0xBF, '/', '?'}, {0xC0, '`', '~'}, {0xDB, '[', '{'},
                     {0xDC, '\\', '|'}, {0xDD, ']', '}'}, {0xDE, '\'', '"'}, {0x6A, '*', '*'},
                     {0x6B, '+', '+'}, {0x6D, '-', '-'}};
  for (const auto& P : Punctuation)
    if (P.VK == VK) return Shift ? P.Shifted : P.Plain;
  return 0;
}

const TKeyEntry* FindKey(const std::vector<TKeyEntry>& Table, uint32_t Key) {
  for (const TKeyEntry& E : Table)
    if (E.Key == Key) return &E;
  return nullptr;
}

// The engine for a binding: its key procedures when it has any, else its own key table when
// it has one, else its keymap resource.
std::unique_ptr<TKbdMac> MakeEngine(const TKeyboardBinding& B) {
  std::unique_ptr<TKbdMac> K;
  if (B.KeyProcs.empty() && !B.Keys.empty()) {
    std::string Error;
    const std::vector<uint8_t> Data = CompileKeymap(B.Keys, Error);
    if (Data.empty()) throw Exception(Format(res::SKeyProcConflict, B.Name, Error));
    K = INITKBDMAC(*ReadKeymap(Data.data(), Data.size()), KbdEngineVersion);
  } else if (B.KeyProcs.empty()) {
    K = INITKBDMAC(LoadKeymapResource(B.Resource), KbdEngineVersion);
  } else {
    std::vector<TKeyBinding> Keys;
    for (size_t I = 0; I < B.KeyProcs.size(); ++I) Keys.push_back({B.KeyProcs[I].Keys, static_cast<uint16_t>(I)});
    std::string Error;
    const std::vector<uint8_t> Data = CompileKeymap(Keys, Error);
    if (Data.empty()) throw Exception(Format(res::SKeyProcConflict, B.Name, Error));
    K = INITKBDMAC(*ReadKeymap(Data.data(), Data.size()), KbdEngineVersion);
    if (K) K->Procs = std::make_shared<const std::vector<TKeyProcBinding>>(B.KeyProcs);
  }
  if (!K) throw EKeyboardError(TKbdErrorCode::ErrorWrongDLLVersion, Format(res::SKbdWrongVersion, KbdKernel));
  K->Binding = B.Name;
  return K;
}

struct TKbdStart {
  std::mutex Lock;
  int Count = 0;
  std::unique_ptr<TKbdMac> Engine;
};
TKbdStart& KbdStart() {
  static TKbdStart S;
  return S;
}

}  // namespace

std::unique_ptr<TKbdMac> INITKBDMAC(const TKeymapTables& Keymap, uint32_t Version) {
  bool Accepted = false;
  for (uint16_t V : AcceptedVersions) Accepted = Accepted || (Version >> 16) == V;
  if (!Accepted || Keymap.Tables.empty()) return nullptr;
  auto K = std::make_unique<TKbdMac>();
  K->Version = Version;
  K->Keymap = Keymap;
  return K;
}

TKeymapTables LoadKeymapResource(const std::string& Resource) {
  for (const TKeymapResource& R : KeymapResources()) {
    if (!SameName(R.Name, Resource)) continue;
    auto Tables = ReadKeymap(R.Data, R.Size);
    if (!Tables) throw EKeyboardError(TKbdErrorCode::InternalErrorCantLoadBINARYKBD, Format(res::SKbdCantLoad, Resource, KbdKernel));
    return *Tables;
  }
  throw EKeyboardError(TKbdErrorCode::InternalErrorCantFindBINARYKBD, Format(res::SKbdCantFind, Resource, KbdKernel));
}

void StartKBD() {
  TKbdStart& S = KbdStart();
  std::lock_guard<std::mutex> G(S.Lock);
  if (S.Count++ > 0) return;
  try {
    S.Engine = INITKBDMAC(LoadKeymapResource("INTERNAL"), KbdEngineVersion);
    if (!S.Engine) throw EKeyboardError(TKbdErrorCode::ErrorWrongDLLVersion, Format(res::SKbdWrongVersion, KbdKernel));
  } catch (...) {
    S.Count = 0;
    throw;
  }
}

void StopKBD() {
  TKbdStart& S = KbdStart();
  std::lock_guard<std::mutex> G(S.Lock);
  if (S.Count == 0 || --S.Count > 0) return;
  S.Engine.reset();
}

bool KBDStarted() {
  TKbdStart& S = KbdStart();
  std::lock_guard<std::mutex> G(S.Lock);
  return S.Count > 0;
}

// ---- the control's side ----

bool TIDEKBDChildAPI::ExecuteCommand(int Command) {
  if (Command < 0 || Command >= CmdMapManager().Count()) return false;
  const TCmdMapEntry& E = CmdMapManager().Entry(Command);
  const std::optional<TEkCommandRef> Ref = EkFindCommand(E.Name);
  return Ref && RunMapCommand(FView, *Ref).Known;
}

void TIDEKBDChildAPI::TypeKey(uint32_t Key) {
  const char C = TypedChar(Key);
  if (C) InsertString(FView, std::string(1, C));
}

// ---- the service ----

TKeyboardServices::TKeyboardServices() {
  const TKeyboardBinding Main[] = {
      {"Tarvos.Internal", "Default", "INTERNAL"},       {"Tarvos.Classic", "Classic", "CLASSIC"},
      {"Tarvos.Brief", "Brief", "BRIEF"},               {"Tarvos.Epsilon", "Epsilon", "EPSILON"},
      {"Tarvos.VisualStudio", "Visual Studio", "VISUALSTUDIO"},
      {"Tarvos.VisualBasic", "Visual Basic", "VISUALBASIC"}, {"Tarvos.VD32", "Debugger", "VD32"},
  };
  for (const auto& B : Main) FBindings.push_back(B);
  LoadDefaultKeyBinding();
}

int TKeyboardServices::AddKeyboardBinding(TKeyboardBinding Binding) {
  for (const auto& B : FBindings)
    if (SameName(B.Name, Binding.Name)) throw Exception(Format(res::SDuplicateKeyBinding, Binding.Name));
  if (!Binding.KeyProcs.empty() || !Binding.Keys.empty()) MakeEngine(Binding);  // refuses conflicting sequences now
  FBindings.push_back(std::move(Binding));
  FModified = true;
  return GetBindingCount() - 1;
}

void TKeyboardServices::RemoveKeyboardBinding(int Index) {
  if (Index < 0 || Index >= GetBindingCount()) return;
  // What it pushed goes with it: its procedures may live in a package being unloaded.
  const std::string Name = FBindings[static_cast<size_t>(Index)].Name;
  for (size_t I = FStack.size(); I-- > 1;)
    if (FStack[I]->Binding == Name) FStack.erase(FStack.begin() + static_cast<std::ptrdiff_t>(I));
  FBindings.erase(FBindings.begin() + Index);
  if (FActive == Index) LoadDefaultKeyBinding();
  else if (FActive > Index) --FActive;
  FModified = true;
  KeymapsChanged();
}

int TKeyboardServices::LookupKeyBinding(const std::string& Name) const {
  for (size_t I = 0; I < FBindings.size(); ++I) {
    const auto& B = FBindings[I];
    if (SameName(B.Name, Name) || SameName(B.DisplayName, Name) || SameName(B.Resource, Name) ||
        (B.Name.rfind('.') != std::string::npos && SameName(B.Name.substr(B.Name.rfind('.') + 1), Name)))
      return static_cast<int>(I);
  }
  return -1;
}

void TKeyboardServices::SetBindingIndex(int Index) {
  if (Index < 0 || Index >= GetBindingCount()) return;
  auto Engine = MakeEngine(FBindings[static_cast<size_t>(Index)]);
  FStack.clear();
  FStack.push_back(std::move(Engine));
  FActive = Index;
  KeymapsChanged();
}

void TKeyboardServices::LoadEmptyKeyBinding() {
  FStack.clear();
  FStack.push_back(INITKBDMAC(TKeymapTables{{{}}}, KbdEngineVersion));
  FActive = -1;
  KeymapsChanged();
}

void TKeyboardServices::PushKeyboard(const std::string& Name) {
  const int I = LookupKeyBinding(Name);
  if (I < 0) throw EKeyboardError(TKbdErrorCode::InternalErrorCantFindBINARYKBD, Format(res::SKbdCantFind, Name, KbdKernel));
  FStack.push_back(MakeEngine(FBindings[static_cast<size_t>(I)]));
  KeymapsChanged();
}

void TKeyboardServices::PopKeyboard() {
  if (FStack.size() <= 1) return;
  FStack.pop_back();
  KeymapsChanged();
}

void TKeyboardServices::EndUpdate() {
  if (FUpdating > 0) --FUpdating;
  if (FUpdating == 0 && FMenusStale) SetMenuAccelText();
}

void TKeyboardServices::KeymapsChanged() {
  if (FUpdating > 0) FMenusStale = true;
  else if (!FMenus.empty()) SetMenuAccelText();
}

// ---- menus ----

void TKeyboardServices::RegisterMenu(TKeyMenu Menu) {
  UnRegisterMenu(Menu.Name);
  FMenus.push_back(std::move(Menu));
  KeymapsChanged();
}

void TKeyboardServices::UnRegisterMenu(const std::string& Name) {
  std::erase_if(FMenus, [&](const TKeyMenu& M) { return M.Name == Name; });
}

std::vector<std::string> TKeyboardServices::AccelTexts() const {
  // The keymaps are asked from the top: a command takes its shortcut from the highest one that
  // reaches it, and a key a higher keymap binds hides the lower keymaps' sequences it starts.
  std::vector<std::string> Texts(static_cast<size_t>(CmdMapManager().Count()));
  std::vector<size_t> Length(Texts.size(), 0);
  for (size_t Level = FStack.size(); Level-- > 0;) {
    const TKbdMac& K = *FStack[Level];
    if (K.Procs) continue;
    std::vector<size_t> Found;  // commands given a text at this level
    for (const TKeyBinding& B : KeymapBindings(K.Keymap)) {
      if (B.Command >= Texts.size() || B.Keys.empty()) continue;
      bool Hidden = false;
      for (size_t Up = Level + 1; Up < FStack.size() && !Hidden; ++Up)
        Hidden = !FStack[Up]->Keymap.Tables.empty() && FindKey(FStack[Up]->Keymap.Tables[0], B.Keys[0]);
      if (Hidden) continue;
      const size_t C = B.Command;
      const bool Mine = std::find(Found.begin(), Found.end(), C) != Found.end();
      if (!Texts[C].empty() && !(Mine && B.Keys.size() < Length[C])) continue;
      Texts[C] = SequenceName(B.Keys);
      Length[C] = B.Keys.size();
      if (!Mine) Found.push_back(C);
    }
  }
  return Texts;
}

std::string TKeyboardServices::AccelText(const std::string& Command) const {
  const int I = CmdMapManager().IndexOf(Command);
  return I < 0 ? std::string() : AccelTexts()[static_cast<size_t>(I)];
}

void TKeyboardServices::SetMenuAccelText() {
  FMenusStale = false;
  if (FMenus.empty()) return;
  const std::vector<std::string> Texts = AccelTexts();
  for (TKeyMenu& M : FMenus)
    for (TMenuItem& Item : M.Items) {
      const int I = CmdMapManager().IndexOf(Item.Command);
      Item.AccelText = I < 0 ? std::string() : Texts[static_cast<size_t>(I)];
    }
}

void TKeyboardServices::UnInstallingPackage(const std::string& NamePrefix) {
  if (NamePrefix.empty()) return;
  for (int I = GetBindingCount() - 1; I >= 0; --I) {
    const TKeyboardBinding& B = FBindings[static_cast<size_t>(I)];
    if (B.Enhancement && B.Name.compare(0, NamePrefix.size(), NamePrefix) == 0) RemoveKeyboardBinding(I);
  }
}

void TKeyboardServices::LoadBindings(TSettingsStore& Store) {
  for (auto& B : FBindings) {
    if (!B.Enhancement) continue;
    const std::string Key = std::string(KeyEnhancements) + "\\" + B.Name;
    if (!Store.SectionExists(Key)) continue;
    B.Enabled = Store.ReadBool(Key, "Enabled", B.Enabled);
    B.Priority = static_cast<int>(Store.ReadInteger(Key, "Priority", B.Priority));
  }
}

void TKeyboardServices::SaveBindings(TSettingsStore& Store) {
  TSettingsUpdate Batch(Store);
  for (const auto& B : FBindings) {
    if (!B.Enhancement) continue;
    const std::string Key = std::string(KeyEnhancements) + "\\" + B.Name;
    Store.WriteString(Key, "DisplayName", B.DisplayName);
    Store.WriteBool(Key, "Enabled", B.Enabled);
    Store.WriteInteger(Key, "Priority", B.Priority);
  }
  FModified = false;
}

TKbdMac& TKeyboardServices::Engine() {
  if (FStack.empty()) LoadDefaultKeyBinding();
  return *FStack.back();
}

std::vector<TKeyBinding> TKeyboardServices::ActiveBindings() const {
  return FStack.empty() ? std::vector<TKeyBinding>{} : KeymapBindings(FStack.front()->Keymap);
}

TKeyResult TKeyboardServices::ProcessKeyStroke(TIDEKBDChildAPI& Child, uint32_t Key) {
  ++FKeysProcessed;
  if (FRecording && !FRecordPaused && !FPlaying) FRecord.Append(TKeyRec{TKeyTag::ktKeyCode, Key, -1});
  bool Handled = false;
  const TKeyResult Result = Stroke(Child, Key, Handled);
  if (FKeyTracing) {
    char Buf[256];
    std::snprintf(Buf, sizeof Buf, "Key Message: %s, VK: $%.2x, Repeat: $%x, Flags: $%.8x",
                  (Key & kcAlt) ? "WM_SYSKEYDOWN" : "WM_KEYDOWN", Key & 0xFF, 1u, 0u);
    FTrace.emplace_back(Buf);
    std::snprintf(Buf, sizeof Buf, "Internal KeyCode: $%.8x, ShortCut: $%.4x (%s), Handled: %s", Key, Key & 0xFFFF,
                  KeyName(Key).c_str(), Handled ? "True" : "False");
    FTrace.emplace_back(Buf);
  }
  return Result;
}

TKeyResult TKeyboardServices::Stroke(TIDEKBDChildAPI& Child, uint32_t Key, bool& Handled) {
  // The pushed keymaps are asked first, the active one last; a pending sequence stays in the
  // keymap it started in. Indices, not references: a command or procedure may push or pop.
  for (size_t Level = FStack.size(); Level-- > 0;) {
    if (Level >= FStack.size()) continue;
    TKbdMac& K = *FStack[Level];
    if (K.Table >= K.Keymap.Tables.size()) K.Table = 0;
    const auto& Table = K.Keymap.Tables[K.Table];
    const TKeyEntry* Hit = FindKey(Table, Key);
    // The second key of a chord may be typed with or without Ctrl.
    if (!Hit && K.Table != 0) Hit = FindKey(Table, Key & ~kcCtrl);
    if (!Hit && K.Table != 0) Hit = FindKey(Table, Key | kcCtrl);
    if (!Hit && K.Table == 0) continue;  // not this keymap's key
    if (!Hit) {
      K.Table = 0;  // a broken chord: its last key types nothing
      K.Pending.clear();
      return TKeyResult::Unbound;
    }
    K.Pending.push_back(Key);
    if (Hit->Kind == kePrefix) {
      K.Table = Hit->Value;
      Handled = true;
      return TKeyResult::Pending;
    }
    K.Table = 0;
    const std::vector<uint32_t> Keys = std::exchange(K.Pending, {});
    if (K.Procs) {
      // Kept alive for the call: the procedure may pop its own keymap.
      const std::shared_ptr<const std::vector<TKeyProcBinding>> Procs = K.Procs;
      const TKeyProc& Proc = (*Procs)[Hit->Value].Proc;
      if (Proc && Proc(Child, Keys) == TKeyBindingResult::krHandled) {
        Handled = true;
        return TKeyResult::Command;
      }
      continue;  // left to the keymaps below, which see this key alone
    }
    const int Command = Hit->Value;
    const std::string& Name = CmdMapManager().Entry(Command).Name;
    // The key that stops recording or plays the macro is not part of it.
    const bool MacroKey = Name == "RecordKeyMacro" || Name == "PlaybackKeyMacro";
    if (MacroKey && FRecording && !FPlaying) FRecord.DropLast();
    FInKey = true;
    try {
      Handled = ExecuteCommand(Child, Command);
    } catch (...) {
      FInKey = false;
      throw;
    }
    FInKey = false;
    return TKeyResult::Command;
  }
  if (!TypedChar(Key)) return TKeyResult::Unbound;
  Child.TypeKey(Key);
  Handled = true;
  return TKeyResult::Typed;
}

TKeyResult TKeyboardServices::MapAndEval(TIDEKBDChildAPI& Child, const std::vector<uint32_t>& Keys) {
  struct TAside {
    const TKbdMac* Map;
    size_t Table;
    std::vector<uint32_t> Pending;
  };
  std::vector<TAside> Aside;
  for (auto& K : FStack) {
    Aside.push_back({K.get(), K->Table, std::exchange(K->Pending, {})});
    K->Table = 0;
  }
  TKeyResult Result = TKeyResult::Unbound;
  for (uint32_t Key : Keys) {
    ++FKeysProcessed;
    if (FRecording && !FRecordPaused && !FPlaying) FRecord.Append(TKeyRec{TKeyTag::ktKeyCode, Key, -1});
    bool Handled = false;
    Result = Stroke(Child, Key, Handled);
  }
  // The keymaps still in force take their own chords back.
  for (auto& K : FStack) {
    auto It = std::find_if(Aside.begin(), Aside.end(), [&](const TAside& A) { return A.Map == K.get(); });
    K->Table = It == Aside.end() ? 0 : It->Table;
    K->Pending = It == Aside.end() ? std::vector<uint32_t>{} : std::move(It->Pending);
  }
  return Result;
}

bool TKeyboardServices::ExecuteCommand(TIDEKBDChildAPI& Child, int Command) {
  if (Command < 0 || Command >= CmdMapManager().Count()) return false;
  const std::string& Name = CmdMapManager().Entry(Command).Name;
  if (!FInKey && FRecording && !FRecordPaused && !FPlaying && Name != "RecordKeyMacro" && Name != "PlaybackKeyMacro")
    FRecord.Append(TKeyRec{TKeyTag::ktKeyCommand, 0, Command});
  if (Name == "RecordKeyMacro") {
    RecordKeyMacro(!FRecording);
    return true;
  }
  if (Name == "PlaybackKeyMacro") {
    if (!FPlaying) PlayKeyMacro(Child);
    return true;
  }
  return Child.ExecuteCommand(Command);
}

void TKeyboardServices::RecordKeyMacro(bool Start) {
  if (Start) FRecord.Clear();
  FRecording = Start;
  FRecordPaused = false;
}

void TKeyboardServices::PlayKeyMacro(TIDEKBDChildAPI& Child) {
  if (FPlaying || FRecord.GetCount() == 0) return;
  Play(Child, FRecord);
}

void TKeyboardServices::InsertMacro(TIDEKBDChildAPI& Child, const TRecord& Macro) {
  if (FPlaying || Macro.GetCount() == 0) return;
  TRecord Copy = Macro;  // the record being made may be the one given, and grows here
  if (FRecording && !FRecordPaused)
    for (const TKeyRec& K : Copy.Keys()) FRecord.Append(K);
  Play(Child, Copy);
}

void TKeyboardServices::Play(TIDEKBDChildAPI& Child, TRecord& Macro) {
  FPlaying = true;
  const size_t Depth = FStack.size();
  StartPlayback(Child.View());
  try {
    Macro.Reset();
    FPlaybackPaused = false;
    for (bool More = Macro.GetCount() > 0; More && !FPlaybackPaused; More = Macro.Next()) {
      if (Macro.GetCurrentKeyTag() == TKeyTag::ktKeyCode) ProcessKeyStroke(Child, Macro.GetCurrentKeyCode());
      else if (Macro.GetCurrentKeyTag() == TKeyTag::ktKeyCommand) ExecuteCommand(Child, Macro.GetCurrentKeyCommand());
    }
  } catch (...) {
    StopPlayback(Child.View());
    FPlaying = false;
    throw;
  }
  // Keymaps the macro pushed are popped again; a chord it left pending is dropped.
  const bool Popped = FStack.size() > Depth;
  while (FStack.size() > Depth) FStack.pop_back();
  for (auto& K : FStack) {
    K->Table = 0;
    K->Pending.clear();
  }
  StopPlayback(Child.View());
  FPlaying = false;
  if (Popped) KeymapsChanged();
}

}  // namespace nxs
