// Debugger visualizers (plug-ins that show values of given types their own way) and
// expression evaluators, with the lists the manager keeps of them. A visualizer's enabled
// flag is a user setting, kept in the settings store under its identifier.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace nxs {

class TSettingsStore;

enum TOTAVisualizerKind : int {
  vkValueReplacer = 0,   // replaces the value text in the watch and evaluation views
  vkExternalViewer,      // shows the value in a window of its own
  vkCustomInspector,     // replaces the inspector
};

class IOTADebuggerVisualizer {
 public:
  virtual ~IOTADebuggerVisualizer() = default;
  virtual std::string GetVisualizerIdentifier() const = 0;
  virtual std::string GetVisualizerName() const = 0;
  virtual std::string GetVisualizerDescription() const { return ""; }
  virtual TOTAVisualizerKind GetKind() const = 0;
  virtual int GetSupportedTypeCount() const = 0;
  // The Index'th type it shows; AllDescendants: types derived from it too.
  virtual void GetSupportedType(int Index, std::string& TypeName, bool& AllDescendants) const = 0;
  // For a value replacer: the text shown for Value of TypeName.
  virtual std::string GetReplacementValue(const std::string& /*Expression*/, const std::string& /*TypeName*/,
                                          const std::string& Value) {
    return Value;
  }
};

class IOTAExpressionEvaluator {
 public:
  virtual ~IOTAExpressionEvaluator() = default;
  virtual std::string GetIdentifier() const = 0;
};

class TVisualizerList {
 public:
  // Store: where the enabled flags live (the settings store of the environment).
  explicit TVisualizerList(TSettingsStore& Store) : FStore(Store) {}
  TVisualizerList(const TVisualizerList&) = delete;  // the lookup tables point into it
  TVisualizerList& operator=(const TVisualizerList&) = delete;

  // Records the visualizer with its stored enabled flag (default true); an enabled one is
  // filed into the lookup tables. Adding one already listed does nothing.
  void Add(const std::shared_ptr<IOTADebuggerVisualizer>& Visualizer);
  void Remove(const IOTADebuggerVisualizer* Visualizer);
  int IndexOf(const IOTADebuggerVisualizer* Visualizer) const;
  bool GetEnabled(const IOTADebuggerVisualizer* Visualizer) const;
  // Stores the flag and files the visualizer in or out of the lookup tables.
  void SetEnabled(const IOTADebuggerVisualizer* Visualizer, bool Enabled);
  std::shared_ptr<IOTADebuggerVisualizer> GetVisualizer(int Index) const;
  int GetVisualizerCount() const { return static_cast<int>(FLinearList.size()); }
  // The enabled visualizers of a kind for a type: those registered for the type itself,
  // then those for all descendants of a type (the caller's type names are its ancestors).
  std::vector<std::shared_ptr<IOTADebuggerVisualizer>> Find(TOTAVisualizerKind Kind, const std::string& TypeName,
                                                            const std::vector<std::string>& Ancestors = {}) const;
  // Registered type names that are generic ("TList<T>"): lookups strip their arguments.
  int GetGenericTypeNameCount() const { return FGenericTypeNameCount; }

 private:
  struct TEntry {
    std::shared_ptr<IOTADebuggerVisualizer> Visualizer;
    bool Enabled = true;
  };
  void File(const TEntry& Entry);
  void Unfile(const IOTADebuggerVisualizer* Visualizer);
  std::vector<std::shared_ptr<IOTADebuggerVisualizer>>& DescendantsList(TOTAVisualizerKind Kind);
  const std::vector<std::shared_ptr<IOTADebuggerVisualizer>>& DescendantsList(TOTAVisualizerKind Kind) const {
    return const_cast<TVisualizerList*>(this)->DescendantsList(Kind);
  }

  TSettingsStore& FStore;
  std::vector<TEntry> FLinearList;
  std::vector<std::shared_ptr<IOTADebuggerVisualizer>> FReplacerAllDescendantsList;
  std::vector<std::shared_ptr<IOTADebuggerVisualizer>> FExternalViewerAllDescendantsList;
  std::vector<std::shared_ptr<IOTADebuggerVisualizer>> FCustomInspectorAllDescendantsList;
  int FGenericTypeNameCount = 0;
  // Per kind, the visualizers registered for each exact type name.
  std::map<std::string, std::vector<std::shared_ptr<IOTADebuggerVisualizer>>> FTypeLookup[3];
};

// The registered expression evaluators, in registration order.
class TEvaluatorList {
 public:
  void Add(const std::shared_ptr<IOTAExpressionEvaluator>& Evaluator);
  void Remove(const IOTAExpressionEvaluator* Evaluator);
  int Count() const { return static_cast<int>(FItems.size()); }
  std::shared_ptr<IOTAExpressionEvaluator> Get(int Index) const { return FItems.at(static_cast<size_t>(Index)); }

 private:
  std::vector<std::shared_ptr<IOTAExpressionEvaluator>> FItems;
};

}  // namespace nxs
