// Undo by command, against a model: random scripts of typing, erasing, cursor motions, block
// marks, block commands, undo and redo run on an editor buffer through the command map and on
// a plain string, and after every command the buffer holds the text the model says. The
// model's undo rules: typing after typing and erasing after erasing (with no motion between)
// join one step while Group Undo is on; every other change is a step of its own; undo and redo
// take back and bring back whole steps.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <random>
#include <string>
#include <vector>

#include "editor/buffers/edkrnl.h"
#include "editor/buffers/editbuffer.h"
#include "editor/buffers/editview.h"

namespace nxs {
namespace {

struct TModel {
  enum TRun { rnNone, rnTyping, rnErasing };
  std::string Text;
  std::vector<std::string> UndoList;  // the text before each step, the last step last
  std::vector<std::string> RedoList;  // the text after each step undone, the last undone last
  TRun Run = rnNone;
  bool GroupUndo = true;

  // A command of kind Kind changed the text from Before: a new step unless it goes on with the
  // run before it. Changing the text means recording a change, whatever the text looks like
  // after it (a block moved to where the same text stands); by default, a visible one.
  void Changed(const std::string& Before, TRun Kind, bool GoesOn = true, int Recorded = -1) {
    if (Recorded == 0 || (Recorded < 0 && Text == Before)) return;
    RedoList.clear();
    if (!(GroupUndo && GoesOn && Kind != rnNone && Kind == Run)) UndoList.push_back(Before);
    Run = Kind;
  }
  // Undo and redo with nothing to take back or bring back do nothing at all.
  void Undo() { Turn(UndoList, RedoList); }
  void Redo() { Turn(RedoList, UndoList); }
  void Turn(std::vector<std::string>& From, std::vector<std::string>& To) {
    if (From.empty()) return;
    To.push_back(Text);
    Text = From.back();
    From.pop_back();
    Run = rnNone;
  }
};

// Where the lines that a block [B, E) shifts start: a block that ends at the start of a line
// leaves that line alone.
std::vector<size_t> BlockLineStarts(const std::string& T, size_t B, size_t E) {
  const size_t Last = T[E - 1] == '\n' ? E - 1 : E;
  const size_t Before = B == 0 ? std::string::npos : T.rfind('\n', B - 1);
  std::vector<size_t> Starts;
  for (size_t At = Before == std::string::npos ? 0 : Before + 1;;) {
    Starts.push_back(At);
    const size_t Next = T.find('\n', At);
    if (Next == std::string::npos || Next >= Last) return Starts;
    At = Next + 1;
  }
}

class UndoScripts : public ::testing::Test {
 protected:
  void Load(const std::string& Text, bool GroupUndo) {
    Buffer = TEditBuffer::Create("/nonexistent/undo.txt", false);
    Buffer->ReadFromStreamUTF8(Text);
    View = Buffer->OpenNewView();
    V = View->EkView();
    const uint32_t Mask = emInsert | emAutoIndent | emBackspaceUnindents | emGroupUndo | emPersistentBlocks |
                          emOverwriteBlocks | emKeepTrailingBlanks | emCursorBeyondEOF | emNoUndo;
    SetEdModes(V, Mask, emInsert | emKeepTrailingBlanks | (GroupUndo ? emGroupUndo : 0));
    SetBlockIndent(V, 2);
    SetBlockType(V, btNonInclusive);
    M = TModel{Text, {}, {}, TModel::rnNone, GroupUndo};
  }
  void TearDown() override {
    View.reset();
    Buffer.reset();
  }
  std::string Text() const {
    std::string S;
    EXPECT_TRUE(WriteToStream(Buffer->EkView(), S, true));
    return S;
  }
  size_t Offset(TCharPos P) const { return static_cast<size_t>(ConvertCharPosToPos(V, P)); }
  size_t Cursor() const { return Offset(ConvertPos(V, V->Cursor)); }
  // The marked block as offsets; false when none is marked or it is empty.
  bool Block(size_t& B, size_t& E) const {
    if (!BlockIsMarked(V)) return false;
    TCharPos S, A;
    GetMarkedRange(V, false, false, S, A);
    B = Offset(S);
    E = Offset(A);
    if (E < B) std::swap(B, E);
    return B < E;
  }
  void Command(const char* Name) {
    Log.push_back(Name);
    const TMapCommandResult R = RunMapCommand(V, *EkFindCommand(Name));
    ASSERT_TRUE(R.Known) << Name;
  }
  std::string Trail() const {
    std::string S;
    for (size_t I = Log.size() > 60 ? Log.size() - 60 : 0; I < Log.size(); ++I) S += Log[I] + "; ";
    return S;
  }

  // One random command on the buffer and the model.
  void Step(std::mt19937& Random) {
    // Past the end of a line (where shifting a block left leaves it) typing would fill up
    // with blanks first: the model keeps to the text.
    if (Query(V, qCursorPastEOL)) {
      Command("RightOfLine");
      M.Run = TModel::rnNone;
      return;
    }
    const std::string Before = M.Text;
    const size_t At = Cursor();
    size_t B = 0, E = 0;
    const bool HaveBlock = Block(B, E);
    auto Case = [&](int (*Convert)(int)) {
      for (size_t I = B; I < E; ++I) M.Text[I] = static_cast<char>(Convert(static_cast<unsigned char>(M.Text[I])));
    };
    switch (Random() % 16) {
      case 0:
      case 1:
      case 2: {
        std::string Typed;
        for (size_t N = 1 + Random() % 3; N > 0; --N) Typed += "abXY "[Random() % 5];
        Log.push_back("type '" + Typed + "'");
        InsertString(V, Typed);
        M.Text.insert(At, Typed);
        M.Changed(Before, TModel::rnTyping);
        return;
      }
      case 3:
        if (At >= M.Text.size()) return;
        Command("DeleteChar");
        M.Text.erase(At, 1);
        M.Changed(Before, TModel::rnErasing);
        return;
      case 4:
        if (At == 0) return;
        Command("BackspaceDelete");
        M.Text.erase(At - 1, 1);
        M.Changed(Before, TModel::rnErasing);
        return;
      case 5:
      case 6: {
        static const char* const Motions[] = {"CursorCharLeft", "CursorCharRight", "LeftOfLine",
                                              "RightOfLine",    "HomeCursor",      "EndCursor"};
        Command(Motions[Random() % std::size(Motions)]);
        M.Run = TModel::rnNone;
        return;
      }
      case 7:
        Command(Random() % 2 ? "SetBlockBeg" : "SetBlockEnd");
        return;
      case 8:
        if (!HaveBlock) return;
        Command("CopyBlock");
        M.Text.insert(At, Before.substr(B, E - B));
        M.Changed(Before, TModel::rnNone, false, true);
        M.Run = TModel::rnNone;
        return;
      case 9:
        if (!HaveBlock || (At >= B && At <= E)) return;  // into itself, or onto itself
        Command("MoveBlock");
        M.Text.erase(B, E - B);
        M.Text.insert(At > E ? At - (E - B) : At, Before.substr(B, E - B));
        M.Changed(Before, TModel::rnNone, false, true);
        M.Run = TModel::rnNone;
        return;
      case 10:
        if (!HaveBlock) return;
        Command("DeleteBlock");
        M.Text.erase(B, E - B);
        // Erasing at the cursor goes on with the erasing before it.
        M.Changed(Before, TModel::rnErasing, B == At || E == At, true);
        return;
      case 11: {
        if (!HaveBlock) return;
        const bool Out = Random() % 2;
        Command(Out ? "OutdentBlock" : "IndentBlock");
        const std::vector<size_t> Starts = BlockLineStarts(Before, B, E);
        for (auto It = Starts.rbegin(); It != Starts.rend(); ++It) {
          const size_t L = *It;
          if (L >= M.Text.size() || M.Text[L] == '\n') continue;  // empty lines stay as they are
          if (!Out) {
            M.Text.insert(L, "  ");
            continue;
          }
          size_t N = 0;
          while (N < 2 && L + N < M.Text.size() && M.Text[L + N] == ' ') ++N;
          M.Text.erase(L, N);
        }
        M.Changed(Before, TModel::rnNone);
        M.Run = TModel::rnNone;
        return;
      }
      case 12: {
        if (!HaveBlock) return;
        switch (Random() % 3) {
          case 0:
            Command("UpperCaseBlock");
            Case([](int C) { return std::toupper(C); });
            break;
          case 1:
            Command("LowerCaseBlock");
            Case([](int C) { return std::tolower(C); });
            break;
          default:
            Command("ToggleCase");
            Case([](int C) { return std::isupper(C) ? std::tolower(C) : std::toupper(C); });
            break;
        }
        M.Changed(Before, TModel::rnNone);
        M.Run = TModel::rnNone;
        return;
      }
      case 13:
      case 14:
        Command("UnDo");
        M.Undo();
        return;
      default:
        Command("ReDo");
        M.Redo();
        return;
    }
  }

  void RunScripts(bool GroupUndo, uint32_t Seed) {
    std::mt19937 Random(Seed);
    for (int Round = 0; Round < 40; ++Round) {
      Load("one Two\n  three four\n\nFive six seven\n", GroupUndo);
      Log.clear();
      for (int I = 0; I < 150; ++I) {
        Step(Random);
        if (HasFatalFailure()) return;
        ASSERT_EQ(Text(), M.Text) << "round " << Round << ", after: " << Trail();
      }
      // Undoing every step gives the text back.
      Log.push_back("-- undoing all --");
      while (!M.UndoList.empty()) {
        Command("UnDo");
        M.Undo();
        ASSERT_EQ(Text(), M.Text) << "round " << Round << ", undoing all, after: " << Trail();
      }
      ASSERT_FALSE(Buffer->GetEditorState().UndoAvailable) << "round " << Round << ": more steps than the model has";
    }
  }

  std::shared_ptr<TEditBuffer> Buffer;
  std::unique_ptr<TEditView> View;
  PEkView V = nullptr;
  TModel M;
  std::vector<std::string> Log;
};

TEST_F(UndoScripts, EveryCommandUndoesAsTheModelSaysWithGroupUndo) { RunScripts(true, 20240611); }

TEST_F(UndoScripts, EveryChangeUndoesAloneWithoutGroupUndo) { RunScripts(false, 7); }

}  // namespace
}  // namespace nxs
