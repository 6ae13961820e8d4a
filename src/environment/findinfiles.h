// Find in files: the commands that start, run and stop a search, over the engine
// (findengine.h), the search thread and its message group (threadsearch.h) and the scopes
// that name the files (searchdirs.h, searchprojects.h, opentexts.h).
#pragma once

#include <functional>

#include "environment/findengine.h"
#include "environment/opentexts.h"
#include "environment/searchdirs.h"
#include "environment/searchprogress.h"
#include "environment/searchprojects.h"
#include "environment/searchtext.h"
#include "environment/threadsearch.h"

namespace nxs {

// Starts a search (stopping one that runs); raises Exception for a missing path before any
// thread runs. asNone starts nothing.
void DoFindInFiles(const TFindRequest& Request);
// Runs a search to its end on the calling thread without the message view: each file's runs
// of hits, and the problem of each file or folder that could not be read, are handed to Sink
// in file order as they come. The scope is resolved and the open files' texts are taken as
// DoFindInFiles does; raises Exception for a missing path. What a command-line search
// prints comes this way: the message view's lines cost more than the search itself.
void RunFindInFiles(const TFindRequest& Request, const std::function<void(TFileHits&)>& Sink);
// The search dialog: true on OK, after it stored its values in the environment options (the
// search text first in the search-text history, the flags, masks, directory and advanced
// flags in the search options, the scope under FindInFilesScopeValue).
void SetFindInFilesDialog(std::function<bool()> Dialog);
inline constexpr const char* FindInFilesScopeSection = "Search\\FindInFiles";
inline constexpr const char* FindInFilesScopeValue = "Scope";
// Shows the dialog and, on OK, starts the search it describes.
void PerformFindInFiles();
// Subdirectories, separate results and grouping by file, from the environment options.
TAdvancedSearchFlags GetAdvancedSearchFlags();
// Stops and frees the running search; true.
bool TerminateFindInFiles();
// Stops the search and forgets the search groups (before the message lines go).
void ResetFindInFiles();
// The running (or last, until the next starts) search; nullptr when none.
TThreadSearch* RunningSearch();

}  // namespace nxs
