#include <gtest/gtest.h>

#include "cfgsupport.h"
#include "projectfiles/macros.h"
#include "shared/install.h"

namespace nxs::test {
namespace {

std::string Expand(const std::string& Text, IProjectContext* Project = nullptr, const std::string& File = {}) {
  return IDEMacros().ExpandMacros(Text, File, Project);
}

TEST(IDEMacros, DollarSignsAndUnknownNames) {
  StartLayer();
  EXPECT_EQ(Expand("a $$ b"), "a $ b");
  EXPECT_EQ(Expand("$$(Config)"), "$(Config)");
  EXPECT_EQ(Expand("keep $(NoSuchMacro) and $(Config)"), "keep $(NoSuchMacro) and $(Config)");
  EXPECT_EQ(Expand("cost 5$"), "cost 5$");
  EXPECT_EQ(Expand("echo $HOME"), "echo $HOME");
  EXPECT_EQ(Expand("plain"), "plain");
  try {
    Expand("x $(INPUTPATH");
    FAIL();
  } catch (const Exception& E) {
    EXPECT_STREQ(E.what(), "Syntax error: Unmatched (");
  }
}

TEST(IDEMacros, FileAndProjectNames) {
  TTestProject P("/work/app/demo.vproj", "");
  P.LocalCommand = "make it";
  EXPECT_EQ(Expand("$(INPUTPATH)|$(INPUTDIR)|$(INPUTNAME)|$(INPUTFILENAME)|$(INPUTEXT)", &P, "src/unit.pas"),
            "/work/app/src/unit.pas|/work/app/src/|unit|unit.pas|.pas");
  EXPECT_EQ(Expand("$(INPUTPATH)", &P), "/work/app/demo.vproj");
  EXPECT_EQ(Expand("$(OUTPUTPATH) $(OUTPUTNAME)$(OUTPUTEXT)", &P), "/out/app app");
  EXPECT_EQ(Expand("$(PROJECTDIR)$(PROJECTNAME)$(PROJECTEXT) $(projectfilename)", &P),
            "/work/app/demo.vproj demo.vproj");
  EXPECT_EQ(Expand("[$(SAVE)]$(LOCALCOMMAND)", &P, "a.pas"), "[]make it");
  EXPECT_EQ(P.Saved, std::vector<std::string>{"/work/app/a.pas"});
}

TEST(IDEMacros, ProjectOptionsComeFromTheActiveConfiguration) {
  TTestProject P("/work/app/demo.vproj", "");
  TBuildConfiguration& Debug = P.Configs.AddConfiguration("Debug");
  P.Configs.SetActiveConfiguration("Debug");
  P.Configs.SetPlatformSupported("Linux64", true);
  P.Configs.SetActivePlatform("Linux64");
  P.Configs.GetBaseConfiguration().SetValue("Defines", "BASE");
  Debug.GetPlatformConfiguration("Linux64", true)->SetListValue("Defines", "LNX", true);
  Debug.SetValue("IncludePath", "inc");
  EXPECT_EQ(Expand("$(DEFINES) $(INCLUDEPATH)", &P), "LNX;BASE inc");
}

TEST(IDEMacros, LaterPersonalityMacroWinsForItsPersonalityOnly) {
  StartLayer();
  auto Plain = std::make_shared<TIDEMacro>("TESTWHO", "plain");
  struct TFixed : TIDEMacro {
    TFixed(std::string V, std::string Personality) : TIDEMacro("TESTWHO", "fixed", std::move(Personality)), Value(std::move(V)) {}
    void Expand(const TProjectFileEntry*, IProjectContext*, std::string& Out) override { Out = Value; }
    std::string Value;
  };
  auto Everyone = std::make_shared<TFixed>("everyone", "");
  auto Pascal = std::make_shared<TFixed>("pascal", "Vellum.Personality");
  IDEMacros().Add(Everyone);
  IDEMacros().Add(Pascal);
  TTestProject PascalProject("/p/a.vproj", "", "Vellum.Personality");
  TTestProject CppProject("/p/b.kzproj", "", "Kestrel.Personality");
  EXPECT_EQ(Expand("$(TestWho)", &PascalProject), "pascal");
  EXPECT_EQ(Expand("$(TestWho)", &CppProject), "everyone");
  IDEMacros().Remove(*Pascal);
  IDEMacros().Remove(*Everyone);
  EXPECT_EQ(Expand("$(TESTWHO)", &PascalProject), "$(TESTWHO)");
}

TEST(IDEMacros, ListenersMaySupplyTheValue) {
  StartLayer();
  struct TListener : IMacroExpansionListener {
    bool ExpandMacro(const TIDEMacro& Macro, const TProjectFileEntry*, IProjectContext*, std::string& Value) override {
      if (Macro.Name() != "INPUTNAME") return false;
      Value = "intercepted";
      return true;
    }
  } Listener;
  IDEMacros().AddListener(&Listener);
  TTestProject P("/p/demo.vproj", "");
  EXPECT_EQ(Expand("$(INPUTNAME)/$(INPUTEXT)", &P), "intercepted/.vproj");
  IDEMacros().RemoveListener(&Listener);
  EXPECT_EQ(Expand("$(INPUTNAME)", &P), "demo");
}

TEST(IDEMacros, RootVariablesAreReplacedAtTheEnd) {
  StartLayer();
  SetPublishedVariable("NXSPROJECTSDIR", "/home/u/Projects");
  EXPECT_EQ(Expand("$(NXSPROJECTSDIR)/x"), "/home/u/Projects/x");
  EXPECT_EQ(Expand("$(nxs)/data"), InstallDir() + "/data");
  EXPECT_EQ(ExpandRootMacros("no macros"), "no macros");
  EXPECT_EQ(InstallDir() + "/data", DataDir());
  EXPECT_THROW(CheckEnvVariableOverride("NXSUSERDIR", false), Exception);
  EXPECT_NO_THROW(CheckEnvVariableOverride("NXSUSERDIR", true));
  EXPECT_NO_THROW(CheckEnvVariableOverride("MYVAR", false));
  try {
    CheckEnvVariableOverride("NXS", false);
    FAIL();
  } catch (const Exception& E) {
    EXPECT_STREQ(E.what(), "Cannot override value of built-in variable 'NXS'");
  }
}

TEST(IDEMacros, MSBuildMacroWaitsForTheEngine) {
  TTestProject P("/p/demo.vproj", "");
  auto Macro = std::make_shared<TMSBuildMacro>("TestOutputDir");
  EXPECT_EQ(Macro->Desc(), "The MSBuild variable $(TestOutputDir)");
  IDEMacros().Add(Macro);
  EXPECT_EQ(Expand("$(TestOutputDir)", &P), "$(TestOutputDir)");
  TMSBuildMacro::SetResolver([](IProjectContext&, const std::string& Name, std::string& Value) {
    Value = "resolved-" + Name;
    return true;
  });
  EXPECT_EQ(Expand("$(TestOutputDir)", &P), "resolved-TestOutputDir");
  TMSBuildMacro::SetResolver(nullptr);
  IDEMacros().Remove(*Macro);
}

}  // namespace
}  // namespace nxs::test
