// nxs history: backups as saving keeps them, the closed-file lists and the favourite files.
#include <cstdio>
#include <string>

#include "options/envoptions.h"
#include "host/cmdline.h"
#include "host/commands.h"
#include "host/resstrings.h"
#include "modules/closedlisting.h"
#include "modules/favorites.h"
#include "modules/filehist.h"
#include "modules/inifile.h"
#include "modules/resstrings.h"
#include "shared/fileio.h"
#include "shared/filenames.h"
#include "shared/format.h"
#include "shared/resstrings.h"
#include "shared/settings.h"
#include "shared/text.h"

namespace nxs::host {

namespace {

const char* const BackupNote =
    "Backups follow the options \"Create Backup File\" and \"File Backup Level\" (nxs options).";

int Backup(const TCommandLine& Cmd) {
  TEnvironmentOptions Options(SettingsStore());
  Options.SourceOptionGroups().WriteBuiltIns = false;
  Options.LoadOptions();
  TFileHistoryOptionsLink Link(Options);
  std::string File = ExpandFileName(Cmd[0]);
  if (!FileSystem().FileExists(File)) throw EInOutError(Format(res::SCannotReadFile, File, res::SHistoryNoSuchFile));
  std::printf("%s\n", BackupExistingFile(File).c_str());
  return 0;
}

int Closed(const TCommandLine& Cmd) {
  TSettingsIniFile Ini(SettingsStore());
  for (const auto& Entry : ReadClosedFileListing(Ini, !Cmd.Has("--projects")))
    std::printf("%s\n", Entry.FileName.c_str());
  return 0;
}

int Favorites(const TCommandLine& Cmd) {
  TSettingsIniFile Ini(SettingsStore());
  TFavorites Fav(Ini);
  if (Cmd.Positional().empty()) {
    for (const auto& F : Fav.Items()) std::printf("%s\n", F.c_str());
    return 0;
  }
  if (Cmd.Positional().size() != 2 || (Cmd[0] != "add" && Cmd[0] != "remove"))
    Cmd.Fail(res::SHistoryFavoritesWords);
  std::string File = ExpandFileName(Cmd[1]);
  if (Cmd[0] == "add") {
    Fav.AddToFavorites(File);
    return 0;
  }
  if (!Fav.RemoveFromFavorites(Cmd[1]) && !Fav.RemoveFromFavorites(File))
    throw Exception(Format(res::SNotAFavorite, File));
  return 0;
}

}  // namespace

TCommand HistoryCommand() {
  return Group("history", "file backups, closed files and favourites",
               {Leaf("backup", "keep a backup of FILE as saving would", "nxs history backup FILE",
                     std::string("Keeps a backup of FILE as saving would and prints its name.\n") + BackupNote, {}, 1,
                     1, Backup),
                Leaf("closed", "the recently closed files or projects", "nxs history closed [--projects]",
                     "Prints the recently closed files (or projects), most recent first.", {{"--projects", false}}, 0,
                     0, Closed),
                Leaf("favorites", "the favourite files", "nxs history favorites [add FILE | remove FILE]",
                     "Lists the favourite files, or adds or removes one.", {}, 0, 2, Favorites)});
}

}  // namespace nxs::host
