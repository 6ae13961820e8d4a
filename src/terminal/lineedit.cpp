#include "terminal/lineedit.h"

#include <algorithm>

#include "editor/buffers/charwidth.h"
#include "editor/keyboard/keycodes.h"
#include "shared/utf8.h"
#include "terminal/keys.h"

namespace nxs::term {

namespace {

size_t PrevChar(const std::string& S, size_t At) {
  if (At == 0) return 0;
  --At;
  while (At > 0 && !IsUtf8Lead(S[At])) --At;
  return At;
}

size_t NextChar(const std::string& S, size_t At) {
  if (At >= S.size()) return S.size();
  return At + static_cast<size_t>(Utf8CharLength(S, At, TUtf8Policy::Framing));
}

}  // namespace

void TLineEdit::SetText(std::string Text) {
  FText = std::move(Text);
  FCursor = FText.size();
}

void TLineEdit::Insert(std::string_view Bytes) {
  FText.insert(FCursor, Bytes);
  FCursor += Bytes.size();
}

void TLineEdit::Remember(const std::string& Line) {
  if (!Line.empty() && (FHistory.empty() || FHistory.back() != Line)) FHistory.push_back(Line);
  FHistoryAt = FHistory.size();
}

bool TLineEdit::Handle(const TInputEvent& E) {
  if (E.Kind == TInputKind::Char) {
    std::string S;
    AppendUtf8(S, static_cast<uint32_t>(E.Char));
    Insert(S);
    return true;
  }
  if (E.Kind != TInputKind::Key) return false;
  if (const char32_t C = KeyChar(E.Key)) {
    std::string S;
    AppendUtf8(S, static_cast<uint32_t>(C));
    Insert(S);
    return true;
  }
  switch (E.Key) {
    case 0x08:  // Backspace
      if (FCursor > 0) {
        const size_t P = PrevChar(FText, FCursor);
        FText.erase(P, FCursor - P);
        FCursor = P;
      }
      return true;
    case 0x2E:  // Del
      if (FCursor < FText.size()) FText.erase(FCursor, NextChar(FText, FCursor) - FCursor);
      return true;
    case 0x25: FCursor = PrevChar(FText, FCursor); return true;
    case 0x27: FCursor = NextChar(FText, FCursor); return true;
    case 0x24: FCursor = 0; return true;
    case 0x23: FCursor = FText.size(); return true;
    case 'U' | kcCtrl: FText.erase(0, FCursor), FCursor = 0; return true;
    case 0x26:
    case 0x28:
      if (FHistory.empty()) return true;
      if (E.Key == 0x26 && FHistoryAt > 0) --FHistoryAt;
      if (E.Key == 0x28 && FHistoryAt < FHistory.size()) ++FHistoryAt;
      SetText(FHistoryAt < FHistory.size() ? FHistory[FHistoryAt] : std::string());
      return true;
    default: return false;
  }
}

int TLineEdit::Draw(TCellGrid& Grid, int Row, int Col, int Cols, TCellStyle Style) const {
  Grid.Fill(TRect{Row, Col, 1, Cols}, Style);
  // Scrolled so that the cursor stands in the field: the text from the first character that
  // leaves room for everything up to the cursor.
  size_t From = 0;
  while (From < FCursor && CalcDisplayWidth(std::string_view(FText).substr(From, FCursor - From)) >= Cols)
    From = NextChar(FText, From);
  Grid.Put(Row, Col, std::string_view(FText).substr(From), Style, Cols);
  return Col + CalcDisplayWidth(std::string_view(FText).substr(From, FCursor - From));
}

}  // namespace nxs::term
