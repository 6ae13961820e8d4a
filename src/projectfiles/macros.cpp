#include "projectfiles/macros.h"

#include <algorithm>

#include "projectfiles/configmgr.h"
#include "projectfiles/projectcontext.h"
#include "projectfiles/resstrings.h"
#include "shared/filenames.h"
#include "shared/format.h"
#include "shared/install.h"

namespace nxs {

// ---- published variables --------------------------------------------------------------

static std::vector<std::pair<std::string, std::string>>& Published() {
  static std::vector<std::pair<std::string, std::string>> Vars;
  return Vars;
}

std::vector<std::pair<std::string, std::string>> PublishedVariables() { return Published(); }

void SetPublishedVariable(const std::string& Name, const std::string& Value) {
  auto& Vars = Published();
  auto It = std::find_if(Vars.begin(), Vars.end(), [&](auto& V) { return SameText(V.first, Name); });
  if (It == Vars.end())
    Vars.emplace_back(Name, Value);
  else
    It->second = Value;
  SetEnvironmentVariable(Name, Value);
}

static std::optional<std::string> PublishedValue(const std::string& Name) {
  for (const auto& [N, V] : Published())
    if (SameText(N, Name)) return V;
  if (SameText(Name, "NXS")) return InstallDir();
  return std::nullopt;
}

bool IsBuiltInVariable(const std::string& Name) { return PublishedValue(Name).has_value(); }

void CheckEnvVariableOverride(const std::string& Name, bool AllowRootOverride) {
  if (!AllowRootOverride && IsBuiltInVariable(Name)) throw Exception(Format(res::SCannotOverrideBuiltIn, Name));
}

std::string ExpandRootMacros(const std::string& Text) {
  if (Text.find("$(") == std::string::npos) return Text;
  std::vector<std::pair<std::string, std::string>> Vars = Published();
  if (std::none_of(Vars.begin(), Vars.end(), [](auto& V) { return SameText(V.first, "NXS"); }))
    Vars.emplace_back("NXS", InstallDir());
  std::string R;
  size_t I = 0;
  while (I < Text.size()) {
    size_t P = Text.find("$(", I);
    if (P == std::string::npos) break;
    size_t Close = Text.find(')', P + 2);
    if (Close == std::string::npos) break;
    std::string Name = Text.substr(P + 2, Close - P - 2);
    auto It = std::find_if(Vars.begin(), Vars.end(), [&](auto& V) { return SameText(V.first, Name); });
    R.append(Text, I, P - I);
    if (It != Vars.end())
      R += It->second;
    else
      R.append(Text, P, Close + 1 - P);
    I = Close + 1;
  }
  R.append(Text, I, std::string::npos);
  return R;
}

// ---- the macros -----------------------------------------------------------------------

void TIDEMacro::Expand(const TProjectFileEntry* FileEntry, IProjectContext* Project, std::string& Value) {
  Value = "$(" + FName + ")";
}

namespace {

// A macro whose value is a function of the file entry and the project.
class TFnMacro : public TIDEMacro {
 public:
  using TFn = std::function<std::string(const TProjectFileEntry*, IProjectContext*)>;
  TFnMacro(std::string Name, std::string Desc, TFn Fn) : TIDEMacro(std::move(Name), std::move(Desc)), FFn(std::move(Fn)) {}
  void Expand(const TProjectFileEntry* FileEntry, IProjectContext* Project, std::string& Value) override {
    Value = FFn(FileEntry, Project);
  }

 private:
  TFn FFn;
};

class TEnvVarMacro : public TIDEMacro {
 public:
  explicit TEnvVarMacro(const std::string& Name) : TIDEMacro(Name, Format(res::SMacroEnvVar, Name)) {}
  void Expand(const TProjectFileEntry*, IProjectContext*, std::string& Value) override {
    if (auto V = PublishedValue(FName)) {
      Value = *V;
      return;
    }
    auto V = GetEnvironmentVariable(FName);
    if (!V) V = GetEnvironmentVariable(UpperCase(FName));
    Value = V.value_or(std::string());
  }
};

std::string InputPath(const TProjectFileEntry* E, IProjectContext* P) {
  if (E) return E->FileName;
  return P ? P->GetFileName() : std::string();
}

std::string OutputPath(const TProjectFileEntry* E, IProjectContext* P) {
  if (E) return E->FileName;
  return P ? P->GetOutputFileName() : std::string();
}

std::string ProjectPath(const TProjectFileEntry*, IProjectContext* P) { return P ? P->GetFileName() : std::string(); }

std::string ProjectOption(IProjectContext* P, const char* Option) {
  TBuildConfigurations* Configs = P ? P->GetConfigurations() : nullptr;
  if (!Configs) return {};
  return Configs->GetActiveConfiguration().GetPlatformValue(Option, Configs->GetActivePlatform());
}

using TPathFn = std::string (*)(const TProjectFileEntry*, IProjectContext*);

void AddPathMacros(TIDEMacros& Table, TPathFn Path, const char* PathName, const char* PathDesc, const char* DirName,
                   const char* DirDesc, const char* NameName, const char* NameDesc, const char* FileName,
                   const char* FileDesc, const char* ExtName, const char* ExtDesc) {
  Table.Add(std::make_shared<TFnMacro>(PathName, PathDesc, Path));
  Table.Add(std::make_shared<TFnMacro>(DirName, DirDesc, [Path](auto* E, auto* P) { return ExtractFilePath(Path(E, P)); }));
  Table.Add(std::make_shared<TFnMacro>(NameName, NameDesc, [Path](auto* E, auto* P) {
    return ChangeFileExt(ExtractFileName(Path(E, P)), "");
  }));
  Table.Add(std::make_shared<TFnMacro>(FileName, FileDesc, [Path](auto* E, auto* P) { return ExtractFileName(Path(E, P)); }));
  Table.Add(std::make_shared<TFnMacro>(ExtName, ExtDesc, [Path](auto* E, auto* P) { return ExtractFileExt(Path(E, P)); }));
}

TMSBuildMacro::TResolver& MSBuildResolver() {
  static TMSBuildMacro::TResolver Resolver;
  return Resolver;
}

}  // namespace

TMSBuildMacro::TMSBuildMacro(const std::string& Name) : TIDEMacro(Name, Format(res::SMacroMSBuild, Name)) {}

void TMSBuildMacro::Expand(const TProjectFileEntry* FileEntry, IProjectContext* Project, std::string& Value) {
  if (Project && MSBuildResolver() && MSBuildResolver()(*Project, FName, Value)) return;
  TIDEMacro::Expand(FileEntry, Project, Value);
}

void TMSBuildMacro::SetResolver(TResolver Resolver) { MSBuildResolver() = std::move(Resolver); }

// ---- the table ------------------------------------------------------------------------

void TIDEMacros::RegisterBuiltIns() {
  AddPathMacros(*this, InputPath, "INPUTPATH", res::SMacroInputPath, "INPUTDIR", res::SMacroInputDir, "INPUTNAME",
                res::SMacroInputName, "INPUTFILENAME", res::SMacroInputFileName, "INPUTEXT", res::SMacroInputExt);
  AddPathMacros(*this, OutputPath, "OUTPUTPATH", res::SMacroOutputPath, "OUTPUTDIR", res::SMacroOutputDir,
                "OUTPUTNAME", res::SMacroOutputName, "OUTPUTFILENAME", res::SMacroOutputFileName, "OUTPUTEXT",
                res::SMacroOutputExt);
  AddPathMacros(*this, ProjectPath, "PROJECTPATH", res::SMacroProjectPath, "PROJECTDIR", res::SMacroProjectDir,
                "PROJECTNAME", res::SMacroProjectName, "PROJECTFILENAME", res::SMacroProjectFileName, "PROJECTEXT",
                res::SMacroProjectExt);
  Add(std::make_shared<TFnMacro>("INCLUDEPATH", res::SMacroIncludePath,
                                 [](auto*, IProjectContext* P) { return ProjectOption(P, "IncludePath"); }));
  Add(std::make_shared<TFnMacro>("DEFINES", res::SMacroDefines,
                                 [](auto*, IProjectContext* P) { return ProjectOption(P, "Defines"); }));
  Add(std::make_shared<TFnMacro>("SAVE", res::SMacroSave, [](const TProjectFileEntry* E, IProjectContext* P) {
    if (E && P) P->SaveFileBeforeUse(E->FileName);
    return std::string();
  }));
  Add(std::make_shared<TFnMacro>("LOCALCOMMAND", res::SMacroLocalCommand, [](const TProjectFileEntry* E, auto*) {
    return E ? E->LocalCommand : std::string();
  }));
  for (const char* Var : {"DIR", "WINDIR", "NXS", "SystemRoot", "Path"}) Add(std::make_shared<TEnvVarMacro>(Var));
  Add(std::make_shared<TIDEMacro>("Config", res::SMacroConfig));
  Add(std::make_shared<TIDEMacro>("Platform", res::SMacroPlatform));
}

void TIDEMacros::Add(std::shared_ptr<TIDEMacro> Macro) { FMacros[Macro->Name()].push_back(std::move(Macro)); }

void TIDEMacros::Remove(const TIDEMacro& Macro) {
  auto It = FMacros.find(Macro.Name());
  if (It == FMacros.end()) return;
  std::erase_if(It->second, [&](auto& M) { return M.get() == &Macro; });
  if (It->second.empty()) FMacros.erase(It);
}

TIDEMacro* TIDEMacros::FindMacro(const std::string& Name, IProjectContext* Project) const {
  auto It = FMacros.find(Name);
  if (It == FMacros.end()) return nullptr;
  std::string Personality = Project ? Project->GetPersonality() : std::string();
  TIDEMacro* Found = nullptr;
  for (const auto& M : It->second)
    if (M->Personality().empty() || SameText(M->Personality(), Personality)) Found = M.get();
  return Found;
}

std::vector<TIDEMacro*> TIDEMacros::GetMacroList(const std::string& Name) const {
  std::vector<TIDEMacro*> R;
  auto It = FMacros.find(Name);
  if (It != FMacros.end())
    for (const auto& M : It->second) R.push_back(M.get());
  return R;
}

std::vector<TIDEMacro*> TIDEMacros::GetMacros(IProjectContext* Project) const {
  std::vector<TIDEMacro*> R;
  for (const auto& [Name, List] : FMacros)
    if (TIDEMacro* M = FindMacro(Name, Project)) R.push_back(M);
  std::sort(R.begin(), R.end(), [](auto* A, auto* B) { return CompareText(A->Name(), B->Name()) < 0; });
  return R;
}

std::string TIDEMacros::ExpandMacros(const std::string& Text, const std::string& FileName, IProjectContext* Project) {
  if (Text.find('$') == std::string::npos) return ExpandRootMacros(Text);
  TProjectFileEntry Entry;
  const TProjectFileEntry* FileEntry = nullptr;
  if (!FileName.empty() && Project && Project->FindFileEntry(FileName, Entry)) FileEntry = &Entry;
  FCurrentProject = Project;

  std::string Result;
  size_t I = 0;
  for (;;) {
    size_t P = Text.find('$', I);
    if (P == std::string::npos) break;
    if (P + 1 == Text.size()) break;  // a "$" at the very end stays
    if (Text[P + 1] == '$') {
      Result.append(Text, I, P + 1 - I);
      I = P + 2;
      continue;
    }
    if (Text[P + 1] != '(') {
      // "$" before anything but "(" is no macro reference ("echo $HOME" in a command line).
      Result.append(Text, I, P + 1 - I);
      I = P + 1;
      continue;
    }
    Result.append(Text, I, P - I);
    size_t Close = Text.find(')', P + 2);
    if (Close == std::string::npos) throw Exception(res::SUnmatchedParen);
    std::string Name = Text.substr(P + 2, Close - P - 2);
    I = Close + 1;
    TIDEMacro* Macro = FindMacro(Name, Project);
    if (!Macro) {
      Result += "$(" + Name + ")";
      continue;
    }
    std::string Value;
    bool Supplied = false;
    for (IMacroExpansionListener* L : std::vector<IMacroExpansionListener*>(FListeners))
      if (L->ExpandMacro(*Macro, FileEntry, Project, Value)) {
        Supplied = true;
        break;
      }
    if (!Supplied) Macro->Expand(FileEntry, Project, Value);
    Result += Value;
  }
  Result.append(Text, I, std::string::npos);
  FCurrentProject = nullptr;
  return ExpandRootMacros(Result);
}

void TIDEMacros::AddListener(IMacroExpansionListener* Listener) {
  if (std::find(FListeners.begin(), FListeners.end(), Listener) == FListeners.end()) FListeners.push_back(Listener);
}

void TIDEMacros::RemoveListener(IMacroExpansionListener* Listener) { std::erase(FListeners, Listener); }

TIDEMacros& IDEMacros() {
  static TIDEMacros Table;
  static const bool Filled = (Table.RegisterBuiltIns(), true);
  (void)Filled;
  return Table;
}

}  // namespace nxs
