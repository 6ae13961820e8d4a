#include "terminal/findform.h"

#include <algorithm>

#include "editor/keyboard/keycodes.h"
#include "terminal/panes.h"

namespace nxs::term {

namespace {

const char* ScopeName(TAdvancedSearch S) {
  switch (S) {
    case asProjectGroup: return "all projects of the group";
    case asProjectFiles: return "the active project";
    case asOpenFiles: return "the open files";
    default: return "directories";
  }
}

}  // namespace

TFindForm::TFindForm(const std::string& Text, bool HaveGroup) : FScope(HaveGroup ? asProjectGroup : asFileMask) {
  FText.SetText(Text);
  FMasks.SetText("*.*");
  FDirectories.SetText(".");
}

TFindForm::TResult TFindForm::Handle(const TInputEvent& E) {
  if (E.Kind != TInputKind::Key && E.Kind != TInputKind::Char) return TResult::Open;
  if (E.Kind == TInputKind::Key) {
    switch (E.Key) {
      case 0x1B: return TResult::Cancel;
      case 0x0D: return FText.Text().empty() ? TResult::Open : TResult::Run;
      case 0x09:
      case 0x28: FField = (FField + 1) % fCount; return TResult::Open;
      case 0x09 | kcShift:
      case 0x26: FField = (FField + fCount - 1) % fCount; return TResult::Open;
      default: break;
    }
  }
  const bool Space = E.Kind == TInputKind::Key && E.Key == 0x20;
  switch (FField) {
    case fText: FText.Handle(E); break;
    case fMasks: FMasks.Handle(E); break;
    case fDirectories: FDirectories.Handle(E); break;
    case fScope:
      if (Space || (E.Kind == TInputKind::Key && (E.Key == 0x25 || E.Key == 0x27))) {
        static constexpr TAdvancedSearch Order[] = {asProjectGroup, asProjectFiles, asOpenFiles, asFileMask};
        const auto* It = std::find(std::begin(Order), std::end(Order), FScope);
        const long At = It - std::begin(Order);
        FScope = Order[(At + (E.Key == 0x25 ? 3 : 1)) % 4];
      }
      break;
    case fCase: FCase ^= Space; break;
    case fWord: FWord ^= Space; break;
    case fRegExp: FRegExp ^= Space; break;
    case fSubDirs: FSubDirs ^= Space; break;
    default: break;
  }
  return TResult::Open;
}

void TFindForm::Draw(TCellGrid& Grid, const TRect& R, const TPaneStyles& S, int& CursorRow, int& CursorCol) const {
  const int W = std::min(R.Cols - 2, 70), H = 11;
  const TRect Box{R.Row + std::max((R.Rows - H) / 2, 0), R.Col + std::max((R.Cols - W) / 2, 0), H, W};
  Grid.Fill(Box, S.Title);
  Grid.Put(Box.Row, Box.Col + 2, "Find in Files", S.TitleFocused, W - 4);
  const int Label = 16, FieldCol = Box.Col + Label + 2, FieldCols = W - Label - 4;
  CursorRow = CursorCol = -1;
  auto Edit = [&](int Row, const char* Name, const TLineEdit& E, int Field) {
    Grid.Put(Box.Row + Row, Box.Col + 2, Name, S.Title, Label);
    const int C = E.Draw(Grid, Box.Row + Row, FieldCol, FieldCols, FField == Field ? S.Selected : S.Normal);
    if (FField == Field) CursorRow = Box.Row + Row, CursorCol = C;
  };
  auto Switch = [&](int Row, int Col, const char* Name, bool On, int Field) {
    const std::string Text = std::string(On ? "[x] " : "[ ] ") + Name;
    Grid.Put(Box.Row + Row, Col, Text, FField == Field ? S.Selected : S.Title);
  };
  Edit(2, "Text to find:", FText, fText);
  Edit(3, "File masks:", FMasks, fMasks);
  Grid.Put(Box.Row + 4, Box.Col + 2, "Look in:", S.Title, Label);
  Grid.Fill(TRect{Box.Row + 4, FieldCol, 1, FieldCols}, FField == fScope ? S.Selected : S.Normal);
  Grid.Put(Box.Row + 4, FieldCol, std::string("< ") + ScopeName(FScope) + " >", FField == fScope ? S.Selected : S.Normal,
           FieldCols);
  Edit(5, "Directories:", FDirectories, fDirectories);
  Switch(7, Box.Col + 2, "Case sensitive", FCase, fCase);
  Switch(7, Box.Col + 24, "Whole words", FWord, fWord);
  Switch(8, Box.Col + 2, "Regular expressions", FRegExp, fRegExp);
  Switch(8, Box.Col + 27, "Subdirectories", FSubDirs, fSubDirs);
  Grid.Put(Box.Row + 10, Box.Col + 2, "Enter: find   Esc: cancel   Tab: next field   Space: switch", S.Title, W - 4);
}

TFindRequest TFindForm::Request() const {
  TFindRequest R;
  R.Text = FText.Text();
  R.Flags.Set(sfCase, FCase);
  R.Flags.Set(sfWord, FWord);
  R.Flags.Set(sfRegExp, FRegExp);
  R.Scope = FScope;
  R.Masks = FMasks.Text();
  R.Directories = FDirectories.Text();
  if (FSubDirs) R.Advanced |= AdvFlag(asfIncludeSubDirs);
  R.Advanced |= AdvFlag(asfGroupByFile);
  return R;
}

}  // namespace nxs::term
