// The search engine: walks files (a list, or directories with masks) and matches their lines
// with the editor kernel's string search (linematcher.h), on several threads, handing the
// hits over in file order.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "environment/filescan.h"
#include "environment/linematcher.h"
#include "shared/searchflags.h"

namespace nxs {

enum TAdvancedSearch : uint8_t { asNone, asProjectFiles, asOpenFiles, asFileMask, asProjectGroup };
enum TAdvancedSearchFlag : uint8_t { asfIncludeSubDirs, asfSeparateResults, asfGroupByFile };
// A set of TAdvancedSearchFlag, bit N for the flag of ordinal N.
using TAdvancedSearchFlags = uint8_t;
constexpr TAdvancedSearchFlags AdvFlag(TAdvancedSearchFlag F) { return static_cast<TAdvancedSearchFlags>(1u << F); }

// A run of hits of one file, in line order, with their line texts; a file's runs come one
// after another. Problem: the file or folder could not be read, or not wholly (the message,
// naming it and why); it comes after the file's hits.
struct TFileHits : TFoundHits {
  TFileHits(std::string FileName, TFoundHits Hits, std::string Problem)
      : TFoundHits(std::move(Hits)), FileName(std::move(FileName)), Problem(std::move(Problem)) {}
  std::string FileName;
  std::string Problem;
};

// The form-text form of a search text: each character above 127 as "#" and its decimal code,
// a "'" at every switch between those and plain characters.
std::string FormTextOf(std::string_view Text);

inline constexpr unsigned MaxThreadsPerCore = 8;
// The searching threads for a request of Requested (0: one per core) over Files files.
unsigned SearchThreadCount(unsigned Requested, size_t Files);

// What to search and where.
struct TFindRequest {
  std::string Text;
  TSearchFlags Flags;
  bool Brief = false;  // the pattern is a BRIEF expression
  TAdvancedSearch Scope = asFileMask;
  TAdvancedSearchFlags Advanced = 0;
  std::string Masks;        // "*.pas;*.inc", split at "," and ";"
  std::string Directories;  // split at "," and ";", "@name" for a directory group
  // Directories (or files) each taken whole, in place of Directories when not empty: names
  // that hold "," or ";", blanks or "$(" stay as they are; "@name" of a known group is the group.
  std::vector<std::string> DirectoryList;
  std::vector<std::string> Files;  // the file list of the list scopes
  unsigned Threads = 0;            // 0: one per core; at most MaxThreadsPerCore per core
  bool LowerPriority = true;       // the search thread runs below normal (a host without a user may not want it)
};

// Runs one search: the files in a stable order (a list as given, directories depth first
// with their entries sorted by name, each directory once however often it is reached), read
// in scans by several threads, their hits handed to Sink in that order, as they come, on the
// thread that called Run. A thread holds a bounded number of hits that wait for their turn.
class TFindEngine {
 public:
  explicit TFindEngine(TFindRequest Request);
  ~TFindEngine();
  TFindEngine(const TFindEngine&) = delete;  // threads point at it while it runs
  TFindEngine& operator=(const TFindEngine&) = delete;
  // Sink: the runs of hits of each file that has some, and the problem of each file or
  // folder that could not be read, in file order; OnFile: every file, in that order, before
  // its hits. Both run on the calling thread. Returns false when cancelled.
  bool Run(const std::function<void(TFileHits&)>& Sink, const std::function<void(const std::string&)>& OnFile = {});
  // Stops every thread at its next scan; safe from any thread.
  void Cancel();
  bool Cancelled() const { return FStop; }
  // The files a run searches, in order (directory scopes walk the disk here).
  std::vector<std::string> CollectFiles();
  // Hits that may wait to be handed over: those of the file being handed over, and those of
  // the files after it together; a thread with more waits.
  static constexpr size_t HeadRoom = 4096;
  static constexpr size_t AheadRoom = 16384;

 private:
  // A searching thread's matchers: the search text's, and the form-text form's once a
  // form file needs it.
  struct TMatchers {
    std::unique_ptr<TLineMatcher> Text;
    std::unique_ptr<TLineMatcher> Form;
  };
  // A file to search, or a folder the walk could not read (Problem set).
  struct TEntry {
    std::string Name;
    std::string Problem;
  };
  // The directories walked, by device and inode.
  using TVisited = std::set<std::pair<uint64_t, uint64_t>>;
  // Takes a run of entries found (and empties it).
  using TPublish = std::function<void(std::vector<TEntry>&)>;
  static constexpr size_t PublishRun = 16;
  // Appends the entries of Dir (and of its subdirectories when asked) to Out, handing Out to
  // Publish, when given, whenever it holds PublishRun of them.
  void Walk(const std::string& Dir, const std::vector<std::string>& Masks, std::vector<TEntry>& Out,
            TVisited& Visited, const TPublish* Publish);
  // Every directory; with Publish, Out is handed over at the end too.
  void WalkAll(std::vector<TEntry>& Out, const TPublish* Publish);
  // Searches one file, gathering its hits in Hits (empty, its storage kept from file to file)
  // and handing them to Emit as they gather; the problem, if any. Hits is empty after.
  std::string SearchFile(const std::string& Name, TMatchers& M, TScanBuffer& Buffer, TFoundHits& Hits,
                         const THitRun& Emit);
  // Searches Text, a run of Name's lines from line FirstLine, with both passes.
  void SearchText(const std::string& Name, std::string_view Text, int32_t FirstLine, TMatchers& M,
                  TFoundHits& Hits, const THitRun& Emit);

  TFindRequest FRequest;
  std::vector<std::string> FDirectories;
  std::string FFormText;
  bool FSecondPass = false;  // a directory search looks for the form-text form in form files
  std::atomic<bool> FStop{false};
  // A run's hand-over: the threads wait on these, and a cancel wakes them.
  std::mutex FLock;
  std::condition_variable FFound, FFilled, FDrained;
};

}  // namespace nxs
