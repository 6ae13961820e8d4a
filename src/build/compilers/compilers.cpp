// The compile tasks' shared parts, and the registration of the tasks the shipped targets use.
#include "build/compilers/compilers.h"

#include <algorithm>
#include <filesystem>
#include <thread>

#include "build/compilers/compiletask.h"
#include "build/compilers/resstrings.h"
#include "shared/filenames.h"
#include "shared/fileprobes.h"
#include "shared/format.h"
#include "shared/text.h"

namespace nxs::compilers {

using namespace engine;

// -- Options ---------------------------------------------------------------------------------

TProjectOptions::TProjectOptions(const TTaskContext& Context)
    : FContext(Context), FProjectDir(ExcludeTrailingPathDelimiter(Context.ProjectDirectory())) {}

std::string TProjectOptions::Get(const std::string& Name, const std::string& Default) const {
  // A task parameter of the option's name wins over the project's property.
  std::string V = FContext.HasParameter(Name) ? FContext.Parameter(Name).Text : FContext.Project().GetPropertyValue(Name);
  V = Trim(V);
  return V.empty() ? Default : V;
}

bool TProjectOptions::Bool(const std::string& Name, bool Default) const {
  std::string V = Get(Name);
  if (V.empty()) return Default;
  return SameText(V, "true") || SameText(V, "on") || SameText(V, "yes") || V == "1";
}

std::vector<std::string> TProjectOptions::List(const std::string& Name) const {
  std::vector<std::string> L;
  std::string V = Get(Name);
  size_t Start = 0;
  while (Start <= V.size()) {
    size_t End = V.find(';', Start);
    if (End == std::string::npos) End = V.size();
    std::string Entry = Trim(std::string_view(V).substr(Start, End - Start));
    if (!Entry.empty()) L.push_back(Entry);
    Start = End + 1;
  }
  return L;
}

std::string TProjectOptions::Absolute(const std::string& Name) const {
  return ExcludeTrailingPathDelimiter(ExpandFileName(ToDiskPath(Name), FProjectDir));
}

std::vector<std::string> TProjectOptions::PathList(const std::string& Name) const {
  std::vector<std::string> L;
  for (const auto& P : List(Name)) L.push_back(Absolute(P));
  return L;
}

std::string TProjectOptions::Path(const std::string& Name, const std::string& Default) const {
  std::string V = Get(Name);
  return Absolute(V.empty() ? Default : V);
}

std::string TProjectOptions::OutputDir() const { return Path("OutputDir", "."); }

std::string TProjectOptions::IntermediateDir() const {
  std::string V = Get("IntermediateDir");
  return V.empty() ? OutputDir() + "/obj" : Absolute(V);
}

std::string TProjectOptions::OutputName() const {
  std::string Name = Get("OutputName");
  if (!Name.empty()) return Name;
  return ChangeFileExt(ExtractFileName(FContext.Project().FullPath()), "");
}

std::string TProjectOptions::Kind() const {
  std::string T = Get("AppType");
  if (SameText(T, "Library")) return "Library";
  if (SameText(T, "StaticLibrary")) return "StaticLibrary";
  if (SameText(T, "Package")) return "Package";
  return "Application";
}

std::string TProjectOptions::OutputFile() const {
  const std::string K = Kind(), Name = OutputName();
  const std::string Lib = StartsText("lib", Name) ? Name : "lib" + Name;
  if (K == "Library") return OutputDir() + "/" + Lib + ".so";
  if (K == "StaticLibrary") return OutputDir() + "/" + Lib + ".a";
  // A package is named as the project, without "lib": the environment names it by its file.
  if (K == "Package") return OutputDir() + "/" + Name + ".so";
  return OutputDir() + "/" + Name;
}

std::vector<std::string> TProjectOptions::ExtraOptions() const {
  std::vector<std::string> Args;
  std::string V = Get("ExtraOptions"), Cur;
  bool Any = false;
  char Quote = 0;
  for (char C : V) {
    if (Quote) {
      if (C == Quote) Quote = 0;
      else Cur += C;
    } else if (C == '"' || C == '\'') {
      Quote = C;
      Any = true;
    } else if (C == ' ' || C == '\t') {
      if (Any || !Cur.empty()) Args.push_back(Cur);
      Cur.clear();
      Any = false;
    } else {
      Cur += C;
    }
  }
  if (Any || !Cur.empty()) Args.push_back(Cur);
  return Args;
}

std::string FileToCompile(const TProjectOptions& Options) {
  std::string F = Options.Get("FileToCompile");
  if (F.size() >= 2 && F.front() == '"' && F.back() == '"') F = F.substr(1, F.size() - 2);
  return F.empty() ? F : Options.Absolute(F);
}

// -- Running ---------------------------------------------------------------------------------

std::string ShellQuote(const std::string& Arg) {
  if (!Arg.empty() && Arg.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789_-+=/.,:@%") ==
                          std::string::npos)
    return Arg;
  return "'" + ReplaceAllText(Arg, "'", "'\\''") + "'";
}

std::string JoinCommandLine(const std::vector<std::string>& Argv) {
  std::vector<std::string> Quoted;
  for (const auto& A : Argv) Quoted.push_back(ShellQuote(A));
  return Join(Quoted, " ");
}

std::vector<std::string> FilesBelow(const std::string& Dir, const std::vector<std::string>& Extensions) {
  namespace fs = std::filesystem;
  constexpr int MaxEntries = 50000;
  std::vector<std::string> Files;
  std::error_code Ec;
  NoteFileProbe(Dir);
  fs::recursive_directory_iterator It(Dir, fs::directory_options::skip_permission_denied, Ec), End;
  for (int Seen = 0; !Ec && It != End && Seen < MaxEntries; It.increment(Ec), ++Seen) {
    const std::string Name = It->path().filename().string();
    if (It->is_directory(Ec)) {
      if (Name.starts_with(".") || Name.starts_with("unsaved-")) It.disable_recursion_pending();
      else NoteFileProbe(It->path().string());
      continue;
    }
    const std::string Ext = LowerCase(It->path().extension().string());
    if (std::find(Extensions.begin(), Extensions.end(), Ext) != Extensions.end() && It->is_regular_file(Ec))
      Files.push_back(It->path().string());
  }
  return Files;
}

void RemoveStaleOverlays(TTaskContext& Context, const std::string& IntermediateDir) {
  namespace fs = std::filesystem;
  std::error_code Ec;
  NoteFileProbe(IntermediateDir);
  for (const auto& E : fs::directory_iterator(IntermediateDir, Ec))
    if (E.path().filename().string().starts_with("unsaved-") && E.is_directory(Ec) && !E.is_symlink(Ec) &&
        fs::remove_all(E.path(), Ec) > 0)
      Context.LogMessage(Format(res::SCleaned, E.path().string()), imLow);
}

void ReportError(TTaskContext& Context, const std::string& Text) {
  if (ITaskHostObject* Host = Context.HostObject()) Host->IncErrorCount();
  Context.LogError(Text);
}

void TEventSink::Log(std::vector<TBuildEvent>& Events) {
  ITaskHostObject* Host = FContext.HostObject();
  for (auto& E : Events) {
    if (FOverlay) {
      E.File = FOverlay->RealName(E.File);
      if (FOverlay->Active()) E.Text = ReplaceAllText(E.Text, FOverlay->Dir() + "/", "");
    }
    if (E.Kind == ekError) {
      ++FErrors;
      if (Host) Host->IncErrorCount();
    } else if (E.Kind == ekWarning) {
      if (Host) Host->IncWarningCount();
    } else if (E.Kind == ekMessage && !E.File.empty() && StartsText("Hint: ", E.Text)) {
      if (Host) Host->IncHintCount();
    }
    FContext.Log(E);
  }
  Events.clear();
}

void TEventSink::Message(const std::string& Text, TImportance Importance) {
  std::string T = Text;
  if (FOverlay && FOverlay->Active()) T = ReplaceAllText(T, FOverlay->Dir() + "/", "");
  FContext.LogMessage(T, Importance);
}

int RunCompiler(TTaskContext& Context, TTaskCancel& Cancel, TEventSink& Sink, const TCompilerRun& Run) {
  std::vector<std::string> Args(Run.Argv.begin() + 1, Run.Argv.end());
  Sink.Message(JoinCommandLine(Run.Argv), imNormal);
  if (ITaskHostObject* Host = Context.HostObject())
    Host->ShowCommandLine(Run.Argv[0], JoinCommandLine(Args), Run.Sender);
  TToolOutputParser Parser(Run.Style, Run.Sender, Run.Directory);
  std::vector<TBuildEvent> Events;
  TProcessOptions O;
  O.Argv = Run.Argv;
  O.WorkingDirectory = Run.Directory;
  O.Environment = Run.Environment;
  O.Cancel = Cancel.Flag();
  O.OnLine = [&](const std::string& Line) {
    if (Parser.Parse(Line, Events)) {
      Sink.Log(Events);
      return;
    }
    Sink.Log(Events);
    if (!Run.OnOther || !Run.OnOther(Line)) Sink.Message(Line, imNormal);
  };
  std::string NotStarted;
  int Code = RunProcess(O, &NotStarted);
  Parser.Flush(Events);
  Sink.Log(Events);
  if (Code < 0 && !Cancel.IsSet()) ReportError(Context, Format(res::SCompilerNotStarted, Run.Argv[0], NotStarted));
  if (Code < 0 && Cancel.IsSet()) Context.LogMessage(res::SCompileCancelled, imHigh);
  return Code;
}

// -- Evaluation tasks ------------------------------------------------------------------------

namespace {

std::string Param(const TTaskContext& Context, const std::string& Name) {
  return Context.HasParameter(Name) ? Context.Parameter(Name).Text : std::string();
}

void HandBack(TTaskContext& Context, const std::string& Task, const std::string& Result) {
  if (ITaskHostObject* Host = Context.HostObject()) Host->KibitzResult(Task, Result);
  Context.SetOutput("Result", Result);
}

// The values of the properties named (";"-separated), "|"-separated in the order of the names.
bool RunEvaluateProperties(TTaskContext& Context) {
  std::vector<std::string> Values;
  std::string Names = Param(Context, "Names");
  size_t Start = 0;
  while (!Names.empty() && Start <= Names.size()) {
    size_t End = Names.find(';', Start);
    if (End == std::string::npos) End = Names.size();
    std::string Name = Trim(std::string_view(Names).substr(Start, End - Start));
    if (!Name.empty()) Values.push_back(Context.Project().GetPropertyValue(Name));
    Start = End + 1;
  }
  HandBack(Context, Context.TaskName(), Join(Values, "|"));
  return true;
}

// The items of a type, or a metadata value of each, ";"-separated.
bool RunEvaluateItem(TTaskContext& Context) {
  std::string Metadata = Param(Context, "MetadataName");
  std::vector<std::string> Values;
  for (const auto& I : Context.Project().GetItems(Param(Context, "ItemType")))
    Values.push_back(Metadata.empty() ? I.ItemSpec : I.GetMetadata(Metadata));
  HandBack(Context, Context.TaskName(), Join(Values, ";"));
  return true;
}

bool RunKibitzResult(TTaskContext& Context) {
  HandBack(Context, Param(Context, "Task"), Param(Context, "Result"));
  return true;
}

}  // namespace

void RegisterCompilerTasks() {
  RegisterExecTask();
  RegisterTask("PascalCompiler", RunPascalCompiler);
  RegisterCheckingTask("CppCompiler", RunCppCompiler);
  RegisterTask("EvaluateProperties", RunEvaluateProperties);
  RegisterTask("EvaluateItem", RunEvaluateItem);
  RegisterTask("KibitzResult", RunKibitzResult);
  RegisterBuildLockTask();
}

void UnregisterCompilerTasks() {
  for (const char* Name : {"Exec", "PascalCompiler", "CppCompiler", "EvaluateProperties", "EvaluateItem",
                           "KibitzResult", "LockIntermediateDir"})
    UnregisterTask(Name);
}

}  // namespace nxs::compilers
