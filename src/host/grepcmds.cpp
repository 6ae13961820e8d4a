// nxs grep: find in files from the command line, printed as the message view shows the
// search group or as FILE:LINE:COL:TEXT; status 0 with hits, 1 without, 2 on an error.
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <string>

#include "build/messages/filesvc.h"
#include "build/messages/msglines.h"
#include "environment/findinfiles.h"
#include "host/cmdline.h"
#include "host/commands.h"
#include "host/projectsession.h"
#include "projects/projectgroup.h"
#include "shared/dialogs.h"
#include "shared/filenames.h"
#include "shared/mainthread.h"

namespace nxs::host {

namespace {

// The "not found" box of a script: the exit status tells. Warnings go to standard error.
class TQuietQuestions : public IUserQuestions {
 public:
  int MessageDlg(const std::string& Message, TMsgDlgType Type, unsigned, int DefaultResult) override {
    if (Type == TMsgDlgType::mtWarning || Type == TMsgDlgType::mtError) std::fprintf(stderr, "nxs: %s\n", Message.c_str());
    return DefaultResult;
  }
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

// The printed lines, written in large blocks.
class TOutput {
 public:
  ~TOutput() { Flush(); }
  std::string& Text() { return FText; }
  void Line() {
    FText += '\n';
    if (FText.size() >= (1u << 20)) Flush();
  }
  void Flush() {
    std::fwrite(FText.data(), 1, FText.size(), stdout);
    FText.clear();
  }

 private:
  std::string FText;
};

void PrintLine(TOutput& Out, const TLine& Line, int Depth) {
  Out.Text().append(static_cast<size_t>(Depth) * 2, ' ');
  Out.Text() += Line.GetLineText();
  Out.Line();
  for (int I = 0; I < Line.GetChildCount(); ++I) PrintLine(Out, *Line.GetChild(I), Depth + 1);
}

void PrintGcc(TOutput& Out, const TLine& Line) {
  // Find lines: their column is where the match starts.
  if (auto* F = Line.AsFileMessageLine()) {
    std::string& T = Out.Text();
    char Num[48];
    char* End = std::to_chars(Num, Num + 16, F->Line()).ptr;
    *End++ = ':';
    End = std::to_chars(End, End + 16, F->Column()).ptr;
    T += F->FileName();
    T += ':';
    T.append(Num, static_cast<size_t>(End - Num));
    T += ':';
    T += F->Text();
    Out.Line();
  }
  for (int I = 0; I < Line.GetChildCount(); ++I) PrintGcc(Out, *Line.GetChild(I));
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
    R.LowerPriority = false;  // no window waits for the process: the search is the work
    R.Masks = Cmd.Get("--mask");
    if (Cmd.Has("--subdirs")) R.Advanced |= AdvFlag(asfIncludeSubDirs);
    if (Cmd.Has("--group-by-file")) R.Advanced |= AdvFlag(asfGroupByFile);
    if (Cmd.Has("-j")) {
      // A count, not whatever a conversion makes of "-1" or "4x".
      const std::string J = Cmd.Get("-j");
      unsigned N = 0;
      auto [End, Err] = std::from_chars(J.data(), J.data() + J.size(), N);
      if (Err != std::errc() || End != J.data() + J.size() || N == 0) Cmd.Fail("-j takes a number of threads from 1");
      R.Threads = N;
    }
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
    std::string Dirs;
    for (size_t I = 1; I < Cmd.Positional().size(); ++I) Dirs += (Dirs.empty() ? "" : ";") + Cmd[I];
    // The project scopes search what the project layer opened for this run.
    std::unique_ptr<TProjectSession> Session;
    if (Cmd.Has("--project") || Cmd.Has("--group")) {
      if (Cmd.Has("--project") && Cmd.Has("--group")) Cmd.Fail("--project and --group exclude each other");
      if (!Dirs.empty()) Cmd.Fail("directories and --project or --group exclude each other");
      Session = std::make_unique<TProjectSession>();
      TSearchProjects Projects;
      if (Cmd.Has("--project")) {
        Projects.Active = &Session->OpenProject(Cmd.Get("--project"));
        R.Scope = asProjectFiles;
      } else {
        Projects.Group = &Session->OpenGroup(Cmd.Get("--group"));
        Projects.Active = Projects.Group->ActiveProject();
        R.Scope = asProjectGroup;
        for (const auto& M : Session->Reports) std::fprintf(stderr, "nxs: %s\n", M.c_str());
      }
      SetSearchProjectsHook([Projects] { return Projects; });
    } else if (!Open.empty() && Dirs.empty()) {
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
    // The lines are printed while the search goes on: a batch of hits holds the whole of
    // each of its files, so every line at the top of the group is complete once it is there.
    TOutput Out;
    size_t Printed = 0;
    auto PrintNew = [&] {
      auto Groups = SearchGroups();
      if (Groups.empty()) return;
      const TLineBuffer& G = *Groups.back();
      const size_t Count = static_cast<size_t>(G.GetCount());
      if (Printed == 0 && Count > 0 && Form == "message") {
        Out.Text() += G.GetGroupName();
        Out.Line();
      }
      for (; Printed < Count; ++Printed) {
        const TLine& Line = *G.GetLines(static_cast<int>(Printed));
        Form == "message" ? PrintLine(Out, Line, 0) : PrintGcc(Out, Line);
      }
    };
    TThreadSearch* S = RunningSearch();
    while (S && !S->Finished()) {
      MainThreadQueue().WaitAndProcess(20);
      PrintNew();
    }
    MainThreadQueue().ProcessPending();
    TerminateFindInFiles();
    PrintNew();
    if (Printed == 0) return 1;
    Out.Flush();
    // The search wrote nothing to keep: the process ends here rather than free every line.
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
              "masks (\"*.pas;*.inc\"), the files given with --open, the files of the project --project names\n"
              "or those of every project of the group --group names, and prints every hit.\n"
              "-c case-sensitive, -w whole word, -r regular expression, -b BRIEF expression.\n"
              "--open FILE=TEXTFILE treats FILE as open in the editor with the text of TEXTFILE.\n"
              "-j N searches with N threads (one per core when not given, at most eight per core).\n"
              "Exit status: 0 with hits, 1 without, 2 on an error.",
              {{"--mask", true}, {"--subdirs", false}, {"-c", false}, {"-w", false}, {"-r", false}, {"-b", false},
               {"--group-by-file", false}, {"--open", true}, {"--project", true}, {"--group", true}, {"-j", true},
               {"--format", true}},
              1, 1000, Grep);
}

}  // namespace nxs::host
