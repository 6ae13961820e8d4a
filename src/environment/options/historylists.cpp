#include "environment/options/historylists.h"

#include <algorithm>

#include "environment/options/resstrings.h"
#include "shared/format.h"
#include "shared/settings.h"
#include "shared/text.h"

namespace nxs {

const std::array<const char*, HistoryListCount> HistoryListNames = {
    "hlBlockIndent",
    "hlUndoLimit",
    "hlTabStops",
    "hlSyntaxExtensions",
    "hlRightMargin",
    "hlGutterWidth",
    "hlLibraryUnitAliases",
    "hlCollapseNodes",
    "hlIncludePath",
    "hlDebugSourcePath",
    "hlConditionalDefines",
    "hlUnitAliases",
    "hlSearchText",
    "hlSearchReplaceText",
    "hlReplaceText",
    "hlFileMasks",
    "hlSearchDirectory",
    "hlGotoAddress",
    "hlGotoLine",
    "hlBinChange",
    "hlBinGoto",
    "hlBinSearch",
    "hlChangeExpression",
    "hlTypeCastExpression",
    "hlInspectExpression",
    "hlAddExceptionExpression",
    "hlFindError",
    "hlAddModule",
    "hlEvalExpression",
    "hlEvalNewValue",
    "hlWatchExpression",
    "hlWatchGroup",
    "hlSearchSymbol",
    "hlAddORBActionInterface",
    "hlAddORBActionObject",
    "hlAddORBActionOperation",
    "hlBPFileName",
    "hlBPLineNumber",
    "hlBPAddress",
    "hlBPLength",
    "hlBPCondition",
    "hlBPPassCount",
    "hlBPGroup",
    "hlBPLogMessage",
    "hlBPEvalExpression",
    "hlDebugSymbolSearchPath",
    "hlHostApplication",
    "hlRunParameters",
    "hlRemotePath",
    "hlRemoteHost",
    "hIPackgeSearchPath",
    "hlCppOcxSuffix",
    "hlDebugCWD",
    "hlLauncherApplication",
    "hlDebugeeDisplay",
    "hlBPStackFramesToLog",
    "hlAddCommentToEventLog",
    "hlDirectoryFileMasks",
    "hlDefaultProjectDir",
    "hlRepositoryDir",
    "hlAttachRemoteHost",
    "hlDirectoryLists",
    "hlThreadName",
    "hlRemoteProfileHostName",
    "hlRemoteProfilePortNumber",
    "hlRemoteProfileLocalRoot",
    "hlRemoteProfileRemoteIncludePathsPath",
    "hlRemoteProfileRemoteIncludePathsMask",
    "hlDeploymentMgrRemotePath",
};

static std::string ListKey(int List) { return std::string(res::KeyHistoryLists) + "\\" + HistoryListNames[List]; }

int THistoryLists::IndexOfName(std::string_view Name) {
  for (int I = 0; I < HistoryListCount; ++I)
    if (SameText(HistoryListNames[I], Name)) return I;
  return -1;
}

void THistoryLists::Load() {
  for (int L = 0; L < HistoryListCount; ++L) {
    std::string Key = ListKey(L);
    auto& Items = FLists[L];
    Items.clear();
    int64_t Count = std::clamp<int64_t>(FStore.ReadInteger(Key, "Count", 0), 0, MaxEntries);
    for (int64_t I = 0; I < Count; ++I) {
      std::string Item = FStore.ReadString(Key, Format("Item%d", I));
      if (!Item.empty() && std::find(Items.begin(), Items.end(), Item) == Items.end()) Items.push_back(Item);
    }
  }
}

void THistoryLists::Save() {
  TSettingsUpdate Batch(FStore);
  for (int L = 0; L < HistoryListCount; ++L) {
    std::string Key = ListKey(L);
    FStore.EraseSection(Key);
    if (FLists[L].empty()) continue;
    FStore.WriteInteger(Key, "Count", static_cast<int64_t>(FLists[L].size()));
    for (size_t I = 0; I < FLists[L].size(); ++I) FStore.WriteString(Key, Format("Item%d", I), FLists[L][I]);
  }
}

void THistoryLists::Add(THistoryList List, std::string_view Text) {
  if (Text.empty()) return;
  auto& Items = FLists[List];
  std::erase(Items, Text);
  Items.insert(Items.begin(), std::string(Text));
  if (Items.size() > MaxEntries) Items.resize(MaxEntries);
}

}  // namespace nxs
