#include "projectfiles/optionmgr.h"

#include <algorithm>

#include "projectfiles/configmgr.h"
#include "projectfiles/projectcontext.h"
#include "projectfiles/resstrings.h"
#include "shared/format.h"

namespace nxs {

// ---- platform checks ------------------------------------------------------------------

bool PlatformIsValid(const std::string& Platform, const std::vector<std::string>& Platforms, IProjectContext* Project) {
  if (Platforms.empty()) return true;
  if (!Platform.empty()) return std::find(Platforms.begin(), Platforms.end(), Platform) != Platforms.end();
  if (!Project || !Project->GetConfigurations()) return false;
  std::vector<std::string> Targeted = Project->GetConfigurations()->GetEnabledPlatforms();
  return Targeted.size() == 1 && std::find(Platforms.begin(), Platforms.end(), Targeted[0]) != Platforms.end();
}

bool FiltersAllow(const std::vector<std::string>& Filters, const std::string& Personality) {
  if (Filters.empty() || Personality.empty()) return true;
  return std::any_of(Filters.begin(), Filters.end(), [&](const std::string& F) { return SameText(F, Personality); });
}

static void AddTo(std::vector<std::string>& List, const std::string& Item) {
  if (std::none_of(List.begin(), List.end(), [&](const std::string& S) { return SameText(S, Item); }))
    List.push_back(Item);
}

static void RemoveFrom(std::vector<std::string>& List, const std::string& Item) {
  std::erase_if(List, [&](const std::string& S) { return SameText(S, Item); });
}

// ---- TProjectOption -------------------------------------------------------------------

void TProjectOption::SetArgument(std::shared_ptr<IOTAOptionArgument> V) {
  FArgument = V ? std::move(V) : std::make_shared<TArgumentInfo>(atString);
}

void TProjectOption::AddFilter(const std::string& Filter) { AddTo(FFilters, Filter); }
void TProjectOption::RemoveFilter(const std::string& Filter) { RemoveFrom(FFilters, Filter); }

bool TProjectOption::SupportsPlatform(const std::string& Platform, IProjectContext* Project) const {
  if (!PlatformIsValid(Platform, FPlatforms, Project)) return false;
  if (!FGroupName.empty())
    if (TOptionGroup* G = OptionManager().GetGroup(FGroupName); G && !G->SupportsPlatform(Platform, Project))
      return false;
  if (!FTaskName.empty())
    if (TCustomTask* T = OptionManager().GetTask(FTaskName); T && !T->SupportsPlatform(Platform, Project))
      return false;
  return true;
}

bool TProjectOption::ValidFor(const std::string& Platform, const std::string& Personality) const {
  return FiltersAllow(FFilters, Personality) && SupportsPlatform(Platform);
}

bool TProjectOption::ValidFor(IProjectContext& Project, const std::string& Platform) const {
  return FiltersAllow(FFilters, Project.GetPersonality()) && SupportsPlatform(Platform, &Project);
}

// ---- TOptionGroup ---------------------------------------------------------------------

void TOptionGroup::AddFilter(const std::string& Filter) { AddTo(FFilters, Filter); }
void TOptionGroup::RemoveFilter(const std::string& Filter) { RemoveFrom(FFilters, Filter); }

void TOptionGroup::AddOption(std::shared_ptr<TProjectOption> Option) {
  if (FOptions.count(Option->Name())) throw EOptionAlreadyExists(Format(res::SOptionAlreadyExists, Option->Name()));
  FOptions[Option->Name()] = Option;
  FOptionList.push_back(std::move(Option));
}

void TOptionGroup::AddGroup(std::shared_ptr<TOptionGroup> Group) { FGroupList.push_back(std::move(Group)); }

TProjectOption& TOptionGroup::GetOption(const std::string& Name) const {
  auto It = FOptions.find(Name);
  if (It == FOptions.end()) throw EOptionNotFound(Format(res::SOptionNotFound, Name));
  return *It->second;
}

TOptionGroup* TOptionGroup::GetGroup(const std::string& Name) const {
  for (const auto& G : FGroupList)
    if (SameText(G->Name(), Name)) return G.get();
  return nullptr;
}

bool TOptionGroup::SupportsPlatform(const std::string& Platform, IProjectContext* Project) const {
  return PlatformIsValid(Platform, FPlatforms, Project);
}

bool TOptionGroup::ValidFor(const std::string& Platform, const std::string& Personality) const {
  return FiltersAllow(FFilters, Personality) && SupportsPlatform(Platform);
}

bool TOptionGroup::ValidFor(IProjectContext& Project, const std::string& Platform) const {
  return FiltersAllow(FFilters, Project.GetPersonality()) && SupportsPlatform(Platform, &Project);
}

bool TMSBuildOptionGroup::SupportsPlatform(const std::string& Platform, IProjectContext* Project) const {
  if (!TOptionGroup::SupportsPlatform(Platform, Project)) return false;
  TCustomTask* Task = OptionManager().GetTask(FTaskName);
  return !Task || Task->SupportsPlatform(Platform, Project);
}

// ---- TCustomTask ----------------------------------------------------------------------

void TCustomTask::AddFilter(const std::string& Filter) { AddTo(FFilters, Filter); }
void TCustomTask::RemoveFilter(const std::string& Filter) { RemoveFrom(FFilters, Filter); }

void TCustomTask::AddOption(std::shared_ptr<TProjectOption> Option) {
  if (FOptions.count(Option->Name())) throw EOptionAlreadyExists(Format(res::SOptionAlreadyExists, Option->Name()));
  FOptions[Option->Name()] = Option;
  FOptionList.push_back(std::move(Option));
}

void TCustomTask::AddGroup(std::shared_ptr<TOptionGroup> Group) { FGroups.push_back(std::move(Group)); }

static TProjectOption* FindInGroup(const TOptionGroup& Group, const std::string& Name) {
  for (const auto& O : Group.Options())
    if (SameText(O->Name(), Name)) return O.get();
  for (const auto& G : Group.Groups())
    if (TProjectOption* O = FindInGroup(*G, Name)) return O;
  return nullptr;
}

TProjectOption* TCustomTask::FindOption(const std::string& Name) const {
  if (auto It = FOptions.find(Name); It != FOptions.end()) return It->second.get();
  for (const auto& G : FGroups)
    if (TProjectOption* O = FindInGroup(*G, Name)) return O;
  return nullptr;
}

TProjectOption& TCustomTask::GetOption(const std::string& Name) const {
  TProjectOption* O = FindOption(Name);
  if (!O) throw EOptionNotFound(Format(res::SOptionNotFound, Name));
  return *O;
}

static TOptionGroup* FindGroup(const std::vector<std::shared_ptr<TOptionGroup>>& Groups, const std::string& Name) {
  for (const auto& G : Groups) {
    if (SameText(G->Name(), Name)) return G.get();
    if (TOptionGroup* Sub = FindGroup(G->Groups(), Name)) return Sub;
  }
  return nullptr;
}

TOptionGroup* TCustomTask::GetGroup(const std::string& Name) const { return FindGroup(FGroups, Name); }

static void CollectOptions(const TOptionGroup& Group, std::vector<std::shared_ptr<TProjectOption>>& Out) {
  for (const auto& O : Group.Options()) Out.push_back(O);
  for (const auto& G : Group.Groups()) CollectOptions(*G, Out);
}

std::vector<std::shared_ptr<TProjectOption>> TCustomTask::GetAllOptions() const {
  std::vector<std::shared_ptr<TProjectOption>> R = FOptionList;
  for (const auto& G : FGroups) CollectOptions(*G, R);
  // An option that sits both in the task and in one of its groups is listed once.
  std::vector<std::shared_ptr<TProjectOption>> Unique;
  for (auto& O : R)
    if (std::find(Unique.begin(), Unique.end(), O) == Unique.end()) Unique.push_back(O);
  return Unique;
}

std::vector<std::string> TCustomTask::GetAllOptionNames() const {
  std::vector<std::string> R;
  for (const auto& O : GetAllOptions()) R.push_back(O->Name());
  return R;
}

bool TCustomTask::SupportsPlatform(const std::string& Platform, IProjectContext* Project) const {
  return PlatformIsValid(Platform, FPlatforms, Project);
}

bool TCustomTask::ValidFor(const std::string& Platform, const std::string& Personality) const {
  return FiltersAllow(FFilters, Personality) && SupportsPlatform(Platform);
}

bool TCustomTask::ValidFor(IProjectContext& Project, const std::string& Platform) const {
  return FiltersAllow(FFilters, Project.GetPersonality()) && SupportsPlatform(Platform, &Project);
}

// ---- TOptionManager -------------------------------------------------------------------

void TOptionManager::AddOption(std::shared_ptr<TProjectOption> Option) {
  if (FOptions.count(Option->Name())) return;
  FOptionOrder.push_back(Option->Name());
  FOptions[Option->Name()] = std::move(Option);
}

void TOptionManager::RemoveOption(const std::string& Name) {
  if (!FOptions.erase(Name)) return;
  std::erase_if(FOptionOrder, [&](const std::string& N) { return SameText(N, Name); });
}

TProjectOption* TOptionManager::GetOption(const std::string& Name) const {
  auto It = FOptions.find(Name);
  return It == FOptions.end() ? nullptr : It->second.get();
}

std::vector<std::string> TOptionManager::GetOptionNames(const std::string& TaskName) const {
  if (TaskName.empty()) return FOptionOrder;
  TCustomTask* Task = GetTask(TaskName);
  return Task ? Task->GetAllOptionNames() : std::vector<std::string>();
}

TCustomTask* TOptionManager::GetTask(const std::string& Name) const {
  for (const auto& T : FTasks)
    if (SameText(T->Name(), Name)) return T.get();
  return nullptr;
}

TOptionGroup* TOptionManager::GetGroup(const std::string& Name) const { return FindGroup(FGroups, Name); }

std::vector<TCustomTask*> TOptionManager::AllTasks() const {
  std::vector<TCustomTask*> R;
  for (const auto& T : FTasks) R.push_back(T.get());
  return R;
}

static void CollectGroupNames(const TOptionGroup& Group, std::vector<std::string>& Names) {
  Names.push_back(Group.Name());
  for (const auto& G : Group.Groups()) CollectGroupNames(*G, Names);
}

void TOptionManager::RegisterTask(std::shared_ptr<TCustomTask> Task) {
  if (GetTask(Task->Name())) throw Exception(Format(res::STaskRegistered, Task->Name()));
  Task->Initialize();
  std::vector<std::string> Names;
  for (const auto& G : Task->Groups()) CollectGroupNames(*G, Names);
  for (size_t I = 0; I < Names.size(); ++I) {
    bool Twice = std::any_of(Names.begin(), Names.begin() + static_cast<long>(I),
                             [&](const std::string& N) { return SameText(N, Names[I]); });
    if (Twice || GetGroup(Names[I])) throw Exception(Format(res::SOptionGroupRegistered, Names[I]));
  }
  FTasks.push_back(Task);
  for (const auto& G : Task->Groups()) FGroups.push_back(G);
  for (const auto& O : Task->GetAllOptions()) AddOption(O);
  for (IOptionManagerListener* L : std::vector<IOptionManagerListener*>(FListeners)) L->TaskRegistered(*Task);
}

void TOptionManager::RemoveTaskOptions(const TCustomTask& Task) {
  for (const auto& O : Task.GetAllOptions()) {
    auto It = FOptions.find(O->Name());
    if (It != FOptions.end() && It->second == O) RemoveOption(O->Name());
  }
  // Another task's option of the same name now answers for it.
  for (const auto& T : FTasks)
    if (T.get() != &Task)
      for (const auto& O : T->GetAllOptions()) AddOption(O);
}

void TOptionManager::UnregisterTask(const std::string& Name) {
  auto It = std::find_if(FTasks.begin(), FTasks.end(), [&](auto& T) { return SameText(T->Name(), Name); });
  if (It == FTasks.end()) return;
  std::shared_ptr<TCustomTask> Task = *It;
  FTasks.erase(It);
  for (const auto& G : Task->Groups()) std::erase(FGroups, G);
  RemoveTaskOptions(*Task);
  for (IOptionManagerListener* L : std::vector<IOptionManagerListener*>(FListeners)) L->TaskUnregistered(*Task);
}

void TOptionManager::RegisterGroup(std::shared_ptr<TOptionGroup> Group) {
  std::vector<std::string> Names;
  CollectGroupNames(*Group, Names);
  for (const auto& N : Names)
    if (GetGroup(N)) throw Exception(Format(res::SOptionGroupRegistered, N));
  FGroups.push_back(Group);
  std::vector<std::shared_ptr<TProjectOption>> Options;
  CollectOptions(*Group, Options);
  for (const auto& O : Options) AddOption(O);
  for (IOptionManagerListener* L : std::vector<IOptionManagerListener*>(FListeners)) L->GroupRegistered(*Group);
}

void TOptionManager::UnregisterGroup(const std::string& Name) {
  auto It = std::find_if(FGroups.begin(), FGroups.end(), [&](auto& G) { return SameText(G->Name(), Name); });
  if (It == FGroups.end()) return;
  std::shared_ptr<TOptionGroup> Group = *It;
  FGroups.erase(It);
  std::vector<std::shared_ptr<TProjectOption>> Options;
  CollectOptions(*Group, Options);
  for (const auto& O : Options) {
    auto Found = FOptions.find(O->Name());
    if (Found != FOptions.end() && Found->second == O) RemoveOption(O->Name());
  }
  for (IOptionManagerListener* L : std::vector<IOptionManagerListener*>(FListeners)) L->GroupUnregistered(*Group);
}

std::vector<TCustomTask*> TOptionManager::FilterTasks(const std::string& Platform) const {
  std::vector<TCustomTask*> R;
  for (const auto& T : FTasks)
    if (T->SupportsPlatform(Platform)) R.push_back(T.get());
  return R;
}

std::vector<TCustomTask*> TOptionManager::FilterTasks(IProjectContext& Project, const std::string& Platform) const {
  std::vector<TCustomTask*> R;
  for (const auto& T : FTasks)
    if (T->ValidFor(Project, Platform)) R.push_back(T.get());
  return R;
}

std::vector<TOptionGroup*> TOptionManager::FilterGroups(const std::string& Platform) const {
  std::vector<TOptionGroup*> R;
  for (const auto& G : FGroups)
    if (G->SupportsPlatform(Platform)) R.push_back(G.get());
  return R;
}

std::vector<TOptionGroup*> TOptionManager::FilterGroups(IProjectContext& Project, const std::string& Platform) const {
  std::vector<TOptionGroup*> R;
  for (const auto& G : FGroups)
    if (G->ValidFor(Project, Platform)) R.push_back(G.get());
  return R;
}

void TOptionManager::AddListener(IOptionManagerListener* Listener) {
  if (std::find(FListeners.begin(), FListeners.end(), Listener) == FListeners.end()) FListeners.push_back(Listener);
}

void TOptionManager::RemoveListener(IOptionManagerListener* Listener) { std::erase(FListeners, Listener); }

TOptionManager& OptionManager() {
  static TOptionManager Manager;
  return Manager;
}

void RegisterTask(std::shared_ptr<TCustomTask> Task) { OptionManager().RegisterTask(std::move(Task)); }
void UnregisterTask(const std::string& Name) { OptionManager().UnregisterTask(Name); }
void RegisterOptionGroup(std::shared_ptr<TOptionGroup> Group) { OptionManager().RegisterGroup(std::move(Group)); }
void UnregisterOptionGroup(const std::string& Name) { OptionManager().UnregisterGroup(Name); }

}  // namespace nxs
