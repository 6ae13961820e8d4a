// The nxs command groups. Each group lives in its own source file and gives its entry of the
// command table; main.cpp puts them together.
#pragma once

#include "host/cmdline.h"

namespace nxs::host {

TCommand ProjectCommand();    // project document: format, show, new
TCommand ConfigCommand();     // build configurations
TCommand OptionSetCommand();  // option sets
TCommand MacrosCommand();     // IDE macros
TCommand PlatformsCommand();  // registered platforms
TCommand OptionsCommand();    // environment options
TCommand HistoryCommand();    // backups, closed files, favourites
TCommand EdCommand();         // scripted editing
TCommand GrepCommand();       // find in files

// "nxs project new", kept with the configuration commands (configcmds.cpp).
TCommand ProjectNewCommand();

// The whole table, "nxs" at its root.
const TCommand& RootCommand();

}  // namespace nxs::host
