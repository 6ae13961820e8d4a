// A task's surroundings for tests that run a task without the engine: an evaluated project of
// fixed properties and items, a context that records what the task logs and hands back, and
// a host object that holds unsaved editor text and counts what it is told.
#pragma once

#include <signal.h>

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "build/engine/tasks.h"
#include "shared/filenames.h"
#include "support/files.h"
#include "support/wait.h"

namespace nxs::test {

class TFakeProject : public engine::TEvaluatedProject {
 public:
  explicit TFakeProject(std::string FullPath) : FPath(std::move(FullPath)) {}
  const std::string& FullPath() const override { return FPath; }
  std::string GetPropertyValue(const std::string& Name) const override {
    auto It = Properties.find(Name);
    return It == Properties.end() ? std::string() : It->second;
  }
  bool HasProperty(const std::string& Name) const override { return Properties.count(Name) != 0; }
  std::vector<engine::TTaskItem> GetItems(const std::string& ItemType) const override {
    auto It = Items.find(ItemType);
    return It == Items.end() ? std::vector<engine::TTaskItem>() : It->second;
  }
  std::string Expand(const std::string& Text) const override { return Text; }
  bool HasTarget(const std::string&) const override { return false; }

  engine::TPropertyMap Properties;
  std::map<std::string, std::vector<engine::TTaskItem>, engine::TNoCaseLess> Items;

 private:
  std::string FPath;
};

class TFakeHost : public engine::ITaskHostObject {
 public:
  explicit TFakeHost(std::string TempDir) : FTempDir(std::move(TempDir)) {}
  double GetFileTime(const std::string&) override { return -1; }
  bool CreateTemporaryFile(const std::string& FileName, std::string& TempName) override {
    std::lock_guard Lock(FMutex);
    Asked.push_back(FileName);
    auto It = Unsaved.find(FileName);
    if (It == Unsaved.end()) return false;
    TempName = FTempDir + "/tmp" + std::to_string(++FCount) + ExtractFileExt(FileName);
    WriteText(TempName, It->second);
    Temporaries.push_back(TempName);
    return true;
  }
  // With ListsUnsaved, the files of Unsaved, as an editor would list them.
  std::optional<std::vector<std::string>> UnsavedFiles() override {
    if (!ListsUnsaved) return std::nullopt;
    std::lock_guard Lock(FMutex);
    std::vector<std::string> Files;
    for (const auto& [File, Text] : Unsaved) Files.push_back(File);
    return Files;
  }
  void DeleteTemporaryFile(const std::string& TempName) override {
    std::lock_guard Lock(FMutex);
    std::remove(TempName.c_str());
    Deleted.push_back(TempName);
  }
  bool UpdateProgress(int Kind, const std::string& FileName, int, int) override {
    std::lock_guard Lock(FMutex);
    Progress.emplace_back(Kind, FileName);
    return !CancelOnProgress;
  }
  void IncErrorCount() override { ++Errors; }
  void IncWarningCount() override { ++Warnings; }
  void IncHintCount() override { ++Hints; }
  void ShowCommandLine(const std::string& Tool, const std::string& Arguments, const std::string&) override {
    std::lock_guard Lock(FMutex);
    CommandLines.push_back(Tool + " " + Arguments);
  }
  void KibitzResult(const std::string& Task, const std::string& Result) override {
    std::lock_guard Lock(FMutex);
    Kibitz[Task] = Result;
  }
  void IncBuildNumber(const std::string&, const std::string&, const std::string&) override {}

  std::map<std::string, std::string> Unsaved;  // real file -> editor text
  bool ListsUnsaved = false;
  std::vector<std::string> Asked, Temporaries, Deleted, CommandLines;
  std::vector<std::pair<int, std::string>> Progress;
  std::map<std::string, std::string> Kibitz;
  std::atomic<int> Errors{0}, Warnings{0}, Hints{0};
  bool CancelOnProgress = false;

 private:
  std::mutex FMutex;
  std::string FTempDir;
  int FCount = 0;
};

class TFakeContext : public engine::TTaskContext {
 public:
  TFakeContext(std::string Name, TFakeProject& Project, engine::ITaskHostObject* Host = nullptr)
      : FName(std::move(Name)), FProject(Project), FHost(Host) {}
  const std::string& TaskName() const override { return FName; }
  bool HasParameter(const std::string& Name) const override { return Params.count(Name) != 0; }
  const engine::TTaskParameter& Parameter(const std::string& Name) const override {
    static const engine::TTaskParameter Empty;
    auto It = Params.find(Name);
    return It == Params.end() ? Empty : It->second;
  }
  bool BoolParameter(const std::string& Name, bool Default) const override {
    if (!HasParameter(Name)) return Default;
    const std::string& T = Parameter(Name).Text;
    return T == "true" || T == "True" || T == "on" || T == "yes";
  }
  void SetOutput(const std::string& Name, std::vector<engine::TTaskItem> Items) override { ItemOutputs[Name] = Items; }
  void SetOutput(const std::string& Name, const std::string& Text) override { TextOutputs[Name] = Text; }
  void Log(const engine::TBuildEvent& E) override {
    std::lock_guard Lock(FMutex);
    Events.push_back(E);
  }
  const engine::TEvaluatedProject& Project() const override { return FProject; }
  std::string ProjectDirectory() const override { return ExtractFileDir(FProject.FullPath()); }
  engine::ITaskHostObject* HostObject() const override { return FHost; }
  bool Cancelled() const override { return Cancel; }
  engine::TVerbosity Verbosity() const override { return engine::vbNormal; }
  bool BuildProject(const std::string&, const std::string&, const engine::TPropertyMap&,
                    std::vector<engine::TTaskItem>*) override {
    return false;
  }
  bool CallTargets(const std::vector<std::string>&, std::vector<engine::TTaskItem>*) override { return false; }

  void Set(const std::string& Name, const std::string& Text) { Params[Name].Text = Text; }
  void SetItems(const std::string& Name, const std::vector<std::string>& Specs) {
    auto& P = Params[Name];
    for (const auto& S : Specs) P.Items.push_back(engine::TTaskItem{S, {}, {}});
  }
  std::vector<engine::TBuildEvent> OfKind(engine::TEventKind Kind) const {
    std::vector<engine::TBuildEvent> R;
    for (const auto& E : Events)
      if (E.Kind == Kind) R.push_back(E);
    return R;
  }
  bool Logged(const std::string& Needle) const {
    for (const auto& E : Events)
      if (E.Text.find(Needle) != std::string::npos) return true;
    return false;
  }

  std::map<std::string, engine::TTaskParameter, engine::TNoCaseLess> Params;
  std::map<std::string, std::vector<engine::TTaskItem>> ItemOutputs;
  std::map<std::string, std::string> TextOutputs;
  std::vector<engine::TBuildEvent> Events;
  std::atomic<bool> Cancel{false};

 private:
  std::mutex FMutex;
  std::string FName;
  TFakeProject& FProject;
  engine::ITaskHostObject* FHost;
};

// A shell script with Body, made executable at Path: a stand-in for a tool.
inline void WriteScript(const std::string& Path, const std::string& Body) {
  WriteText(Path, "#!/bin/sh\n" + Body);
  std::filesystem::permissions(Path, std::filesystem::perms::owner_all);
}

// A stand-in for a compiler that writes its process id to PidFile, prints Announce and then
// takes its time; made executable at Path.
inline void WriteSlowTool(const std::string& Path, const std::string& PidFile, const std::string& Announce) {
  WriteScript(Path, "echo $$ > '" + PidFile + "'\necho '" + Announce + "'\nexec sleep 30\n");
}

// Whether the process whose id PidFile holds is gone (waiting a little for it); false when
// the file names none.
inline bool ProcessGone(const std::string& PidFile) {
  std::string Pid = ReadText(PidFile);
  if (Pid.empty()) return false;
  return WaitUntil([&] { return ::kill(std::stoi(Pid), 0) != 0; });
}

// What a program prints (stdout and stderr, each line ended), run with RunProcess.
inline std::string ProgramOutput(const std::vector<std::string>& Argv) {
  std::string Out;
  engine::TProcessOptions O;
  O.Argv = Argv;
  O.OnLine = [&](const std::string& Line) { Out += Line + "\n"; };
  engine::RunProcess(O);
  return Out;
}

}  // namespace nxs::test
