#include "environment/dirgroups.h"

#include <algorithm>
#include <memory>

#include "environment/findinfiles.h"
#include "shared/settings.h"

namespace nxs {

namespace {

constexpr const char* DirectoryListsSection = "Search\\DirectoryLists";
// How deep references to groups inside groups are followed.
constexpr size_t MaxGroupDepth = 16;

std::string_view WithoutPrefix(std::string_view Name) {
  if (TDirectoryGroups::IsDirectoryGroup(Name)) Name.remove_prefix(1);
  return Name;
}

}  // namespace

TDirectoryGroups::~TDirectoryGroups() {
  if (!FModified) return;
  try {
    Save();
  } catch (const std::exception&) {
    // The store reports a file it cannot write; the groups are lost with the process.
  }
}

void TDirectoryGroups::Load() {
  FGroups.clear();
  TSettingsStore& S = SettingsStore();
  for (const auto& Name : S.ReadValueNames(DirectoryListsSection))
    FGroups[Name] = S.ReadString(DirectoryListsSection, Name);
  FModified = false;
}

void TDirectoryGroups::Save() {
  TSettingsStore& S = SettingsStore();
  TSettingsUpdate Batch(S);
  S.EraseSection(DirectoryListsSection);
  for (const auto& [Name, List] : FGroups) S.WriteString(DirectoryListsSection, Name, List);
  FModified = false;
}

bool TDirectoryGroups::IsValidGroup(std::string_view Text) const {
  return IsDirectoryGroup(Text) && FGroups.count(WithoutPrefix(Text)) > 0;
}

void TDirectoryGroups::GetDirectoryList(std::string_view Name, std::vector<std::string>& List) const {
  List.clear();
  auto It = FGroups.find(Name);
  if (It == FGroups.end()) return;
  for (auto& Item : Split(It->second, ';'))
    if (!Item.empty()) List.push_back(Item);
}

void TDirectoryGroups::UnwindInto(std::string_view Name, std::vector<std::string>& List, bool Recurse,
                                  std::vector<std::string>& Path, std::vector<std::string>* Cycles) const {
  Name = WithoutPrefix(Name);
  auto It = FGroups.find(Name);
  if (It == FGroups.end() || Path.size() >= MaxGroupDepth) return;
  auto Same = [&](const std::string& P) { return SameText(P, It->first); };
  if (std::any_of(Path.begin(), Path.end(), Same)) {
    if (Cycles && std::none_of(Cycles->begin(), Cycles->end(), Same)) Cycles->push_back(It->first);
    return;
  }
  Path.push_back(It->first);
  for (auto& Item : SplitSearchList(It->second)) {
    if (IsDirectoryGroup(Item) && Recurse)
      UnwindInto(Item, List, true, Path, Cycles);
    else
      List.push_back(std::move(Item));
  }
  Path.pop_back();
}

void TDirectoryGroups::Unwind(std::string_view Name, std::vector<std::string>& List, bool Recurse,
                              std::vector<std::string>* Cycles) const {
  std::vector<std::string> Path;
  UnwindInto(Name, List, Recurse, Path, Cycles);
}

std::string TDirectoryGroups::Unwind(std::string_view Name, bool Recurse) const {
  std::vector<std::string> List;
  Unwind(Name, List, Recurse);
  return Join(List, ";");
}

std::vector<std::string> TDirectoryGroups::Names() const {
  std::vector<std::string> Out;
  for (const auto& [Name, List] : FGroups) Out.push_back(Name);
  return Out;
}

std::string TDirectoryGroups::GetGroup(std::string_view Name) const {
  auto It = FGroups.find(WithoutPrefix(Name));
  return It == FGroups.end() ? std::string() : It->second;
}

void TDirectoryGroups::SetGroup(const std::string& Name, const std::string& Directories) {
  std::string Key(WithoutPrefix(Name));
  auto It = FGroups.find(Key);
  if (It != FGroups.end()) FGroups.erase(It);  // a new spelling of the name replaces the old
  FGroups[Key] = Directories;
  FModified = true;
}

void TDirectoryGroups::DeleteGroup(std::string_view Name) {
  auto It = FGroups.find(WithoutPrefix(Name));
  if (It == FGroups.end()) return;
  FGroups.erase(It);
  FModified = true;
}

namespace {

std::unique_ptr<TDirectoryGroups>& Instance() {
  // The store is made first so that it outlives the groups, which save into it as they go.
  SettingsStore();
  static std::unique_ptr<TDirectoryGroups> Groups;
  return Groups;
}

}  // namespace

TDirectoryGroups& DirectoryGroups() {
  if (!Instance()) {
    Instance() = std::make_unique<TDirectoryGroups>();
    Instance()->Load();
  }
  return *Instance();
}

void ResetDirectoryGroups() { Instance().reset(); }

}  // namespace nxs
