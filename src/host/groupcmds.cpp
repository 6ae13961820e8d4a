// nxs group: make, change and show project groups. Each subcommand is one entry of the table
// in RunGroupCommand; every change saves the group in the format of its file.
#include <cstdio>

#include "host/cmdline.h"
#include "host/commands.h"
#include "host/resstrings.h"
#include "projects/newproject.h"
#include "projects/project.h"
#include "projects/projectgroup.h"
#include "projects/projectsession.h"
#include "projects/resstrings.h"
#include "shared/filenames.h"
#include "shared/format.h"
#include "shared/text.h"

namespace nxs::host {

namespace {

void PrintReports(const TProjectSession& Session) {
  for (const auto& R : Session.Reports) std::fprintf(stderr, "nxs: %s\n", R.c_str());
}

// Opens the group file FILE for a change: under its lock, which the session holds until the
// change is saved. The projects it could not open are reported once.
TProjectGroup& OpenGroupToChange(TProjectSession& Session, const std::string& File) {
  TProjectGroup& Group = Session.OpenGroupToChange(File);
  PrintReports(Session);
  return Group;
}

int RunGroupNew(const TCommandLine& Cmd) {
  TProjectSession Session;
  Session.NewGroup(Cmd[0]);
  return 0;
}

int RunGroupAdd(const TCommandLine& Cmd) {
  if (Cmd.Has("--new") != Cmd.Has("--personality")) Cmd.Fail(Format(res::SOptionsGoTogether, "--new", "--personality"));
  if (Cmd.Positional().size() < 2 && !Cmd.Has("--new")) Cmd.Fail(res::SMissingArguments);
  std::vector<std::string> Files(Cmd.Positional().begin() + 1, Cmd.Positional().end());
  if (Cmd.Has("--new")) {
    const std::string Personality = Cmd.Get("--personality");
    const std::string File =
        ExtractFilePath(ExpandFileName(Cmd[0])) + Cmd.Get("--new") + ProjectFileExtension(Personality);
    if (int Rc = RunCommand(ProjectNewCommand(), {File, "--personality", Personality}, "nxs project")) return Rc;
    Files.push_back(File);
  }
  TProjectSession Session;
  TProjectGroup& Group = OpenGroupToChange(Session, Cmd[0]);
  for (const auto& F : Files) Group.AddTarget(&Session.OpenProject(F));
  Session.SaveGroup(Group);
  return 0;
}

// Opens the group FILE, runs Change on it and its project PROJECT, and saves the group.
template <class TChange>
int ChangeGroupProject(const TCommandLine& Cmd, TChange Change) {
  TProjectSession Session;
  TProjectGroup& Group = OpenGroupToChange(Session, Cmd[0]);
  Change(Session, Group, Session.GroupProject(Group, Cmd[1]));
  Session.SaveGroup(Group);
  return 0;
}

int RunGroupRemove(const TCommandLine& Cmd) {
  // Also a project the group could not open: this is how it leaves the group.
  TProjectSession Session;
  TProjectGroup& Group = OpenGroupToChange(Session, Cmd[0]);
  Group.RemoveProjectNamed(Cmd[1]);
  Session.SaveGroup(Group);
  return 0;
}

int RunGroupActivate(const TCommandLine& Cmd) {
  return ChangeGroupProject(Cmd, [](TProjectSession&, TProjectGroup& G, TBaseProject& P) { G.ActivateProject(&P); });
}

int RunGroupOrder(const TCommandLine& Cmd) {
  if (Cmd.Has("--sooner") == Cmd.Has("--later")) Cmd.Fail(Format(res::SGiveOneOf, "--sooner", "--later"));
  const bool Sooner = Cmd.Has("--sooner");
  return ChangeGroupProject(Cmd, [&](TProjectSession&, TProjectGroup& G, TBaseProject& P) {
    if (Sooner ? !G.PromoteProject(&P) : !G.DemoteProject(&P))
      throw Exception(Format(Sooner ? res::SCannotPromote : res::SCannotDemote, P.GetModuleName()));
  });
}

// The projects named after --on (the value of --on and the words that follow PROJECT).
std::vector<TBaseProject*> NamedDependencies(TProjectSession& Session, TProjectGroup& Group, const TCommandLine& Cmd) {
  std::vector<TBaseProject*> List{&Session.GroupProject(Group, Cmd.Get("--on"))};
  for (size_t I = 2; I < Cmd.Positional().size(); ++I) List.push_back(&Session.GroupProject(Group, Cmd[I]));
  return List;
}

int RunGroupDepend(const TCommandLine& Cmd) {
  if (!Cmd.Has("--on")) Cmd.Fail(Format(res::SMissingOption, "--on"));
  return ChangeGroupProject(Cmd, [&](TProjectSession& S, TProjectGroup& G, TBaseProject& P) {
    G.AddProjectDependencies(&P, NamedDependencies(S, G, Cmd));
  });
}

int RunGroupNoDepend(const TCommandLine& Cmd) {
  if (!Cmd.Has("--on")) Cmd.Fail(Format(res::SMissingOption, "--on"));
  return ChangeGroupProject(Cmd, [&](TProjectSession& S, TProjectGroup& G, TBaseProject& P) {
    G.RemoveProjectDependency(&P, NamedDependencies(S, G, Cmd).front());
  });
}

int RunGroupUpgrade(const TCommandLine& Cmd) {
  TProjectSession Session;
  TProjectGroup& Group = Session.OpenGroupToUpgrade(Cmd[0]);
  PrintReports(Session);
  if (!Group.IsLegacy()) Cmd.Fail(Format(res::SNotLegacyGroup, Cmd[0]));
  Group.UpgradeProjectToMSBuild();
  return 0;
}

int RunGroupShow(const TCommandLine& Cmd) {
  TProjectSession Session;
  TProjectGroup& Group = Session.OpenGroup(Cmd[0]);
  const std::string Dir = ExtractFilePath(Group.GetFileName());
  for (TBaseProject* P : Group.Projects()) {
    std::string Line = (P == Group.ActiveProject() ? "* " : "  ") + ExtractRelativePath(Dir, P->GetFileName());
    std::vector<std::string> Names;
    for (TBaseProject* D : Group.GetProjectDependencies(P)) Names.push_back(D->GetModuleName());
    if (!Names.empty()) Line += " -> " + Join(Names, ", ");
    std::printf("%s\n", Line.c_str());
  }
  std::fflush(stdout);
  PrintReports(Session);
  return 0;
}

}  // namespace

TCommand GroupCommand() {
  return Group(
      "group", "make, change and show project groups",
      {Leaf("new", "an empty project group", "nxs group new FILE",
            "Writes an empty project group. FILE.nxsgroup writes the legacy format.", {}, 1, 1, RunGroupNew),
       Leaf("add", "add projects at the end of the build order",
            "nxs group add FILE PROJECT... [--new NAME --personality P]",
            "Adds existing project files to the end of the build order; --new makes a project\n"
            "NAME beside the group first and adds it too.",
            {{"--new", true}, {"--personality", true}}, 1, SIZE_MAX, RunGroupAdd),
       Leaf("remove", "take a project out of the group", "nxs group remove FILE PROJECT",
            "Takes a project out of the group.", {}, 2, 2, RunGroupRemove),
       Leaf("activate", "make a project the active one", "nxs group activate FILE PROJECT",
            "Makes a project the active one.", {}, 2, 2, RunGroupActivate),
       Leaf("order", "move a project in the build order", "nxs group order FILE PROJECT --sooner|--later",
            "Moves a project one place earlier or later in the build order.",
            {{"--sooner", false}, {"--later", false}}, 2, 2, RunGroupOrder),
       Leaf("depend", "add build dependencies", "nxs group depend FILE PROJECT --on PROJECT...",
            "Adds build dependencies; one that would make a cycle is refused.", {{"--on", true}}, 2, SIZE_MAX,
            RunGroupDepend),
       Leaf("nodepend", "remove a build dependency", "nxs group nodepend FILE PROJECT --on PROJECT",
            "Removes a build dependency.", {{"--on", true}}, 2, 2, RunGroupNoDepend),
       Leaf("upgrade", "write a legacy group as a .groupproj", "nxs group upgrade FILE.nxsgroup",
            "Writes FILE.groupproj beside a legacy group, with the same projects, order,\n"
            "dependencies and active project.",
            {}, 1, 1, RunGroupUpgrade),
       Leaf("show", "the projects in build order", "nxs group show FILE",
            "One line per project in build order: \"* \" for the active one, the path relative\n"
            "to the group and \" -> \" with its dependencies. Projects that could not be\n"
            "opened are reported on standard error.",
            {}, 1, 1, RunGroupShow)});
}

}  // namespace nxs::host
