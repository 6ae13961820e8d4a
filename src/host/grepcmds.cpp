// nxs grep: find in files from the command line, printed as the message view shows the
// search group or as FILE:LINE:COL:TEXT; status 0 with hits, 1 without, 2 on an error.
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>

#include "build/messages/filesvc.h"
#include "build/messages/msglines.h"
#include "environment/findinfiles.h"
#include "host/cmdline.h"
#include "host/commands.h"
#include "shared/dialogs.h"
#include "shared/filenames.h"
#include "shared/mainthread.h"

namespace nxs::host {

namespace {

// The "not found" box of a script: the exit status tells.
class TQuietQuestions : public IUserQuestions {
 public:
  int MessageDlg(const std::string&, TMsgDlgType, unsigned, int DefaultResult) override { return DefaultResult; }
  void ShowMessage(const std::string&) override {}
  bool PromptForFileName(std::string&, const std::string&, bool) override { return false; }
};

// Files "open in the editor": their text is another file's.
std::map<std::string, std::string>& OpenTexts() {
  static std::map<std::string, std::string> Texts;
  return Texts;
}

void OnCompilerFileOpen(TEvCompilerFileOpen& A) {
  auto It = OpenTexts().find(A.FileName);
  if (It == OpenTexts().end()) return;
  std::string Text;
  if (CReadWholeFile(It->second, Text)) A.Stream = std::make_shared<TCompilerStream>(TCompilerStream::skMemory, Text);
}

void PrintLine(const TLine& Line, int Depth) {
  std::printf("%*s%s\n", Depth * 2, "", Line.GetLineText().c_str());
  for (int I = 0; I < Line.GetChildCount(); ++I) PrintLine(*Line.GetChild(I), Depth + 1);
}

void PrintGcc(const TLine& Line) {
  if (auto* F = dynamic_cast<const TFileFindLine*>(&Line))
    std::printf("%s:%d:%d:%s\n", F->GetFileName().c_str(), F->Line(), F->MatchStart(), F->Text().c_str());
  for (int I = 0; I < Line.GetChildCount(); ++I) PrintGcc(*Line.GetChild(I));
}

int Grep(const TCommandLine& Cmd) {
  try {
    TFindRequest R;
    R.Text = Cmd[0];
    R.Flags = TSearchFlags{};
    R.Flags.Set(sfCase, Cmd.Has("-c"));
    R.Flags.Set(sfWord, Cmd.Has("-w"));
    R.Flags.Set(sfRegExp, Cmd.Has("-r") || Cmd.Has("-b"));
    R.Brief = Cmd.Has("-b");
    R.Masks = Cmd.Get("--mask");
    if (Cmd.Has("--subdirs")) R.Advanced |= AdvFlag(asfIncludeSubDirs);
    if (Cmd.Has("--group-by-file")) R.Advanced |= AdvFlag(asfGroupByFile);
    if (Cmd.Has("-j")) R.Threads = static_cast<unsigned>(std::stoul(Cmd.Get("-j")));
    const std::string Form = Cmd.Get("--format", "message");
    if (Form != "message" && Form != "gcc") Cmd.Fail("--format is message or gcc");
    std::vector<std::string> Open;
    for (const auto& O : Cmd.GetAll("--open")) {
      size_t Eq = O.find('=');
      std::string Name = ExpandFileName(O.substr(0, Eq));
      if (Eq != std::string::npos) OpenTexts()[Name] = ExpandFileName(O.substr(Eq + 1));
      Open.push_back(Name);
    }
    SetOpenFileNamesHook([] {
      std::vector<std::string> Names;
      for (const auto& [Name, Text] : OpenTexts()) Names.push_back(Name);
      return Names;
    });
    EvCompilerFileOpen().Add(&OpenTexts(), OnCompilerFileOpen);
    if (Cmd.Has("--project") || Cmd.Has("--group")) {
      std::fprintf(stderr, "nxs: no project is open\n");
      return 2;
    }
    std::string Dirs;
    for (size_t I = 1; I < Cmd.Positional().size(); ++I) Dirs += (Dirs.empty() ? "" : ";") + Cmd[I];
    if (!Open.empty() && Dirs.empty()) {
      R.Scope = asOpenFiles;
      R.Files = Open;
    } else {
      R.Scope = asFileMask;
      R.Directories = Dirs;
    }
    CheckSearchPattern(R.Text, R.Flags, R.Brief);
    SetQuestions(std::make_shared<TQuietQuestions>());
    MainThreadQueue().SetMainThread();
    DoFindInFiles(R);
    TThreadSearch* S = RunningSearch();
    while (S && !S->Finished()) MainThreadQueue().WaitAndProcess(20);
    MainThreadQueue().ProcessPending();
    TerminateFindInFiles();
    auto Groups = SearchGroups();
    TLineBuffer* G = Groups.empty() ? nullptr : Groups.back();
    if (!G || G->GetCount() == 0) return 1;
    if (Form == "message") std::printf("%s\n", G->GetGroupName().c_str());
    for (int I = 0; I < G->GetCount(); ++I) Form == "message" ? PrintLine(*G->GetLines(I), 0) : PrintGcc(*G->GetLines(I));
    // The search wrote nothing to keep: the process ends here rather than take the message
    // group down line by line, which costs more than the search on a large tree.
    std::fflush(stdout);
    std::_Exit(0);
  } catch (const EUsage&) {
    throw;
  } catch (const std::exception& E) {
    std::fflush(stdout);
    std::fprintf(stderr, "nxs: %s\n", E.what());
    return 2;
  }
}

}  // namespace

TCommand GrepCommand() {
  return Leaf("grep", "find a text in files",
              "nxs grep TEXT [DIR...] [--mask M] [--subdirs] [-c] [-w] [-r] [-b] [--group-by-file] "
              "[--open FILE[=TEXTFILE]...] [--project F | --group F] [-j N] [--format message|gcc]",
              "Searches the files under the directories (the current one when none is given) that match the\n"
              "masks (\"*.pas;*.inc\"), or the files given with --open, and prints every hit.\n"
              "-c case-sensitive, -w whole word, -r regular expression, -b BRIEF expression.\n"
              "--open FILE=TEXTFILE treats FILE as open in the editor with the text of TEXTFILE.\n"
              "Exit status: 0 with hits, 1 without, 2 on an error.",
              {{"--mask", true}, {"--subdirs", false}, {"-c", false}, {"-w", false}, {"-r", false}, {"-b", false},
               {"--group-by-file", false}, {"--open", true}, {"--project", true}, {"--group", true}, {"-j", true},
               {"--format", true}},
              1, 1000, Grep);
}

}  // namespace nxs::host
