// The build host: runs one build at a time for the whole environment, in the foreground or
// on the background compile thread, counts what the compilers report and finishes with
// "Success" or "Failed" and the elapsed time in the "Build" message group.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "build/messages/msglines.h"
#include "shared/event.h"

namespace nxs {

enum TCompileMode : uint8_t { cmMake, cmBuild, cmCheck, cmKibitz, cmClean, cmLink };
enum TCompileResult { crFailed, crSucceeded, crBackground };

#pragma pack(push, 1)
struct TBuildControl {
  bool FAllowBackground = false;
  bool FBackground = false;
  bool FChangeActiveOnError = false;
  bool FCheckActive = false;
  bool FClearMessages = false;
  TCompileMode FMode = cmMake;
  bool FSilent = false;
  bool FWait = false;

  static TBuildControl Create(TCompileMode CompileMode, bool Wait, bool ClearMessages, bool CheckActive,
                              bool ChangeActiveOnError, bool AllowBackground, bool Silent);
};
#pragma pack(pop)
static_assert(sizeof(TBuildControl) == 8);

// One message the engine reports.
struct TMessageInfo {
  TMsgKind MsgKind = msgInfo;
  std::string Filename;
  std::string Message;
  std::string Prefix;
  std::string Code;
  std::string HelpKeyword;
  int32_t Line = 0;
  int32_t Col = 0;
  int32_t Parent = 0;
  int32_t Id = 0;
};

class TBuildHost;

class IBuilder {
 public:
  virtual ~IBuilder() = default;
  virtual bool PreBuild() = 0;
  virtual bool DoBuild() = 0;
  virtual bool PostBuild() = 0;
  virtual TCompileResult GetResult() = 0;
  virtual TBuildHost* GetHost() = 0;
  virtual void SetHost(TBuildHost* Host) = 0;
};

class TBuilder : public IBuilder {
 public:
  bool PreBuild() override { return true; }
  bool PostBuild() override { return true; }
  TCompileResult GetResult() override { return FResult; }
  TBuildHost* GetHost() override { return FHost; }
  void SetHost(TBuildHost* Host) override { FHost = Host; }

 protected:
  TCompileResult FResult = crFailed;
  TBuildHost* FHost = nullptr;
};

class TEvBuilder : public TEvArgs {
 public:
  TEvBuilder(IBuilder* Builder, TCompileResult Result) : Builder(Builder), Result(Result) {}
  IBuilder* Builder;
  TCompileResult Result;
};

// One per process, made on first use.
class TBuildHost {
 public:
  // crFailed at once while another builder runs.
  TCompileResult Build(std::shared_ptr<IBuilder> Builder, const TBuildControl& Control);
  bool Building() const;
  const TBuildControl& Control() const;
  TEvent<TEvBuilder>& EvBuilderStartedEvent();
  TEvent<TEvBuilder>& EvBuilderFinishedEvent();
};
TBuildHost& BuildHost();

}  // namespace nxs
