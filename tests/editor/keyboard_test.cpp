// The command map, keys and compiled keymaps, and the keyboard services driving a kernel view:
// chords, pushed keymaps, macros and tracing.
#include "editor/keyboard.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

#include "editor/cmdmap.h"
#include "editor/edkrnl.h"
#include "editor/ekinit.h"
#include "editor/keymaps.h"
#include "shared/settings.h"
#include "shared/testdir.h"

namespace nxs {
namespace {

TEST(CommandMap, HoldsEveryCommandOnceAndReadsBackFromItsResource) {
  const auto& Entries = CommandMapEntries();
  ASSERT_EQ(Entries.size(), 256u);
  std::set<std::string> Names;
  for (const auto& E : Entries) {
    EXPECT_TRUE(Names.insert(E.Name).second) << E.Name;
    EXPECT_EQ(E.Extra, E.Class == 0x0C ? -1 : 0) << E.Name;
  }
  const std::vector<uint8_t> R = CommandMapResource();
  EXPECT_EQ(R[0] | (R[1] << 8), 256);
  TCmdMapManager M;
  ASSERT_TRUE(M.Load(R));
  ASSERT_EQ(M.Count(), 256);
  for (int I = 0; I < 256; ++I) {
    EXPECT_EQ(M.Entry(I).Name, Entries[static_cast<size_t>(I)].Name);
    EXPECT_EQ(M.Entry(I).Code, Entries[static_cast<size_t>(I)].Code);
    EXPECT_EQ(M.Entry(I).Extra, Entries[static_cast<size_t>(I)].Extra);
  }
  EXPECT_EQ(M.IndexOf("undo"), M.IndexOf("UnDo"));
  EXPECT_EQ(M.IndexOf("NoSuchCommand"), -1);
  // A resource cut short or with bytes left over loads nothing.
  TCmdMapManager Cut;
  EXPECT_FALSE(Cut.Load(std::vector<uint8_t>(R.begin(), R.end() - 1)));
  std::vector<uint8_t> Long = R;
  Long.push_back(0);
  EXPECT_FALSE(Cut.Load(Long));
  EXPECT_EQ(Cut.Count(), 0);
  // The kernel's own commands are the command map's, class and code alike.
  for (const auto& K : EkCommandMap()) {
    const int I = M.IndexOf(K.Name);
    ASSERT_GE(I, 0) << K.Name;
    EXPECT_EQ(M.Entry(I).Class, K.Ref.Class) << K.Name;
    EXPECT_EQ(M.Entry(I).Code, K.Ref.Code) << K.Name;
  }
}

TEST(Keys, NamesParseAndPrintBack) {
  for (const char* Name : {"A", "Ctrl+K", "Ctrl+Shift+Alt+F12", "Shift+Tab", "Num+", "Ctrl+Num-", "Alt+,", "PgDn",
                           "Ctrl+/", "Ctrl+Shift+0", "Enter", "Backspace", "Del"}) {
    auto K = ParseKey(Name);
    ASSERT_TRUE(K) << Name;
    EXPECT_EQ(KeyName(*K), Name);
  }
  EXPECT_EQ(ParseKey("ctrl+k"), ParseKey("Ctrl+K"));
  EXPECT_EQ(*ParseKey("Ctrl+K"), kcCtrl | 'K');
  for (const char* Bad : {"", "Ctrl+", "Hyper+X", "F13", "F0", "KK", "Ctrl+Ctrl"}) EXPECT_FALSE(ParseKey(Bad)) << Bad;
  auto S = ParseKeySequence("  Ctrl+K   B ");
  ASSERT_TRUE(S);
  EXPECT_EQ(SequenceName(*S), "Ctrl+K B");
  EXPECT_FALSE(ParseKeySequence("Ctrl+K Bogus"));
  EXPECT_FALSE(ParseKeySequence("   "));
}

TEST(Keymaps, CompileWithTheHeaderAndRefuseConflicts) {
  auto Seq = [](const char* T) { return *ParseKeySequence(T); };
  std::string Error;
  std::vector<uint8_t> Map = CompileKeymap({{Seq("Ctrl+K B"), 5}, {Seq("Ctrl+K K"), 6}, {Seq("Left"), 7}}, Error);
  ASSERT_FALSE(Map.empty()) << Error;
  EXPECT_EQ(Map[0] | (Map[1] << 8), static_cast<int>(Map.size()));
  EXPECT_EQ(Map[2] | (Map[3] << 8), 3);
  EXPECT_EQ(Map[4] | (Map[5] << 8), 2);  // the start table and the Ctrl+K table
  auto Tables = ReadKeymap(Map.data(), Map.size());
  ASSERT_TRUE(Tables);
  std::vector<TKeyBinding> Back = KeymapBindings(*Tables);
  ASSERT_EQ(Back.size(), 3u);
  EXPECT_EQ(SequenceName(Back[0].Keys), "Left");
  EXPECT_EQ(SequenceName(Back[2].Keys), "Ctrl+K K");
  EXPECT_EQ(Back[2].Command, 6);

  size_t Conflict = 99;
  EXPECT_TRUE(CompileKeymap({{Seq("Ctrl+K"), 1}, {Seq("Ctrl+K B"), 2}}, Error, &Conflict).empty());
  EXPECT_EQ(Error, "Ctrl+K is bound to a command and cannot start Ctrl+K B");
  EXPECT_EQ(Conflict, 1u);
  EXPECT_TRUE(CompileKeymap({{Seq("Ctrl+K B"), 1}, {Seq("Ctrl+K"), 2}}, Error).empty());
  EXPECT_EQ(Error, "Ctrl+K starts other sequences and cannot be bound");
  EXPECT_TRUE(CompileKeymap({{Seq("F1"), 1}, {Seq("F1"), 1}}, Error).empty());
  EXPECT_EQ(Error, "F1 is bound twice");

  // What is not a keymap of this format is refused, not read past its end.
  std::vector<uint8_t> Bad = Map;
  Bad[2] = 2;  // version
  EXPECT_FALSE(ReadKeymap(Bad.data(), Bad.size()));
  EXPECT_FALSE(ReadKeymap(Map.data(), Map.size() - 1));
  Bad = Map;
  Bad[Bad.size() - 3] = 1;  // the last entry becomes a prefix
  Bad[Bad.size() - 2] = 9;  // to a table that is not there
  EXPECT_FALSE(ReadKeymap(Bad.data(), Bad.size()));
  EXPECT_FALSE(ReadKeymap(nullptr, 0));
}

TEST(Keymaps, EveryBuiltInKeymapLoadsAndBindsTheEditingCommands) {
  const std::vector<std::string> Names = {"INTERNAL", "CLASSIC",     "BRIEF", "EPSILON",
                                          "VISUALSTUDIO", "VISUALBASIC", "VD32"};
  ASSERT_EQ(KeymapResources().size(), Names.size());
  for (const auto& Name : Names) {
    TKeymapTables T = LoadKeymapResource(Name);
    std::set<std::string> Bound;
    for (const auto& B : KeymapBindings(T)) Bound.insert(CmdMapManager().Entry(B.Command).Name);
    std::vector<std::string> Needed = {"CursorLeft", "CursorRight", "CursorUp", "CursorDown", "PageUp", "PageDown",
                                       "LeftOfLine", "RightOfLine", "HomeCursor", "EndCursor", "GetFindString",
                                       "RepeatSearch", "ClipCopy"};
    if (Name != "VD32")
      Needed.insert(Needed.end(), {"BackspaceDelete", "DeleteChar", "UnDo", "ClipCut", "ClipPaste", "IndentBlock",
                                   "OutdentBlock", "RecordKeyMacro", "PlaybackKeyMacro", "SaveFile"});
    for (const auto& N : Needed) EXPECT_TRUE(Bound.count(N)) << Name << " binds no key to " << N;
  }
  try {
    LoadKeymapResource("NOPE");
    FAIL();
  } catch (const EKeyboardError& E) {
    EXPECT_EQ(E.Code(), TKbdErrorCode::InternalErrorCantFindBINARYKBD);
    EXPECT_STREQ(E.what(), "Cannot find the keymap NOPE in tvskbd.dll");
  }
}

TEST(KeyboardEngine, AcceptsOnlyItsVersionsAndCountsStarts) {
  TKeymapTables T = LoadKeymapResource("INTERNAL");
  EXPECT_TRUE(INITKBDMAC(T, 0x4040400));
  EXPECT_TRUE(INITKBDMAC(T, 0x4020000));
  EXPECT_FALSE(INITKBDMAC(T, 0x5050000));
  EXPECT_FALSE(INITKBDMAC(T, 0x404));
  EXPECT_FALSE(KBDStarted());
  StartKBD();
  StartKBD();
  StopKBD();
  EXPECT_TRUE(KBDStarted());
  StopKBD();
  EXPECT_FALSE(KBDStarted());
  StopKBD();  // one stop too many does nothing
  EXPECT_FALSE(KBDStarted());
}

TEST(KeyboardServices, BindingsRegisterOnceAndPersistTheirState) {
  TKeyboardServices K;
  EXPECT_EQ(K.GetBindingCount(), 7);
  EXPECT_EQ(K.GetBindingName(K.BindingIndex()), "Tarvos.Internal");
  EXPECT_EQ(K.GetBindingDisplayName(K.BindingIndex()), "Default");
  EXPECT_EQ(K.LookupKeyBinding("classic"), 1);
  EXPECT_EQ(K.LookupKeyBinding("VD32"), 6);
  EXPECT_EQ(K.LookupKeyBinding("Nothing"), -1);
  TKeyboardBinding Extra{"Acme.Extra", "Extra keys", "BRIEF", true, true, 3};
  const int I = K.AddKeyboardBinding(Extra);
  try {
    K.AddKeyboardBinding(Extra);
    FAIL();
  } catch (const EKeyBindingError& E) {
    EXPECT_STREQ(E.what(), "Can't register duplicate keybinding, Acme.Extra");
  }
  test::TTempDir Dir;
  TSettingsStore Store(Dir / "s.ini");
  K.SaveBindings(Store);
  const char* Key = "Editor\\Options\\Known Editor Enhancements\\Acme.Extra";
  EXPECT_EQ(Store.ReadString(Key, "DisplayName"), "Extra keys");
  EXPECT_EQ(Store.ReadInteger(Key, "Priority", 0), 3);
  EXPECT_FALSE(Store.SectionExists("Editor\\Options\\Known Editor Enhancements\\Tarvos.Internal"));
  Store.WriteBool(Key, "Enabled", false);
  K.LoadBindings(Store);
  EXPECT_FALSE(K.GetBindingState(I));
  // A package going away takes its enhancements, not the main keymaps.
  K.AddKeyboardBinding(TKeyboardBinding{"Acme.More", "More", "CLASSIC", true});
  K.SetBindingIndex(I);
  K.UnInstallingPackage("Acme.");
  EXPECT_EQ(K.LookupKeyBinding("Acme.Extra"), -1);
  EXPECT_EQ(K.LookupKeyBinding("Acme.More"), -1);
  EXPECT_EQ(K.GetBindingCount(), 7);
  EXPECT_EQ(K.GetBindingName(K.BindingIndex()), "Tarvos.Internal");  // the removed one was active
}

// A real kernel view with the keyboard on it.
class KeysOnAView : public ::testing::Test {
 protected:
  void SetUp() override {
    InitEditorKernel();
    NewEditor(nullptr, &View);
    InsertString(&View, "alpha\rbeta");
    GotoLineCol(&View, 1, 1);
  }
  void TearDown() override {
    KillEditor(&View);
    DoneEditorKernel();
  }
  void Keys(const char* Sequence) {
    const auto Sequence_ = ParseKeySequence(Sequence);
    ASSERT_TRUE(Sequence_) << Sequence;
    for (uint32_t K : *Sequence_) Keyboard.ProcessKeyStroke(Child, K);
  }
  TEkView View{};
  TKeyboardServices Keyboard;
  TIDEKBDChildAPI Child{&View};
};

TEST_F(KeysOnAView, ChordsTypeAndPushedKeymapsGoFirst) {
  Keys("Shift+H I Space");
  EXPECT_EQ(GetLineText(&View, 1), "Hi alpha");
  Keys("Ctrl+K B Right Right Ctrl+K K");
  TCharPos S, A;
  GetMarkedRange(&View, true, false, S, A);
  EXPECT_EQ(S.Index, 4);  // screen columns from 1
  EXPECT_EQ(A.Index, 6);
  EXPECT_EQ(Keyboard.ProcessKeyStroke(Child, *ParseKey("Ctrl+K")), TKeyResult::Pending);
  EXPECT_EQ(Keyboard.ProcessKeyStroke(Child, *ParseKey("Z")), TKeyResult::Unbound);  // not after Ctrl+K
  EXPECT_EQ(GetLineText(&View, 1), "Hi alpha");  // and typed nothing
  EXPECT_EQ(Keyboard.ProcessKeyStroke(Child, *ParseKey("Ctrl+Y")), TKeyResult::Command);  // pending dropped
  // Classic: the chord's second key with or without Ctrl, and its own cursor keys.
  Keyboard.SetBindingIndex(Keyboard.LookupKeyBinding("Classic"));
  Keys("Ctrl+Q Ctrl+C");
  EXPECT_EQ(View.Cursor.LineNum, 2);
  Keys("Ctrl+Q R Ctrl+D Ctrl+D");
  EXPECT_EQ(View.Cursor.Col, 3);
  // A pushed keymap answers first; popping it brings the other back.
  Keyboard.PushKeyboard("Epsilon");
  Keys("Ctrl+E");  // end of line in the pushed keymap, cursor up in Classic
  EXPECT_EQ(View.Cursor.LineNum, 1);
  EXPECT_GT(View.Cursor.Col, 3);
  Keyboard.PopKeyboard();
  Keys("Ctrl+X");  // cursor down again
  EXPECT_EQ(View.Cursor.LineNum, 2);
  Keyboard.PopKeyboard();  // the active keymap stays
  Keys("Ctrl+E");
  EXPECT_EQ(View.Cursor.LineNum, 1);
}

TEST_F(KeysOnAView, AMacroPlayedTwiceChangesTwiceAndEachPlayUndoesAsOne) {
  Keys("Ctrl+Shift+R X Y Right Ctrl+Shift+R");
  EXPECT_EQ(Keyboard.GetCurrentRecord().GetCount(), 3);  // the stopping key is not in it
  EXPECT_EQ(GetLineText(&View, 1), "xyalpha");
  Keys("Ctrl+Shift+P");
  Keyboard.PlayKeyMacro(Child);
  EXPECT_EQ(GetLineText(&View, 1), "xyaxylxypha");
  Undo(&View);
  EXPECT_EQ(GetLineText(&View, 1), "xyaxylpha");
  Undo(&View);
  EXPECT_EQ(GetLineText(&View, 1), "xyalpha");
  // Commands carried out directly are recorded as commands.
  Keyboard.RecordKeyMacro(true);
  Keyboard.ExecuteCommand(Child, CmdMapManager().IndexOf("RightOfLine"));
  Keyboard.RecordKeyMacro(false);
  ASSERT_EQ(Keyboard.GetCurrentRecord().GetCount(), 1);
  GotoLineCol(&View, 2, 1);
  Keyboard.PlayKeyMacro(Child);
  EXPECT_EQ(View.Cursor.Col, 5);
}

TEST_F(KeysOnAView, TracingReportsEachKeyAndWhetherItWasHandled) {
  Keyboard.SetKeyTracing(true);
  Keys("Ctrl+Home Alt+F12");
  ASSERT_EQ(Keyboard.TraceLines().size(), 4u);
  EXPECT_EQ(Keyboard.TraceLines()[0], "Key Message: WM_KEYDOWN, VK: $24, Repeat: $1, Flags: $00000000");
  EXPECT_EQ(Keyboard.TraceLines()[1], "Internal KeyCode: $00004024, ShortCut: $4024 (Ctrl+Home), Handled: True");
  EXPECT_EQ(Keyboard.TraceLines()[2], "Key Message: WM_SYSKEYDOWN, VK: $7b, Repeat: $1, Flags: $00000000");
  EXPECT_EQ(Keyboard.TraceLines()[3], "Internal KeyCode: $0000807b, ShortCut: $807b (Alt+F12), Handled: False");
  EXPECT_EQ(Keyboard.GetKeysProcessed(), 2u);
}

}  // namespace
}  // namespace nxs
