#include "options/historylists.h"

#include <algorithm>

#include "options/resstrings.h"
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

std::vector<std::string> THistoryLists::ReadList(int List) {
  std::string Key = ListKey(List);
  std::vector<std::string> Items;
  int64_t Count = std::clamp<int64_t>(FStore.ReadInteger(Key, "Count", 0), 0, MaxEntries);
  for (int64_t I = 0; I < Count; ++I) {
    std::string Item = FStore.ReadString(Key, Format("Item%d", I));
    if (!Item.empty() && std::find(Items.begin(), Items.end(), Item) == Items.end()) Items.push_back(Item);
  }
  return Items;
}

void THistoryLists::Load() {
  for (int L = 0; L < HistoryListCount; ++L) {
    FLists[L] = ReadList(L);
    FChanges[L].clear();
  }
}

static void AddTo(std::vector<std::string>& Items, std::string_view Text) {
  std::erase(Items, Text);
  Items.insert(Items.begin(), std::string(Text));
  if (Items.size() > THistoryLists::MaxEntries) Items.resize(THistoryLists::MaxEntries);
}

void THistoryLists::Save() {
  FStore.Locked([&] {
    for (int L = 0; L < HistoryListCount; ++L) {
      if (FChanges[L].empty()) continue;
      std::vector<std::string> Items = ReadList(L);
      for (const auto& Change : FChanges[L]) {
        if (Change.empty()) Items.clear();
        else AddTo(Items, Change);
      }
      std::string Key = ListKey(L);
      FStore.EraseSection(Key);
      if (!Items.empty()) {
        FStore.WriteInteger(Key, "Count", static_cast<int64_t>(Items.size()));
        for (size_t I = 0; I < Items.size(); ++I) FStore.WriteString(Key, Format("Item%d", I), Items[I]);
      }
      FLists[L] = std::move(Items);
    }
  });
  for (auto& C : FChanges) C.clear();
}

void THistoryLists::Add(THistoryList List, std::string_view Text) {
  if (Text.empty()) return;
  AddTo(FLists[List], Text);
  FChanges[List].emplace_back(Text);
}

void THistoryLists::Clear(THistoryList List) {
  FLists[List].clear();
  FChanges[List].assign(1, std::string());
}

}  // namespace nxs
