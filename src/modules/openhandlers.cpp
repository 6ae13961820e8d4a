// Open handlers and the filter list that picks one for a file.
#include "modules/openhandlers.h"

#include <algorithm>
#include <map>

#include "modules/docmodule.h"
#include "modules/resstrings.h"
#include "shared/filenames.h"
#include "shared/format.h"
#include "shared/text.h"

namespace nxs {

namespace {

std::vector<TFileOpenHandler*>& Handlers() {
  static std::vector<TFileOpenHandler*> List;
  return List;
}

// How many times each registered handler was registered: start-up and a session may both
// register one, and the first to unregister must not take it from the other.
std::map<TFileOpenHandler*, int>& Registrations() {
  static std::map<TFileOpenHandler*, int> Counts;
  return Counts;
}

TFileOpenHandler*& DefaultSlot() {
  static TFileOpenHandler* H = nullptr;
  return H;
}

void (*LayoutHook)(const std::string&) = nullptr;

// The masks of a filter string: the part after its first "|", split at ";".
std::vector<std::string> MasksOf(const std::string& FilterStr) {
  const size_t Bar = FilterStr.find('|');
  if (Bar == std::string::npos) return {};
  std::vector<std::string> Masks;
  for (auto& M : Split(FilterStr.substr(Bar + 1), ';'))
    if (!Trim(M).empty()) Masks.push_back(Trim(M));
  return Masks;
}

}  // namespace

void SetSwitchLayoutHook(void (*Hook)(const std::string&)) { LayoutHook = Hook; }

void SwitchToLayout(const std::string& LayoutName) {
  if (LayoutHook) LayoutHook(LayoutName);
}

void NotifyFileOpening(const std::string& FileName) {
  if (!SendFileNotification(TFileNotification::fnFileOpening, FileName)) throw EAbort();
}

void NotifyFileOpened(const std::string& FileName) {
  SendFileNotification(TFileNotification::fnFileOpened, FileName);
  TEvFileNotification Args(static_cast<int>(TFileNotification::fnFileOpened), FileName);
  EvFileNotification().Send(Args);
}

// -- Handlers ----------------------------------------------------------------------------------

TDocModule* TFileOpenHandler::FileOpen(int FilterID, const std::string& FileName, bool Show, TDocModule* AOwnerModule) {
  TDocModule* M = DoFileOpen(FilterID, FileName, Show, AOwnerModule);
  if (M || ExtractFileExt(FileName) != res::SRetiredProjectExt) return M;
  for (const char* Ext : {".vproj", ".kzproj"})
    if (TDocModule* Open = FindDocModule(ChangeFileExt(FileName, Ext))) return Open;
  return nullptr;
}

void RegisterOpenHandler(TFileOpenHandler* Handler) {
  if (!Handler || Registrations()[Handler]++ > 0) return;
  Handlers().push_back(Handler);
}

void UnregisterOpenHandler(TFileOpenHandler* Handler) {
  auto It = Registrations().find(Handler);
  if (It != Registrations().end() && --It->second > 0) return;
  if (It != Registrations().end()) Registrations().erase(It);
  std::erase(Handlers(), Handler);
  if (DefaultSlot() == Handler) DefaultSlot() = nullptr;
}

const std::vector<TFileOpenHandler*>& OpenHandlers() { return Handlers(); }

void SetDefaultFileHandler(TFileOpenHandler* Handler) { DefaultSlot() = Handler; }
TFileOpenHandler* DefaultFileHandler() { return DefaultSlot(); }

std::unique_ptr<TFilterList> GetOpenFilterList(bool ProjectOnly) {
  auto List = std::make_unique<TFilterList>();
  for (TFileOpenHandler* H : Handlers()) {
    std::vector<TFilterItem> Items;
    H->GetFilters(Items, ProjectOnly);
    for (auto& I : Items) {
      if (!I.Handler) I.Handler = H;
      List->Add(std::move(I));
    }
  }
  return List;
}

TDocModule* CallDefaultOpenProc(const std::string& FileName, bool Show, TDocModule* AOwnerModule) {
  // Names compare exactly here, so there is no letter case to correct: the name is only
  // made absolute.
  return GetOpenFilterList(false)->OpenFile(ExpandFileName(FileName), Show, AOwnerModule, -1);
}

// -- The filter list ---------------------------------------------------------------------------

void TFilterList::Add(TFilterItem Item) {
  FFilters.push_back(std::move(Item));
  FBuilt = false;
}

void TFilterList::BuildEntries() {
  if (FBuilt) return;
  FEntries.clear();
  std::vector<std::string> Combined;
  for (const auto& I : FFilters) {
    if (!I.InAllFilters) continue;
    for (auto& M : MasksOf(I.FilterStr))
      if (std::find(Combined.begin(), Combined.end(), M) == Combined.end()) Combined.push_back(M);
  }
  if (!Combined.empty()) {
    const std::string Masks = Join(Combined, ";");
    FEntries.push_back(
        {Format(res::SCombinedFilter, res::SMakerName, res::SProductName) + Format(res::SCombinedFilterMasks, Masks),
         nullptr});
  }
  for (const auto& I : FFilters) FEntries.push_back({I.FilterStr, &I});
  FEntries.push_back({res::SAnyFileFilter, nullptr});
  std::vector<std::string> Texts;
  for (auto& E : FEntries) Texts.push_back(E.Text);
  FDialogFilterStrings = Join(Texts, "|");
  FBuilt = true;
}

const std::string& TFilterList::GetFilterString() {
  BuildEntries();
  return FDialogFilterStrings;
}

int TFilterList::GetFilterIndex(const std::string& FileName) {
  BuildEntries();
  const std::string Wanted = "*" + ExtractFileExt(FileName);
  for (size_t I = 0; I < FEntries.size(); ++I) {
    if (Split(FEntries[I].Text, '|').size() < 2) continue;
    for (auto& M : MasksOf(FEntries[I].Text))
      if (SameText(M, Wanted)) return static_cast<int>(I) + 1;
  }
  return 0;
}

TDocModule* TFilterList::OpenFile(const std::string& FileName, bool Show, TDocModule* AOwnerModule,
                                  int DialogFilterIndex) {
  TFileOpenHandler* Winner = nullptr;
  int FilterID = -1;
  const std::vector<TFileOpenHandler*> All = Handlers();
  for (auto It = All.rbegin(); !Winner && It != All.rend(); ++It)
    if ((*It)->IsPrefilter() && (*It)->CanOpen(-1, FileName)) Winner = *It;
  if (!Winner && DialogFilterIndex != -1) {
    BuildEntries();
    const int I = DialogFilterIndex - 1;
    if (I >= 0 && static_cast<size_t>(I) < FEntries.size() && FEntries[static_cast<size_t>(I)].Item) {
      const TFilterItem& Item = *FEntries[static_cast<size_t>(I)].Item;
      if (Item.Handler && Item.Handler->CanOpen(Item.FilterID, FileName)) {
        Winner = Item.Handler;
        FilterID = Item.FilterID;
      }
    }
  }
  for (auto It = All.rbegin(); !Winner && It != All.rend(); ++It)
    if (!(*It)->IsPrefilter() && (*It)->CanOpen(-1, FileName)) Winner = *It;
  if (!Winner) Winner = DefaultFileHandler();
  if (!Winner) return nullptr;
  NotifyFileOpening(FileName);
  TDocModule* M = Winner->FileOpen(FilterID, FileName, Show, AOwnerModule);
  if (M) SwitchToLayout(res::SDefaultLayout);
  return M;
}

}  // namespace nxs
