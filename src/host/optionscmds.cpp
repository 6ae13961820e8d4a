// nxs options: show and change the environment options, and the values derived from them.
#include <cstdio>
#include <string>

#include "options/envoptions.h"
#include "options/resstrings.h"
#include "host/cmdline.h"
#include "host/commands.h"
#include "shared/format.h"
#include "shared/exceptions.h"
#include "shared/settings.h"
#include "shared/text.h"

namespace nxs::host {

namespace {

const char* const KeyPathNote =
    "KEYPATH is relative to the environment's key, e.g. \"Editor\\Options\" or \"Editor\\Highlight\\Comment\".";

// The options of the settings store, read without writing anything: a command that fails
// or only reads leaves the store as it was.
std::unique_ptr<TEnvironmentOptions> LoadedOptions() {
  // Defaults shown for settings that could not be read would pass for the user's own.
  if (std::string Error = SettingsStore().ReadError(); !Error.empty()) throw Exception(Error);
  auto Options = std::make_unique<TEnvironmentOptions>(SettingsStore());
  Options->SourceOptionGroups().WriteBuiltIns = false;
  Options->LoadOptions();
  return Options;
}

void PrintSlot(const TOptionSet& Set, int SubKey, bool& First) {
  std::printf("%s[%s]\n", First ? "" : "\n", Set.SlotKeyPath(SubKey).c_str());
  First = false;
  for (const auto& F : Set.Fields())
    std::printf("%s=%s\n", F.Name.c_str(), OneLine(TOptionSet::FormatValue(F, Set.ValueAt(SubKey, F.Name))).c_str());
}

int Show(const TCommandLine& Cmd) {
  auto Options = LoadedOptions();
  bool First = true;
  if (Cmd.Positional().empty()) {
    for (TOptionSet* S : Options->Sets())
      for (int I = 0; I < S->SubKeyCount(); ++I) PrintSlot(*S, I, First);
    return 0;
  }
  int SubKey;
  TOptionSet* Set = Options->FindSet(Cmd[0], SubKey);
  if (!Set) throw Exception(Format(res::SUnknownOptionKey, Cmd[0]));
  if (SubKey >= 0) {
    PrintSlot(*Set, SubKey, First);
    return 0;
  }
  for (int I = 0; I < Set->SubKeyCount(); ++I) PrintSlot(*Set, I, First);
  return 0;
}

int Set(const TCommandLine& Cmd) {
  auto Options = LoadedOptions();
  int SubKey;
  TOptionSet* Set = Options->FindSet(Cmd[0], SubKey);
  if (!Set || SubKey < 0) throw Exception(Format(res::SUnknownOptionKey, Cmd[0]));
  const TOptionField* Field = Set->FindField(Cmd[1]);
  if (!Field) throw Exception(Format(res::SUnknownOption, Cmd[1], Set->SlotKeyPath(SubKey)));
  TOptionValue Value = Set->ParseValue(*Field, Cmd[2]);
  // Refused here, nothing is written; checked again under the lock as it is stored.
  Options->SetOption(*Set, SubKey, Field->Name, Value);
  TSettingsUpdate Batch(SettingsStore());
  if (Options->SourceOptionGroups().BuiltInsUnsaved()) Options->SourceOptionGroups().Save();
  Options->SetAndStoreOption(*Set, SubKey, Field->Name, Value);
  return 0;
}

int FileType(const TCommandLine& Cmd) {
  auto Options = LoadedOptions();
  int I = Options->MoveToOptionsForFileType(Cmd[0]);
  if (I >= 0) std::printf("%s\n", Options->SourceOptionGroups().Group(I).IDString.c_str());
  return 0;
}

void PrintFlags(TSearchFlags Flags) {
  std::string Line;
  for (int I = 0; I < SearchFlagCount; ++I) {
    if (!Flags.Contains(static_cast<TSearchFlag>(I))) continue;
    if (!Line.empty()) Line += ' ';
    Line += SearchFlagNames[I];
  }
  std::printf("%s\n", Line.c_str());
}

int SearchFlags(const TCommandLine&) {
  PrintFlags(LoadedOptions()->GetSearchFlags());
  return 0;
}

int ReplaceFlags(const TCommandLine&) {
  PrintFlags(LoadedOptions()->GetReplaceFlags());
  return 0;
}

}  // namespace

TCommand OptionsCommand() {
  return Group(
      "options", "show and change environment options",
      {Leaf("show", "every option, or those stored at KEYPATH", "nxs options show [KEYPATH]",
            std::string("Prints the options as [key path] and Name=Value lines.\n") + KeyPathNote, {}, 0, 1, Show),
       Leaf("set", "validate and store one option", "nxs options set KEYPATH NAME VALUE",
            std::string("Validates and stores one option (Booleans True/False, colours clWhite or $00BBGGRR).\n") +
                KeyPathNote,
            {}, 3, 3, Set),
       Leaf("filetype", "the source option group chosen for FILE", "nxs options filetype FILE",
            "Prints the identifier of the source option group the editor chooses for FILE.", {}, 1, 1, FileType),
       Leaf("searchflags", "the search flags the search options give", "nxs options searchflags",
            "Prints the search flags the search options give.", {}, 0, 0, SearchFlags),
       Leaf("replaceflags", "the replace flags the replace options give", "nxs options replaceflags",
            "Prints the replace flags the replace options give.", {}, 0, 0, ReplaceFlags)});
}

}  // namespace nxs::host
