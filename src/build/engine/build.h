// One build: the projects it has evaluated (one instance per project file and global
// properties), the targets each has run, and the task runner with batching and
// incremental builds. Internal to the engine.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "build/engine/project.h"
#include "build/engine/expand.h"
#include "build/engine/tasks.h"

namespace nxs::engine {

class TBuildSession {
 public:
  TBuildSession(TDocumentCache& Cache, const TBuildRequest& Request) : FCache(Cache), FRequest(Request) {}
  TBuildSession(const TBuildSession&) = delete;  // projects point back at it
  TBuildSession& operator=(const TBuildSession&) = delete;

  // Runs Targets (empty: the default targets) of the project; Outputs receives what the
  // targets return. Text stands for the file's content when given. Caller is the MSBuild
  // task's place, for errors.
  bool BuildProject(const std::string& FullPath, const TPropertyMap& Globals, const std::vector<std::string>& Targets,
                    std::vector<TTaskItem>* Outputs, const std::string* Text, const TLocation* Caller);
  // Runs targets of a project this session has evaluated.
  bool RunTargets(TProject& P, const std::vector<std::string>& Targets, const TLocation* Caller, TItemList* Outputs);

  // Passes the event to the logger when the verbosity lets it through.
  void Log(const TBuildEvent& E);
  void LogError(const std::string& Text, const TLocation& Where);
  // Errors logged so far, shown or not: an error a task continued after still fails the build.
  int Errors() const { return FErrors; }
  bool Cancelled() const { return FRequest.Cancel && FRequest.Cancel->load(); }
  const TBuildRequest& Request() const { return FRequest; }

 private:
  struct TInstance {
    std::shared_ptr<TProject> Project;
    bool InitialTargetsRun = false;
  };
  TDocumentCache& FCache;
  const TBuildRequest& FRequest;
  std::map<std::string, TInstance> FInstances;
  std::vector<std::string> FTargetStack;  // for the message of a cycle
  bool FCancelReported = false;
  // Projects that build projects recurse; each new set of global properties is a new
  // instance, so a project that builds itself with ever new properties is stopped here.
  static constexpr int MaxProjectDepth = 64;
  int FDepth = 0;
  int FErrors = 0;

  bool CheckCancel(const TLocation& Where);
  bool RunTarget(TProject& P, const std::string& Name, const TLocation* Caller);
  bool ExecuteTarget(TProject& P, const std::string& Name, const TTargetDef& Def);
  bool RunBody(TProject& P, const TTargetDef& Def, const TBucket* Bucket, bool& Continue);
  bool RunTask(TProject& P, const TXmlElement& E, const TXmlDocument& Doc, const TBucket* Bucket);
  bool RunTaskOnce(TProject& P, const TXmlElement& E, const TXmlDocument& Doc, const TBucket* Bucket,
                   const TTaskFunction& Fn, bool OwnChanges);
};

}  // namespace nxs::engine
