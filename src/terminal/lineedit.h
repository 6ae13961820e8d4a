// One line of text being typed: the command prompt, a dialog's field. Keys are the keymaps'
// codes; the text is UTF-8 and the cursor stays on a character's first byte.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "terminal/cells.h"
#include "terminal/screen.h"

namespace nxs::term {

class TLineEdit {
 public:
  const std::string& Text() const { return FText; }
  void SetText(std::string Text);
  size_t Cursor() const { return FCursor; }
  // An editing key or a typed character; false when the event is none of those (Enter,
  // Escape, Tab and the like are the owner's).
  bool Handle(const TInputEvent& E);
  // Draws the text in the row from Col, Cols wide, scrolled so that the cursor shows;
  // returns the cursor's column.
  int Draw(TCellGrid& Grid, int Row, int Col, int Cols, TCellStyle Style) const;

  // Earlier lines, Up and Down walk them.
  void Remember(const std::string& Line);

 private:
  void Insert(std::string_view Bytes);
  std::string FText;
  size_t FCursor = 0;
  std::vector<std::string> FHistory;
  size_t FHistoryAt = 0;
};

}  // namespace nxs::term
