// Find in files: the search engine that walks files (a list, or directories with masks) and
// matches their lines with the editor kernel's string search (linematcher.h), and the search
// object that runs it on the "Find in Files Thread" and hands every hit to the message view
// on the main thread.
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
#include <thread>
#include <vector>

#include "build/messages/msglines.h"
#include "environment/filescan.h"
#include "environment/linematcher.h"
#include "shared/exceptions.h"
#include "shared/searchflags.h"

namespace nxs {

class TBaseProject;
class TProjectGroup;

enum TAdvancedSearch : uint8_t { asNone, asProjectFiles, asOpenFiles, asFileMask, asProjectGroup };
enum TAdvancedSearchFlag : uint8_t { asfIncludeSubDirs, asfSeparateResults, asfGroupByFile };
// A set of TAdvancedSearchFlag, bit N for the flag of ordinal N.
using TAdvancedSearchFlags = uint8_t;
constexpr TAdvancedSearchFlags AdvFlag(TAdvancedSearchFlag F) { return static_cast<TAdvancedSearchFlags>(1u << F); }

// A run of hits of one file, in line order; a file's runs come one after another. Problem: the
// file or folder could not be read, or not wholly (the message, naming it and why); it comes
// after the file's hits.
struct TFileHits {
  std::string FileName;
  std::vector<TFindHit> Hits;
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

// Splits at "," and ";", trimming blanks and tabs; empty items are dropped.
std::vector<std::string> SplitSearchList(std::string_view Text);
// Wildcard match of a lower-cased name against a lower-cased mask ("*", "?"); "*.*" takes
// every name.
bool MatchesSearchMask(std::string_view Name, std::string_view Mask);

// The directories of a directory search, unwound, expanded, each with a trailing "/", the
// current directory when none is given; a file named where a directory is expected stays a
// file (no trailing "/"), searched whatever the masks. Raises Exception for a path that does
// not exist, EInOutError with the system's text for a directory that cannot be read. List,
// when not empty, takes the place of Directories (see TFindRequest::DirectoryList).
std::vector<std::string> PrepareSearchDirectories(const std::string& Directories,
                                                  const std::vector<std::string>& List = {});

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
  // Searches one file, handing its hits to Emit as they gather; the problem, if any.
  std::string SearchFile(const std::string& Name, TMatchers& M, TScanBuffer& Buffer, const THitRun& Emit);
  // Searches Text, a run of Name's lines from line FirstLine, with both passes.
  void SearchText(const std::string& Name, std::string_view Text, int32_t FirstLine, TMatchers& M,
                  std::vector<TFindHit>& Hits, const THitRun& Emit);

  TFindRequest FRequest;
  std::vector<std::string> FDirectories;
  std::string FFormText;
  bool FSecondPass = false;  // a directory search looks for the form-text form in form files
  std::atomic<bool> FStop{false};
  // A run's hand-over: the threads wait on these, and a cancel wakes them.
  std::mutex FLock;
  std::condition_variable FFound, FFilled, FDrained;
};

// A line of a search group that tells of a file or folder that could not be read.
class TSearchProblemLine : public TTitleLine {
 public:
  using TTitleLine::TTitleLine;
};

// The running search: the "Find in Files Thread" and its message group.
class TThreadSearch {
 public:
  explicit TThreadSearch(TFindRequest Request);
  ~TThreadSearch();  // terminates and waits
  TThreadSearch(const TThreadSearch&) = delete;  // owns a thread
  TThreadSearch& operator=(const TThreadSearch&) = delete;

  void Start();
  void Terminate();
  void WaitFor();
  bool Finished() const { return FFinished; }
  int32_t HitCount() const { return FHitCount; }
  bool Terminated() const { return FEngine.Cancelled(); }
  TSearchLineBuffer* Group() const { return FGroup; }
  // The files and folders that could not be read so far (main thread).
  const std::vector<std::string>& Problems() const { return FProblems; }
  // Called on the main thread each time a batch of hits has joined the group: a host that
  // prints the lines and lets them go keeps the group small while the batches keep coming.
  void SetOnReported(std::function<void()> Fn) { FOnReported = std::move(Fn); }

 private:
  void Execute();
  void ReportFile(TFileHits& Hits);  // main thread; takes the hits' texts
  TSearchLineBuffer& MakeGroup();   // main thread: the search group, made on first use
  void GroupRemoved(TEvMessageGroup& Args);

  TFindRequest FRequest;
  TFindEngine FEngine;
  std::thread FThread;
  std::atomic<bool> FFinished{false};
  std::atomic<int32_t> FHitCount{0};
  TSearchLineBuffer* FGroup = nullptr;
  TLine* FFileTitle = nullptr;
  std::string FFileTitleName;
  bool FGroupRemoved = false;
  std::vector<std::string> FProblems;
  std::function<void()> FOnReported;
};

// The progress window's model: the file being searched and the hits so far, and the Cancel
// that asks the running search to stop. The search writes it; the window reads it.
class TSearchProgress {
 public:
  void Show(std::function<void()> OnCancel);
  void Close();
  bool Visible() const;
  std::string FileName() const;
  int32_t HitCount() const;
  void SetFileName(const std::string& Name);
  void SetHitCount(int32_t Count);
  // The window's Cancel button.
  void Cancel();

 private:
  mutable std::mutex FLock;
  bool FVisible = false;
  std::string FFileName;
  int32_t FHitCount = 0;
  std::function<void()> FOnCancel;
};
TSearchProgress& SearchProgress();

// The projects the project scopes search: the active project and the project group. The
// environment's owner of projects fills the hook; without it no project is open.
struct TSearchProjects {
  TBaseProject* Active = nullptr;
  TProjectGroup* Group = nullptr;
};
void SetSearchProjectsHook(std::function<TSearchProjects()> Hook);
TSearchProjects SearchProjects();
// A project's search files: the project file, the files it lists and the forms beside them.
std::vector<std::string> ProjectSearchFiles(const TBaseProject& Project);
// Every project's search files, in project order, each name once where it first comes.
std::vector<std::string> GroupSearchFiles(const TProjectGroup& Group);

// Starts a search (stopping one that runs); raises Exception for a missing path before any
// thread runs. asNone starts nothing.
void DoFindInFiles(const TFindRequest& Request);
// Runs a search to its end on the calling thread without the message view: each file's runs
// of hits, and the problem of each file or folder that could not be read, are handed to Sink
// in file order as they come. The scope is resolved and the open files' texts are taken as
// DoFindInFiles does; raises Exception for a missing path. What a command-line search
// prints comes this way: the message view's lines cost more than the search itself.
void RunFindInFiles(const TFindRequest& Request, const std::function<void(TFileHits&)>& Sink);
// The search dialog: true on OK, after it stored its values in the environment options (the
// search text first in the search-text history, the flags, masks, directory and advanced
// flags in the search options, the scope under FindInFilesScopeValue).
void SetFindInFilesDialog(std::function<bool()> Dialog);
inline constexpr const char* FindInFilesScopeSection = "Search\\FindInFiles";
inline constexpr const char* FindInFilesScopeValue = "Scope";
// Shows the dialog and, on OK, starts the search it describes.
void PerformFindInFiles();
// Subdirectories, separate results and grouping by file, from the environment options.
TAdvancedSearchFlags GetAdvancedSearchFlags();
// Stops and frees the running search; true.
bool TerminateFindInFiles();
// Stops the search and forgets the search groups (before the message lines go).
void ResetFindInFiles();
// The running (or last, until the next starts) search; nullptr when none.
TThreadSearch* RunningSearch();
bool SearchRunning();
// The message groups that searches made, oldest first; the last is the current search group.
std::vector<TSearchLineBuffer*> SearchGroups();

// The text of every file open in the editor, captured on the main thread through CFileOpen;
// the search reads the disk for other files. The open files: the hook's names when one is
// set (a host without modules), else those of the module list's file modules.
void SetOpenFileNamesHook(std::function<std::vector<std::string>()> Hook);
std::vector<std::string> OpenFileNames();

// The group title of a search text: cut to 20 characters with "...", "&" doubled.
std::string SearchGroupTitle(std::string_view Text);

}  // namespace nxs
