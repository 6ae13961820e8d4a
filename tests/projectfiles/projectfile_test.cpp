#include "projectfiles/projectfile.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "projectfiles/xmlio.h"
#include "shared/fileio.h"
#include "shared/testdir.h"

using namespace nxs;
using namespace nxs::msb;
using nxs::test::TTempDir;

namespace {

const std::string Ns = "xmlns=\"http://schemas.microsoft.com/developer/msbuild/2003\"";

std::shared_ptr<TNativeMSBuildProject> Doc(const std::string& Body, const std::string& FileName = "p.vproj") {
  return std::make_shared<TNativeMSBuildProject>(FileName, LoadProjectFromText("<Project " + Ns + ">" + Body + "</Project>"));
}

// The children of the root as "Name[Condition]" lines.
std::string Outline(TNativeMSBuildProject& D) {
  std::string S;
  TProjectNode* Root = D.GetProjectNode();
  for (int I = 0; I < Root->Count(); ++I) {
    TNode* N = Root->GetNode(I);
    S += N->GetName();
    if (!N->GetAttribute("Project").empty()) S += ":" + N->GetAttribute("Project");
    if (!N->GetCondition().empty()) S += "[" + N->GetCondition() + "]";
    S += " ";
  }
  return S;
}

struct TCollector : IPropertyReader, IItemReader, ITargetReader {
  std::vector<std::string> Log;
  void ReadProperty(const std::string& N, const std::string& V, const std::string& C) override {
    Log.push_back(N + "=" + V + "|" + C);
  }
  void BeginItem(const std::string& T, const std::string& I, const std::string& C) override {
    Log.push_back("item " + T + " " + I + "|" + C);
  }
  void ItemMetadata(const std::string& N, const std::string& V) override { Log.push_back(" " + N + "=" + V); }
  void EndItem() override { Log.push_back("end"); }
  void BeginTarget(const std::string& N, const std::string& C) override { Log.push_back("target " + N + "|" + C); }
  void DependsOnTargets(const std::string& V) override { Log.push_back(" depends " + V); }
  void BeginTask(const std::string& N, const std::string& C) override { Log.push_back(" task " + N + "|" + C); }
  void TaskParameter(const std::string& N, const std::string& V) override { Log.push_back("  " + N + "=" + V); }
};

std::string MessageOf(const std::function<void()>& F) {
  try {
    F();
  } catch (const std::exception& E) {
    return E.what();
  }
  return "no error";
}

}  // namespace

TEST(ProjectDocument, ProjectFileVersionIsCheckedAndStamped) {
  for (const char* Ok : {"", "11", "12"}) {
    auto D = Doc(std::string("<ProjectExtensions><ProjectFileVersion>") + Ok + "</ProjectFileVersion></ProjectExtensions>");
    D->CheckProjectFileVersion();
    EXPECT_EQ(D->GetProjectNode()->GetProjectExtensions()->GetValue("ProjectFileVersion"), "12");
  }
  auto Newer = Doc("<ProjectExtensions><ProjectFileVersion>13</ProjectFileVersion></ProjectExtensions>");
  EXPECT_EQ(MessageOf([&] { Newer->CheckProjectFileVersion(); }),
            "Project is a newer version (13) incompatible with current version (12).");
  auto Huge = Doc("<ProjectExtensions><ProjectFileVersion>99999999999</ProjectFileVersion></ProjectExtensions>");
  EXPECT_EQ(MessageOf([&] { Huge->CheckProjectFileVersion(); }),
            "Project is a newer version (99999999999) incompatible with current version (12).");
  auto Bad = Doc("<ProjectExtensions><ProjectFileVersion>twelve</ProjectFileVersion></ProjectExtensions>");
  EXPECT_EQ(MessageOf([&] { Bad->CheckProjectFileVersion(); }), "Unknown project version: \"twelve\"");
  // A file that already carries the version is not modified by opening it.
  auto Current = Doc("<ProjectExtensions><ProjectFileVersion>12</ProjectFileVersion></ProjectExtensions>");
  Current->CheckProjectFileVersion();
  EXPECT_FALSE(Current->IsModified());
}

TEST(ProjectDocument, ExtensionValuesRefuseXmlAndNameTheFile) {
  auto D = Doc("", "dir/app.vproj");
  D->SetPersonality("Vellum.Personality");
  D->SetProjectType("Application");
  D->SetPersonalityVersion("1");
  EXPECT_EQ(D->GetPersonality(), "Vellum.Personality");
  EXPECT_EQ(D->GetProjectType(), "Application");
  EXPECT_EQ(D->GetPersonalityVersion(), "1");
  EXPECT_EQ(MessageOf([&] { D->SetPersonality("<x>"); }), "Personality cannot contain XML (dir/app.vproj)");
  EXPECT_EQ(MessageOf([&] { D->SetPersonalityVersion("1>"); }), "PersonalityVersion cannot contain XML (dir/app.vproj)");
  EXPECT_EQ(MessageOf([&] { D->SetProjectType("<"); }), "ProjectType cannot contain XML (dir/app.vproj)");
  EXPECT_EQ(D->GetPersonality(), "Vellum.Personality");
  // The personality is written with its version and read without it.
  std::string Xml = D->GetXml();
  EXPECT_NE(Xml.find("<Tarvos.Personality>Vellum.Personality.12</Tarvos.Personality>"), std::string::npos);
  EXPECT_EQ(D->GetPersonality(), "Vellum.Personality");
}

TEST(ProjectDocument, ExtensionSectionXmlAndPathSearch) {
  std::string Section;
  auto D = MSBuildCreateProject("new.vproj", "Vellum.Personality", "Application", Section);
  EXPECT_EQ(Section, "<TarvosProject>\r\n    <Vellum.Personality/>\r\n</TarvosProject>\r\n");
  auto* Native = dynamic_cast<TNativeMSBuildProject*>(D.get());
  TProjectExtensions* Ext = Native->GetProjectNode()->GetProjectExtensions();
  EXPECT_NE(Ext->FindFirstChild("TarvosProject\\Vellum.Personality"), nullptr);
  TGUID Guid = D->GetProjectGuid();
  EXPECT_FALSE(Guid.IsEmpty());
  EXPECT_EQ(Ext->GetValue("ProjectFileVersion"), "12");

  D->SetExtensionXml("  <TarvosProject><Platforms><Platform value=\"Win32\">True</Platform></Platforms></TarvosProject> ");
  EXPECT_EQ(D->GetExtensionXml(),
            "<TarvosProject>\r\n    <Platforms>\r\n        <Platform value=\"Win32\">True</Platform>\r\n"
            "    </Platforms>\r\n</TarvosProject>\r\n");
  // Bad XML is refused and leaves the section as it was.
  EXPECT_EQ(MessageOf([&] { D->SetExtensionXml("<TarvosProject>"); }).rfind("Fatal error", 0), 0u);
  EXPECT_NE(D->GetExtensionXml().find("Platforms"), std::string::npos);

  auto Empty = MSBuildCreateProject("e.vproj", "", "", Section);
  EXPECT_EQ(Section, "<TarvosProject/>\r\n");
}

// Given a personality, a document read from text keeps its "TarvosProject" section, with what
// it holds where it stood, and the section holds the personality's element as a new
// project's does.
TEST(ProjectDocument, CreateFromXmlWithPersonalityKeepsTheSection) {
  auto D = MSBuildCreateProjectFromXml(
      "x.kzproj",
      "<Project " + Ns + "><ProjectExtensions><TarvosProject><Old/></TarvosProject><Tail/></ProjectExtensions></Project>",
      "Kestrel.Personality");
  EXPECT_EQ(D->GetPersonality(), "Kestrel.Personality");
  EXPECT_EQ(D->GetExtensionXml(), "<TarvosProject>\r\n    <Old/>\r\n    <Kestrel.Personality/>\r\n</TarvosProject>\r\n");
  auto* Native = dynamic_cast<TNativeMSBuildProject*>(D.get());
  TProjectExtensions* Ext = Native->GetProjectNode()->GetProjectExtensions();
  EXPECT_EQ(Ext->GetChildByIndex("Kestrel.Personality", 0), nullptr);
  EXPECT_LT(Ext->GetChildByIndex("TarvosProject", 0)->Index(), Ext->GetChildByIndex("Tail", 0)->Index());
  // One that holds the element already keeps it as it is; one without a section gets one.
  auto Held = MSBuildCreateProjectFromXml(
      "y.kzproj",
      "<Project " + Ns + "><ProjectExtensions><TarvosProject><Kestrel.Personality><S>1</S></Kestrel.Personality>"
      "</TarvosProject></ProjectExtensions></Project>",
      "Kestrel.Personality");
  EXPECT_NE(Held->GetExtensionXml().find("<S>1</S>"), std::string::npos);
  auto Bare = MSBuildCreateProjectFromXml("z.vproj", "<Project " + Ns + "/>", "Vellum.Personality");
  std::string Section;
  MSBuildCreateProject("n.vproj", "Vellum.Personality", "", Section);
  EXPECT_EQ(Bare->GetExtensionXml(), Section);
}

TEST(ProjectDocument, ItemsGoToReferenceAndPlainGroups) {
  auto D = Doc("<PropertyGroup/><ItemGroup Condition=\"c\"><Compile Include=\"c.pas\"/></ItemGroup><Target Name=\"T\"/>");
  D->AddItem("Compile", "a.pas", "");
  D->AddItemMetadata("Form", "F");
  D->EndItem();
  D->AddItem("reference", "System", "");
  D->AddItem("Compile", "b.pas", "");
  EXPECT_EQ(Outline(*D), "PropertyGroup ItemGroup ItemGroup ItemGroup[c] Target ");
  TCollector C;
  D->ReadItems(C);
  // The reference group was made behind the last property group, so it comes first.
  EXPECT_EQ(C.Log, (std::vector<std::string>{"item reference System|", "end", "item Compile a.pas|", " Form=F", "end",
                                             "item Compile b.pas|", "end"}));
  D->EndItem();
  EXPECT_EQ(MessageOf([&] { D->AddItemMetadata("K", "V"); }),
            "Attempted to write metadata \"K=V\" to a null BuildItem (p.vproj)");
  // A current item that leaves the tree is forgotten, not written through.
  D->AddItem("Compile", "z.pas", "");
  D->ClearUnconditionedItemGroups();
  EXPECT_EQ(MessageOf([&] { D->AddItemMetadata("K", "V"); }),
            "Attempted to write metadata \"K=V\" to a null BuildItem (p.vproj)");
  EXPECT_EQ(Outline(*D), "PropertyGroup ItemGroup ItemGroup ItemGroup[c] Target ");
}

TEST(ProjectDocument, PropertyGroupsReadWriteAndRemove) {
  auto D = Doc(
      "<PropertyGroup><Config Condition=\"'$(Config)'==''\">Debug</Config><Base>True</Base></PropertyGroup>"
      "<PropertyGroup Condition=\"'$(Base)'!=''\"><Out>bin</Out><Out Condition=\"x\">obj</Out></PropertyGroup>"
      "<PropertyGroup Condition=\"'$(Cfg_1)'!=''\"><Out>dbg</Out></PropertyGroup>");
  TCollector C;
  D->ReadPropertyGroup("'$(BASE)'!=''", C);
  D->ReadGroupProperty("out", "'$(Cfg_1)'!=''", C);
  D->ReadPropertyInAllGroups("Out", C);
  D->ReadGlobalProperty("Config", C);
  EXPECT_EQ(C.Log, (std::vector<std::string>{"Out=bin|", "Out=obj|x", "Out=dbg|", "Out=bin|'$(Base)'!=''",
                                             "Out=obj|'$(Base)'!=''", "Out=dbg|'$(Cfg_1)'!=''",
                                             "Config=Debug|'$(Config)'==''"}));
  std::vector<std::string> Conditions, Names;
  D->GetGroupConditions(Conditions);
  EXPECT_EQ(Conditions, (std::vector<std::string>{"", "'$(Base)'!=''", "'$(Cfg_1)'!=''"}));
  D->GetGroupPropertyNames("'$(Base)'!=''", Names);
  EXPECT_EQ(Names, (std::vector<std::string>{"Out", "Out"}));

  D->BeginPropertyGroup("'$(Cfg_2)'!=''");
  D->WriteProperty("Out", "rel", false, "");
  D->WriteProperty("Keep", "", true, "");
  D->EndPropertyGroup();
  EXPECT_EQ(Outline(*D), "PropertyGroup PropertyGroup['$(Base)'!=''] PropertyGroup['$(Cfg_1)'!=''] "
                         "PropertyGroup['$(Cfg_2)'!=''] ");
  D->BeginPropertyGroup("'$(Cfg_2)'!=''");
  D->WriteProperty("Keep", "", false, "");
  Names.clear();
  D->GetGroupPropertyNames("'$(Cfg_2)'!=''", Names);
  EXPECT_EQ(Names, (std::vector<std::string>{"Out"}));

  std::string Value, Condition;
  EXPECT_TRUE(D->GetGlobalProperty("config", Value, Condition));
  EXPECT_EQ(Value + "|" + Condition, "Debug|'$(Config)'==''");
  EXPECT_TRUE(D->HasUnconditionedProperty("Base"));
  EXPECT_FALSE(D->HasUnconditionedProperty("Config"));
  D->RemoveGlobalProperty("Base");
  D->RemoveGlobalProperty("Config");  // the global group is left empty and goes
  EXPECT_EQ(Outline(*D), "PropertyGroup['$(Base)'!=''] PropertyGroup['$(Cfg_1)'!=''] PropertyGroup['$(Cfg_2)'!=''] ");
  D->SetGlobalProperty("Base", "True", false, "");
  EXPECT_EQ(Outline(*D).rfind("PropertyGroup PropertyGroup['$(Base)'", 0), 0u);
  D->ClearPropertyGroups("'$(Cfg_1)'!=''");
  Names.clear();
  D->GetGroupPropertyNames("'$(Cfg_1)'!=''", Names);
  EXPECT_TRUE(Names.empty());
  D->RemoveConditionedPropertyGroups("");
  EXPECT_EQ(Outline(*D), "PropertyGroup ");
}

// The groups of one condition, however spelled, in document order, while groups come, go,
// move and change their conditions between lookups.
TEST(ProjectDocument, GroupsOfAConditionFollowEveryChangeInDocumentOrder) {
  auto D = Doc("<PropertyGroup Condition=\"'$(A)'!=''\"><N>1</N></PropertyGroup>"
               "<PropertyGroup Condition=\"'$(B)'!=''\"><N>2</N></PropertyGroup>"
               "<PropertyGroup Condition=\" '$(A)' != '' \"><N>3</N></PropertyGroup>");
  TProjectNode* Root = D->GetProjectNode();
  auto Values = [&](const std::string& Condition) {
    std::string S;
    for (TPropertyGroup* G : Root->PropertyGroupsWith(Condition)) S += G->Count() ? G->GetNode(0)->GetValue() : "-";
    return S;
  };
  const std::string A = "'$(A)'!=''", B = "'$(B)'!=''";
  EXPECT_EQ(Values(A), "13");
  TPropertyGroup* One = Root->GetPropertyGroup(0);
  TPropertyGroup* Two = Root->GetPropertyGroup(1);
  TPropertyGroup* Three = Root->GetPropertyGroup(2);
  // Added in front, between and at the end.
  auto Front = std::make_unique<TPropertyGroup>();
  TPropertyGroup* FrontGroup = Front.get();
  Root->InsertNode(std::move(Front), 0);
  FrontGroup->SetAttribute("Condition", A);
  TPropertyGroup* Between = Root->AddPropertyGroup(A, Two);
  TPropertyGroup* Last = Root->AddPropertyGroup(A);
  EXPECT_EQ(Values(A), "-1-3-");
  for (TPropertyGroup* G : {FrontGroup, Between, Last}) Root->RemoveNode(G);
  EXPECT_EQ(Values(A), "13");
  // A condition changed takes the group from one list to the other, in its place there.
  One->SetAttribute("Condition", B);
  EXPECT_EQ(Values(A), "3");
  EXPECT_EQ(Values(B), "12");
  Three->SetAttribute("Condition", "");
  EXPECT_EQ(Values(A), "");
  EXPECT_EQ(Values(""), "3");
  Three->SetAttribute("Condition", B);
  EXPECT_EQ(Values(B), "123");
  // Moved among the others of its condition.
  Three->SetIndex(0);
  EXPECT_EQ(Values(B), "312");
  One->SetIndex(2);
  EXPECT_EQ(Values(B), "321");
  Root->Clear();
  EXPECT_EQ(Values(B), "");
}

TEST(ProjectDocument, ConditionedPropertiesGoBehindTheLastImport) {
  auto D = Doc("<PropertyGroup Condition=\"c\"><A>1</A></PropertyGroup><Import Project=\"x.targets\"/>");
  D->SetConditionedProperty("B", "2", "C");
  EXPECT_EQ(Outline(*D), "PropertyGroup[c] Import:x.targets PropertyGroup[C] ");
  D->SetConditionedProperty("B", "3", "c");  // the group behind the import takes it
  EXPECT_EQ(Outline(*D), "PropertyGroup[c] Import:x.targets PropertyGroup[C] ");
  TCollector Col;
  D->ReadPropertyGroup("c", Col);
  EXPECT_EQ(Col.Log, (std::vector<std::string>{"A=1|"}));
  auto NoImports = Doc("<ItemGroup/>");
  NoImports->SetConditionedProperty("B", "2", "c");
  EXPECT_EQ(Outline(*NoImports), "PropertyGroup[c] ItemGroup ");
}

TEST(ProjectDocument, Imports) {
  auto D = Doc("<Import Project=\"a.targets\"/><ItemGroup/><Import Project=\"b.targets\"/>");
  D->InsertImport("first", 0, "");
  D->InsertImport("third", 2, "");
  D->InsertImport("last", 99, "");
  EXPECT_EQ(Outline(*D), "Import:first Import:a.targets Import:third ItemGroup Import:b.targets Import:last ");
  D->AddImport("added", "c");
  EXPECT_EQ(Outline(*D),
            "Import:first Import:a.targets Import:third ItemGroup Import:added[c] Import:b.targets Import:last ");
  EXPECT_TRUE(D->HasImport("a.targets", ""));
  EXPECT_FALSE(D->HasImport("A.TARGETS", "")) << "another file on this platform";
  EXPECT_FALSE(D->HasImport("added", ""));
  EXPECT_EQ(D->RemoveImport("third", ""), 2);
  EXPECT_EQ(D->RemoveImport("third", ""), -1);
  D->MoveImport("last", "", 0);
  EXPECT_EQ(Outline(*D).rfind("Import:last Import:first", 0), 0u);
  D->RemoveAllImports();
  EXPECT_EQ(Outline(*D), "ItemGroup ");
  D->InsertImport("only", 5, "");
  EXPECT_EQ(Outline(*D), "ItemGroup Import:only ");
}

TEST(ProjectDocument, TargetsAndTasks) {
  auto D = Doc("<Target Name=\"Build\"/>");
  EXPECT_EQ(MessageOf([&] { D->BeginWriteTask("Exec"); }), "BeginWriteTask: Current target is nil (p.vproj)");
  EXPECT_EQ(MessageOf([&] { D->SetTaskParameter("a", "b"); }), "Current task is nil (p.vproj)");
  EXPECT_EQ(MessageOf([&] { D->SetTaskCondition("a"); }), "Current task is nil (p.vproj)");
  D->BeginWriteTarget("Deploy", "Build");
  D->BeginWriteTask("Copy");
  D->SetTaskParameter("SourceFiles", "a.exe");
  D->SetTaskCondition("Exists('a.exe')");
  D->EndWriteTask();
  D->EndWriteTarget();
  std::string Names = "X";
  D->GetTargetNames(Names);
  EXPECT_EQ(Names, "X;Build;Deploy");
  TCollector C;
  D->ReadTargets(C);
  EXPECT_EQ(C.Log, (std::vector<std::string>{"target Build|", " depends ", "target Deploy|", " depends Build",
                                             " task Copy|Exists('a.exe')", "  SourceFiles=a.exe"}));
  D->BeginWriteTarget("Deploy", "");
  D->RemoveTarget("deploy");
  EXPECT_EQ(MessageOf([&] { D->BeginWriteTask("Exec"); }), "BeginWriteTask: Current target is nil (p.vproj)");
  EXPECT_EQ(Outline(*D), "Target ");
}

TEST(ProjectDocument, PreserveRestoreAndModifiedState) {
  auto D = Doc("<PropertyGroup><A>1</A></PropertyGroup>");
  EXPECT_FALSE(D->IsModified());
  EXPECT_EQ(MessageOf([&] { D->Restore(); }), "Cannot restore project document, it was not preserved (p.vproj)");
  D->Preserve();
  D->SetGlobalProperty("A", "2", false, "");
  EXPECT_TRUE(D->IsModified());
  D->Restore();
  std::string V, C;
  D->GetGlobalProperty("A", V, C);
  EXPECT_EQ(V, "1");
  EXPECT_FALSE(D->IsModified());
  // The restored tree is usable through the cached references.
  D->SetGlobalProperty("B", "x", false, "");
  EXPECT_TRUE(D->IsModified());
  D->Preserve();
  D->RebuildTree();
  EXPECT_TRUE(D->IsModified());  // it was modified when preserved
  EXPECT_TRUE(D->GetGlobalProperty("B", V, C));
  D->DiscardPreserved();
  EXPECT_EQ(MessageOf([&] { D->Restore(); }), "Cannot restore project document, it was not preserved (p.vproj)");
  // Text made for other uses than saving does not make the document unmodified.
  D->GetXml();
  EXPECT_TRUE(D->IsModified());
}

TEST(ProjectDocument, ResetKeepsIdentity) {
  auto D = Doc(
      "<PropertyGroup><ProjectGuid Condition=\"c\">{6A1C2F4E-8B3D-4E5F-9A7B-1C2D3E4F5A6B}</ProjectGuid><X>1</X>"
      "</PropertyGroup><ItemGroup><A Include=\"a\"/></ItemGroup><ProjectExtensions>"
      "<Tarvos.Personality>Vellum.Personality.12</Tarvos.Personality><Tarvos.ProjectType>Library</Tarvos.ProjectType>"
      "<TarvosProject><Vellum.Personality><S>1</S></Vellum.Personality></TarvosProject><Other/>"
      "</ProjectExtensions>");
  D->ResetDocument();
  EXPECT_EQ(D->GetXml(),
            "<Project " + Ns + ">\r\n"
            "    <PropertyGroup>\r\n"
            "        <ProjectGuid Condition=\"c\">{6A1C2F4E-8B3D-4E5F-9A7B-1C2D3E4F5A6B}</ProjectGuid>\r\n"
            "    </PropertyGroup>\r\n"
            "    <ProjectExtensions>\r\n"
            "        <Tarvos.Personality>Vellum.Personality.12</Tarvos.Personality>\r\n"
            "        <Tarvos.ProjectType>Library</Tarvos.ProjectType>\r\n"
            "        <TarvosProject>\r\n"
            "            <Vellum.Personality>\r\n"
            "                <S>1</S>\r\n"
            "            </Vellum.Personality>\r\n"
            "        </TarvosProject>\r\n"
            "    </ProjectExtensions>\r\n"
            "</Project>\r\n");
}

TEST(ProjectDocument, GuidRoundTripAndBadText) {
  auto D = Doc("");
  EXPECT_TRUE(D->GetProjectGuid().IsEmpty());
  TGUID G = StringToGUID("{6A1C2F4E-8B3D-4E5F-9A7B-1C2D3E4F5A6B}");
  D->SetProjectGuid(G);
  EXPECT_EQ(D->GetProjectGuid(), G);
  D->SetGlobalProperty("ProjectGuid", "nonsense", false, "");
  EXPECT_THROW(D->GetProjectGuid(), EConvertError);
}

TEST(ProjectDocument, SaveOpenReloadThroughFiles) {
  TTempDir Dir;
  std::string Name = Dir / "app.vproj";
  FileSystem().WriteFile(Name, "<?xml version=\"1.0\"?>\n<Project " + Ns +
                                   "><PropertyGroup><A>1</A></PropertyGroup></Project>");
  auto D = MSBuildOpenProject(Name);
  EXPECT_TRUE(D->IsModified());  // the version was stamped
  D->SaveToFile(Name);
  EXPECT_FALSE(D->IsModified());
  std::string Saved = FileSystem().ReadFile(Name);
  EXPECT_EQ(Saved.rfind("\xEF\xBB\xBF<Project " + Ns + ">\r\n    <PropertyGroup>\r\n", 0), 0u);
  EXPECT_NE(Saved.find("<ProjectFileVersion>12</ProjectFileVersion>"), std::string::npos);

  // A failed save leaves the document modified.
  D->SetGlobalProperty("A", "2", false, "");
  EXPECT_THROW(D->SaveToFile(Dir / "missing/dir/x.vproj"), EInOutError);
  EXPECT_TRUE(D->IsModified());

  FileSystem().WriteFile(Name, "<Project " + Ns + "><PropertyGroup><A>3</A></PropertyGroup></Project>");
  D->Reload();
  std::string V, C;
  D->GetGlobalProperty("A", V, C);
  EXPECT_EQ(V, "3");

  EXPECT_THROW(MSBuildOpenProject(Dir / "none.vproj"), EInOutError);
  FileSystem().WriteFile(Name, "<Other/>");
  EXPECT_EQ(MessageOf([&] { MSBuildOpenProject(Name); }),
            "The document is not an MSBuild project: its root element is \"Other\"");
}

TEST(ProjectDocument, ASaveNeverReplacesWhatAnotherProcessWroteAfterTheRead) {
  TTempDir Dir;
  const std::string Name = Dir / "app.vproj";
  auto Text = [](const std::string& A) {
    return "<Project " + Ns + "><PropertyGroup><A>" + A + "</A></PropertyGroup></Project>";
  };
  auto ValueOf = [](IMSProjectFile& D) {
    std::string V, C;
    D.GetGlobalProperty("A", V, C);
    return V;
  };
  FileSystem().WriteFile(Name, Text("1"));
  auto D = MSBuildOpenProject(Name);
  D->SaveToFile(Name);
  D->SetGlobalProperty("A", "2", false, "");
  D->SaveToFile(Name);  // over its own version, again and again
  EXPECT_EQ(ValueOf(*MSBuildOpenProject(Name)), "2");

  FileSystem().WriteFile(Name, Text("theirs"));
  D->SetGlobalProperty("A", "3", false, "");
  EXPECT_EQ(MessageOf([&] { D->SaveToFile(Name); }),
            Name + " changed on disk after it was read; it was not written, so that the change made there is kept");
  EXPECT_EQ(FileSystem().ReadFile(Name), Text("theirs"));
  EXPECT_TRUE(D->IsModified());
  // Elsewhere it goes; read again, it goes over the file; a file removed meanwhile is made.
  D->SaveToFile(Dir / "copy.vproj");
  EXPECT_EQ(ValueOf(*MSBuildOpenProject(Dir / "copy.vproj")), "3");
  D->Reload();
  D->SetGlobalProperty("A", "4", false, "");
  D->SaveToFile(Name);
  std::filesystem::remove(Name);
  D->SaveToFile(Name);
  EXPECT_EQ(ValueOf(*MSBuildOpenProject(Name)), "4");
}

TEST(ProjectDocument, APipeADeviceOrAFolderIsRefusedBeforeItIsOpened) {
  TTempDir Dir;
  ASSERT_EQ(::mkfifo((Dir / "pipe.vproj").c_str(), 0600), 0);
  for (const std::string& Name : {Dir / "pipe.vproj", std::string("/dev/zero"), Dir.Path()}) {
    const std::string Refusal = "The project file \"" + Name + "\" could not be read: it is not a regular file";
    EXPECT_EQ(MessageOf([&] { MSBuildOpenProject(Name); }), Refusal);
    EXPECT_EQ(MessageOf([&] { TXmlReader().ReadFile(Name); }), Refusal);
  }
}

TEST(ProjectDocument, LargeDocumentsAreSavedInPiecesAndAFailedSaveWritesNothing) {
  // The disk, except that a file's second piece cannot be written.
  struct TFailingDisk : TDiskFileSystem {
    std::unique_ptr<IFileWriter> CreateFileWriter(const std::string& Name) override {
      struct TWriter : IFileWriter {
        std::unique_ptr<IFileWriter> Real;
        int Pieces = 0;
        void Write(std::string_view Data) override {
          if (++Pieces == 2) throw EInOutError("Cannot write file: No space left on device");
          Real->Write(Data);
        }
        void Commit() override { Real->Commit(); }
      };
      auto W = std::make_unique<TWriter>();
      W->Real = TDiskFileSystem::CreateFileWriter(Name);
      return W;
    }
  };
  struct TRestoreDisk {
    ~TRestoreDisk() { SetFileSystem(std::make_shared<TDiskFileSystem>()); }
  } Restore;

  TTempDir Dir;
  std::string Name = Dir / "big.vproj";
  std::string Items;
  for (int I = 0; I < 20000; ++I) Items += "<Compile Include=\"unit" + std::to_string(I) + ".pas\"/>";
  auto D = Doc("<ItemGroup>" + Items + "</ItemGroup>");
  std::string Expected = "\xEF\xBB\xBF" + D->GetXml();
  ASSERT_GT(Expected.size(), 3u << 18);
  D->SaveToFile(Name);
  EXPECT_EQ(FileSystem().ReadFile(Name), Expected);
  EXPECT_FALSE(D->IsModified());

  D->SetGlobalProperty("A", "1", false, "");
  SetFileSystem(std::make_shared<TFailingDisk>());
  EXPECT_EQ(MessageOf([&] { D->SaveToFile(Name); }), "Cannot write file: No space left on device");
  // The new property went out in the first piece; it is marked modified again.
  TNode* Group = D->GetProjectNode()->GetNode(0);
  ASSERT_EQ(Group->GetName(), "PropertyGroup");
  EXPECT_TRUE(Group->GetModifiedFlag());
  EXPECT_TRUE(Group->GetNode(0)->GetModifiedFlag());
  EXPECT_TRUE(D->IsModified());
  EXPECT_EQ(FileSystem().ReadFile(Name), Expected);
  EXPECT_EQ(FileSystem().ListDirectory(Dir.Path()), std::vector<std::string>{"big.vproj"});
}

TEST(ProjectDocument, OpenBufferTextIsReadInsteadOfTheFile) {
  TTempDir Dir;
  std::string Name = Dir / "open.vproj";
  FileSystem().WriteFile(Name, "<Project " + Ns + "><PropertyGroup><A>disk</A></PropertyGroup></Project>");
  SetOpenBufferTextHook([&](const std::string& File, std::string& Text) {
    if (File != Name) return false;
    Text = "<Project " + Ns + "><PropertyGroup><A>buffer</A></PropertyGroup></Project>";
    return true;
  });
  auto D = MSBuildOpenProject(Name);
  SetOpenBufferTextHook(nullptr);
  std::string V, C;
  D->GetGlobalProperty("A", V, C);
  EXPECT_EQ(V, "buffer");
}

namespace {
struct TFakeView : IEngineProjectView {
  std::string Xml;
  bool Build(const std::string& T, const std::string& P, int V) override { return T == "Build" && V == 2; }
  bool Query(const std::string& Text, std::string& Result) override {
    Result = Text + ":" + std::to_string(Xml.size());
    return true;
  }
};
}  // namespace

TEST(ProjectDocument, EngineCallsNeedARegisteredView) {
  auto D = Doc("<Target Name=\"Build\"/>");
  std::string R;
  EXPECT_EQ(MessageOf([&] { D->EngineBuild("Build", "", 2); }),
            "The build engine is not available: no engine view is registered for project documents");
  EXPECT_THROW(D->EngineQuery("q", R), EProjectFileException);
  int Made = 0;
  bool Background = false;
  SetEngineViewHooks({[&](const std::string& Xml, const std::string& FileName) {
                        ++Made;
                        auto V = std::make_shared<TFakeView>();
                        V->Xml = Xml;
                        return V;
                      },
                      [&] { return Background; },
                      {}});
  EXPECT_TRUE(D->EngineBuild("Build", "", 2));
  EXPECT_TRUE(D->EngineQuery("q", R));
  EXPECT_EQ(Made, 2);  // a fresh view per call
  D->CacheEngineProject();
  Background = true;
  EXPECT_TRUE(D->EngineQuery("q", R));
  EXPECT_EQ(Made, 3);  // the cached view serves while a background compile runs
  D->ReleaseEngineProject();
  EXPECT_TRUE(D->EngineQuery("q", R));
  EXPECT_EQ(Made, 4);
  SetEngineViewHooks({});
}

// While the document is the file as it was read or saved, the engine reads the file itself
// (one parse, the file's own places); any change the engine would see, in the document or on
// disk, hands it the document's text instead.
TEST(ProjectDocument, TheEngineReadsTheFileOnlyWhileTheDocumentIsAsOnDisk) {
  TTempDir Dir;
  const std::string Name = Dir / "disk.vproj";
  FileSystem().WriteFile(Name, "<Project " + Ns + "><PropertyGroup><A>disk</A></PropertyGroup></Project>");
  std::vector<std::string> Made;
  bool Background = false;
  SetEngineViewHooks({[&](const std::string& Xml, const std::string&) {
                        Made.push_back(Xml.find("<A>") != std::string::npos ? "text" : "?");
                        return std::make_shared<TFakeView>();
                      },
                      [&] { return Background; },
                      [&](const std::string& File) {
                        Made.push_back(File == Name ? "file" : "?");
                        return std::make_shared<TFakeView>();
                      }});
  auto Views = [&](IMSProjectFile& D) {
    std::string R;
    EXPECT_TRUE(D.EngineQuery("q", R));
    return Made.back();
  };
  // Opening stamps the file version in the extensions, which the engine does not read; a file
  // without them gets them added, a change of the project element itself.
  std::shared_ptr<IMSProjectFile> D = MSBuildOpenProject(Name);
  EXPECT_EQ(Views(*D), "text");
  FileSystem().WriteFile(Name, "<Project " + Ns +
                                   "><PropertyGroup><A>disk</A></PropertyGroup><ProjectExtensions/></Project>");
  D->Reload();
  EXPECT_EQ(Views(*D), "file");
  D->SetGlobalProperty("A", "changed", false, "");
  EXPECT_EQ(Views(*D), "text");
  D->SaveToFile(Name);
  EXPECT_EQ(Views(*D), "file");
  // Another process writes the file: the document no longer stands for it.
  FileSystem().WriteFile(Name, "<Project " + Ns + "><PropertyGroup><A>other process</A></PropertyGroup></Project>");
  EXPECT_EQ(Views(*D), "text");
  D->Reload();
  EXPECT_EQ(Views(*D), "file");
  // A group added (a change of the project element's children) is seen.
  D->AddImport("x.targets", "");
  EXPECT_EQ(Views(*D), "text");
  D->Reload();
  // The view a background compile keeps holds the text of its time.
  D->CacheEngineProject();
  EXPECT_EQ(Made.back(), "text");
  // A document saved elsewhere stands for that file, not the one it was read from.
  D->SetFileName(Dir / "elsewhere.vproj");
  EXPECT_EQ(Views(*D), "text");
  SetEngineViewHooks({});
}
