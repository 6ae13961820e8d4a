// nxs grep: find in files from the command line, printed as the message view shows the
// search group or as FILE:LINE:COL:TEXT; status 0 with hits, 1 without, 2 on an error.
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "build/messages/msglines.h"
#include "environment/findrun.h"
#include "host/cmdline.h"
#include "host/commands.h"
#include "host/resstrings.h"
#include "projects/projectgroup.h"
#include "projects/projectsession.h"
#include "shared/dialogs.h"
#include "shared/format.h"

namespace nxs::host {

namespace {

// The "not found" box of a script: the exit status tells. Warnings go to standard error.
class TQuietQuestions : public IUserQuestions {
 public:
  int MessageDlg(const std::string& Message, TMsgDlgType Type, unsigned, int DefaultResult) override {
    if (Type == TMsgDlgType::mtWarning || Type == TMsgDlgType::mtError)
      std::fputs(Format(res::SCliErrorLine, Message).c_str(), stderr);
    return DefaultResult;
  }
  void ShowMessage(const std::string&) override {}
  bool PromptForFileName(std::string&, const std::string&, bool) override { return false; }
};

// The printed lines, written in large blocks.
class TOutput {
 public:
  TOutput() { FText.reserve(FlushAt + 4096); }
  ~TOutput() { Flush(); }
  std::string& Text() { return FText; }
  void Line() {
    FText += '\n';
    if (FText.size() >= FlushAt) Flush();
  }
  // Number, then Separator.
  void Number(int32_t N, char Separator) {
    char Num[16];
    char* End = std::to_chars(Num, Num + sizeof Num - 1, N).ptr;
    *End++ = Separator;
    FText.append(Num, static_cast<size_t>(End - Num));
  }
  void Flush() {
    std::fwrite(FText.data(), 1, FText.size(), stdout);
    FText.clear();
  }

 private:
  static constexpr size_t FlushAt = size_t{1} << 18;
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
    Out.Text() += F->FileName();
    Out.Text() += ':';
    Out.Number(F->Line(), ':');
    Out.Number(F->Column(), ':');
    Out.Text() += F->Text();
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

// Prints what the search shows: the group's title before the first line, in the message
// view's form; the files and folders that could not be read go to standard error.
class TPrintSink : public IFindSink {
 public:
  TPrintSink(TOutput& Out, bool Gcc) : FOut(Out), FGcc(Gcc) {}
  void Line(const std::string& GroupTitle, const TLine& Line) override {
    Title(GroupTitle);
    FGcc ? PrintGcc(FOut, Line) : PrintLine(FOut, Line, 0);
  }
  // Each hit as its find line prints, made from the hit itself.
  void Hits(const std::string& GroupTitle, const TFileHits& File) override {
    Title(GroupTitle);
    for (const auto& Hit : File.Hits) {
      if (FGcc) {
        std::string& T = FOut.Text();
        T += File.FileName;
        T += ':';
        FOut.Number(Hit.Line, ':');
        FOut.Number(Hit.CharColumn, ':');
        T += File.LineText(Hit);
      } else {
        TFileFindLine::AppendLineText(FOut.Text(), File.FileName, Hit.Line, File.LineText(Hit));
      }
      FOut.Line();
    }
  }
  void Problem(const std::string& Text) override {
    FOut.Flush();
    std::fflush(stdout);
    std::fputs(Format(res::SCliErrorLine, Text).c_str(), stderr);
    FProblems = true;
  }
  // 0 with hits, 1 without, 2 when a file or folder could not be read.
  int Status() const { return FProblems ? 2 : FPrinted ? 0 : 1; }

 private:
  // The group's title comes before its first line, in the message view's form.
  void Title(const std::string& GroupTitle) {
    if (!FPrinted && !FGcc) {
      FOut.Text() += GroupTitle;
      FOut.Line();
    }
    FPrinted = true;
  }

  TOutput& FOut;
  bool FGcc;
  bool FPrinted = false, FProblems = false;
};

int Grep(const TCommandLine& Cmd) {
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
  R.Threads = Cmd.GetInt<unsigned>("-j", 0, 1);
  const std::string Form = Cmd.Get("--format", "message");
  if (Form != "message" && Form != "gcc") Cmd.Fail(res::SGrepFormatWords);
  TFindPlaces Places;
  Places.Directories.assign(Cmd.Positional().begin() + 1, Cmd.Positional().end());
  for (const auto& O : Cmd.GetAll("--open")) {
    const size_t Eq = O.find('=');
    Places.OpenFiles.push_back({O.substr(0, Eq), Eq == std::string::npos ? std::string() : O.substr(Eq + 1)});
  }
  if (Cmd.Has("--project")) Places.ProjectFile = Cmd.Get("--project");
  if (Cmd.Has("--group")) Places.GroupFile = Cmd.Get("--group");
  // The project scopes search what the project layer opened for this run.
  std::unique_ptr<TProjectSession> Session;
  try {
    SelectFindScope(R, Places, [&](const TFindPlaces& P) {
      Session = std::make_unique<TProjectSession>();
      if (P.ProjectFile) return TSearchProjects{&Session->OpenProject(*P.ProjectFile), nullptr};
      TProjectGroup& Group = Session->OpenGroup(*P.GroupFile);
      for (const auto& M : Session->Reports) std::fputs(Format(res::SCliErrorLine, M).c_str(), stderr);
      return TSearchProjects{Group.ActiveProject(), &Group};
    });
  } catch (const EFindScope& E) {
    Cmd.Fail(E.Conflict() == fcProjectAndGroup ? res::SGrepProjectAndGroup : res::SGrepDirectoriesAndProjects);
  }
  SetQuestions(std::make_shared<TQuietQuestions>());
  TOutput Out;
  TPrintSink Sink(Out, Form == "gcc");
  RunFindToSink(R, Sink);
  EndSearch(Out, Sink.Status());
}

}  // namespace

TCommand GrepCommand() {
  TCommand Command = Leaf("grep", "find a text in files",
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
  Command.ErrorStatus = 2;  // 1 says that nothing was found
  return Command;
}

}  // namespace nxs::host
