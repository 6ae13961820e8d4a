#include "editor/keyboard/keyboard.h"

#include <strings.h>

#include <cstdio>
#include <mutex>

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
  FBindings.push_back(std::move(Binding));
  FModified = true;
  return GetBindingCount() - 1;
}

void TKeyboardServices::RemoveKeyboardBinding(int Index) {
  if (Index < 0 || Index >= GetBindingCount()) return;
  FBindings.erase(FBindings.begin() + Index);
  if (FActive == Index) LoadDefaultKeyBinding();
  else if (FActive > Index) --FActive;
  FModified = true;
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
  auto Engine = INITKBDMAC(LoadKeymapResource(FBindings[static_cast<size_t>(Index)].Resource), KbdEngineVersion);
  if (!Engine) throw EKeyboardError(TKbdErrorCode::ErrorWrongDLLVersion, Format(res::SKbdWrongVersion, KbdKernel));
  FStack.clear();
  FStack.push_back(std::move(Engine));
  FActive = Index;
}

void TKeyboardServices::LoadEmptyKeyBinding() {
  FStack.clear();
  FStack.push_back(INITKBDMAC(TKeymapTables{{{}}}, KbdEngineVersion));
  FActive = -1;
}

void TKeyboardServices::PushKeyboard(const std::string& Name) {
  const int I = LookupKeyBinding(Name);
  if (I < 0) throw EKeyboardError(TKbdErrorCode::InternalErrorCantFindBINARYKBD, Format(res::SKbdCantFind, Name, KbdKernel));
  FStack.push_back(INITKBDMAC(LoadKeymapResource(FBindings[static_cast<size_t>(I)].Resource), KbdEngineVersion));
}

void TKeyboardServices::PopKeyboard() {
  if (FStack.size() > 1) FStack.pop_back();
}

void TKeyboardServices::EndUpdate() {
  if (FUpdating > 0) --FUpdating;
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
  // The pushed keymaps are asked first, the active one last; a pending sequence stays in the
  // keymap it started in.
  TKbdMac* Owner = nullptr;
  const TKeyEntry* Hit = nullptr;
  for (auto It = FStack.rbegin(); It != FStack.rend() && !Owner; ++It) {
    TKbdMac& K = **It;
    if (K.Table >= K.Keymap.Tables.size()) K.Table = 0;
    const auto& Table = K.Keymap.Tables[K.Table];
    Hit = FindKey(Table, Key);
    // The second key of a chord may be typed with or without Ctrl.
    if (!Hit && K.Table != 0) Hit = FindKey(Table, Key & ~kcCtrl);
    if (!Hit && K.Table != 0) Hit = FindKey(Table, Key | kcCtrl);
    if (Hit || K.Table != 0) Owner = &K;
  }
  TKeyResult Result = TKeyResult::Unbound;
  bool Handled = false;
  if (Owner && Hit && Hit->Kind == kePrefix) {
    Owner->Table = Hit->Value;
    Result = TKeyResult::Pending;
    Handled = true;
  } else if (Owner && Hit) {
    Owner->Table = 0;
    Result = TKeyResult::Command;
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
  } else if (Owner) {
    Owner->Table = 0;  // a broken chord: its last key types nothing
  } else {
    if (TypedChar(Key)) {
      Child.TypeKey(Key);
      Result = TKeyResult::Typed;
      Handled = true;
    }
  }
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
  FPlaying = true;
  const size_t Depth = FStack.size();
  StartPlayback(Child.View());
  try {
    FRecord.Reset();
    FPlaybackPaused = false;
    for (bool More = FRecord.GetCount() > 0; More && !FPlaybackPaused; More = FRecord.Next()) {
      if (FRecord.GetCurrentKeyTag() == TKeyTag::ktKeyCode) ProcessKeyStroke(Child, FRecord.GetCurrentKeyCode());
      else if (FRecord.GetCurrentKeyTag() == TKeyTag::ktKeyCommand) ExecuteCommand(Child, FRecord.GetCurrentKeyCommand());
    }
  } catch (...) {
    StopPlayback(Child.View());
    FPlaying = false;
    throw;
  }
  // Keymaps the macro pushed are popped again; a chord it left pending is dropped.
  while (FStack.size() > Depth) FStack.pop_back();
  for (auto& K : FStack) K->Table = 0;
  StopPlayback(Child.View());
  FPlaying = false;
}

}  // namespace nxs
