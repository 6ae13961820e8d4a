// nxs history: backups as saving keeps them, the closed-file lists and the favourite files.
#include <cstdio>
#include <string>

#include "environment/options/envoptions.h"
#include "host/cmdline.h"
#include "host/commands.h"
#include "modules/closedlisting.h"
#include "modules/favorites.h"
#include "modules/filehist.h"
#include "modules/resstrings.h"
#include "shared/fileio.h"
#include "shared/filenames.h"
#include "shared/format.h"
#include "modules/inifile.h"
#include "shared/resstrings.h"
#include "shared/settings.h"
#include "shared/text.h"

namespace nxs::host {

namespace {

const char* const Usage = "nxs history backup FILE | closed [--projects] | favorites [add FILE | remove FILE]";
const char* const Help =
    "  backup FILE                   keep a backup of FILE as saving would and print its name\n"
    "  closed [--projects]           the recently closed files (or projects), most recent first\n"
    "  favorites [add|remove FILE]   list the favourite files, or add or remove one\n"
    "Backups follow the options \"Create Backup File\" and \"File Backup Level\" (nxs options).";

int Backup(const TArgs& Args) {
  TCommandLine Cmd(Args, {}, 1, 1, "nxs history backup FILE", Help);
  TEnvironmentOptions Options(SettingsStore());
  Options.SourceOptionGroups().WriteBuiltIns = false;
  Options.LoadOptions();
  TFileHistoryOptionsLink Link(Options);
  std::string File = ExpandFileName(Cmd[0]);
  if (!FileSystem().FileExists(File)) throw EInOutError(Format(res::SCannotReadFile, File, "No such file"));
  std::printf("%s\n", BackupExistingFile(File).c_str());
  return 0;
}

int Closed(const TArgs& Args) {
  TCommandLine Cmd(Args, {{"--projects", false}}, 0, 0, "nxs history closed [--projects]", Help);
  TSettingsIniFile Ini(SettingsStore());
  for (const auto& Entry : ReadClosedFileListing(Ini, !Cmd.Has("--projects"))) std::printf("%s\n", Entry.FileName.c_str());
  return 0;
}

int Favorites(const TArgs& Args) {
  TCommandLine Cmd(Args, {}, 0, 2, "nxs history favorites [add FILE | remove FILE]", Help);
  TSettingsIniFile Ini(SettingsStore());
  TFavorites Fav(Ini);
  if (Cmd.Positional().empty()) {
    for (const auto& F : Fav.Items()) std::printf("%s\n", F.c_str());
    return 0;
  }
  if (Cmd.Positional().size() != 2 || (Cmd[0] != "add" && Cmd[0] != "remove")) Cmd.Fail("expected add FILE or remove FILE");
  std::string File = ExpandFileName(Cmd[1]);
  if (Cmd[0] == "add") {
    Fav.AddToFavorites(File);
    return 0;
  }
  if (!Fav.RemoveFromFavorites(Cmd[1]) && !Fav.RemoveFromFavorites(File)) throw Exception(Format(res::SNotAFavorite, File));
  return 0;
}

}  // namespace

int RunHistoryCommand(const TArgs& Args) {
  std::string Word = Args.empty() ? "" : Args[0];
  TArgs Rest(Args.empty() ? Args.end() : Args.begin() + 1, Args.end());
  if (Word == "--help" || Word == "-h") throw EHelp(std::string("usage: ") + Usage + "\n" + Help);
  if (Word == "backup") return Backup(Rest);
  if (Word == "closed") return Closed(Rest);
  if (Word == "favorites") return Favorites(Rest);
  UnknownSubcommand("history", Word, Usage);
}

}  // namespace nxs::host
