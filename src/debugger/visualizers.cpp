#include "debugger/visualizers.h"

#include <algorithm>

#include "debugger/resstrings.h"
#include "shared/settings.h"

namespace nxs {

namespace {

// "TList<T>" files under "TList<>", so that every instance of the generic type finds it.
std::string LookupName(const std::string& TypeName) {
  const size_t Open = TypeName.find('<');
  if (Open == std::string::npos) return TypeName;
  return TypeName.substr(0, Open) + "<>";
}

template <class T>
void EraseOf(std::vector<std::shared_ptr<T>>& List, const T* Item) {
  List.erase(std::remove_if(List.begin(), List.end(), [&](const auto& P) { return P.get() == Item; }), List.end());
}

}  // namespace

std::vector<std::shared_ptr<IOTADebuggerVisualizer>>& TVisualizerList::DescendantsList(TOTAVisualizerKind Kind) {
  switch (Kind) {
    case vkExternalViewer: return FExternalViewerAllDescendantsList;
    case vkCustomInspector: return FCustomInspectorAllDescendantsList;
    case vkValueReplacer: break;
  }
  return FReplacerAllDescendantsList;
}

void TVisualizerList::File(const TEntry& Entry) {
  const auto& V = Entry.Visualizer;
  const int Kind = std::clamp(static_cast<int>(V->GetKind()), 0, 2);
  for (int I = 0; I < V->GetSupportedTypeCount(); ++I) {
    std::string TypeName;
    bool AllDescendants = false;
    V->GetSupportedType(I, TypeName, AllDescendants);
    if (TypeName.find('<') != std::string::npos) ++FGenericTypeNameCount;
    auto& ForType = FTypeLookup[Kind][LookupName(TypeName)];
    if (std::find(ForType.begin(), ForType.end(), V) == ForType.end()) ForType.push_back(V);
    auto& Descendants = DescendantsList(static_cast<TOTAVisualizerKind>(Kind));
    if (AllDescendants && std::find(Descendants.begin(), Descendants.end(), V) == Descendants.end())
      Descendants.push_back(V);
  }
}

void TVisualizerList::Unfile(const IOTADebuggerVisualizer* Visualizer) {
  for (auto& Kind : FTypeLookup)
    for (auto It = Kind.begin(); It != Kind.end();) {
      EraseOf(It->second, Visualizer);
      It = It->second.empty() ? Kind.erase(It) : std::next(It);
    }
  for (auto* List : {&FReplacerAllDescendantsList, &FExternalViewerAllDescendantsList, &FCustomInspectorAllDescendantsList})
    EraseOf(*List, Visualizer);
  // Count the generic names of what stays filed.
  FGenericTypeNameCount = 0;
  for (const auto& E : FLinearList) {
    if (!E.Enabled || E.Visualizer.get() == Visualizer) continue;
    for (int I = 0; I < E.Visualizer->GetSupportedTypeCount(); ++I) {
      std::string TypeName;
      bool AllDescendants = false;
      E.Visualizer->GetSupportedType(I, TypeName, AllDescendants);
      if (TypeName.find('<') != std::string::npos) ++FGenericTypeNameCount;
    }
  }
}

void TVisualizerList::Add(const std::shared_ptr<IOTADebuggerVisualizer>& Visualizer) {
  if (!Visualizer || IndexOf(Visualizer.get()) >= 0) return;
  TEntry E;
  E.Visualizer = Visualizer;
  E.Enabled = FStore.ReadBool(res::SVisualizersSection, Visualizer->GetVisualizerIdentifier(), true);
  FLinearList.push_back(E);
  if (E.Enabled) File(E);
}

void TVisualizerList::Remove(const IOTADebuggerVisualizer* Visualizer) {
  const int I = IndexOf(Visualizer);
  if (I < 0) return;
  Unfile(Visualizer);
  FLinearList.erase(FLinearList.begin() + I);
}

int TVisualizerList::IndexOf(const IOTADebuggerVisualizer* Visualizer) const {
  for (size_t I = 0; I < FLinearList.size(); ++I)
    if (FLinearList[I].Visualizer.get() == Visualizer) return static_cast<int>(I);
  return -1;
}

bool TVisualizerList::GetEnabled(const IOTADebuggerVisualizer* Visualizer) const {
  const int I = IndexOf(Visualizer);
  return I >= 0 && FLinearList[static_cast<size_t>(I)].Enabled;
}

void TVisualizerList::SetEnabled(const IOTADebuggerVisualizer* Visualizer, bool Enabled) {
  const int I = IndexOf(Visualizer);
  if (I < 0) return;
  TEntry& E = FLinearList[static_cast<size_t>(I)];
  FStore.WriteBool(res::SVisualizersSection, E.Visualizer->GetVisualizerIdentifier(), Enabled);
  if (E.Enabled == Enabled) return;
  E.Enabled = Enabled;
  if (Enabled)
    File(E);
  else
    Unfile(Visualizer);
}

std::shared_ptr<IOTADebuggerVisualizer> TVisualizerList::GetVisualizer(int Index) const {
  if (Index < 0 || static_cast<size_t>(Index) >= FLinearList.size()) return nullptr;
  return FLinearList[static_cast<size_t>(Index)].Visualizer;
}

std::vector<std::shared_ptr<IOTADebuggerVisualizer>> TVisualizerList::Find(
    TOTAVisualizerKind Kind, const std::string& TypeName, const std::vector<std::string>& Ancestors) const {
  const int K = std::clamp(static_cast<int>(Kind), 0, 2);
  std::vector<std::shared_ptr<IOTADebuggerVisualizer>> Result;
  auto It = FTypeLookup[K].find(LookupName(TypeName));
  if (It != FTypeLookup[K].end()) Result = It->second;
  const auto& Descendants = DescendantsList(static_cast<TOTAVisualizerKind>(K));
  for (const auto& V : Descendants) {
    if (std::find(Result.begin(), Result.end(), V) != Result.end()) continue;
    for (int I = 0; I < V->GetSupportedTypeCount(); ++I) {
      std::string Name;
      bool All = false;
      V->GetSupportedType(I, Name, All);
      if (!All) continue;
      if (std::find(Ancestors.begin(), Ancestors.end(), Name) != Ancestors.end()) {
        Result.push_back(V);
        break;
      }
    }
  }
  return Result;
}

void TEvaluatorList::Add(const std::shared_ptr<IOTAExpressionEvaluator>& Evaluator) {
  if (!Evaluator || std::find(FItems.begin(), FItems.end(), Evaluator) != FItems.end()) return;
  FItems.push_back(Evaluator);
}

void TEvaluatorList::Remove(const IOTAExpressionEvaluator* Evaluator) { EraseOf(FItems, Evaluator); }

}  // namespace nxs
