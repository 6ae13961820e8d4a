// Find in files: the search engine that walks files (a list, or directories with masks) and
// matches their lines with the editor kernel's string search, and the search object that runs
// it on the "Find in Files Thread" and hands every hit to the message view on the main thread.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "shared/exceptions.h"
#include "shared/searchflags.h"

namespace nxs {

class TBaseProject;
class TEvMessageGroup;
class TLine;
class TProjectGroup;
class TSearchLineBuffer;

enum TAdvancedSearch : uint8_t { asNone, asProjectFiles, asOpenFiles, asFileMask, asProjectGroup };
enum TAdvancedSearchFlag : uint8_t { asfIncludeSubDirs, asfSeparateResults, asfGroupByFile };
// A set of TAdvancedSearchFlag, bit N for the flag of ordinal N.
using TAdvancedSearchFlags = uint8_t;
constexpr TAdvancedSearchFlags AdvFlag(TAdvancedSearchFlag F) { return static_cast<TAdvancedSearchFlags>(1u << F); }

// A path to search that does not exist.
class EFOpenError : public Exception {
 public:
  using Exception::Exception;
};

// One hit: columns count from 1; the character column counts UTF-8 characters, the match
// length UTF-16 units, as the message view measures them.
struct TFindHit {
  int32_t Line = 0;
  int32_t ByteColumn = 0;
  int32_t CharColumn = 0;
  int32_t MatchLength = 0;
  std::string LineText;
};

// The hits of one file, in line order.
struct TFileHits {
  std::string FileName;
  std::vector<TFindHit> Hits;
};

// The form-text form of a search text: each character above 127 as "#" and its decimal code,
// a "'" at every switch between those and plain characters.
std::string FormTextOf(std::string_view Text);

// Matches a text line by line with the kernel's string search on a view of its own (made on
// the calling thread): one kernel call over the whole text finds the next candidate, and
// only a line holding one is searched line by line, so the hits are exactly those of the
// kernel's line search. Lines end at LF, CR, CR LF or LF CR; a final line without a break is
// searched; a line of any length is searched whole.
class TLineMatcher {
 public:
  TLineMatcher(std::string Pattern, TSearchFlags Flags, bool Brief);
  ~TLineMatcher();
  TLineMatcher(const TLineMatcher&) = delete;  // owns a kernel view
  TLineMatcher& operator=(const TLineMatcher&) = delete;

  // Appends the hits of Text to Hits; false when Stop was raised meanwhile.
  bool Search(std::string_view Text, std::vector<TFindHit>& Hits, const std::atomic<bool>* Stop = nullptr);
  // The kernel's status of the last call (0: the pattern is usable).
  int Status() const { return FStatus; }
  // Why the kernel refused the pattern (Status not 0), in the words of its expression engine.
  std::string StatusMessage() const;

 private:
  struct TView;
  bool Find(std::string_view Text, size_t& Pos, size_t& Len);
  // The first occurrence of FLiteral; npos when none.
  size_t FindCandidate(std::string_view Text) const;
  void SearchLine(std::string_view Line, int32_t LineNo, std::vector<TFindHit>& Hits);
  // A pattern whose matches are its occurrences: one scan over the whole text finds every hit.
  bool SearchBytes(std::string_view Text, std::vector<TFindHit>& Hits, const std::atomic<bool>* Stop);

  std::string FPattern;
  std::string FKernelPattern;  // after BRIEF conversion
  std::string FLiteral;  // a pattern the whole-text scan may look for byte for byte; empty: none
  bool FFoldLiteral = false;  // FLiteral is in lower case and found with ASCII case folded
  size_t FRare1 = 0, FRare2 = 0;  // the positions of FLiteral the scan compares first
  bool FBytesOnly = false;  // its matches are exactly its occurrences: no kernel call at all
  TSearchFlags FFlags;
  bool FBrief;
  int FStatus = 0;
  std::unique_ptr<TView> FView;
};

// A run of characters that every match of a regular expression holds (lower-cased when Fold);
// empty when none is known.
std::string RequiredLiteral(std::string_view Pattern, bool Fold);

// Raises Exception when the pattern is empty or the kernel cannot use it.
void CheckSearchPattern(const std::string& Pattern, TSearchFlags Flags, bool Brief);

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
// current directory when none is given. Raises EFOpenError for a path that does not exist.
std::vector<std::string> PrepareSearchDirectories(const std::string& Directories);

// Runs one search: the files in a stable order (a list as given, directories depth first
// with their entries sorted by name, each directory once however often it is reached), read
// by several threads, their hits handed to Sink in that order on the thread that called Run.
// The bytes of the file being searched: a view of the editor's captured text, of the read
// storage (kept by a searching thread from file to file), or of a converted form.
struct TSearchText {
  std::string_view View;
  std::unique_ptr<char[]> Data;
  size_t Capacity = 0;
  std::string Converted;
};

class TFindEngine {
 public:
  explicit TFindEngine(TFindRequest Request);
  ~TFindEngine();
  TFindEngine(const TFindEngine&) = delete;  // threads point at it while it runs
  TFindEngine& operator=(const TFindEngine&) = delete;
  // Sink: the hits of each file that has some, in file order; OnFile: every file, in that
  // order, before its hits. Both run on the calling thread. Returns false when cancelled.
  bool Run(const std::function<void(TFileHits&)>& Sink, const std::function<void(const std::string&)>& OnFile = {});
  // Stops every thread at its next line block; safe from any thread.
  void Cancel() { FStop = true; }
  bool Cancelled() const { return FStop; }
  // The files a run searches, in order (directory scopes walk the disk here).
  std::vector<std::string> CollectFiles();

 private:
  // A searching thread's matchers: the search text's, and the form-text form's once a
  // form file needs it.
  struct TMatchers {
    std::unique_ptr<TLineMatcher> Text;
    std::unique_ptr<TLineMatcher> Form;
  };
  // The directories walked, by device and inode.
  using TVisited = std::set<std::pair<uint64_t, uint64_t>>;
  // Takes a run of files found (and empties it).
  using TPublish = std::function<void(std::vector<std::string>&)>;
  static constexpr size_t PublishRun = 16;
  // Appends the files of Dir (and its subdirectories when asked) to Out, handing Out to
  // Publish, when given, whenever it holds PublishRun files.
  void Walk(const std::string& Dir, const std::vector<std::string>& Masks, std::vector<std::string>& Out,
            TVisited& Visited, const TPublish* Publish);
  // Every directory; with Publish, Out is handed over at the end too.
  void WalkAll(std::vector<std::string>& Out, const TPublish* Publish);
  void SearchFile(const std::string& Name, TMatchers& M, TSearchText& Text, TFileHits& Hits);

  TFindRequest FRequest;
  std::vector<std::string> FDirectories;
  std::string FFormText;
  bool FSecondPass = false;  // a directory search looks for the form-text form in form files
  std::atomic<bool> FStop{false};
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

 private:
  void Execute();
  void ReportFile(TFileHits& Hits);  // main thread; takes the hits' texts
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

// Starts a search (stopping one that runs); raises EFOpenError for a missing path before any
// thread runs. asNone starts nothing.
void DoFindInFiles(const TFindRequest& Request);
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
