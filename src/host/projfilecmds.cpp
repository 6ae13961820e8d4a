// nxs project add, remove, rename and tree: the files of a project, read and changed through
// the module layer.
#include <cstdio>

#include "host/cmdline.h"
#include "host/commands.h"
#include "host/resstrings.h"
#include "projects/containers.h"
#include "projects/project.h"
#include "projects/projectsession.h"
#include "shared/format.h"

namespace nxs::host {

static int RunProjectAdd(const TCommandLine& Cmd) {
  TProjectSession Session;
  Session.Lock(Cmd[0]);
  TBaseProject& P = Session.OpenProject(Cmd[0]);
  for (size_t I = 1; I < Cmd.Positional().size(); ++I) P.AddFile(Cmd[I], Cmd.Get("--folder"));
  P.Save(false, true);
  return 0;
}

static int RunProjectRemove(const TCommandLine& Cmd) {
  TProjectSession Session;
  Session.Lock(Cmd[0]);
  TBaseProject& P = Session.OpenProject(Cmd[0]);
  P.RemoveFile(Cmd[1]);
  P.Save(false, true);
  return 0;
}

static int RunProjectRename(const TCommandLine& Cmd) {
  TProjectSession Session;
  Session.Lock(Cmd[0]);
  TBaseProject& P = Session.OpenProject(Cmd[0]);
  P.RenameModuleAsTyped(Cmd[1], Cmd[2]);
  P.Save(false, true);
  return 0;
}

static int RunProjectTree(const TCommandLine& Cmd) {
  TProjectSession Session;
  TBaseProject& P = Session.OpenProject(Cmd[0]);
  TStdProjectContainer& Root = P.ProjectContainer();
  if (Cmd.Has("--sort")) {
    static const std::pair<const char*, int> Kinds[] = {{"custom", stCustom}, {"name", stName}, {"date", stModified},
                                                        {"type", stType},     {"path", stPath}};
    const std::string Kind = Cmd.Get("--sort");
    TProjectSortOrder& Order = ProjectSortOrderManager().Get(&P);
    bool Known = Kind == "none";
    for (const auto& [Name, Type] : Kinds)
      if (Kind == Name) {
        Order.SetSortType(Type);
        Order.SetSortingActive(true);
        Known = true;
      }
    if (!Known) Cmd.Fail(Format(res::SUnknownSortOrder, Kind));
    if (Kind == "none") Order.SetSortingActive(false);
  }
  std::fputs(FormatContainerTree(Root).c_str(), stdout);
  return 0;
}

std::vector<TCommand> ProjectFileCommands() {
  return {
      Leaf("add", "add files to a project", "nxs project add FILE SOURCE... [--folder NAME]",
           "Adds files to the project; --folder puts them in a virtual folder (made when\n"
           "missing).",
           {{"--folder", true}}, 2, SIZE_MAX, RunProjectAdd),
      Leaf("remove", "take a file out of a project", "nxs project remove FILE SOURCE",
           "Takes a file out of the project.", {}, 2, 2, RunProjectRemove),
      Leaf("rename", "rename a file of a project with its companions", "nxs project rename FILE SOURCE NEWNAME",
           "Renames a file of the project as a module: the file, its companion files and the\n"
           "project's reference move together, or nothing moves. A NEWNAME without a\n"
           "directory stays in the file's directory.",
           {}, 3, 3, RunProjectRename),
      Leaf("tree", "the project tree as the project manager shows it",
           "nxs project tree FILE [--sort name|date|type|path|custom|none]",
           "Prints the project tree as the project manager shows it, two blanks per level,\n"
           "in the project's own sort order or the one given. Writes nothing.",
           {{"--sort", true}}, 1, 1, RunProjectTree),
  };
}

}  // namespace nxs::host
