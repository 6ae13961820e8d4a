// Fuzzes the configurations' reading of a project document: any document that reads loads
// its configurations without failing, saving them writes a document that loads to the same
// tree, and saving that again changes no byte. Macro expansion of the same text either
// expands or reports its syntax error.
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>

#include "projectfiles/configmgr.h"
#include "projectfiles/macros.h"
#include "projectfiles/projectcontext.h"
#include "projectfiles/projectfile.h"
#include "projectfiles/startup.h"
#include "shared/dialogs.h"
#include "shared/exceptions.h"

namespace {

struct TQuiet : nxs::IUserQuestions {
  int MessageDlg(const std::string&, nxs::TMsgDlgType, unsigned, int Default) override { return Default; }
  void ShowMessage(const std::string&) override {}
  bool PromptForFileName(std::string&, const std::string&, bool) override { return false; }
};

struct TProject : nxs::IProjectContext {
  std::string GetFileName() const override { return "/fuzz/app.vproj"; }
  std::string GetPersonality() const override { return "Vellum.Personality"; }
};

// Loads the configurations of Xml, saves them and returns the document's text.
std::string LoadAndSave(const std::string& Xml) {
  TProject Project;
  auto Doc = nxs::MSBuildCreateProjectFromXml(Project.GetFileName(), Xml);
  nxs::TBuildConfigurations Configs(&Project);
  Configs.Load(*Doc);
  Configs.Save(*Doc);
  return Doc->GetXml();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  static const bool Started = [] {
    nxs::SetQuestions(std::make_shared<TQuiet>());
    nxs::StartProjectFiles();
    return true;
  }();
  (void)Started;
  std::string Text(reinterpret_cast<const char*>(Data), Size);
  try {
    nxs::IDEMacros().ExpandMacros(Text, {}, nullptr);
  } catch (const nxs::EMacroSyntax&) {
  }
  std::string First;
  try {
    First = LoadAndSave(Text);
  } catch (const nxs::Exception&) {
    return 0;  // not a project document
  }
  if (LoadAndSave(First) != First) std::abort();
  return 0;
}
