// nxs recover: the recovery window as a command. It lists the modules whose autorecover
// copies a session left behind, puts one back into its editor (and saves it when asked), or
// discards copies.
#include <cstdio>
#include <string>

#include "editor/buffers/editbuffer.h"
#include "host/answers.h"
#include "host/cmdline.h"
#include "host/commands.h"
#include "host/resstrings.h"
#include "modules/docmodule.h"
#include "modules/recoverwindow.h"
#include "modules/sourcemodule.h"
#include "shared/exceptions.h"
#include "shared/format.h"
#include "shared/settings.h"

namespace nxs::host {

namespace {

const char* const RecoverUsage =
    "nxs recover [--list | --restore FILE [--save] | --discard FILE | --discard-all] [--answer yes|no|cancel]";
const char* const RecoverHelp =
    "Lists the files whose unsaved text autorecover kept when a session ended without saving\n"
    "(FILE, a tab, the time of the copy), the default.\n"
    "--restore FILE prints FILE's recovered text and writes nothing; with --save the text is\n"
    "  saved to FILE and the copies go. --discard FILE removes FILE's copies. --discard-all asks\n"
    "  \"Discard remaining recovered files?\" and answers with --answer (default no).";

// The modules the command opens, for its run.
class TModuleLayer {
 public:
  TModuleLayer() { InitSourceModules(); }
  ~TModuleLayer() { DoneSourceModules(); }
  TModuleLayer(const TModuleLayer&) = delete;  // one layer per run
  TModuleLayer& operator=(const TModuleLayer&) = delete;
};

void PrintText(TDocModule& Module, const std::string& FileName) {
  TEditBuffer* B = Module.GetEditorBuffer(FileName);
  if (!B) return;
  const std::string Text = B->Text();
  std::fwrite(Text.data(), 1, Text.size(), stdout);
}

int RunRecover(const TCommandLine& Cmd) {
  const int Given = Cmd.Has("--list") + Cmd.Has("--restore") + Cmd.Has("--discard") + Cmd.Has("--discard-all");
  if (Given > 1) Cmd.Fail(res::SRecoverOneAction);
  if (Cmd.Has("--save") && !Cmd.Has("--restore")) Cmd.Fail(Format(res::SOptionsGoTogether, "--save", "--restore"));
  const std::string Answer = Cmd.Get("--answer", "no");
  if (TScriptAnswers::ResultOf(Answer) == mrNone) Cmd.Fail(res::SEdAnswerWords);
  SetQuestions(std::make_shared<TScriptAnswers>("", Answer));

  TModuleLayer Layer;
  TAutoRecoverWindow Window(SettingsStore());
  Window.OnMessage = [](const std::string& M) { std::fprintf(stderr, "nxs: %s\n", M.c_str()); };
  Window.LoadRecoveredFiles();
  if (Cmd.Has("--restore")) {
    TRecoveredFileInfo& Info = Window.Get(Cmd.Get("--restore"));
    const std::string FileName = Info.FileName;
    // The copies stay until the text is safe in the file: a save that fails loses nothing.
    TDocModule* Module = Window.RecoverModule(Info, true);
    if (!Cmd.Has("--save")) {
      PrintText(*Module, FileName);
      return 0;
    }
    if (!Module->Save(false, true)) throw Exception(Format(res::SRecoverNotSaved, FileName));
    Window.Discard(Info);
    std::printf("%s\n", Format(res::SRecoverSaved, FileName).c_str());
    return 0;
  }
  if (Cmd.Has("--discard")) {
    TRecoveredFileInfo& Info = Window.Get(Cmd.Get("--discard"));
    const std::string FileName = Info.FileName;
    Window.Discard(Info);
    std::printf("%s\n", Format(res::SRecoverDiscarded, FileName).c_str());
    return 0;
  }
  if (Cmd.Has("--discard-all")) {
    std::vector<std::string> Names;
    for (const auto& I : Window.Items()) Names.push_back(I->FileName);
    if (!Window.Close()) return 0;
    for (const std::string& N : Names) std::printf("%s\n", Format(res::SRecoverDiscarded, N).c_str());
    return 0;
  }
  for (const auto& I : Window.Items()) std::printf("%s\t%s\n", I->FileName.c_str(), I->SaveTimeText().c_str());
  return 0;
}

}  // namespace

TCommand RecoverCommand() {
  return Leaf("recover", "files a session left unsaved, kept by autorecover", RecoverUsage, RecoverHelp,
              {{"--list", false},
               {"--restore", true},
               {"--save", false},
               {"--discard", true},
               {"--discard-all", false},
               {"--answer", true}},
              0, 0, RunRecover);
}

}  // namespace nxs::host
