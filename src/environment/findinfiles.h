// Find in files: the search engine that walks files (a list, or directories with masks) and
// matches their lines with the editor kernel's string search, and the search object that runs
// it on the "Find in Files Thread" and hands every hit to the message view on the main thread.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "shared/exceptions.h"
#include "shared/searchflags.h"

namespace nxs {

class TSearchLineBuffer;
class TLine;
class TEvMessageGroup;

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

// The form-text form of a search text: runs of characters above 127 as "#" and the decimal
// code, switches between them and plain runs marked by "'".
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

 private:
  struct TView;
  bool Find(std::string_view Text, size_t& Pos, size_t& Len);
  void SearchLine(std::string_view Line, int32_t LineNo, std::vector<TFindHit>& Hits);

  std::string FPattern;
  std::string FKernelPattern;  // after BRIEF conversion
  std::string FLiteral;  // a pattern the whole-text scan may look for byte for byte; empty: none
  bool FFoldLiteral = false;  // FLiteral is in lower case and found with ASCII case folded
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
  unsigned Threads = 0;            // 0: one per core
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
class TFindEngine {
 public:
  explicit TFindEngine(TFindRequest Request);
  // Progress: the file about to be handed over; Sink: its hits (only files with hits).
  // Returns false when cancelled.
  bool Run(const std::function<void(const TFileHits&)>& Sink);
  // Stops every thread at its next line block; safe from any thread.
  void Cancel() { FStop = true; }
  bool Cancelled() const { return FStop; }
  // The files a run searches, in order (directory scopes walk the disk here).
  std::vector<std::string> CollectFiles();

 private:
  void Walk(const std::string& Dir, const std::vector<std::string>& Masks, std::vector<std::string>& Out,
            std::vector<std::string>& Visited);

  TFindRequest FRequest;
  std::vector<std::string> FDirectories;
  std::atomic<bool> FStop{false};
};

// Where the text of a file comes from: the unsaved text of a file open in the editor, else
// the disk. Set on the main thread before a search (CFileOpen serves it); read by the search
// threads.
class TSearchTextSource {
 public:
  virtual ~TSearchTextSource() = default;
  // False when the file cannot be read.
  virtual bool Read(const std::string& FileName, std::string& Text) = 0;
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
  void ReportFile(const TFileHits& Hits);  // main thread
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

// Starts a search (stopping one that runs); raises EFOpenError for a missing path before any
// thread runs. asNone starts nothing.
void DoFindInFiles(const TFindRequest& Request);
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
// the search reads the disk for other files. Hook: the names of the open files (the host's,
// or the module list's).
void SetOpenFileNamesHook(std::function<std::vector<std::string>()> Hook);
std::vector<std::string> OpenFileNames();

// The group title of a search text: cut to 20 characters with "...", "&" doubled.
std::string SearchGroupTitle(std::string_view Text);

}  // namespace nxs
