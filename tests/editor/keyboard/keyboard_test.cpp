// The command map, keys and compiled keymaps, and the keyboard services driving a kernel view:
// chords, pushed keymaps, macros and tracing.
#include "editor/keyboard/keyboard.h"

#include <gtest/gtest.h>

#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "editor/keyboard/cmdmap.h"
#include "editor/buffers/edkrnl.h"
#include "editor/buffers/ekinit.h"
#include "editor/keyboard/keymaps.h"
#include "shared/settings.h"
#include "shared/testdir.h"
#include "support/errorof.h"

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

// The commands whose class and code keymaps and the kernel agree on, as published for
// binding writers: "Name Class Code" in hexadecimal, "-" where only the class is fixed.
const char* const PublishedCommands =
    "CodeCompletion 01 - "
    "BackspaceDelete 02 23 BottomOfScreen 02 1D CenterFixScreenPos 02 32 CenterLineInWindow 02 5B CopyBlock 02 26 "
    "DeleteChar 02 22 ExtendBlockBeg 02 46 ExtendBlockEnd 02 47 FirstNonBlank 02 61 FullPaintScreen 02 8 "
    "HideBlock 02 38 HighlightBlock 02 24 HomeCursor 02 1E LowerCaseBlock 02 50 MoveBlock 02 27 NullCmd 02 0 "
    "PaintScreen 02 8 SwapPrevPos 02 29 ToggleCase 02 62 ToggleHideBlock 02 25 UpperCaseBlock 02 4F "
    "CursorCharLeft 03 13 CursorCharRight 03 12 CursorDown 03 15 CursorLeft 03 11 CursorLineToWindowTop 03 4D "
    "CursorLineToWindowBottom 03 4E CursorRight 03 10 CursorSwitchedLeft 03 3B CursorSwitchedRight 03 3A "
    "CursorUp 03 14 EndCursor 03 1F FixCursorPos 03 30 FixScreenPos 03 31 LeftOfLine 03 1A LeftOfScreen 03 59 "
    "MoveToRightMargin 03 73 PageDown 03 3D PageScreenDown 03 3D PageScreenUp 03 3C PageUp 03 3C "
    "RightOfLine 03 1B RightOfScreen 03 5A ScrollScreenDown 03 17 ScrollScreenUp 03 16 TopOfScreen 03 1C "
    "CursorLeftSkipWord 04 0 CursorLeftSkipNonWord 04 1 CursorLeftSkipWhite 04 2 CursorLeftSkipNonWhite 04 3 "
    "CursorLeftSkipWordStream 04 20 CursorRightSkipWord 04 10 CursorRightSkipNonWord 04 11 "
    "CursorRightSkipWhite 04 12 CursorRightSkipNonWhite 04 13 CursorRightSkipWordStream 04 30 "
    "UndoGroupWithAny 05 0 UndoGroupWithNone 05 1 UndoGroupWithInsert 05 2 UndoGroupWithDelete 05 3 "
    "UndoGroupWithCursor 05 4 "
    "MoveToPrevPos 06 1 MoveToBlockBeg 06 2 MoveToBlockEnd 06 3 MoveToTempPos 06 4 MoveToTempEnd 06 5 "
    "SetPrevPos 06 11 SetBlockBeg 06 12 SetBlockEnd 06 13 SetTempPos 06 14 SetTempEndPos 06 15 "
    "MoveToMark 07 2A SetMark 07 2B "
    "InqCursorAtBOL 08 0 InqCursorAtEOL 08 1 InqCursorAtBOW 08 2 InqCursorAtEOW 08 3 InqAutoIndent 08 4 "
    "InqAutoOutdent 08 5 InqOvertype 08 6 InqValidBlock 08 8 InqEmptyLine 08 A InqValidTempBlock 08 B "
    "InqCursorPastEOL 08 C InqCursorPastEOF 08 D InqCursorInBlock 08 E InqCursorPastRightMargin 08 F "
    "InqValidEmptyBlock 08 10 "
    "InqInclusiveBlock 09 0 InqLineBlock 09 1 InqColumnBlock 09 2 InqNonInclusiveBlock 09 3 "
    "InqCursorOnChar 0A - InqValidIndentBlock 2D - "
    "DeleteBlock 0C 1 DeleteTempBlock 0C 2 SetInclusiveBlock 0C 3 SetLineBlock 0C 4 SetColumnBlock 0C 5 "
    "SetNonInclusiveBlock 0C 6 UnDo 0C 7 ReDo 0C 8 BackTab 0C 9 ForeTab 0C A "
    "ClipCut 1C 15 ClipCopy 1C 16 ClipPaste 1C 17 GoToLine 1C 20 SaveFile 1C 13 ToggleBreakpoint 1D 21 "
    "ToggleComment 1D 40 SaveAll 1E 3C OpenFileAtCursor 1F 5 RunToHere 1F 8 NextError 1F 2C "
    "ElideNearest 28 1 unElideNearest 28 2 unElideAll 28 3 EnableElisions 28 4 ToggleElisions 28 5 "
    "ElideRegions 28 6 ElideNamespace 28 7 ElideType 28 8 ElideMethod 28 9 ElideNested 28 A ElideGlobal 28 B "
    "SyntaxHighlight 0B - IndentBlock 0D 0 OutdentBlock 0D 1 InsertText 0E - LiteralChar 0F - "
    "RecordKeyMacro 10 - PlaybackKeyMacro 11 - ToggleCaseSensitive 14 - ToggleRegExp 15 - "
    "ToggleMarginMarker 16 - MatchPairBackward 17 0 MatchPairForward 17 1 ClipAppendNextCut 18 - "
    "ClipReplaceNextCut 19 - ClipMaybeAppendCut 1A - IncrementalSearch 1B - Pause 20 - SetSearchCase 21 - "
    "SetSearchDirection 22 - SetSearchRegExp 23 - Menu 24 - RepeatSearch 25 1F RepeatReplace 26 1F "
    "SmartTab 27 - MethodNavigate 2A - MethodNavigateToggleClassLock 2B - ToggleSearchDirection 2C - "
    "SyncEdit 29 B";

TEST(CommandMap, EveryPublishedCommandHasItsClassAndCode) {
  std::istringstream In(PublishedCommands);
  std::string Name, Class, Code;
  int Count = 0;
  while (In >> Name >> Class >> Code) {
    const int I = CmdMapManager().IndexOf(Name);
    ASSERT_GE(I, 0) << Name;
    EXPECT_EQ(CmdMapManager().Entry(I).Name, Name);
    EXPECT_EQ(CmdMapManager().Entry(I).Class, std::stoi(Class, nullptr, 16)) << Name;
    if (Code != "-") {
      EXPECT_EQ(CmdMapManager().Entry(I).Code, std::stoi(Code, nullptr, 16)) << Name;
    }
    ++Count;
  }
  EXPECT_EQ(Count, 155);
  // The editor modes, set (class 12) and toggled (13) by their bit.
  struct TMode {
    const char* Set;
    const char* Toggle;
    int Bit;
  };
  for (const TMode& M : {TMode{"SetInsertMode", "ToggleInsert", 1}, TMode{"SetAutoIndent", "ToggleAutoIndent", 2},
                         TMode{"SetTabbingMode", "ToggleTabbingMode", 4}, TMode{"SetAutoOutdent", "ToggleAutoOutdent", 0x10},
                         TMode{"SetOptimalFillMode", "ToggleOptimalFillMode", 0x40},
                         TMode{"SetCursorThroughTabMode", "ToggleCursorThroughTabMode", 0x80}}) {
    for (const auto& [Name, Class] : {std::pair{M.Set, 0x12}, std::pair{M.Toggle, 0x13}}) {
      const int I = CmdMapManager().IndexOf(Name);
      ASSERT_GE(I, 0) << Name;
      EXPECT_EQ(CmdMapManager().Entry(I).Class, Class) << Name;
      EXPECT_EQ(CmdMapManager().Entry(I).Code, M.Bit) << Name;
    }
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
  } catch (const Exception& E) {
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
  // Removing a binding before the active one keeps the active one; a package named like the
  // main keymaps takes none of them.
  const int First = K.AddKeyboardBinding(TKeyboardBinding{"Acme.First", "First", "BRIEF", true});
  const int Second = K.AddKeyboardBinding(TKeyboardBinding{"Acme.Second", "Second", "EPSILON", true});
  K.SetBindingIndex(Second);
  K.RemoveKeyboardBinding(First);
  EXPECT_EQ(K.GetBindingName(K.BindingIndex()), "Acme.Second");
  K.UnInstallingPackage("Tarvos.");
  EXPECT_EQ(K.GetBindingCount(), 8);
  EXPECT_EQ(K.GetBindingName(K.BindingIndex()), "Acme.Second");
}

TEST(KeyboardServices, AnEnhancementsPriorityAndStateReadBackFromTheSettings) {
  test::TTempDir Dir;
  TSettingsStore Store(Dir / "s.ini");
  const char* Key = "Editor\\Options\\Known Editor Enhancements\\Acme.Extra";
  Store.WriteInteger(Key, "Priority", 9);
  Store.WriteBool(Key, "Enabled", false);
  TKeyboardServices K;
  const int I = K.AddKeyboardBinding(TKeyboardBinding{"Acme.Extra", "Extra", "BRIEF", true, true, 1});
  K.LoadBindings(Store);
  EXPECT_FALSE(K.GetBindingState(I));
  TSettingsStore Other(Dir / "other.ini");
  K.SaveBindings(Other);
  EXPECT_EQ(Other.ReadInteger(Key, "Priority", 0), 9);
  EXPECT_FALSE(Other.ReadBool(Key, "Enabled", true));
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

TEST_F(KeysOnAView, EveryLetterDigitAndPunctuationKeyTypesItsCharacterWithAndWithoutShift) {
  // The characters of a US keyboard, written out key by key: what each key types alone and
  // with Shift.
  struct TTyped {
    std::string Key;
    char Plain, Shifted;
  };
  std::vector<TTyped> Table;
  for (char C = 'A'; C <= 'Z'; ++C) Table.push_back({std::string(1, C), static_cast<char>(C + 32), C});
  const char* const Shifted = ")!@#$%^&*(";
  for (char C = '0'; C <= '9'; ++C) Table.push_back({std::string(1, C), C, Shifted[C - '0']});
  for (const TTyped& P : std::vector<TTyped>{{";", ';', ':'}, {"=", '=', '+'}, {",", ',', '<'}, {"-", '-', '_'},
                                             {".", '.', '>'}, {"/", '/', '?'}, {"`", '`', '~'}, {"[", '[', '{'},
                                             {"\\", '\\', '|'}, {"]", ']', '}'}, {"'", '\'', '"'}, {"Num*", '*', '*'},
                                             {"Num+", '+', '+'}, {"Num-", '-', '-'}, {"Space", ' ', ' '}})
    Table.push_back(P);
  for (const TTyped& T : Table) {
    SCOPED_TRACE(T.Key);
    for (const bool Shift : {false, true}) {
      const auto Key = ParseKey((Shift ? "Shift+" : "") + T.Key);
      ASSERT_TRUE(Key);
      const std::string Before = GetLineText(&View, 1);
      EXPECT_EQ(Keyboard.ProcessKeyStroke(Child, *Key), TKeyResult::Typed);
      EXPECT_EQ(GetLineText(&View, 1), Before.substr(0, static_cast<size_t>(View.Cursor.Col) - 2) +
                                           (Shift ? T.Shifted : T.Plain) + Before.substr(View.Cursor.Col - 2));
    }
  }
  // With Ctrl or Alt a key types nothing, bound or not.
  const std::string Typed = GetLineText(&View, 1);
  for (const char* Key : {"Alt+X", "Alt+Shift+X", "Ctrl+Alt+Q", "Alt+;", "Ctrl+Shift+7"})
    EXPECT_NE(Keyboard.ProcessKeyStroke(Child, *ParseKey(Key)), TKeyResult::Typed) << Key;
  EXPECT_EQ(GetLineText(&View, 1), Typed);
  // Enter breaks the line.
  Keys("Enter");
  EXPECT_EQ(GetLineText(&View, 2), "alpha");
}

TEST_F(KeysOnAView, KeysAndCommandsWhileRecordingIsPausedStayOutOfTheMacro) {
  Keyboard.RecordKeyMacro(true);
  Keys("X");
  Keyboard.PauseRecord();
  EXPECT_FALSE(Keyboard.Recording());
  Keys("Y");
  Keyboard.ExecuteCommand(Child, CmdMapManager().IndexOf("CursorLeft"));
  Keyboard.ResumeRecord();
  Keys("Z");
  Keyboard.RecordKeyMacro(false);
  EXPECT_EQ(Keyboard.GetCurrentRecord().GetCount(), 2);
  EXPECT_EQ(GetLineText(&View, 1), "xzyalpha");
  Keyboard.PlayKeyMacro(Child);
  EXPECT_EQ(GetLineText(&View, 1), "xzxzyalpha");
}

TEST_F(KeysOnAView, AChordAMacroLeftPendingIsDroppedWhenThePlayEnds) {
  Keyboard.RecordKeyMacro(true);
  Keys("X Ctrl+K");
  Keyboard.RecordKeyMacro(false);
  Keys("Esc");  // breaks the chord the recording left
  Keyboard.PlayKeyMacro(Child);
  Keys("B");  // types, and does not end the chord the macro began
  EXPECT_EQ(GetLineText(&View, 1), "xxbalpha");
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

std::vector<uint32_t> Seq(const char* Text) { return ParseKeySequence(Text).value(); }

TEST_F(KeysOnAView, EnhancementKeyProceduresAnswerFirstAndGoWithTheirPackage) {
  std::vector<std::string> Calls;
  const auto Log = [&](TKeyBindingResult R) {
    return [&Calls, R](TIDEKBDChildAPI& C, const std::vector<uint32_t>& Keys) {
      Calls.push_back(SequenceName(Keys));
      if (R == TKeyBindingResult::krHandled) InsertString(C.View(), "!");
      return R;
    };
  };
  TKeyboardBinding Acme{"Acme.Keys", "Acme keys", "", true};
  Acme.KeyProcs = {{Seq("Ctrl+Z"), Log(TKeyBindingResult::krHandled)},
                   {Seq("Ctrl+K Z"), Log(TKeyBindingResult::krHandled)},
                   {Seq("End"), Log(TKeyBindingResult::krUnhandled)}};
  Keyboard.AddKeyboardBinding(Acme);
  Keyboard.PushKeyboard("Acme.Keys");
  Keys("Ctrl+Z Ctrl+K Z");
  EXPECT_EQ(GetLineText(&View, 1), "!!alpha");  // not undone: the procedure had the key
  Keys("End");  // left to the keymap below: the cursor goes to the line's end
  EXPECT_EQ(View.Cursor.Col, 8);
  EXPECT_EQ(Calls, (std::vector<std::string>{"Ctrl+Z", "Ctrl+K Z", "End"}));
  // Recorded keys replay through the procedures.
  Keyboard.RecordKeyMacro(true);
  Keys("Ctrl+Z");
  Keyboard.RecordKeyMacro(false);
  Keyboard.PlayKeyMacro(Child);
  EXPECT_EQ(GetLineText(&View, 1), "!!alpha!!");
  // Sequences that cannot share one keymap are refused at registration.
  TKeyboardBinding Bad{"Acme.Bad", "Bad", "", true};
  Bad.KeyProcs = {{Seq("Ctrl+Q"), Log(TKeyBindingResult::krHandled)}, {Seq("Ctrl+Q X"), Log(TKeyBindingResult::krHandled)}};
  try {
    Keyboard.AddKeyboardBinding(Bad);
    FAIL();
  } catch (const Exception& E) {
    EXPECT_STREQ(E.what(), "Key binding Acme.Bad: Ctrl+Q is bound to a command and cannot start Ctrl+Q X");
  }
  EXPECT_EQ(Keyboard.LookupKeyBinding("Acme.Bad"), -1);
  // The package goes, and its procedures with it, though still pushed.
  Keyboard.UnInstallingPackage("Acme.");
  Calls.clear();
  Keys("Ctrl+Z");
  EXPECT_TRUE(Calls.empty());
  EXPECT_EQ(GetLineText(&View, 1), "!!alpha!");
}

TEST_F(KeysOnAView, MapAndEvalRunsASequenceFromTheStartAndLeavesTheUsersChordAlone) {
  EXPECT_EQ(Keyboard.MapAndEval(Child, Seq("Shift+A B")), TKeyResult::Typed);
  EXPECT_EQ(GetLineText(&View, 1), "Abalpha");
  Keys("Ctrl+K");  // the user's chord, pending
  EXPECT_EQ(Keyboard.MapAndEval(Child, Seq("Right Ctrl+K B")), TKeyResult::Command);
  EXPECT_EQ(Keyboard.MapAndEval(Child, Seq("End")), TKeyResult::Command);
  EXPECT_EQ(View.Cursor.Col, 8);
  EXPECT_EQ(Keyboard.MapAndEval(Child, Seq("Ctrl+Q")), TKeyResult::Pending);  // dropped at the end
  Keys("K");  // ends the user's chord: the block's end at the cursor
  TCharPos S, A;
  GetMarkedRange(&View, true, false, S, A);
  EXPECT_EQ(S.Index, 4);
  EXPECT_EQ(A.Index, 8);
  EXPECT_EQ(Keyboard.GetKeysProcessed(), 9u);
}

TEST_F(KeysOnAView, AnInsertedMacroPlaysAsOneStepAndJoinsTheRecordBeingMade) {
  Keyboard.RecordKeyMacro(true);
  Keys("X Y");
  Keyboard.RecordKeyMacro(false);
  const TRecord XY = Keyboard.GetCurrentRecord();
  Keyboard.RecordKeyMacro(true);
  Keys("Z");
  Keyboard.InsertMacro(Child, XY);
  Keyboard.InsertMacro(Child, Keyboard.GetCurrentRecord());  // the record itself: z x y once more
  Keyboard.RecordKeyMacro(false);
  EXPECT_EQ(GetLineText(&View, 1), "xyzxyzxyalpha");
  EXPECT_EQ(Keyboard.GetCurrentRecord().GetCount(), 6);
  Undo(&View);
  EXPECT_EQ(GetLineText(&View, 1), "xyzxyalpha");
  Keyboard.PlayKeyMacro(Child);
  EXPECT_EQ(GetLineText(&View, 1), "xyzxyzxyzxyalpha");
}

TEST(KeyboardServices, ABindingsOwnKeyTableIsItsKeymapAndAConflictingOneIsRefused) {
  TKeyboardServices Keyboard;
  const uint16_t Down = static_cast<uint16_t>(CmdMapManager().IndexOf("CursorDown"));
  const uint16_t Undo = static_cast<uint16_t>(CmdMapManager().IndexOf("UnDo"));
  TKeyboardBinding Own{"Pkg.Keys", "Own", ""};
  Own.Keys = {{Seq("Ctrl+Q D"), Down}, {Seq("F2"), Undo}};
  Keyboard.SetBindingIndex(Keyboard.AddKeyboardBinding(Own));
  std::vector<std::string> Active;
  for (const TKeyBinding& B : Keyboard.ActiveBindings()) Active.push_back(SequenceName(B.Keys) + " " + CmdMapManager().Entry(B.Command).Name);
  EXPECT_EQ(Active, (std::vector<std::string>{"F2 UnDo", "Ctrl+Q D CursorDown"}));
  TKeyboardBinding Bad{"Pkg.Bad", "Bad", ""};
  Bad.Keys = {{Seq("Ctrl+Q"), Down}, {Seq("Ctrl+Q X"), Undo}};
  EXPECT_EQ(test::ErrorOf([&] { Keyboard.AddKeyboardBinding(Bad); }),
            "Key binding Pkg.Bad: Ctrl+Q is bound to a command and cannot start Ctrl+Q X");
  EXPECT_EQ(Keyboard.LookupKeyBinding("Pkg.Bad"), -1);
}

TEST(KeyboardServices, MenusShowTheShortcutsOfTheKeymapsInForce) {
  TKeyboardServices K;
  K.RegisterMenu({"Edit", {{"UnDo", "&Undo"}, {"SetBlockBeg", "Block begin"}, {"EndCursor", "Text end"}, {"NoSuchCommand", "?"}}});
  const auto Texts = [&] {
    std::vector<std::string> T;
    for (const TMenuItem& I : K.Menus().at(0).Items) T.push_back(I.AccelText);
    return T;
  };
  using TTexts = std::vector<std::string>;
  EXPECT_EQ(Texts(), (TTexts{"Ctrl+Z", "Ctrl+K B", "Ctrl+End", ""}));
  // A pushed keymap hides the keys it takes: its own Ctrl+Z and Ctrl+K.
  TKeyboardBinding Over{"Acme.Over", "Over", "", true};
  const auto None = [](TIDEKBDChildAPI&, const std::vector<uint32_t>&) { return TKeyBindingResult::krHandled; };
  Over.KeyProcs = {{Seq("Ctrl+Z"), None}, {Seq("Ctrl+K X"), None}};
  K.AddKeyboardBinding(Over);
  K.PushKeyboard("Acme.Over");
  EXPECT_EQ(Texts(), (TTexts{"Alt+Backspace", "", "Ctrl+End", ""}));
  K.PopKeyboard();
  EXPECT_EQ(K.AccelText("undo"), "Ctrl+Z");
  // Within an update the texts change once, at its end.
  K.BeginUpdate();
  K.SetBindingIndex(K.LookupKeyBinding("Classic"));
  EXPECT_EQ(Texts()[2], "Ctrl+End");
  K.EndUpdate();
  EXPECT_EQ(Texts(), (TTexts{"Ctrl+U", "Ctrl+K B", "Ctrl+PgDn", ""}));
  // Registered again under its name, a menu is replaced; unregistered, it is gone.
  K.RegisterMenu({"Edit", {{"HomeCursor", "Text start"}}});
  ASSERT_EQ(K.Menus().size(), 1u);
  EXPECT_EQ(Texts(), (TTexts{"Ctrl+PgUp"}));
  K.UnRegisterMenu("Edit");
  EXPECT_TRUE(K.Menus().empty());
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
