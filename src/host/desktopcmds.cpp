// nxs desktop and nxs layout: what a desktop file records, and the named layouts of the
// user's data folder.
#include <cstdio>
#include <string>

#include "environment/desktop.h"
#include "environment/layouts.h"
#include "host/cmdline.h"
#include "host/commands.h"
#include "shared/filenames.h"
#include "shared/text.h"

namespace nxs::host {

namespace {

std::string Key(const std::map<std::string, std::string>& View, const char* Name) {
  auto It = View.find(Name);
  return It == View.end() ? std::string() : It->second;
}

int DesktopShow(const TCommandLine& Cmd) {
  const TDesktopListing L = ReadDesktopListing(ExpandFileName(Cmd[0]));
  for (const auto& M : L.Modules) {
    std::printf("module %s\n  handler %s\n", OneLine(M.FileName).c_str(), M.Handler.c_str());
    if (!M.FileSystem.empty()) std::printf("  file system %s\n", M.FileSystem.c_str());
    for (const auto& V : M.Views) {
      std::printf("  view cursor %s:%s top %s left %s\n", Key(V, "CursorY").c_str(), Key(V, "CursorX").c_str(),
                  Key(V, "TopLine").c_str(), Key(V, "LeftCol").c_str());
      if (!Key(V, "Elisions").empty()) std::printf("    folds %s\n", Key(V, "Elisions").c_str());
      if (!Key(V, "Bookmarks").empty()) std::printf("    bookmarks %s\n", Key(V, "Bookmarks").c_str());
    }
  }
  if (L.Breakpoints.empty()) return 0;
  std::printf("breakpoints\n");
  for (const auto& [Name, Value] : L.Breakpoints) std::printf("  %s=%s\n", Name.c_str(), Value.c_str());
  return 0;
}

int LayoutList(const TCommandLine&) {
  TDesktopStates& States = DesktopStates();
  TDesktopState* Selected = States.SessionSelected();
  for (const auto& S : States.GetDesktops())
    std::printf("%s %s\n", S.get() == Selected ? "*" : " ", OneLine(S->GetDisplayName()).c_str());
  return 0;
}

int LayoutSave(const TCommandLine& Cmd) {
  TDesktopStates& States = DesktopStates();
  States.GetDesktops();
  TDesktopState& S = States.Add(Cmd[0]);
  S.Save();
  States.SetSelected(&S);
  return 0;
}

int LayoutSelect(const TCommandLine& Cmd) {
  TDesktopStates& States = DesktopStates();
  States.LoadDesktop(&States.FindLayout(Cmd[0]));
  return 0;
}

int LayoutDelete(const TCommandLine& Cmd) {
  TDesktopStates& States = DesktopStates();
  TDesktopState& S = States.FindLayout(Cmd[0]);
  S.Delete();
  States.Remove(&S);
  return 0;
}

}  // namespace

TCommand DesktopCommand() {
  return Group("desktop", "desktop files",
               {Leaf("show", "the modules and views a desktop records", "nxs desktop show FILE",
                     "Prints the modules a desktop file records, with their handlers and view states (cursor,\n"
                     "scroll, folded blocks, bookmarks), and its breakpoints. FILE is a .dsk file, or a project\n"
                     "or group whose desktop lies beside it.",
                     {}, 1, 1, DesktopShow)});
}

TCommand LayoutCommand() {
  return Group("layout", "named layouts of the tool windows",
               {Leaf("list", "the layouts, the selected one marked", "nxs layout list",
                     "Lists the layouts of the user's data folder; \"*\" marks the one the session selected.", {}, 0, 0,
                     LayoutList),
                Leaf("save", "save the windows as layout NAME and select it", "nxs layout save NAME",
                     "Saves the present arrangement of the windows as layout NAME and selects it.", {}, 1, 1, LayoutSave),
                Leaf("select", "select layout NAME", "nxs layout select NAME", "Loads layout NAME and selects it.", {},
                     1, 1, LayoutSelect),
                Leaf("delete", "delete layout NAME", "nxs layout delete NAME", "Deletes the file of layout NAME.", {}, 1,
                     1, LayoutDelete)});
}

}  // namespace nxs::host
