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
#include "projects/projectgroup.h"
#include "projects/projectsession.h"
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

// The search wrote nothing to keep: the process ends here rather than free every line.
[[noreturn]] void EndSearch(TOutput& Out, int Status) {
  Out.Flush();
  std::fflush(stdout);
  std::fflush(stderr);
  std::_Exit(Status);
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
    // Each folder whole, whatever its name holds.
    std::vector<std::string> Dirs(Cmd.Positional().begin() + 1, Cmd.Positional().end());
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
      R.DirectoryList = Dirs;
    }
    CheckSearchPattern(R.Text, R.Flags, R.Brief);
    SetQuestions(std::make_shared<TQuietQuestions>());
    MainThreadQueue().SetMainThread();
    const bool Grouped = Cmd.Has("--group-by-file");
    TOutput Out;
    bool Printed = false, Problems = false;
    auto Problem = [&](const std::string& Text) {
      Out.Flush();
      std::fflush(stdout);
      std::fprintf(stderr, "nxs: %s\n", Text.c_str());
      Problems = true;
    };
    if (!Grouped) {
      // Each hit printed as the message view would show its line, straight from the search.
      const std::string Title = SearchGroupTitle(R.Text);
      RunFindInFiles(R, [&](TFileHits& File) {
        TSharedFileName Name;
        for (auto& Hit : File.Hits) {
          if (!Printed && Form == "message") {
            Out.Text() += Title;
            Out.Line();
          }
          Printed = true;
          if (!Name) Name = std::make_shared<const std::string>(File.FileName);
          const TFileFindLine Line(Name, Hit.Line, Hit.CharColumn, TakeLineText(Hit), Hit.TextColumn, Hit.MatchLength);
          Form == "message" ? PrintLine(Out, Line, 0) : PrintGcc(Out, Line);
        }
        if (!File.Problem.empty()) Problem(File.Problem);
      });
      EndSearch(Out, Problems ? 2 : Printed ? 0 : 1);
    }
    DoFindInFiles(R);
    // The lines are printed while the search goes on and then let go: a top-level line is
    // complete once it is there, except a file's title while its hits may still come. The
    // files and folders that could not be read go to standard error.
    auto PrintNew = [&](bool Final) {
      auto Groups = SearchGroups();
      if (Groups.empty()) return;
      TLineBuffer& G = *Groups.back();
      const int Count = G.GetCount();
      const int Complete = Final || !Grouped ? Count : Count - 1;
      if (Complete <= 0) return;
      for (int I = 0; I < Complete; ++I) {
        const TLine& Line = *G.GetLines(I);
        if (!Line.AsFileMessageLine() && dynamic_cast<const TSearchProblemLine*>(&Line)) {
          Problem(Line.GetLineText());
          continue;
        }
        if (!Printed && Form == "message") {
          Out.Text() += G.GetGroupName();
          Out.Line();
        }
        Printed = true;
        Form == "message" ? PrintLine(Out, Line, 0) : PrintGcc(Out, Line);
      }
      if (Complete == Count) {
        G.Clear();
        return;
      }
      // The last line stays: from the end, so that each removal moves nothing.
      for (int I = Complete - 1; I >= 0; --I) G.Remove(G.GetLines(I));
    };
    TThreadSearch* S = RunningSearch();
    // Printed as each batch comes: the queue may run batch after batch before it returns.
    if (S) S->SetOnReported([&] { PrintNew(false); });
    while (S && !S->Finished()) {
      MainThreadQueue().WaitAndProcess(20);
      PrintNew(false);
    }
    MainThreadQueue().ProcessPending();
    TerminateFindInFiles();
    PrintNew(true);
    EndSearch(Out, Problems ? 2 : Printed ? 0 : 1);
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
              "Hits are printed as they are found. A line of more than 200 characters shows the 200\n"
              "around its hit, with \"...\" where it was cut. A DIR that is a file is searched itself.\n"
              "A file or folder that cannot be read is named on standard error and the rest searched.\n"
              "Exit status: 0 with hits, 1 without, 2 on an error (a file or folder not read included).",
              {{"--mask", true}, {"--subdirs", false}, {"-c", false}, {"-w", false}, {"-r", false}, {"-b", false},
               {"--group-by-file", false}, {"--open", true}, {"--project", true}, {"--group", true}, {"-j", true},
               {"--format", true}},
              1, 1000, Grep);
}

}  // namespace nxs::host
