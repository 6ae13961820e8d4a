#include "build/hostobject.h"

#include <cxxabi.h>

#include <chrono>
#include <cstdlib>
#include <ctime>
#include <typeinfo>

#include "build/buildhost.h"
#include "build/messages/filesvc.h"
#include "build/msbridge.h"
#include "build/progress.h"
#include "build/resstrings.h"
#include "editor/buffers/editbuffer.h"
#include "options/envoptions.h"
#include "modules/modulelist.h"
#include "projectfiles/configmgr.h"
#include "projectfiles/configs.h"
#include "projects/project.h"
#include "shared/dialogs.h"
#include "shared/dosdate.h"
#include "shared/fileio.h"
#include "shared/filenames.h"
#include "shared/format.h"
#include "shared/mainthread.h"
#include "shared/text.h"

namespace nxs {

namespace {

std::mutex& StatusLock() {
  static std::mutex Lock;
  return Lock;
}
TProjectBuildStatusHooks& StatusHooks() {
  static TProjectBuildStatusHooks Hooks;
  return Hooks;
}

// Runs Fn on the main thread and hands back its result.
template <class T, class F>
T OnMainThread(F&& Fn) {
  if (MainThreadQueue().IsMainThread()) return Fn();
  T Result{};
  MainThreadQueue().Synchronize([&] { Result = Fn(); });
  return Result;
}

// An exception ends the operation with Failure; the user sees it on the main thread.
template <class T, class F>
T Guarded(T Failure, F&& Fn) {
  try {
    return Fn();
  } catch (const std::exception& E) {
    MainThreadQueue().Queue([Text = HostObjectExceptionText(E)] { Questions().ShowMessage(Text); });
    return Failure;
  }
}

TBaseProject* FindOpenProject(const std::string& FileName) {
  return dynamic_cast<TBaseProject*>(FindDocModule(ExpandFileName(FileName)));
}

bool IsProjectFileName(const std::string& FileName) {
  return LowerCase(ExtractFileExt(FileName)).find("proj") != std::string::npos;
}

int64_t IntValue(const TBuildConfiguration& Config, const std::string& Name) {
  const std::string V = Trim(Config.GetValue(Name));
  char* End = nullptr;
  const long long N = std::strtoll(V.c_str(), &End, 10);
  return End && *End == '\0' && !V.empty() ? N : 0;
}

double NowSeconds() {
  return std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
}

}  // namespace

void SetProjectBuildStatusHooks(TProjectBuildStatusHooks Hooks) {
  std::lock_guard G(StatusLock());
  StatusHooks() = std::move(Hooks);
}

std::string HostObjectExceptionText(const std::exception& E) {
  int Status = 0;
  char* Demangled = abi::__cxa_demangle(typeid(E).name(), nullptr, nullptr, &Status);
  std::string Name = Status == 0 && Demangled ? Demangled : typeid(E).name();
  std::free(Demangled);
  if (const size_t Colon = Name.rfind("::"); Colon != std::string::npos) Name.erase(0, Colon + 2);
  return Format(res::SHostObjectException, Name, E.what());
}

std::string ToolCommandLine(const std::string& Tool, const std::string& Arguments) {
  return "\"" + Tool + "\" " + Arguments;
}

void IncBuildNumber(TBuildConfiguration& Config) {
  int64_t Build = IntValue(Config, "VerInfo_Build");
  if (Config.GetBoolean("VerInfo_AutoIncVersion")) {
    ++Build;
    Config.SetValue("VerInfo_Build", std::to_string(Build));
  }
  const int64_t Major = IntValue(Config, "VerInfo_MajorVer");
  const int64_t Minor = IntValue(Config, "VerInfo_MinorVer");
  const int64_t Release = IntValue(Config, "VerInfo_Release");
  const std::string Keys = Config.GetValue("VerInfo_Keys");
  if (Keys.empty()) return;
  std::string Result;
  for (const std::string& Pair : Split(Keys, ';')) {
    const size_t Eq = Pair.find('=');
    const std::string Name = Eq == std::string::npos ? Pair : Pair.substr(0, Eq);
    std::string Entry = Pair;
    if (Name == "FileVersion")
      Entry = Format("%s=%d.%d.%d.%d", Name, Major, Minor, Release, Build);
    else if (Name == "CFBundleVersion")
      Entry = Format("%s=%d.%d.%d", Name, Major, Minor, Build);
    else if (Name == "versionCode")
      Entry = Format("%s=%d", Name, Build);
    if (!Result.empty()) Result += ';';
    Result += Entry;
  }
  if (Result != Keys) Config.SetValue("VerInfo_Keys", Result);
}

// ---- the host object ----

double TNXSHostObject::GetFileTime(const std::string& FileName) {
  return Guarded(-1.0, [&] {
    if (IsProjectFileName(FileName)) {
      // Module lookups belong to the main thread.
      const double ProjectTime = OnMainThread<double>([&]() -> double {
        TBaseProject* P = FindOpenProject(FileName);
        if (!P) return 0;
        if (P->GetModified()) return NowSeconds();
        return 0;
      });
      if (ProjectTime > 0) return ProjectTime;
    }
    const int32_t Date = CFileNameDate(ExpandFileName(FileName));
    if (Date == -1 || Date == 0) return -1.0;
    const time_t T = FileDateToUnix(Date);
    return T == -1 ? -1.0 : static_cast<double>(T);
  });
}

bool TNXSHostObject::CreateTemporaryFile(const std::string& FileName, std::string& TempName) {
  TempName.clear();
  return Guarded(false, [&] {
    std::shared_ptr<TCompilerStream> Stream =
        OnMainThread<std::shared_ptr<TCompilerStream>>([&] { return OpenVirtualFile(ExpandFileName(FileName)); });
    if (!Stream) return false;
    TempName = MakeTempFileForVFSStream(*Stream, ExtractFileExt(FileName));
    return true;
  });
}

std::vector<std::string> UnsavedEditorFiles() {
  std::vector<std::string> Files;
  for (const std::shared_ptr<TEditBuffer>& B : TEditBuffer::AllBuffers())
    if (B->GetIsModified()) Files.push_back(B->FileName());
  return Files;
}

std::optional<std::vector<std::string>> TNXSHostObject::UnsavedFiles() {
  {
    std::lock_guard G(FLock);
    if (FUnsaved) return FUnsaved;
  }
  // One trip to the main thread instead of one for each file a compile may read.
  return Guarded(std::optional<std::vector<std::string>>(),
                 [] { return OnMainThread<std::optional<std::vector<std::string>>>(UnsavedEditorFiles); });
}

void TNXSHostObject::SetUnsavedFiles(std::vector<std::string> Files) {
  std::lock_guard G(FLock);
  FUnsaved = std::move(Files);
}

void TNXSHostObject::DeleteTemporaryFile(const std::string& TempName) {
  Guarded(0, [&] {
    FileSystem().DeleteFile(TempName);
    return 0;
  });
}

bool TNXSHostObject::ForceSaveFile(const std::string& FileName, std::string& NewName) {
  NewName.clear();
  return false;
}

bool TNXSHostObject::GetProjectContent(const std::string& FileName, std::string& Content) {
  Content.clear();
  return Guarded(false, [&] {
    return OnMainThread<bool>([&] {
      TBaseProject* P = FindOpenProject(FileName);
      if (!P) throw Exception(Format(res::SProjectNotFound, FileName));
      if (!P->GetModified()) return false;
      Content = P->GetProjectDocument().GetXml();
      return true;
    });
  });
}

std::string TNXSHostObject::GetProjectFullPath() const {
  std::lock_guard G(FLock);
  return FProjectFullPath;
}

void TNXSHostObject::SetProjectFullPath(const std::string& Value) {
  std::lock_guard G(FLock);
  FProjectFullPath = Value;
}

void TNXSHostObject::IncBuildNumber(const std::string& ProjectFile, const std::string& Configuration,
                                    const std::string& Platform) {
  Guarded(0, [&] {
    return OnMainThread<int>([&] {
      TBaseProject* P = FindOpenProject(ProjectFile);
      TBuildConfigurations* Configs = P ? P->GetConfigurations() : nullptr;
      if (!Configs) throw Exception(Format(res::SProjectNotFound, ProjectFile));
      TBuildConfiguration& Config = Configs->Configuration(Configuration, Platform);
      nxs::IncBuildNumber(Config);
      Configs->MarkModified();
      return 0;
    });
  });
}

void TNXSHostObject::IncErrorCount() { ProgressMonitor().IncErrorCount(msgError); }
void TNXSHostObject::IncWarningCount() { ProgressMonitor().IncErrorCount(msgWarn); }
void TNXSHostObject::IncHintCount() { ProgressMonitor().IncErrorCount(msgHint); }

bool TNXSHostObject::ReportErrorCounts(std::string& Report) {
  Report.clear();
  return true;
}

bool TNXSHostObject::ShouldBuild(const std::string& ProjectFile, const std::string& Configuration, bool& Build) {
  return Guarded(false, [&] {
    std::function<bool(const std::string&, const std::string&, bool&)> Hook;
    {
      std::lock_guard G(StatusLock());
      Hook = StatusHooks().ShouldBuild;
    }
    if (Hook) return OnMainThread<bool>([&] { return Hook(ProjectFile, Configuration, Build); });
    return true;
  });
}

void TNXSHostObject::PostCompile(const std::string& ProjectFile, const std::string& Configuration, bool Success) {
  Guarded(0, [&] {
    std::function<void(const std::string&, const std::string&, bool)> Hook;
    {
      std::lock_guard G(StatusLock());
      Hook = StatusHooks().PostCompile;
    }
    if (Hook) OnMainThread<int>([&] {
        Hook(ProjectFile, Configuration, Success);
        return 0;
      });
    return 0;
  });
}

bool TNXSHostObject::ExecTool(const std::string& Tool, const std::string& Arguments, bool UseResponseFile,
                              int& ExitCode) {
  ExitCode = -1;
  return Guarded(false, [&] {
    std::string ResponseFile;
    std::string CommandLine = ToolCommandLine(Tool, Arguments);
    if (UseResponseFile) {
      ResponseFile = MakeTempFileForVFSStream(TCompilerStream(TCompilerStream::skMemory, Arguments), ".rsp");
      CommandLine = ToolCommandLine(Tool, "@" + ResponseFile);
    }
    struct TRemove {
      const std::string& Name;
      ~TRemove() {
        if (Name.empty()) return;
        try {
          FileSystem().DeleteFile(Name);
        } catch (const Exception&) {
          // The tool took it away itself.
        }
      }
    } Remove{ResponseFile};
    engine::TProcessOptions Options;
    Options.Argv = {"/bin/sh", "-c", CommandLine};
    const std::string Project = GetProjectFullPath();
    if (!Project.empty()) Options.WorkingDirectory = ExtractFileDir(Project);
    Options.Cancel = &ProgressMonitor().CancelFlag();
    Options.OnLine = [](const std::string& Line) { BuildHost().Messages().PostOutputMessage(Line); };
    ExitCode = engine::RunProcess(Options);
    return ExitCode != -1;
  });
}

void TNXSHostObject::ShowCommandLine(const std::string& Tool, const std::string& Arguments,
                                     const std::string& Title) {
  if (Tool.empty() || Arguments.empty()) return;
  Guarded(0, [&] {
    return OnMainThread<int>([&] {
      if (!EnvironmentOptions().Compiling().GetBool("ShowCommandLine")) return 0;
      const std::string Name = Title.empty() ? ExtractFileName(Tool) : Title;
      const std::string Project = ExtractFileName(GetProjectFullPath());
      const std::string Heading = Project.empty() ? Format(res::SCommandLineTitle, Name)
                                                  : Format(res::SCommandLineTitleFor, Name, Project);
      TLineBuffer* Group = LineBufferList().AddList(res::SBuildGroup);
      TLine* Top = Group->Add(std::make_unique<TCommandLineLine>(Group, Heading));
      Top->AddChild(std::make_unique<TCommandLineLine>(Group, ToolCommandLine(Tool, Arguments)));
      return 0;
    });
  });
}

bool TNXSHostObject::UpdateProgress(int Kind, const std::string& FileName, int Lines, int TotalLines) {
  return Guarded(false, [&] {
    if (Kind < progLoading || Kind > progCleaning) return ProgressMonitor().DoUpdate();
    return CompilerUpdateProgress(static_cast<TProgKind>(Kind), FileName, Lines, TotalLines);
  });
}

void TNXSHostObject::KibitzResult(const std::string& Task, const std::string& Result) {
  SetMSBuildKibitzResult(Result);
}

engine::ILogger* TNXSHostObject::GetLogger() const {
  std::lock_guard G(FLock);
  return FLogger;
}

void TNXSHostObject::SetLogger(engine::ILogger* Logger) {
  std::lock_guard G(FLock);
  FLogger = Logger;
}

std::shared_ptr<void> TNXSHostObject::GetCallbackObject() const {
  std::lock_guard G(FLock);
  return FCallback;
}

void TNXSHostObject::SetCallbackObject(std::shared_ptr<void> Callback) {
  std::lock_guard G(FLock);
  FCallback = std::move(Callback);
}

void TNXSHostObject::ClearFileAgeCache() { InvalidateFileCache(); }

}  // namespace nxs
