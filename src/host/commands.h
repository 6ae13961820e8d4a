// The nxs command groups. Each group lives in its own source file and gives its entry of the
// command table; main.cpp puts them together.
#pragma once

#include <memory>
#include <vector>

#include "host/cmdline.h"

namespace nxs {
class TFileReadAhead;
}

namespace nxs::host {

TCommand ProjectCommand();    // project document: format, show, new
TCommand ConfigCommand();     // build configurations
TCommand OptionSetCommand();  // option sets
TCommand MacrosCommand();     // IDE macros
TCommand PlatformsCommand();  // registered platforms
TCommand OptionsCommand();    // environment options
TCommand HistoryCommand();    // backups, closed files, favourites
TCommand EdCommand();         // scripted editing
TCommand OutlineCommand();    // a source file's foldable regions
TCommand HighlightCommand();  // a file's syntax classes
TCommand KeysCommand();       // the bindings of a keymap
TCommand GroupCommand();      // project groups
TCommand GrepCommand();       // find in files
TCommand EvalCommand();       // a project file's properties and items, evaluated
TCommand BuildCommand();      // builds a project or a group
TCommand PackagesCommand();   // IDE and design packages
TCommand LspCommand();        // the language server
TCommand DapCommand();        // the debug adapter
TCommand DesktopCommand();    // desktop files
TCommand LayoutCommand();     // named layouts
TCommand RecoverCommand();    // files autorecover kept
TCommand DebugCommand();      // runs a program under the debugger
TCommand EditCommand();       // the terminal IDE
// The large files an "nxs edit" command line names, read on threads of their own while the
// system starts (nothing for any other command); kept until the command has ended.
std::vector<std::unique_ptr<TFileReadAhead>> ReadEditFilesAhead(const TArgs& Args);

// "nxs project new", kept with the configuration commands (configcmds.cpp).
TCommand ProjectNewCommand();
// "nxs project add|remove|rename|tree": a project's files, through the module layer
// (projfilecmds.cpp).
std::vector<TCommand> ProjectFileCommands();

// The whole table, "nxs" at its root.
const TCommand& RootCommand();

}  // namespace nxs::host
