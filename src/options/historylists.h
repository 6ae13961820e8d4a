// The history lists: the recent entries of the environment's combo boxes (search texts,
// directories, expressions...), kept under "History Lists", most recent first.
#pragma once

#include <array>
#include <string>
#include <string_view>
#include <vector>

namespace nxs {

class TSettingsStore;

// One enumerator per list. The debug source path list is one list, however many dialogs
// show it.
enum THistoryList {
  hlBlockIndent,
  hlUndoLimit,
  hlTabStops,
  hlSyntaxExtensions,
  hlRightMargin,
  hlGutterWidth,
  hlLibraryUnitAliases,
  hlCollapseNodes,
  hlIncludePath,
  hlDebugSourcePath,
  hlConditionalDefines,
  hlUnitAliases,
  hlSearchText,
  hlSearchReplaceText,
  hlReplaceText,
  hlFileMasks,
  hlSearchDirectory,
  hlGotoAddress,
  hlGotoLine,
  hlBinChange,
  hlBinGoto,
  hlBinSearch,
  hlChangeExpression,
  hlTypeCastExpression,
  hlInspectExpression,
  hlAddExceptionExpression,
  hlFindError,
  hlAddModule,
  hlEvalExpression,
  hlEvalNewValue,
  hlWatchExpression,
  hlWatchGroup,
  hlSearchSymbol,
  hlAddORBActionInterface,
  hlAddORBActionObject,
  hlAddORBActionOperation,
  hlBPFileName,
  hlBPLineNumber,
  hlBPAddress,
  hlBPLength,
  hlBPCondition,
  hlBPPassCount,
  hlBPGroup,
  hlBPLogMessage,
  hlBPEvalExpression,
  hlDebugSymbolSearchPath,
  hlHostApplication,
  hlRunParameters,
  hlRemotePath,
  hlRemoteHost,
  hIPackgeSearchPath,
  hlCppOcxSuffix,
  hlDebugCWD,
  hlLauncherApplication,
  hlDebugeeDisplay,
  hlBPStackFramesToLog,
  hlAddCommentToEventLog,
  hlDirectoryFileMasks,
  hlDefaultProjectDir,
  hlRepositoryDir,
  hlAttachRemoteHost,
  hlDirectoryLists,
  hlThreadName,
  hlRemoteProfileHostName,
  hlRemoteProfilePortNumber,
  hlRemoteProfileLocalRoot,
  hlRemoteProfileRemoteIncludePathsPath,
  hlRemoteProfileRemoteIncludePathsMask,
  hlDeploymentMgrRemotePath,
};

inline constexpr int HistoryListCount = 69;
extern const std::array<const char*, HistoryListCount> HistoryListNames;

class THistoryLists {
 public:
  explicit THistoryLists(TSettingsStore& Store) : FStore(Store) {}
  THistoryLists(const THistoryLists&) = delete;  // bound to its store
  THistoryLists& operator=(const THistoryLists&) = delete;

  // Entries beyond this many are dropped, the oldest first.
  static constexpr int MaxEntries = 25;

  void Load();
  // Saves the lists changed since they were loaded or saved: their additions and clearings
  // are made again on each list as the store holds it then, in one locked step, so that
  // entries another process added meanwhile stay. Unchanged lists are not written.
  void Save();
  const std::vector<std::string>& Items(THistoryList List) const { return FLists[List]; }
  // Puts Text first; an equal entry (case counts: "Foo" and "foo" are different searches)
  // moves instead of repeating. Empty texts are not kept.
  void Add(THistoryList List, std::string_view Text);
  void Clear(THistoryList List);
  // The list named "hlSearchText" and so on, without regard to case; -1 when none.
  static int IndexOfName(std::string_view Name);

 private:
  std::vector<std::string> ReadList(int List);

  TSettingsStore& FStore;
  std::array<std::vector<std::string>, HistoryListCount> FLists;
  // Per list, what changed since the last load or save: texts added in order, an empty
  // text standing for a clearing.
  std::array<std::vector<std::string>, HistoryListCount> FChanges;
};

}  // namespace nxs
