#include "script/eddebug.h"

#include "debugger/breakpoints.h"
#include "debugger/debugmarks.h"
#include "debugger/debugmgr.h"
#include "debugger/debugscript.h"
#include "modules/sourcemodule.h"
#include "script/edmodules.h"
#include "shared/text.h"

namespace nxs::script {

bool RunDebugCommand(TEdModules& Modules, const std::string& Word, const std::string& Rest) {
  const std::string Arg = Trim(Rest);
  if (Word == "Toggle") {
    // The cursor's line, or the line given.
    const int32_t Line = Arg.empty() ? Modules.View()->Cursor.LineNum : IntArgument<int32_t>(Arg, "LINE", 1);
    DebugMgr().Breakpoints().Toggle(Modules.Current().GetFileName(), Line);
  } else if (Word == "Breakpoints") {
    TBreakpointManager& M = DebugMgr().Breakpoints();
    for (int I = 0; I < M.GetCount(); ++I) Modules.Print(BreakpointRecord(*M.GetBreakpoint(I)) + "\n");
  } else if (Word == "LineMarks") {
    for (const std::string& R : LineMarkRecords(Modules.Buffer())) Modules.Print(R + "\n");
  } else {
    return false;
  }
  return true;
}

}  // namespace nxs::script
