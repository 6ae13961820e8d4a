// The find in files dialog as a form: the text, the file masks, where to look (the project
// group, the active project, the open files or directories), the directories, and the
// switches (case, whole words, regular expressions, subdirectories). Tab and Shift+Tab move
// between the fields, Space turns a switch, Enter starts the search and Escape leaves.
#pragma once

#include <string>
#include <vector>

#include "environment/findengine.h"
#include "terminal/cells.h"
#include "terminal/lineedit.h"
#include "terminal/screen.h"

namespace nxs::term {

struct TPaneStyles;

class TFindForm {
 public:
  enum class TResult { Open, Run, Cancel };
  explicit TFindForm(const std::string& Text, bool HaveGroup);
  TResult Handle(const TInputEvent& E);
  // The form in a box in the middle of R; the cursor's cell.
  void Draw(TCellGrid& Grid, const TRect& R, const TPaneStyles& Styles, int& CursorRow, int& CursorCol) const;
  // The search the form describes (the scope's projects and files are the caller's).
  TFindRequest Request() const;

 private:
  enum TField { fText, fMasks, fScope, fDirectories, fCase, fWord, fRegExp, fSubDirs, fCount };
  TLineEdit FText, FMasks, FDirectories;
  TAdvancedSearch FScope;
  bool FCase = false, FWord = false, FRegExp = false, FSubDirs = true;
  int FField = fText;
};

}  // namespace nxs::term
