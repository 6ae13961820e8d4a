// IDE macros: the table (TIDEMacros, reached through IDEMacros) that expands "$(Name)" in
// command lines and paths for a project and a file, the built-in macros, listeners that may
// supply a value themselves, and the root-variable expansion applied to every result.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "shared/exceptions.h"
#include "shared/text.h"

namespace nxs {

class IProjectContext;
struct TProjectFileEntry;

class TIDEMacro {
 public:
  TIDEMacro(std::string Name, std::string Desc, std::string Personality = {})
      : FName(std::move(Name)), FDesc(std::move(Desc)), FPersonality(std::move(Personality)) {}
  virtual ~TIDEMacro() = default;
  TIDEMacro(const TIDEMacro&) = delete;  // registered by identity
  TIDEMacro& operator=(const TIDEMacro&) = delete;

  const std::string& Name() const { return FName; }
  const std::string& Desc() const { return FDesc; }
  const std::string& Personality() const { return FPersonality; }
  // FileEntry and Project may be null. The base class leaves "$(Name)" for the build engine.
  virtual void Expand(const TProjectFileEntry* FileEntry, IProjectContext* Project, std::string& Value);

 protected:
  std::string FName;
  std::string FDesc;
  std::string FPersonality;
};

// Asked before each macro is expanded; returns true when it supplied Value itself.
class IMacroExpansionListener {
 public:
  virtual ~IMacroExpansionListener() = default;
  virtual bool ExpandMacro(const TIDEMacro& Macro, const TProjectFileEntry* FileEntry, IProjectContext* Project,
                           std::string& Value) = 0;
};

// An MSBuild property of the project as the build engine evaluates it for the active
// configuration and platform (target "ResolveFiles"). The engine fills the resolver in at
// start-up; without it the macro stays "$(Name)".
class TMSBuildMacro : public TIDEMacro {
 public:
  using TResolver = std::function<bool(IProjectContext& Project, const std::string& Property, std::string& Value)>;
  explicit TMSBuildMacro(const std::string& Name);
  void Expand(const TProjectFileEntry* FileEntry, IProjectContext* Project, std::string& Value) override;
  static void SetResolver(TResolver Resolver);
};

class TIDEMacros {
 public:
  TIDEMacros() = default;
  TIDEMacros(const TIDEMacros&) = delete;  // the process's one table
  TIDEMacros& operator=(const TIDEMacros&) = delete;

  // Registers the built-in macros, in their fixed order.
  void RegisterBuiltIns();
  void Add(std::shared_ptr<TIDEMacro> Macro);
  void Remove(const TIDEMacro& Macro);
  // The macro a name means for the project: among the macros of that name (in registration
  // order) each one without personality or of the project's personality is a candidate, and
  // the last candidate wins. Null when there is none.
  TIDEMacro* FindMacro(const std::string& Name, IProjectContext* Project) const;
  std::vector<TIDEMacro*> GetMacroList(const std::string& Name) const;
  // Every macro that FindMacro would answer with for the project, sorted by name.
  std::vector<TIDEMacro*> GetMacros(IProjectContext* Project) const;
  // Raises Exception "Syntax error: Unmatched (" for a "$(" without ")".
  std::string ExpandMacros(const std::string& Text, const std::string& FileName, IProjectContext* Project);
  void AddListener(IMacroExpansionListener* Listener);
  void RemoveListener(IMacroExpansionListener* Listener);

 private:
  std::unordered_map<std::string, std::vector<std::shared_ptr<TIDEMacro>>, CaseInsensitiveHash, CaseInsensitiveEqual>
      FMacros;
  std::vector<IMacroExpansionListener*> FListeners;
  IProjectContext* FCurrentProject = nullptr;
};

// The process's table, made and filled with the built-in macros on first use.
TIDEMacros& IDEMacros();

// The environment's root variables in Text replaced: "$(NXS)" by the installation directory,
// "$(NXSPROJECTSDIR)", "$(NXSUSERDIR)" and "$(NXSCOMMONDIR)" (and the other published
// variables) by their values. Names compare without regard to case.
std::string ExpandRootMacros(const std::string& Text);

// The variables published at start-up, and their values.
std::vector<std::pair<std::string, std::string>> PublishedVariables();
void SetPublishedVariable(const std::string& Name, const std::string& Value);
// Whether Name is one of the built-in variables (the published ones and "NXS").
bool IsBuiltInVariable(const std::string& Name);
// The check of the dialog that edits one environment variable: raises "Cannot override value
// of built-in variable '%s'" for a built-in name unless AllowRootOverride.
void CheckEnvVariableOverride(const std::string& Name, bool AllowRootOverride);

}  // namespace nxs
