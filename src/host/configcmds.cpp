// nxs config: list, read and change the build configurations of a project; and "nxs project
// new", which makes a project with the standard configurations. Every command that changes
// the project writes it once, at the end, and writes nothing when it fails.
#include <cstdio>
#include <functional>

#include "host/cmdline.h"
#include "host/commands.h"
#include "host/projectctx.h"
#include "projectfiles/configmgr.h"
#include "projectfiles/linuxplatform.h"
#include "projectfiles/names.h"
#include "projectfiles/optionmgr.h"
#include "projectfiles/optionsets.h"
#include "projectfiles/platforms.h"
#include "projectfiles/resstrings.h"
#include "shared/fileio.h"
#include "shared/filenames.h"
#include "shared/format.h"

namespace nxs::host {

namespace {

std::string Indent(int Level) { return std::string(static_cast<size_t>(Level) * 2, ' '); }

// The configuration a command names (default: the active one), on the named platform's
// sub-configuration and the named file's local override when asked; made when missing if
// Create.
TBuildConfiguration& Target(TCommandProject& Project, const TCommandLine& Cmd, bool Create) {
  TBuildConfigurations& Configs = Project.Configs();
  TBuildConfiguration* Config =
      Cmd.Has("--config") ? &Configs.Configuration(Cmd.Get("--config")) : &Configs.GetActiveConfiguration();
  if (Cmd.Has("--platform") && Create) {
    std::string Platform = PlatformManager().Platform(Cmd.Get("--platform"))->GetName();
    Config = Config->GetPlatformConfiguration(Platform, true);
  }
  if (Cmd.Has("--file")) {
    std::string File = ExpandFileName(Cmd.Get("--file"));
    TBuildConfiguration* Level = Config;
    if (!Create) {
      if (Cmd.Has("--platform"))
        if (auto* Sub = Config->GetPlatformConfiguration(Cmd.Get("--platform"))) Level = Sub;
      if (TLocalOverride* Local = Level->GetLocalOverride(File)) return *Local;
      if (Level != Config)
        if (TLocalOverride* Local = Config->GetLocalOverride(File)) return *Local;
      return *Level;
    }
    return *Config->SetLocalOverride(File);
  }
  return *Config;
}

void PrintTree(TCommandProject& Project, TBuildConfiguration& Root) {
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

int RunList(const TArgs& Args) {
  TCommandLine Cmd(Args, {}, 1, 1, "nxs config list FILE",
                   "Prints the active configuration and platform, then the configuration tree:\n"
                   "each configuration with its key, its platform sub-configurations and its local\n"
                   "overrides.");
  auto Project = TCommandProject::Open(Cmd[0]);
  TBuildConfigurations& Configs = Project->Configs();
  std::printf("Active: %s %s\n", Configs.GetActiveConfiguration().Name().c_str(), Configs.GetActivePlatform().c_str());
  PrintTree(*Project, Configs.GetBaseConfiguration());
  return 0;
}

int RunGet(const TArgs& Args) {
  TCommandLine Cmd(Args, {{"--config", true}, {"--platform", true}, {"--file", true}}, 2, 2,
                   "nxs config get FILE OPTION [--config NAME] [--platform NAME] [--file SOURCE]",
                   "Prints the value of OPTION as the configuration (default: the active one) gives it\n"
                   "for the platform (default: the active one) and the source file's local override,\n"
                   "inherited values and option defaults included.");
  auto Project = TCommandProject::Open(Cmd[0]);
  TBuildConfigurations& Configs = Project->Configs();
  std::string Platform = Cmd.Has("--platform") ? PlatformManager().Platform(Cmd.Get("--platform"))->GetName()
                                               : Configs.GetActivePlatform();
  TBuildConfiguration* Config = &Target(*Project, Cmd, false);
  // The lookup of a configuration for a platform starts at its sub-configuration.
  if (Config->Platform().empty() && !Config->IsLocalOverride())
    if (auto* Sub = Config->GetPlatformConfiguration(Platform)) Config = Sub;
  std::printf("%s\n", Config->GetPlatformValue(Cmd[1], Platform).c_str());
  return 0;
}

int RunSet(const TArgs& Args) {
  TCommandLine Cmd(Args, {{"--config", true}, {"--platform", true}, {"--file", true}, {"--merge", false}}, 3, 3,
                   "nxs config set FILE OPTION VALUE [--config NAME] [--platform NAME] [--file SOURCE] [--merge]",
                   "Sets the configuration's own value of OPTION (on its platform sub-configuration or\n"
                   "the source file's local override when named; they are made when missing) and\n"
                   "saves. An empty VALUE removes the entry. --merge makes a list value extend the\n"
                   "inherited list.");
  auto Project = TCommandProject::Open(Cmd[0]);
  const std::string& Name = Cmd[1];
  const std::string& Value = Cmd[2];
  ValidPropertyName(Name);
  if (const TProjectOption* Option = OptionManager().GetOption(Name)) {
    std::string Problem = Option->CheckValue(Value);
    if (!Problem.empty()) throw EInvalidOptionValue(Format(res::SInvalidOptionValue, Name, Problem));
  }
  TBuildConfiguration& Config = Target(*Project, Cmd, true);
  Config.SetListValue(Name, Value, Cmd.Has("--merge"));
  Project->Save();
  return 0;
}

int RunAdd(const TArgs& Args) {
  TCommandLine Cmd(Args, {{"--parent", true}}, 2, 2, "nxs config add FILE NAME [--parent NAME]",
                   "Adds a configuration under the parent (default: Base) and saves.");
  auto Project = TCommandProject::Open(Cmd[0]);
  TBuildConfigurations& Configs = Project->Configs();
  TBuildConfiguration* Parent = Cmd.Has("--parent") ? &Configs.Configuration(Cmd.Get("--parent")) : nullptr;
  Configs.AddConfiguration(Cmd[1], Parent);
  Project->Save();
  return 0;
}

int RunRemove(const TArgs& Args) {
  TCommandLine Cmd(Args, {}, 2, 2, "nxs config remove FILE NAME",
                   "Removes a configuration with its children, sub-configurations and local overrides,\n"
                   "and saves.");
  auto Project = TCommandProject::Open(Cmd[0]);
  TBuildConfigurations& Configs = Project->Configs();
  Configs.Remove(Configs.Configuration(Cmd[1]), false);
  Project->Save();
  return 0;
}

int RunActivate(const TArgs& Args) {
  TCommandLine Cmd(Args, {{"--platform", true}}, 2, 2, "nxs config activate FILE NAME [--platform NAME]",
                   "Makes NAME the active configuration (and the platform, which the project must\n"
                   "list, the active platform) and saves.");
  auto Project = TCommandProject::Open(Cmd[0]);
  TBuildConfigurations& Configs = Project->Configs();
  Configs.SetActiveConfiguration(Cmd[1]);
  if (Cmd.Has("--platform")) {
    std::string Platform = PlatformManager().Platform(Cmd.Get("--platform"))->GetName();
    if (!Configs.GetPlatformSupported(Platform))
      throw EPlatformNotSupported(Format(res::SPlatformNotSupported, Platform));
    Configs.SetActivePlatform(Platform);
  }
  Project->Save();
  return 0;
}

int RunReference(const TArgs& Args) {
  TCommandLine Cmd(Args, {{"--config", true}, {"--platform", true}}, 2, 2,
                   "nxs config reference FILE OPTIONSET --config NAME [--platform NAME]",
                   "Makes the configuration refer to the option set and saves.");
  if (!Cmd.Has("--config")) Cmd.Fail("missing --config");
  auto Project = TCommandProject::Open(Cmd[0]);
  TBuildConfiguration& Config = Target(*Project, Cmd, true);
  Config.AddReference(Project->Configs().OpenOptionSet(ExpandFileName(Cmd[1])));
  Project->Save();
  return 0;
}

struct TSubcommand {
  const char* Name;
  int (*Run)(const TArgs& Args);
};

constexpr TSubcommand Subcommands[] = {
    {"list", RunList},         {"get", RunGet},           {"set", RunSet},
    {"add", RunAdd},           {"remove", RunRemove},     {"activate", RunActivate},
    {"reference", RunReference},
};

}  // namespace

int RunProjectNew(const TArgs& Args) {
  TCommandLine Cmd(Args, {{"--personality", true}, {"--type", true}}, 1, 1,
                   "nxs project new FILE --personality NAME [--type TYPE]",
                   "Makes a project with the configurations Base, Debug and Release and the platform\n"
                   "Linux64 (enabled, active), and writes it to FILE, which must not exist. TYPE\n"
                   "defaults to Application.");
  if (!Cmd.Has("--personality") || Cmd.Get("--personality").empty()) Cmd.Fail("missing --personality");
  std::string File = ExpandFileName(Cmd[0]);
  if (FileSystem().Stat(File).Exists) throw Exception(Format(res::SFileExists, Cmd[0]));
  auto Project = TCommandProject::Create(File, Cmd.Get("--personality"), Cmd.Get("--type", "Application"));
  TBuildConfigurations& Configs = Project->Configs();
  Configs.GetBaseConfiguration();
  Configs.AddConfiguration("Debug");
  Configs.AddConfiguration("Release");
  Configs.SetPlatformSupported(SPlatformLinux64, true);
  Configs.SetPlatformEnabled(SPlatformLinux64, true);
  Configs.SetActivePlatform(SPlatformLinux64);
  Configs.SetActiveConfiguration("Debug");
  Project->Save();
  return 0;
}

int RunConfigCommand(const TArgs& Args) {
  std::string Usage = "nxs config ";
  for (const auto& S : Subcommands) Usage += std::string(&S == Subcommands ? "" : "|") + S.Name;
  Usage += " ...";
  if (!Args.empty() && (Args[0] == "--help" || Args[0] == "-h")) {
    std::string Help = "usage: nxs config COMMAND ...\ncommands:";
    for (const auto& S : Subcommands) Help += std::string("\n  ") + S.Name;
    throw EHelp(Help + "\nEvery command takes --help.");
  }
  std::string Word = Args.empty() ? std::string() : Args[0];
  for (const auto& S : Subcommands)
    if (Word == S.Name) return S.Run(TArgs(Args.begin() + 1, Args.end()));
  UnknownSubcommand("config", Word, Usage);
}

}  // namespace nxs::host
