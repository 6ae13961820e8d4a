#include "environment/threadsearch.h"

#include <algorithm>
#include <condition_variable>
#include <mutex>

#include "environment/opentexts.h"
#include "environment/resstrings.h"
#include "environment/searchprogress.h"
#include "environment/searchtext.h"
#include "shared/dialogs.h"
#include "shared/format.h"
#include "shared/mainthread.h"
#include "shared/text.h"

namespace nxs {

namespace {

std::vector<TSearchLineBuffer*>& Groups() {
  static std::vector<TSearchLineBuffer*> List;
  return List;
}
std::atomic<bool> SearchRunningFlag{false};

// The search buffer manager: forgets a group the message view removed. It listens to the
// group list of the day (tests make new ones).
struct TSearchBufferMgr {
  void Listen() {
    auto& Ev = LineBufferList().EvGroupRemoved();
    if (Ev.IndexOf(this, &TSearchBufferMgr::Removed) < 0) Ev.Add(this, &TSearchBufferMgr::Removed);
  }
  void Removed(TEvMessageGroup& A) { std::erase(Groups(), &A.Group); }
};
TSearchBufferMgr& SearchBufferMgr() {
  static TSearchBufferMgr Mgr;
  return Mgr;
}

}  // namespace

TThreadSearch::TThreadSearch(TFindRequest Request) : FRequest(Request), FEngine(std::move(Request)) {
  SearchBufferMgr().Listen();
  if (!(FRequest.Advanced & AdvFlag(asfSeparateResults)) && !Groups().empty()) {
    TSearchLineBuffer* Last = Groups().back();
    LineBufferList().RemoveList(Last);
    std::erase(Groups(), Last);
  }
  LineBufferList().EvGroupRemoved().Add(this, &TThreadSearch::GroupRemoved);
}

TThreadSearch::~TThreadSearch() {
  Terminate();
  WaitFor();
  LineBufferList().EvGroupRemoved().Remove(this, &TThreadSearch::GroupRemoved);
}

void TThreadSearch::Start() {
  CaptureOpenTexts();
  SearchProgress().Show([this] { Terminate(); });
  FThread = std::thread([this] { Execute(); });
}

void TThreadSearch::Terminate() { FEngine.Cancel(); }

void TThreadSearch::WaitFor() {
  if (!FThread.joinable()) return;
  // Hand-overs the thread waits on run meanwhile when this is the main thread.
  while (!FFinished) {
    if (MainThreadQueue().IsMainThread())
      MainThreadQueue().WaitAndProcess(10);
    else
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  FThread.join();
}

void TThreadSearch::GroupRemoved(TEvMessageGroup& A) {
  if (&A.Group != FGroup) return;
  FGroupRemoved = true;
  FGroup = nullptr;
  FFileTitle = nullptr;
  Terminate();
}

TSearchLineBuffer& TThreadSearch::MakeGroup() {
  if (FGroup) return *FGroup;
  FGroup = LineBufferList().AddSearchList(SearchGroupTitle(FRequest.Text));
  // A group of the same title left by an earlier search is emptied and becomes current.
  if (std::find(Groups().begin(), Groups().end(), FGroup) != Groups().end()) {
    LineBufferList().ClearList(FGroup);
    std::erase(Groups(), FGroup);
  }
  FGroup->SearchString = FRequest.Text;
  FGroup->SearchFlags = FRequest.Flags;
  FGroup->AdvancedMode = FRequest.Scope;
  FGroup->AdvancedFlags = FRequest.Advanced;
  if (FRequest.Scope == asFileMask) {
    FGroup->Directory = FRequest.DirectoryList.empty() ? FRequest.Directories : Join(FRequest.DirectoryList, ";");
    FGroup->FileMasks = FRequest.Masks;
  }
  Groups().push_back(FGroup);
  OpenMsgView(FGroup, false);
  return *FGroup;
}

void TThreadSearch::ReportFile(TFileHits& File) {
  // Nothing is added once the search was stopped.
  if (FGroupRemoved || FEngine.Cancelled()) return;
  TSharedFileName Name;  // one for the file's lines
  for (auto& Hit : File.Hits) {
    TSearchLineBuffer& G = MakeGroup();
    TLine* Parent = nullptr;
    if (FRequest.Advanced & AdvFlag(asfGroupByFile)) {
      // The title of the file whose hits come is the group's last line, unless the group was
      // cleared meanwhile (the title went with it).
      const bool TitleHeld = FFileTitle && G.GetCount() > 0 && G.GetLines(G.GetCount() - 1) == FFileTitle;
      if (!TitleHeld || FFileTitleName != File.FileName) {
        FFileTitle = G.Add(std::make_unique<TFindTitleLine>(&G, File.FileName, true));
        FFileTitleName = File.FileName;
      }
      Parent = FFileTitle;
    }
    if (!Name) Name = std::make_shared<const std::string>(File.FileName);
    auto Line = std::make_unique<TFileFindLine>(Name, Hit.Line, Hit.CharColumn, std::string(File.LineText(Hit)),
                                                Hit.TextColumn, Hit.MatchLength, &G);
    G.AddFileLine(std::move(Line), Parent);
    ++FHitCount;
  }
  if (!File.Problem.empty()) {
    TSearchLineBuffer& G = MakeGroup();
    G.Add(std::make_unique<TSearchProblemLine>(&G, File.Problem));
    // The file's hits are all in: its title takes no more.
    FFileTitle = nullptr;
    FProblems.push_back(std::move(File.Problem));
  }
  SearchProgress().SetHitCount(FHitCount);
}

void TThreadSearch::Execute() {
  // Below the threads that keep the environment answering; the threads it starts inherit it.
  // The step comes before the name, so that a thread seen by its name already runs below.
  if (FRequest.LowerPriority) LowerCurrentThreadPriority();
  SetCurrentThreadName(res::SFindInFilesThread);
  SearchRunningFlag = true;
  // Hits go to the main thread in batches that it takes in turn while the search goes on; a
  // few batches at most wait there, and the final step below runs after all of them.
  std::mutex Lock;
  std::condition_variable Taken;
  int Waiting = 0;
  constexpr int MaxWaiting = 4;
  try {
    auto Batch = std::make_shared<std::vector<TFileHits>>();
    size_t BatchHits = 0;
    auto Flush = [&] {
      if (Batch->empty()) return;
      {
        std::unique_lock<std::mutex> G(Lock);
        Taken.wait(G, [&] { return Waiting < MaxWaiting || FEngine.Cancelled(); });
        ++Waiting;
      }
      Queue([this, B = std::move(Batch), &Lock, &Taken, &Waiting] {
        for (auto& F : *B) ReportFile(F);
        if (FOnReported) FOnReported();
        std::lock_guard<std::mutex> G(Lock);
        --Waiting;
        Taken.notify_all();
      });
      Batch = std::make_shared<std::vector<TFileHits>>();
      BatchHits = 0;
    };
    FEngine.Run(
        [&](TFileHits& Hits) {
          BatchHits += Hits.Hits.size();
          Batch->push_back(std::move(Hits));
          if (BatchHits >= 4096 || Batch->size() >= 256) Flush();
        },
        [](const std::string& Name) { SearchProgress().SetFileName(Name); });
    if (!FEngine.Cancelled()) Flush();
  } catch (const std::exception&) {
    FEngine.Cancel();
  }
  const bool Cancelled = FEngine.Cancelled();
  // After every batch (the queue keeps its order): the terminated line, the progress window.
  Synchronize([this, Cancelled] {
    if (Cancelled && !FGroupRemoved) {
      TSearchLineBuffer& G = MakeGroup();
      G.Add(std::make_unique<TTitleLine>(&G, res::SSearchTerminated));
    }
    SearchProgress().Close();
  });
  {
    // A batch queued before a cancel has run too (its lock is this frame's).
    std::unique_lock<std::mutex> G(Lock);
    Taken.wait(G, [&] { return Waiting == 0; });
  }
  SearchRunningFlag = false;
  if (!Cancelled && FHitCount == 0)
    Synchronize([this] {
      Questions().MessageDlg(Format(res::SSearchNotFound, FRequest.Text), TMsgDlgType::mtInformation, mbOK, mbOK);
    });
  FFinished = true;
  // A main thread that waits for work learns at once that the search is over.
  Queue([] {});
}

bool SearchRunning() { return SearchRunningFlag; }
std::vector<TSearchLineBuffer*> SearchGroups() { return Groups(); }

void ForgetSearchGroups() {
  LineBufferList().EvGroupRemoved().Remove(&SearchBufferMgr(), &TSearchBufferMgr::Removed);
  Groups().clear();
}

}  // namespace nxs
