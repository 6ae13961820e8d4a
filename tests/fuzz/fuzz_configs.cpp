// Fuzzes the configurations' reading of a project document: any document that reads loads
// its configurations without failing, saving them writes a document that loads to the same
// tree, and saving that again changes no byte. The first save after a change keeps what the
// change did not name: every element, property (with its value, in its order), item, group
// and identifier comment of the input is still in the output. Macro expansion of the same
// text either expands or reports its syntax error.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "projectfiles/conditions.h"
#include "projectfiles/configmgr.h"
#include "projectfiles/msbnodes.h"
#include "projectfiles/xmlio.h"
#include "projectfiles/macros.h"
#include "projectfiles/projectcontext.h"
#include "projectfiles/projectfile.h"
#include "projectfiles/resstrings.h"
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

// What a save owns: the project-level properties of the global group, the definitions'
// own properties, build events, option-set references and imports, the platform list and
// the stamps of the extension section. Everything else must come through unchanged.
bool OwnedBySave(const std::vector<const nxs::TNode*>& Path, const nxs::TBuildConfigurations& Configs) {
  const nxs::TNode& N = *Path.back();
  std::string Name = N.GetName();
  if (Path.size() >= 2 && Path[1]->GetName() == "ProjectExtensions") {
    if (Path.size() == 3 && (Name == "ProjectFileVersion" || Name == "Tarvos.Personality")) return true;
    return Path.size() >= 4 && Path[2]->GetName() == "TarvosProject" && Path[3]->GetName() == "Platforms";
  }
  if (Path.size() == 2 && Name == "Import") return true;
  if (Path.size() != 3 || Path[1]->GetName() != "PropertyGroup") return false;
  for (const char* Own : {"Base", "Config", "Platform", "TargetedPlatforms", "Profile", "PlatformSDK", "AppType",
                          "FrameworkType", "CfgParent", "CfgDependentOn"})
    if (nxs::SameText(Name, Own)) return true;
  for (const char* Event : {"PreBuildEvent", "PreLinkEvent", "PostBuildEvent"})
    if (nxs::StartsText(Event, Name)) return true;
  return Configs.GetConfigurationByKey(Name) != nullptr;
}

// One element as text: its path of names and conditions, its attributes, value and id.
std::string Signature(const std::vector<const nxs::TNode*>& Path) {
  std::string S;
  for (const nxs::TNode* N : Path) S += N->GetName() + "[" + N->GetCondition() + "]/";
  const nxs::TNode& N = *Path.back();
  for (const auto& A : N.GetAttributeNames()) S += " " + A + "=" + N.GetAttribute(A);
  // The text of an element the save adds children to (a property group, the storage
  // section) goes once it holds elements: it is none of the build's.
  if (N.Is<nxs::msb::TPropertyGroup>() || N.Is<nxs::msb::TProjectExtensions>() || N.GetName() == "TarvosProject")
    return S + " #" + N.GetId();
  return S + " #" + N.GetId() + " =" + N.GetValue();
}

void Collect(const nxs::TNode& Node, std::vector<const nxs::TNode*>& Path, const nxs::TBuildConfigurations& Configs,
             std::map<std::string, int>& Counts, std::vector<std::string>* Order) {
  Path.push_back(&Node);
  if (!OwnedBySave(Path, Configs)) {
    std::string S = Signature(Path);
    ++Counts[S];
    if (Order) Order->push_back(S);
    if (Node.Nodes())
      for (const auto& Child : *Node.Nodes()) Collect(*Child, Path, Configs, Counts, Order);
  }
  Path.pop_back();
}

// Every element of Before not owned by the save is in After, as often, and in the same order.
void CheckKept(const std::string& Before, const std::string& After, const nxs::TBuildConfigurations& Configs) {
  auto Tree = [](const std::string& Xml) {
    std::unique_ptr<nxs::TNode> Root = nxs::TProjectXmlReader().Read(Xml);
    return nxs::TProjectXmlReader().Read(nxs::WriteXmlText(*Root));
  };
  std::unique_ptr<nxs::TNode> A = Tree(Before), B = Tree(After);
  std::map<std::string, int> InA, InB;
  std::vector<std::string> OrderA, OrderB;
  std::vector<const nxs::TNode*> Path;
  Collect(*A, Path, Configs, InA, &OrderA);
  Collect(*B, Path, Configs, InB, &OrderB);
  for (const auto& [S, Count] : InA)
    if (InB[S] < Count) {  // something the change did not name is gone
      std::fprintf(stderr, "lost: %s\n", S.c_str());
      std::abort();
    }
  // In their order: what the input holds is a subsequence of the output.
  size_t J = 0;
  for (const auto& S : OrderA) {
    while (J < OrderB.size() && OrderB[J] != S) ++J;
    if (J == OrderB.size()) {
      std::fprintf(stderr, "out of order: %s\n", S.c_str());
      std::abort();
    }
    ++J;
  }
}

// Loads the configurations, changes one value of a configuration (a new option), saves, and
// checks that what the change did not name stayed.
void CheckFirstSave(const std::string& Xml) {
  TProject Project;
  auto Doc = nxs::MSBuildCreateProjectFromXml(Project.GetFileName(), Xml);
  std::string Before = Doc->GetXml();
  nxs::TBuildConfigurations Configs(&Project);
  Configs.Load(*Doc);
  if (Configs.IsModified()) return;  // the load itself converted something
  std::vector<nxs::TBuildConfiguration*> All = Configs.GetGlobalConfigurations();
  All.back()->SetValue("FuzzProbe", "1");
  Configs.Save(*Doc);
  CheckKept(Before, Doc->GetXml(), Configs);
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
  } catch (const nxs::Exception& E) {
    // The one error expansion may raise.
    if (std::string(E.what()) != nxs::res::SUnmatchedParen) std::abort();
  }
  std::string First;
  try {
    First = LoadAndSave(Text);
  } catch (const nxs::Exception&) {
    return 0;  // not a project document
  }
  if (LoadAndSave(First) != First) std::abort();
  CheckFirstSave(Text);
  return 0;
}
