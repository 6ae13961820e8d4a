// nxs packages: the IDE and design packages. "info" reads a package's information section
// without loading it; "source" writes the source that puts the information into
// a package's library when it is built.
#include <cstdio>
#include <string>

#include "host/cmdline.h"
#include "host/commands.h"
#include "host/resstrings.h"
#include "packages/package.h"
#include "packages/pkgsession.h"
#include "shared/fileio.h"
#include "shared/format.h"
#include "shared/settings.h"
#include "shared/text.h"

namespace nxs::host {

namespace {

std::string Hex(uint32_t V) {
  char Buf[16];
  std::snprintf(Buf, sizeof Buf, "0x%08x", V);
  return Buf;
}

// One line of output: a key, a blank, the value; line breaks in the value are escaped.
void PrintField(const char* Key, const std::string& Value) {
  std::string Line;
  for (char C : Value) Line += C == '\n' ? std::string("\\n") : std::string(1, C);
  std::printf("%s %s\n", Key, Line.c_str());
}

}  // namespace

static int RunInfo(const TCommandLine& Cmd) {
  for (const std::string& File : Cmd.Positional()) {
    const TPackageInfo Info(File);
    PrintField("package", File);
    PrintField("description", Info.GetDescription());
    PrintField("flags", Hex(Info.Flags()));
    PrintField("producer", std::to_string(Info.GetProducer()));
    PrintField("consumer", std::to_string(Info.GetConsumer()));
    PrintField("targets", Hex(Info.TargetedPlatforms()));
    PrintField("symbols", Info.SymbolFileName());
    for (const std::string& R : Info.Requires()) PrintField("requires", R);
    for (const TContainedUnit& U : Info.Contains()) PrintField("contains", U.Name + " " + Hex(U.Flags));
  }
  return 0;
}

static int RunList(const TCommandLine&) {
  for (const TPackageListing& P : ListPackages(SettingsStore())) {
    std::string Personalities;
    for (const std::string& Name : P.Personalities) Personalities += (Personalities.empty() ? "" : ",") + Name;
    std::printf("%s %s %s \"%s\" %s\n", P.Kind.c_str(), P.State.c_str(), P.FileName.c_str(), P.Description.c_str(),
                Personalities.empty() ? "-" : Personalities.c_str());
  }
  return 0;
}

static int RunInstall(const TCommandLine& Cmd) {
  InstallDesignPackage(SettingsStore(), Cmd[0]);
  return 0;
}

static int RunUninstall(const TCommandLine& Cmd) {
  UninstallDesignPackage(SettingsStore(), Cmd[0]);
  return 0;
}

static int RunEnable(const TCommandLine& Cmd) {
  EnablePackage(SettingsStore(), Cmd[0]);
  return 0;
}

static int RunDisable(const TCommandLine& Cmd) {
  DisablePackage(SettingsStore(), Cmd[0]);
  return 0;
}

static int RunSource(const TCommandLine& Cmd) {
  TPackageInfoRecord Info;
  Info.Description = Cmd.Get("--description");
  Info.SymbolFileName = Cmd.Get("--symbols");
  Info.Flags = Cmd.GetInt<uint32_t>("--flags", 0, 0);
  Info.Targets = Cmd.GetInt<uint32_t>("--targets", 0, 0);
  Info.Requires = Cmd.GetAll("--requires");
  for (const std::string& Unit : Cmd.GetAll("--contains")) {
    // UNIT or UNIT:FLAGS
    const size_t Colon = Unit.rfind(':');
    TContainedUnit U{Unit.substr(0, Colon), 0};
    if (Colon != std::string::npos) U.Flags = IntArgument<uint8_t>(Unit.substr(Colon + 1), "--contains UNIT:FLAGS", 0, 0xff);
    Info.Contains.push_back(U);
  }
  FileSystem().WriteFile(Cmd[0], PackageInfoSource(Info));
  return 0;
}

TCommand PackagesCommand() {
  return Group("packages", "IDE and design packages",
               {Leaf("list", "the IDE and design packages", "nxs packages list",
                     "Lists the IDE packages, then the installed design packages, one per line:\n"
                     "KIND (ide, design) STATE (loaded, disabled, unloaded) FILE \"DESCRIPTION\"\n"
                     "PERSONALITIES (comma-separated; - for every personality).",
                     {}, 0, 0, RunList),
                Leaf("install", "install a design package", "nxs packages install FILE",
                     "Loads the package, runs its registration and records it, so that every later\n"
                     "start loads it.",
                     {}, 1, 1, RunInstall),
                Leaf("uninstall", "uninstall a design package", "nxs packages uninstall NAME",
                     "Unloads the design package named by its file or file name and forgets it.", {}, 1, 1,
                     RunUninstall),
                Leaf("enable", "load a disabled package again from the next start", "nxs packages enable NAME",
                     "Takes the IDE or design package off its disabled list.", {}, 1, 1, RunEnable),
                Leaf("disable", "leave a package out from the next start", "nxs packages disable NAME",
                     "Puts the IDE or design package on its disabled list.", {}, 1, 1, RunDisable),
                Leaf("info", "what a package's information section says", "nxs packages info FILE...",
                     "Prints what each package's information says, one field per line (package,\n"
                     "description, flags, producer, consumer, targets, symbols, then one line per\n"
                     "required package and per contained unit with its flags). The package is read\n"
                     "as a file: none of its code runs.",
                     {}, 1, SIZE_MAX, RunInfo),
                Leaf("source", "write the source of a package's information section",
                     "nxs packages source OUT.cpp [--description TEXT] [--requires NAME]... "
                     "[--contains UNIT[:FLAGS]]... [--flags N] [--symbols FILE] [--targets MASK]",
                     "Writes a C++ source that, compiled and linked into a package's library,\n"
                     "gives it the information section that \"nxs packages info\" and the loader read.",
                     {{"--description", true},
                      {"--requires", true},
                      {"--contains", true},
                      {"--flags", true},
                      {"--symbols", true},
                      {"--targets", true}},
                     1, 1, RunSource)});
}

}  // namespace nxs::host
