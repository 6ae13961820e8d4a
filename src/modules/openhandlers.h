// Opening files as modules: the registered open handlers, the filter list that asks them in
// order (prefilters, the filter the user picked, the others, the default handler), and the
// open dialog's filter string.
#pragma once

#include <memory>
#include <string>
#include <vector>

namespace nxs {

class TDocModule;
class TFileOpenHandler;

struct TFilterItem {
  // A description, "|" and masks separated by ";": "Pascal unit (*.pas)|*.pas".
  std::string FilterStr;
  TFileOpenHandler* Handler = nullptr;
  int FilterID = 0;  // passed back to the handler
  bool InAllFilters = false;
};

class TFileOpenHandler {
 public:
  virtual ~TFileOpenHandler() = default;
  // The module the handler opened, or nullptr. For a retired project file (".nxsproj") the
  // handler did not open, the already open module of a current project file of the same
  // base name is returned.
  TDocModule* FileOpen(int FilterID, const std::string& FileName, bool Show, TDocModule* AOwnerModule);
  virtual bool CanOpen(int FilterID, const std::string& FileName) = 0;
  virtual void GetFilters(std::vector<TFilterItem>& List, bool ProjectOnly) = 0;
  virtual bool IsPrefilter() const { return false; }

 protected:
  virtual TDocModule* DoFileOpen(int FilterID, const std::string& FileName, bool Show, TDocModule* AOwnerModule) = 0;
};

class TFilterList {
 public:
  TFilterList() = default;
  TFilterList(const TFilterList&) = delete;  // entries point at items
  TFilterList& operator=(const TFilterList&) = delete;

  void Add(TFilterItem Item);
  int Count() const { return static_cast<int>(FFilters.size()); }
  const TFilterItem& Item(int Index) const { return FFilters.at(static_cast<size_t>(Index)); }

  // The open dialog's filter: the combined entry (when an item is in it), every item, then
  // "Any file (*.*)|*.*", joined with "|". Built once.
  const std::string& GetFilterString();
  // The entry (from 1) one of whose masks is "*" plus the file's extension; 0 when none.
  int GetFilterIndex(const std::string& FileName);
  // Asks the handlers in order and opens the file with the first that can; nullptr when the
  // handler opened nothing. DialogFilterIndex is the entry the user picked (from 1), or -1.
  TDocModule* OpenFile(const std::string& FileName, bool Show, TDocModule* AOwnerModule, int DialogFilterIndex);

 private:
  struct TEntry {
    std::string Text;
    const TFilterItem* Item = nullptr;
  };
  void BuildEntries();

  std::vector<TFilterItem> FFilters;
  std::vector<TEntry> FEntries;
  std::string FDialogFilterStrings;
  bool FBuilt = false;
};

// Registered handlers are borrowed: the registrant unregisters before it goes. A handler
// registered twice (by start-up and by a session) stays until it is unregistered twice.
void RegisterOpenHandler(TFileOpenHandler* Handler);
void UnregisterOpenHandler(TFileOpenHandler* Handler);
const std::vector<TFileOpenHandler*>& OpenHandlers();
// The handler of last resort, asked nothing.
void SetDefaultFileHandler(TFileOpenHandler* Handler);
TFileOpenHandler* DefaultFileHandler();
// A filter list of every registered handler's filters, in registration order.
std::unique_ptr<TFilterList> GetOpenFilterList(bool ProjectOnly);
// Opens FileName through a fresh filter list, no dialog filter picked.
TDocModule* CallDefaultOpenProc(const std::string& FileName, bool Show, TDocModule* AOwnerModule);

// Plug-ins may veto: a veto raises EAbort.
void NotifyFileOpening(const std::string& FileName);
void NotifyFileOpened(const std::string& FileName);

// Called with the name of a desktop layout to switch to ("Default Layout").
void SetSwitchLayoutHook(void (*Hook)(const std::string& LayoutName));
void SwitchToLayout(const std::string& LayoutName);

}  // namespace nxs
