#include "environment/findrun.h"

#include <map>
#include <memory>

#include "build/messages/filesvc.h"
#include "environment/linematcher.h"
#include "environment/resstrings.h"
#include "shared/filenames.h"
#include "shared/mainthread.h"

namespace nxs {

namespace {

// The open files of a host without modules, each with the file that holds its text.
std::map<std::string, std::string>& StandIns() {
  static std::map<std::string, std::string> Files;
  return Files;
}

void OnStandInOpen(TEvCompilerFileOpen& A) {
  auto It = StandIns().find(A.FileName);
  if (It == StandIns().end()) return;
  std::string Text;
  if (CReadWholeFile(It->second, Text)) A.Stream = std::make_shared<TCompilerStream>(TCompilerStream::skMemory, Text);
}

// Returns the names, expanded, in the order given.
std::vector<std::string> UseStandIns(const std::vector<TOpenFileStandIn>& Files) {
  static const bool Subscribed = [] {
    EvCompilerFileOpen().Add(&StandIns(), OnStandInOpen);
    return true;
  }();
  (void)Subscribed;
  std::vector<std::string> Names;
  for (const auto& F : Files) {
    const std::string Name = ExpandFileName(F.FileName);
    // A name without a stand-in is searched among the files named, read from the disk.
    if (!F.TextFile.empty()) StandIns()[Name] = ExpandFileName(F.TextFile);
    Names.push_back(Name);
  }
  SetOpenFileNamesHook([] {
    std::vector<std::string> Open;
    for (const auto& [Name, Text] : StandIns()) Open.push_back(Name);
    return Open;
  });
  return Names;
}

// Prints nothing itself: the lines of the group, as they complete, go to the sink and are let
// go, so that a long search holds few of them.
class TGroupDrain {
 public:
  explicit TGroupDrain(IFindSink& Sink) : FSink(Sink) {}
  void Drain(bool Final) {
    auto Groups = SearchGroups();
    if (Groups.empty()) return;
    TLineBuffer& G = *Groups.back();
    const int Count = G.GetCount();
    // A file's title is complete once the next one is there, or at the end.
    const int Complete = Final ? Count : Count - 1;
    if (Complete <= 0) return;
    for (int I = 0; I < Complete; ++I) {
      const TLine& Line = *G.GetLines(I);
      if (!Line.AsFileMessageLine() && dynamic_cast<const TSearchProblemLine*>(&Line))
        FSink.Problem(Line.GetLineText());
      else
        FSink.Line(G.GetGroupName(), Line);
    }
    if (Complete == Count) {
      G.Clear();
      return;
    }
    // The last line stays: from the end, so that each removal moves nothing.
    for (int I = Complete - 1; I >= 0; --I) G.Remove(G.GetLines(I));
  }

 private:
  IFindSink& FSink;
};

}  // namespace

void SelectFindScope(TFindRequest& R, const TFindPlaces& Places, const TOpenSearchProjects& OpenProjects) {
  const std::vector<std::string> Open = UseStandIns(Places.OpenFiles);
  const bool Project = Places.ProjectFile.has_value(), Group = Places.GroupFile.has_value();
  if (Project || Group) {
    if (Project && Group) throw EFindScope(fcProjectAndGroup, res::SProjectAndGroupExclusive);
    if (!Places.Directories.empty()) throw EFindScope(fcDirectoriesAndProjects, res::SDirectoriesAndProjectsExclusive);
    const TSearchProjects Projects = OpenProjects(Places);
    R.Scope = Project ? asProjectFiles : asProjectGroup;
    SetSearchProjectsHook([Projects] { return Projects; });
    return;
  }
  if (!Open.empty() && Places.Directories.empty()) {
    R.Scope = asOpenFiles;
    R.Files = Open;
    return;
  }
  R.Scope = asFileMask;
  R.DirectoryList = Places.Directories;
}

void IFindSink::Hits(const std::string& GroupTitle, const TFileHits& File) {
  const auto Name = std::make_shared<const std::string>(File.FileName);
  for (const auto& Hit : File.Hits) {
    const TFileFindLine Shown(Name, Hit.Line, Hit.CharColumn, std::string(File.LineText(Hit)), Hit.TextColumn,
                              Hit.MatchLength);
    Line(GroupTitle, Shown);
  }
}

void RunFindToSink(const TFindRequest& R, IFindSink& Sink) {
  CheckSearchPattern(R.Text, R.Flags, R.Brief);
  const bool Grouped = (R.Advanced & AdvFlag(asfGroupByFile)) != 0;
  if (!Grouped) {
    const std::string Title = SearchGroupTitle(R.Text);
    RunFindInFiles(R, [&](TFileHits& File) {
      if (!File.Hits.empty()) Sink.Hits(Title, File);
      if (!File.Problem.empty()) Sink.Problem(File.Problem);
    });
    return;
  }
  DoFindInFiles(R);
  TGroupDrain Drain(Sink);
  TThreadSearch* S = RunningSearch();
  // Drained as each batch comes: the queue may run batch after batch before it returns.
  if (S) S->SetOnReported([&] { Drain.Drain(false); });
  while (S && !S->Finished()) {
    MainThreadQueue().WaitAndProcess(20);
    Drain.Drain(false);
  }
  MainThreadQueue().ProcessPending();
  TerminateFindInFiles();
  Drain.Drain(true);
}

}  // namespace nxs
