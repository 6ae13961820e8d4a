// nxs config: list, read and change the build configurations of a project; and "nxs project
// new", which makes a project with the standard configurations. Every command that changes
// the project writes it once, at the end, and writes nothing when it fails.
#include <cstdio>
#include <functional>

#include "host/cmdline.h"
#include "host/commands.h"
#include "host/resstrings.h"
#include "projectfiles/configmgr.h"
#include "projectfiles/configtarget.h"
#include "projectfiles/optionsets.h"
#include "projects/projectsession.h"
#include "shared/filenames.h"
#include "shared/format.h"

namespace nxs::host {

namespace {

// Two blanks per level down to MaxIndentLevel; a deeper line keeps that indent and names its
// depth, so that a chain thousands of configurations deep prints in proportion to its size.
constexpr int MaxIndentLevel = 20;

std::string Indent(int Level) {
  if (Level <= MaxIndentLevel) return std::string(static_cast<size_t>(Level) * 2, ' ');
  return std::string(MaxIndentLevel * 2, ' ') + Format(res::SConfigDepth, Level);
}

// The level of the configurations the command's options name.
TConfigAddress Address(const TCommandLine& Cmd) {
  TConfigAddress A;
  A.Config = Cmd.Get("--config");
  A.Platform = Cmd.Get("--platform");
  if (Cmd.Has("--file")) A.File = ExpandFileName(Cmd.Get("--file"));
  return A;
}

void PrintTree(TProjectDocument& Project, TBuildConfiguration& Root) {
  std::string Dir = ExtractFilePath(Project.GetFileName());
  auto PrintLocals = [&](TBuildConfiguration& C, int L) {
    for (auto* Local : C.GetLocalOverrides())
      std::printf("%s%s {%s}\n", Indent(L).c_str(), Local->Name().c_str(),
                  ExtractRelativePath(Dir, Local->TargetFilename()).c_str());
  };
  // Without recursion: a chain of configurations may be many thousands deep.
  std::vector<std::pair<TBuildConfiguration*, int>> Stack{{&Root, 0}};
  while (!Stack.empty()) {
    auto [Config, Level] = Stack.back();
    Stack.pop_back();
    std::printf("%s%s (%s)\n", Indent(Level).c_str(), Config->Name().c_str(), Config->Key().c_str());
    for (auto* P : Config->Platforms()) {
      std::printf("%s%s [%s] (%s)\n", Indent(Level + 1).c_str(), P->Name().c_str(), P->Platform().c_str(),
                  P->Key().c_str());
      PrintLocals(*P, Level + 2);
    }
    PrintLocals(*Config, Level + 1);
    for (auto It = Config->Children().rbegin(); It != Config->Children().rend(); ++It)
      Stack.emplace_back(It->get(), Level + 1);
  }
}

int RunList(const TCommandLine& Cmd) {
  TProjectSession Session;
  TProjectDocument& Project = Session.OpenDocument(Cmd[0]);
  TBuildConfigurations& Configs = Project.Configs();
  std::printf("Active: %s %s\n", Configs.GetActiveConfiguration().Name().c_str(), Configs.GetActivePlatform().c_str());
  PrintTree(Project, Configs.GetBaseConfiguration());
  return 0;
}

int RunGet(const TCommandLine& Cmd) {
  TProjectSession Session;
  TProjectDocument& Project = Session.OpenDocument(Cmd[0]);
  std::printf("%s\n", GetConfigValue(Project.Configs(), Address(Cmd), Cmd[1]).c_str());
  return 0;
}

int RunSet(const TCommandLine& Cmd) {
  TProjectSession Session;
  TProjectDocument& Project = Session.OpenDocumentToChange(Cmd[0]);
  SetConfigValue(Project.Configs(), Address(Cmd), Cmd[1], Cmd[2], Cmd.Has("--merge"));
  Project.Save();
  return 0;
}

int RunAdd(const TCommandLine& Cmd) {
  TProjectSession Session;
  TProjectDocument& Project = Session.OpenDocumentToChange(Cmd[0]);
  TBuildConfigurations& Configs = Project.Configs();
  TBuildConfiguration* Parent = Cmd.Has("--parent") ? &Configs.Configuration(Cmd.Get("--parent")) : nullptr;
  Configs.AddConfiguration(Cmd[1], Parent);
  Project.Save();
  return 0;
}

int RunRemove(const TCommandLine& Cmd) {
  TProjectSession Session;
  TProjectDocument& Project = Session.OpenDocumentToChange(Cmd[0]);
  TBuildConfigurations& Configs = Project.Configs();
  Configs.Remove(Configs.Configuration(Cmd[1]), false);
  Project.Save();
  return 0;
}

int RunActivate(const TCommandLine& Cmd) {
  TProjectSession Session;
  TProjectDocument& Project = Session.OpenDocumentToChange(Cmd[0]);
  ActivateConfiguration(Project.Configs(), Cmd[1], Cmd.Get("--platform"));
  Project.Save();
  return 0;
}

int RunReference(const TCommandLine& Cmd) {
  if (!Cmd.Has("--config")) Cmd.Fail(Format(res::SMissingOption, "--config"));
  TProjectSession Session;
  TProjectDocument& Project = Session.OpenDocumentToChange(Cmd[0]);
  TBuildConfiguration& Config = MakeConfigLevel(Project.Configs(), Address(Cmd));
  Config.AddReference(Project.Configs().OpenOptionSet(ExpandFileName(Cmd[1])));
  Project.Save();
  return 0;
}

int RunProjectNew(const TCommandLine& Cmd) {
  if (!Cmd.Has("--personality") || Cmd.Get("--personality").empty())
    Cmd.Fail(Format(res::SMissingOption, "--personality"));
  TProjectSession Session;
  Session.NewProject(Cmd[0], Cmd.Get("--personality"), Cmd.Get("--type", "Application"));
  return 0;
}

}  // namespace

TCommand ProjectNewCommand() {
  return Leaf("new", "a new project with Base, Debug and Release",
              "nxs project new FILE --personality NAME [--type TYPE]",
              "Makes a project with the configurations Base, Debug and Release and the platform\n"
              "Linux64 (enabled, active), and writes it to FILE, which must not exist. TYPE\n"
              "(Application, Library or StaticLibrary; default Application) is what the build\n"
              "makes: a program, a shared library or an archive. The project imports its\n"
              "personality's targets file from $(NXS); a Pascal project gets its main source\n"
              "(written beside it unless it exists).",
              {{"--personality", true}, {"--type", true}}, 1, 1, RunProjectNew);
}

TCommand ConfigCommand() {
  return Group(
      "config", "list, read and change build configurations",
      {Leaf("list", "the configuration tree and the active configuration", "nxs config list FILE",
            "Prints the active configuration and platform, then the configuration tree:\n"
            "each configuration with its key, its platform sub-configurations and its local\n"
            "overrides, two blanks deeper per level. Below level 20 the indent stays that of\n"
            "level 20 and each line starts with its depth: \"(depth 21) \".",
            {}, 1, 1, RunList),
       Leaf("get", "a resolved option value",
            "nxs config get FILE OPTION [--config NAME] [--platform NAME] [--file SOURCE]",
            "Prints the value of OPTION as the configuration (default: the active one) gives it\n"
            "for the platform (default: the active one) and the source file's local override,\n"
            "inherited values and option defaults included.",
            {{"--config", true}, {"--platform", true}, {"--file", true}}, 2, 2, RunGet),
       Leaf("set", "set an option value",
            "nxs config set FILE OPTION VALUE [--config NAME] [--platform NAME] [--file SOURCE] [--merge]",
            "Sets the configuration's own value of OPTION (on its platform sub-configuration or\n"
            "the source file's local override when named; they are made when missing) and\n"
            "saves. An empty VALUE removes the entry. --merge makes a list value extend the\n"
            "inherited list.",
            {{"--config", true}, {"--platform", true}, {"--file", true}, {"--merge", false}}, 3, 3, RunSet),
       Leaf("add", "add a configuration", "nxs config add FILE NAME [--parent NAME]",
            "Adds a configuration under the parent (default: Base) and saves.", {{"--parent", true}}, 2, 2, RunAdd),
       Leaf("remove", "remove a configuration", "nxs config remove FILE NAME",
            "Removes a configuration with its children, sub-configurations and local overrides,\n"
            "and saves.",
            {}, 2, 2, RunRemove),
       Leaf("activate", "make a configuration active", "nxs config activate FILE NAME [--platform NAME]",
            "Makes NAME the active configuration (and the platform, which the project must\n"
            "list, the active platform) and saves.",
            {{"--platform", true}}, 2, 2, RunActivate),
       Leaf("reference", "refer a configuration to an option set",
            "nxs config reference FILE OPTIONSET --config NAME [--platform NAME]",
            "Makes the configuration refer to the option set and saves.", {{"--config", true}, {"--platform", true}}, 2,
            2, RunReference)});
}

}  // namespace nxs::host
