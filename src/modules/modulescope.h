// The module layer as a session that edits files sets it up: the environment options read
// from the settings (the built-in source groups kept out of them), the file history following
// those options, and the source modules' handlers, undone in reverse when the scope ends.
#pragma once

#include <memory>

namespace nxs {

class TEnvironmentOptions;
class TFileHistoryOptionsLink;

class TSourceModuleScope {
 public:
  TSourceModuleScope();
  ~TSourceModuleScope();
  TSourceModuleScope(const TSourceModuleScope&) = delete;  // one module layer per scope
  TSourceModuleScope& operator=(const TSourceModuleScope&) = delete;

  TEnvironmentOptions& Options() { return *FOptions; }

 private:
  std::unique_ptr<TEnvironmentOptions> FOptions;
  std::unique_ptr<TFileHistoryOptionsLink> FHistoryLink;
};

}  // namespace nxs
