#include "projectfiles/readahead.h"

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <unordered_map>

#include "projectfiles/xmlio.h"
#include "shared/filenames.h"
#include "shared/mainthread.h"

namespace nxs {

namespace {

enum class TAheadState { Waiting, Read, Failed, Taken };

struct TAheadFile {
  std::string Name;
  TAheadState State = TAheadState::Waiting;
  TFileInfo Version;
  std::unique_ptr<msb::TProjectNode> Tree;
};

// The one reading ahead under way: its files in order and what has come of each. The reading
// thread and the documents that take trees meet here.
struct TAhead {
  std::mutex Lock;
  std::condition_variable Changed;
  bool Active = false;
  bool Stop = false;
  std::vector<TAheadFile> Files;
  std::unordered_map<std::string, size_t> Index;
  size_t Asked = 0;  // one past the furthest file asked for
};

TAhead& Ahead() {
  static TAhead A;
  return A;
}

}  // namespace

TProjectReadAhead::TProjectReadAhead(const std::vector<std::string>& Files) {
  if (Files.size() < 2) return;  // a single file is read as fast where it is opened
  TAhead& A = Ahead();
  std::lock_guard<std::mutex> L(A.Lock);
  if (A.Active) return;
  A.Files.clear();
  A.Index.clear();
  for (const std::string& F : Files) {
    std::string Name = ExpandFileName(F);
    if (!A.Index.emplace(Name, A.Files.size()).second) continue;
    A.Files.emplace_back().Name = std::move(Name);
  }
  A.Active = true;
  A.Stop = false;
  A.Asked = 0;
  FOwns = true;
  FThread = std::thread([this] { Run(); });
}

TProjectReadAhead::~TProjectReadAhead() {
  if (!FOwns) return;
  TAhead& A = Ahead();
  {
    std::lock_guard<std::mutex> L(A.Lock);
    A.Stop = true;
  }
  A.Changed.notify_all();
  FThread.join();
  std::vector<TAheadFile> Left;
  {
    std::lock_guard<std::mutex> L(A.Lock);
    A.Active = false;
    Left.swap(A.Files);
    A.Index.clear();
  }
  // The trees not taken are freed here, outside the lock.
}

void TProjectReadAhead::Finish() {
  if (!FOwns) return;
  TAhead& A = Ahead();
  std::unique_lock<std::mutex> L(A.Lock);
  A.Changed.wait(L, [&] {
    const size_t End = std::min(A.Files.size(), A.Asked + MostAhead);
    for (size_t I = 0; I < End; ++I)
      if (A.Files[I].State == TAheadState::Waiting) return false;
    return true;
  });
}

void TProjectReadAhead::Run() {
  SetCurrentThreadName("Project Ahead");
  TAhead& A = Ahead();
  for (size_t I = 0;; ++I) {
    std::string Name;
    {
      std::unique_lock<std::mutex> L(A.Lock);
      A.Changed.wait(L, [&] { return A.Stop || I >= A.Files.size() || I < A.Asked + MostAhead; });
      if (A.Stop || I >= A.Files.size()) return;
      Name = A.Files[I].Name;
    }
    // The version is taken before the read: a change that lands during the read makes the
    // version the document finds differ, and the document reads the file itself.
    TFileInfo Version;
    std::unique_ptr<msb::TProjectNode> Tree;
    try {
      Version = FileSystem().Stat(Name);
      if (Version.Exists && !Version.IsDirectory && !Version.IsSpecial) {
        std::unique_ptr<TNode> Root = TProjectXmlReader().ReadFile(Name);
        if (dynamic_cast<msb::TProjectNode*>(Root.get()))
          Tree.reset(static_cast<msb::TProjectNode*>(Root.release()));
      }
    } catch (const std::exception&) {
      // The document reads the file itself and reports what it finds.
    }
    {
      std::lock_guard<std::mutex> L(A.Lock);
      TAheadFile& F = A.Files[I];
      if (F.State == TAheadState::Waiting) {
        F.State = Tree ? TAheadState::Read : TAheadState::Failed;
        F.Version = Version;
        F.Tree = std::move(Tree);
      }
    }
    A.Changed.notify_all();
  }
}

std::unique_ptr<msb::TProjectNode> TakeReadAheadProject(const std::string& FileName, TFileInfo& Version) {
  TAhead& A = Ahead();
  std::unique_ptr<msb::TProjectNode> Tree;
  TFileInfo Then;
  {
    std::unique_lock<std::mutex> L(A.Lock);
    if (!A.Active || A.Stop) return nullptr;
    auto It = A.Index.find(ExpandFileName(FileName));
    if (It == A.Index.end()) return nullptr;
    const size_t I = It->second;
    if (I + 1 > A.Asked) {
      A.Asked = I + 1;
      A.Changed.notify_all();
    }
    A.Changed.wait(L, [&] { return A.Stop || A.Files[I].State != TAheadState::Waiting; });
    TAheadFile& F = A.Files[I];
    if (F.State != TAheadState::Read) return nullptr;
    F.State = TAheadState::Taken;  // a tree serves one document
    Tree = std::move(F.Tree);
    Then = F.Version;
  }
  const TFileInfo Now = FileSystem().Stat(FileName);
  if (!SameFileVersion(Now, Then)) return nullptr;
  Version = Now;
  return Tree;
}

}  // namespace nxs
