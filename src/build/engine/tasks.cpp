// The registry of tasks by name, with the engine's built-in tasks registered on first use.
#include "build/engine/tasks.h"

#include <atomic>
#include <mutex>

#include "build/engine/project.h"

namespace nxs::engine {

// builtins.cpp
void RegisterBuiltinTasks(TNoCaseMap<TTaskFunction>& Tasks);

namespace {

struct TTaskRegistry {
  std::mutex Lock;
  TNoCaseMap<TTaskFunction> Tasks;
  // The tasks that hold a TFileChanges themselves while they change files.
  TNoCaseMap<bool> OwnChanges;
};

TTaskRegistry& Registry() {
  // Lives to the end of the process: a build thread may still look a task up during exit.
  static TTaskRegistry* R = [] {
    auto* New = new TTaskRegistry;
    RegisterBuiltinTasks(New->Tasks);
    // Tasks that only say something change no file.
    for (const char* Says : {"Message", "Warning", "Error"}) New->OwnChanges[Says] = true;
    return New;
  }();
  return *R;
}

}  // namespace

void RegisterTask(const std::string& Name, TTaskFunction Task) {
  TTaskRegistry& R = Registry();
  std::lock_guard<std::mutex> L(R.Lock);
  R.Tasks[Name] = std::move(Task);
  R.OwnChanges.erase(Name);
}

void RegisterCheckingTask(const std::string& Name, TTaskFunction Task) {
  TTaskRegistry& R = Registry();
  std::lock_guard<std::mutex> L(R.Lock);
  R.Tasks[Name] = std::move(Task);
  R.OwnChanges[Name] = true;
}

void UnregisterTask(const std::string& Name) {
  TTaskRegistry& R = Registry();
  std::lock_guard<std::mutex> L(R.Lock);
  R.Tasks.erase(Name);
  R.OwnChanges.erase(Name);
}

bool FindTask(const std::string& Name, TTaskFunction& Task, bool* OwnChanges) {
  TTaskRegistry& R = Registry();
  std::lock_guard<std::mutex> L(R.Lock);
  auto It = R.Tasks.find(Name);
  if (It == R.Tasks.end()) return false;
  Task = It->second;
  if (OwnChanges) *OwnChanges = R.OwnChanges.count(Name) > 0;
  return true;
}

namespace {

TBuildEvent Diagnostic(TEventKind Kind, const std::string& Text, const std::string& File, int Line, int Column) {
  TBuildEvent E;
  E.Kind = Kind;
  E.Text = Text;
  E.File = File;
  E.Line = Line;
  E.Column = Column;
  return E;
}

}  // namespace

namespace {
std::atomic<uint64_t> StartedTasks{0};
}  // namespace

uint64_t TasksStarted() { return StartedTasks.load(); }
void NoteTaskStarted() { ++StartedTasks; }

void TTaskContext::LogError(const std::string& Text, const std::string& File, int Line, int Column) {
  Log(Diagnostic(ekError, Text, File, Line, Column));
}

void TTaskContext::LogWarning(const std::string& Text, const std::string& File, int Line, int Column) {
  Log(Diagnostic(ekWarning, Text, File, Line, Column));
}

void TTaskContext::LogMessage(const std::string& Text, TImportance Importance) {
  TBuildEvent E;
  E.Kind = ekMessage;
  E.Importance = Importance;
  E.Text = Text;
  Log(E);
}

}  // namespace nxs::engine
