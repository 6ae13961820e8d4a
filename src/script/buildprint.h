// How nxs prints a build: each line of the "Build" group as it arrives, indented two spaces
// per level as the message view shows it, or diagnostics in the form "FILE:LINE:COL: error:
// TEXT" that other tools read (each diagnostic once, its context before it, no command
// lines); on a terminal, one progress line rewritten in place.
#pragma once

#include <string>

#include "script/output.h"

namespace nxs {
class TLine;
class TLineBuffer;
class TEvMessageLine;
}  // namespace nxs

namespace nxs::script {

class TBuildPrinter {
 public:
  // Lines go to Out (standard output when none is given); the progress line, when asked
  // for, always to the terminal on standard output.
  TBuildPrinter(bool GccStyle, bool Progress, TPrintFn Out = {});
  ~TBuildPrinter();
  TBuildPrinter(const TBuildPrinter&) = delete;  // registered with the group's events
  TBuildPrinter& operator=(const TBuildPrinter&) = delete;

  // Clears the progress line.
  void Finish();
  // A line in the printed form.
  static std::string LineText(const TLine& Line, bool GccStyle);

 private:
  void Added(TEvMessageLine& Args);
  void Print(const std::string& Text);
  // Prints the diagnostic that waits for its context, if one does.
  void PrintHeld();
  void ClearProgress();

  TLineBuffer* FGroup;
  TPrintFn FOut;
  bool FGcc;
  bool FProgress;
  bool FProgressShown = false;
  const TLine* FHeld = nullptr;  // the last diagnostic, not printed yet (gcc form)
  std::string FHeldText;
};

}  // namespace nxs::script
