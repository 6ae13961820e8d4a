// The project tree: nodes made from file entries, sorting by every key with the stored
// custom order, container creators, removal, renames, drag and drop and the menus.
#include <gtest/gtest.h>

#include <filesystem>

#include "projectfiles/nodes.h"
#include "projects/containers.h"
#include "shared/fileio.h"
#include "shared/filenames.h"
#include "shared/settings.h"
#include "support/errorof.h"
#include "support/tempdir.h"

namespace nxs {
namespace {

using test::ErrorOf;

// A project held in memory: its entries and an extension storage of plain nodes.
class TFakeProject : public IContainerProject {
 public:
  explicit TFakeProject(std::string FileName) : FFileName(std::move(FileName)), FStorage("ProjectExtensions") {}
  std::string GetFileName() const override { return FFileName; }
  std::string GetPersonality() const override { return Personality; }
  const std::vector<TProjectFileItem>& GetProjectFileEntries() override { return Entries; }
  std::vector<TVirtualFolder> GetVirtualFolders() override { return Folders; }
  TNode* GetStorageSection(const std::string& Name, bool Create) override {
    if (TNode* S = FStorage.FindFirstChild(Name)) return S;
    return Create ? FStorage.CreateChildNode(Name) : nullptr;
  }
  void StorageChanged() override { ++Changes; }
  void Add(const std::string& Rel, const std::string& Folder = {}) {
    Entries.push_back({ExpandFileName(Rel, ExtractFilePath(FFileName)), "None", Folder, {}, {}});
  }
  TNode& Storage() { return FStorage; }

  std::vector<TProjectFileItem> Entries;
  std::vector<TVirtualFolder> Folders;
  std::string Personality = "Vellum.Personality";
  int Changes = 0;

 private:
  std::string FFileName;
  TNode FStorage;
};

class ContainersTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ::setenv("NXS_SETTINGS_DIR", Dir.Path().c_str(), 1);
    ResetSettingsStore();
    ResetProjectSortOrderManager();
    ResetContainerManager();
  }
  void TearDown() override {
    Node.reset();
    ResetProjectSortOrderManager();
    ResetContainerManager();
    ResetSettingsStore();
  }
  TStdProjectContainer& Tree() {
    if (!Node) Node = std::make_shared<TStdProjectContainer>(&Project);
    return *Node;
  }
  std::string Shown() { return FormatContainerTree(Tree()); }

  test::TTempDir Dir;
  TFakeProject Project{"/p/app.vproj"};
  std::shared_ptr<TStdProjectContainer> Node;
};

TEST_F(ContainersTest, DirectoriesAreMadeLevelByLevelAndReused) {
  Project.Add("main.pas");
  Project.Add("src/core/a.pas");
  Project.Add("src/core/b.pas");
  Project.Add("src/ui/c.pas");
  Project.Add("../shared/d.pas");
  EXPECT_EQ(Shown(),
            "app\n"
            "  /shared\n"  // nothing in common but the root: the absolute path
            "    d.pas\n"
            "  src\n"
            "    core\n"
            "      a.pas\n"
            "      b.pas\n"
            "    ui\n"
            "      c.pas\n"
            "  main.pas\n");
  EXPECT_EQ(Tree().GetChildItemHash().count("dir:src/"), 1u);
  EXPECT_EQ(Tree().GetChildItemHash().count("dir:src/core/"), 1u);
  // An entry added again keeps its node.
  TBaseContainer* A = Tree().FindFileNode("/p/src/core/a.pas");
  EXPECT_EQ(Tree().AddProjectItem(Project.Entries[1]), A);

  // Far away (four steps up and more): one node under the project, captioned by its path.
  TFakeProject Deep("/w/a/b/c/app.vproj");
  Deep.Add("../../../../far/away/e.pas");
  Deep.Add("../../../x/f.pas");
  TStdProjectContainer DeepTree(&Deep);
  EXPECT_EQ(FormatContainerTree(DeepTree), "app\n  ../../../x\n    f.pas\n  /far/away\n    e.pas\n");
}

TEST_F(ContainersTest, VirtualFoldersHoldTheirEntriesAndMovingOneRemakesTheNode) {
  Project.Folders = {{"F1", "Forms"}};
  Project.Add("src/a.pas", "F1");
  Project.Add("src/b.pas");
  EXPECT_EQ(Shown(), "app\n  src\n    b.pas\n  Forms\n    a.pas\n");
  TProjectFileItem Moved = Project.Entries[0];
  Moved.VirtualFolder.clear();
  Project.Folders.clear();
  Tree().AddProjectItem(Moved);
  EXPECT_EQ(Shown(), "app\n  src\n    a.pas\n    b.pas\n  Forms\n");
}

TEST_F(ContainersTest, SortKeysAndTheStaticIndexOfSpecialNodes) {
  namespace fs = std::filesystem;
  const std::string Root = Dir.Path();
  TFakeProject P(Root + "/app.vproj");
  for (auto [Name, Age] : {std::pair{"b.txt", 30}, {"a.pas", 10}, {"C.pas", 20}}) {
    WriteFileAtomic(Root + "/" + Name, "x");
    FileSystem().SetModifiedTime(Root + "/" + Name, 1000000 - Age);
    P.Entries.push_back({Root + "/" + Name, "None", {}, {}, {}});
  }
  auto T = std::make_shared<TStdProjectContainer>(&P);
  T->GetChildren();
  T->AddChild(std::make_shared<TSpecialContainer>(&P, T.get(), "Configurations", BuildConfigurationSortIndex, true));
  T->AddChild(std::make_shared<TSpecialContainer>(&P, T.get(), "Option sets", OptionSetSortIndex));
  auto Order = [&] {
    std::string S;
    for (const auto& C : T->GetChildren()) S += C->GetString() + ",";
    return S;
  };
  EXPECT_EQ(Order(), "Option sets,Configurations,a.pas,b.txt,C.pas,");  // name, case-insensitive
  T->Sort(stModified);
  EXPECT_EQ(Order(), "Option sets,Configurations,a.pas,C.pas,b.txt,");  // newest first
  T->Sort(stType);
  EXPECT_EQ(Order(), "Option sets,Configurations,a.pas,C.pas,b.txt,");
  ProjectSortOrderManager().PathSortsByName = true;
  T->Sort(stPath);
  EXPECT_EQ(Order(), "Option sets,Configurations,a.pas,b.txt,C.pas,");
  EXPECT_EQ(ProjectSortOrderManager().Get(&P).GetSortType(), stName);
}

TEST_F(ContainersTest, ANeverSortNodeKeepsInsertionOrderUnderEveryKey) {
  Project.Add("z.pas");
  Project.Add("a.pas");
  Project.Add("m.txt");
  Tree().SetFlags(cfNeverSort);
  for (int Type : {stName, stModified, stType, stPath, stCustom}) {
    Tree().Sort(Type);
    std::string S;
    for (const auto& C : Tree().GetChildren()) S += C->GetString() + ",";
    EXPECT_EQ(S, "z.pas,a.pas,m.txt,") << "sort type " << Type;
  }
}

TEST_F(ContainersTest, DefaultsComeFromTheSettingsWhenTheSectionIsMissingOrEmpty) {
  TProjectSortOrder& Order = ProjectSortOrderManager().Get(&Project);
  EXPECT_TRUE(Order.GetAutoSort());
  EXPECT_EQ(Order.GetSortType(), stName);
  ResetProjectSortOrderManager();
  ProjectSortOrderManager().SetDefaultSortType(stType);
  ProjectSortOrderManager().SetDefaultAutoSort(false);
  ResetProjectSortOrderManager();  // read back from the settings
  Project.Storage().CreateChildNode("ProjectSortOrder");  // empty section
  TProjectSortOrder& Again = ProjectSortOrderManager().Get(&Project);
  EXPECT_FALSE(Again.GetAutoSort());
  EXPECT_EQ(Again.GetSortType(), stType);
  EXPECT_EQ(SettingsStore().ReadInteger("ProjectManager", "SortType", 0), stType);
}

TEST_F(ContainersTest, TheCustomOrderIsReadWithItemsMissingFromItAfterTheListedOnes) {
  TNode* S = Project.Storage().CreateChildNode("ProjectSortOrder");
  S->SetAttribute("AutoSort", "0");
  S->SetAttribute("SortType", "0");
  for (const char* Path : {"c.pas", "F1", "a.pas", "c.pas"}) {
    TNode* C = S->CreateChildNode(std::string(Path) == "F1" ? "VirtualFolder" : "File");
    C->SetAttribute(std::string(Path) == "F1" ? "ID" : "Path", Path);
  }
  Project.Folders = {{"F1", "Folder"}};
  for (const char* F : {"y.pas", "a.pas", "x.pas", "c.pas"}) Project.Add(F);
  Project.Add("in.pas", "F1");
  EXPECT_EQ(Shown(), "app\n  c.pas\n  Folder\n    in.pas\n  a.pas\n  x.pas\n  y.pas\n");
  EXPECT_EQ(ProjectSortOrderManager().Get(&Project).CustomIndex("/p/c.pas"), 0);  // the first position stays
}

TEST_F(ContainersTest, ASortWithAutoSortOffOrdersOnceAndStoresTheOrderAsTheCustomOne) {
  const std::string Root = Dir.Path();
  TFakeProject P(Root + "/app.vproj");
  for (auto [Name, Time] : {std::pair{"old.pas", 100}, {"new.pas", 300}, {"mid.pas", 200}}) {
    WriteFileAtomic(Root + "/" + Name, "x");
    FileSystem().SetModifiedTime(Root + "/" + Name, Time);
    P.Entries.push_back({Root + "/" + Name, "None", {}, {}, {}});
  }
  auto T = std::make_shared<TStdProjectContainer>(&P);
  T->ToggleAutoSort();  // off: the sort type is custom, the order as it stands
  TProjectSortOrder& Order = ProjectSortOrderManager().Get(&P);
  EXPECT_FALSE(Order.GetAutoSort());
  T->CommandHandler("SortModified");
  EXPECT_EQ(Order.GetSortType(), stCustom);
  EXPECT_EQ(FormatContainerTree(*T), "app\n  new.pas\n  mid.pas\n  old.pas\n");
  TNode* S = P.GetStorageSection("ProjectSortOrder", false);
  ASSERT_NE(S, nullptr);
  EXPECT_EQ(S->GetAttribute("AutoSort"), "0");
  EXPECT_EQ(S->GetAttribute("SortType"), "0");
  ASSERT_EQ(S->Count(), 3);
  EXPECT_EQ(S->GetNode(0)->GetAttribute("Path"), "new.pas");
  EXPECT_EQ(S->GetNode(2)->GetAttribute("Path"), "old.pas");
  // Read back by a fresh manager, the stored order holds.
  T.reset();
  ResetProjectSortOrderManager();
  auto Again = std::make_shared<TStdProjectContainer>(&P);
  EXPECT_EQ(FormatContainerTree(*Again), "app\n  new.pas\n  mid.pas\n  old.pas\n");
  // Auto sort on again: sorted by the key in force, and the section says so.
  Again->ToggleAutoSort();
  EXPECT_EQ(P.GetStorageSection("ProjectSortOrder", false)->GetAttribute("AutoSort"), "-1");
  EXPECT_EQ(P.GetStorageSection("ProjectSortOrder", false)->Count(), 0);
}

// -- Creators -----------------------------------------------------------------------------------------

class TTool : public IContainerCreator {
 public:
  TTool(std::string Id, std::vector<std::string> Exts, std::vector<std::string> Pers = {}, bool Internal = false)
      : FId(std::move(Id)), FExts(std::move(Exts)), FPers(std::move(Pers)), FInternal(Internal) {}
  std::string GetId() const override { return FId; }
  std::vector<std::string> GetDefaultExtensions() const override { return FExts; }
  std::vector<std::string> GetPersonalities() const override { return FPers; }
  bool CanHandle(const std::string& FileName, TBaseContainer*) const override { return FileName == Claims; }
  PContainer CreateContainer(const std::string& FileName, TStdProjectContainer& P, TBaseContainer* Parent) override {
    auto N = std::make_shared<TStdFileContainer>(P.Project(), Parent, FileName);
    N->ContainerId = FId;
    Made.push_back(FileName);
    return N;
  }
  void Initialize() override { ++Initialized; }
  bool IsInternalTool() const override { return FInternal; }
  std::string Claims;
  std::vector<std::string> Made;
  int Initialized = 0;

 private:
  std::string FId;
  std::vector<std::string> FExts, FPers;
  bool FInternal;
};

TEST_F(ContainersTest, TheCreatorForAFileIsChosenInItsOrder) {
  auto Global = std::make_shared<TTool>("global", std::vector<std::string>{".pas", "*_test.cpp"});
  auto Pascal = std::make_shared<TTool>("pascal", std::vector<std::string>{".PAS"}, std::vector<std::string>{"Vellum.Personality"});
  auto Claimer = std::make_shared<TTool>("claimer", std::vector<std::string>{});
  Claimer->Claims = "/p/claimed.txt";
  auto& M = ContainerManager();
  M.RegisterItemContainerCreator(Global);
  EXPECT_EQ(Global->Initialized, 0);
  M.InitializeContainerCreators();
  M.RegisterItemContainerCreator(Pascal);
  M.RegisterItemContainerCreator(Claimer);
  EXPECT_EQ(Global->Initialized, 1);
  EXPECT_EQ(Pascal->Initialized, 1);  // registered after the start: at once

  EXPECT_EQ(M.GetContainerId("/p/a.pas", nullptr, "Vellum.Personality"), "pascal");
  EXPECT_EQ(M.GetContainerId("/p/a.pas", nullptr, "Kestrel.Personality"), "global");
  EXPECT_EQ(M.GetContainerId("/p/x_TEST.cpp", nullptr, ""), "global");  // a mask, without regard to case
  EXPECT_EQ(M.GetContainerId("/p/x.cpp", nullptr, ""), "");

  Project.Add("a.pas");
  Project.Add("claimed.txt");
  Project.Add("plain.xyz");
  Project.Entries.push_back({"/p/pref.pas", "None", {}, "claimer", {}});
  Tree().GetChildren();
  EXPECT_EQ(Pascal->Made, (std::vector<std::string>{"/p/a.pas"}));
  EXPECT_EQ(Claimer->Made, (std::vector<std::string>{"/p/claimed.txt", "/p/pref.pas"}));
  EXPECT_STREQ(Tree().FindFileNode("/p/plain.xyz")->ClassName(), "TDefaultFileContainer");

  M.UnregisterItemContainerCreator(Pascal);
  EXPECT_EQ(M.GetContainerId("/p/a.pas", nullptr, "Vellum.Personality"), "global");
}

TEST_F(ContainersTest, AnExtensionHasOneInternalToolAndTheOldCompileEntriesRefuse) {
  auto One = std::make_shared<TTool>("one", std::vector<std::string>{".rc"}, std::vector<std::string>{}, true);
  auto Two = std::make_shared<TTool>("two", std::vector<std::string>{}, std::vector<std::string>{}, true);
  ContainerManager().RegisterItemContainerCreator(One);
  ContainerManager().RegisterItemContainerCreator(Two);
  ContainerManager().AddDefaultContainer(".RC", Two);
  EXPECT_EQ(ContainerManager().GetContainerId("/p/x.rc", nullptr, ""), "two");
  ContainerManager().RemoveDefaultContainer(".rc");
  EXPECT_EQ(ContainerManager().GetContainerId("/p/x.rc", nullptr, ""), "");
  EXPECT_EQ(ErrorOf([] { TContainerManager::Compile(); }),
            "TContainerManager.Compile disabled. Use ProjectGroupBuilder.BuildProjects instead");
  EXPECT_EQ(ErrorOf([] { TContainerManager::ShouldCompile(); }),
            "TContainerManager.ShouldCompile disabled. MSBuild does all dependency checking now.");
}

// A tool whose nodes are of an item kind of their own, and one whose nodes stay out of every
// category.
class TKindTool : public TTool {
 public:
  TKindTool(std::string Id, std::vector<std::string> Exts, int Kind, bool NoCategory = false)
      : TTool(std::move(Id), std::move(Exts)), FKind(Kind), FNoCategory(NoCategory) {}
  PContainer CreateContainer(const std::string& FileName, TStdProjectContainer& P, TBaseContainer* Parent) override {
    return std::make_shared<TNode>(P.Project(), Parent, FileName, FKind, FNoCategory);
  }

 private:
  class TNode : public TStdFileContainer {
   public:
    TNode(IContainerProject* P, TBaseContainer* Parent, const std::string& F, int Kind, bool NoCategory)
        : TStdFileContainer(P, Parent, F), FKind(Kind), FNoCategory(NoCategory) {}
    int ItemKind() const override { return FKind; }
    bool BelongsToNoCategory() const override { return FNoCategory; }

   private:
    int FKind;
    bool FNoCategory;
  };
  int FKind;
  bool FNoCategory;
};

// A category gathers its tool's nodes, or the nodes of its item kinds, or its tool's nodes of
// its kinds; a node that belongs to no category stays where it was made.
TEST_F(ContainersTest, CategoriesGatherByToolByItemKindOrByBoth) {
  auto& M = ContainerManager();
  M.RegisterItemContainerCreator(std::make_shared<TTool>("res", std::vector<std::string>{".rc"}));
  M.RegisterItemContainerCreator(std::make_shared<TKindTool>("forms", std::vector<std::string>{".vfm"}, 5));
  M.RegisterItemContainerCreator(std::make_shared<TKindTool>("frames", std::vector<std::string>{".cfx"}, 5));
  M.RegisterItemContainerCreator(std::make_shared<TKindTool>("loose", std::vector<std::string>{".xfm"}, 5, true));
  M.InitializeContainerCreators();
  for (const char* F : {"a.rc", "b.vfm", "c.cfx", "d.xfm", "e.pas"}) Project.Add(F);
  Tree().AddContainerCategory("Resources", "res", false);
  Tree().AddContainerCategory("Frames", "frames", false, {5});
  Tree().AddContainerCategory("Designs", "", false, {5});
  Tree().AddContainerCategory("Empty", "none", true);
  auto Members = [&](const char* Name) {
    std::string S;
    for (const auto& C : Tree().FindCategory(Name)->Children()) S += C->GetString() + " ";
    return S;
  };
  Tree().GetChildren();
  EXPECT_EQ(Members("Resources"), "a.rc ");
  EXPECT_EQ(Members("Frames"), "c.cfx ");
  EXPECT_EQ(Members("Designs"), "b.vfm ");
  EXPECT_EQ(Tree().FindFileNode("/p/d.xfm")->GetParent(), &Tree());
  EXPECT_EQ(Tree().FindFileNode("/p/e.pas")->GetParent(), &Tree());
  EXPECT_FALSE(Tree().FindCategory("Empty")->Visible());
  EXPECT_EQ(Tree().FindProjectItemCategory(NoItemKind, "RES"), Tree().FindCategory("Resources"));
  EXPECT_EQ(Tree().FindProjectItemCategory(NoItemKind, "frames"), nullptr);
}

PContainer MakeSpecial(IContainerProject* P, TBaseContainer* M) {
  auto N = std::make_shared<TStdProjectContainer>(P, M);
  N->SetCaption("special");
  return N;
}

TEST_F(ContainersTest, AProjectContainerFactoryRegisteredTwiceIsOneEntry) {
  RegisterContainerFunction(MakeSpecial);
  RegisterContainerFunction(MakeSpecial);
  EXPECT_EQ(ContainerFunctionCount(), 1);
  EXPECT_EQ(GetProjectContainer(&Project)->GetString(), "special");
  UnregisterContainerFunction(MakeSpecial);
  EXPECT_EQ(ContainerFunctionCount(), 0);
  EXPECT_EQ(GetProjectContainer(&Project)->GetString(), "app");
}

// -- Changing the tree ---------------------------------------------------------------------------------

TEST_F(ContainersTest, RemovingAndRenamingItems) {
  Project.Add("src/a.pas");
  Project.Add("b.pas");
  Tree().GetChildren();
  Tree().SetFlags(cfNoRemove);
  EXPECT_FALSE(Tree().RemoveProjectItem("/p/src/a.pas"));
  Tree().SetFlags(0);
  EXPECT_FALSE(Tree().RemoveProjectItem("/p/SRC/a.pas"));  // file names compare exactly
  EXPECT_TRUE(Tree().RemoveProjectItem("/p/src/a.pas"));
  EXPECT_EQ(Tree().FindFileNode("/p/src/a.pas"), nullptr);
  EXPECT_EQ(Shown(), "app\n  src\n  b.pas\n");

  Tree().FindFileNode("/p/b.pas")->FocusedState = true;
  EXPECT_TRUE(Tree().RenameProjectItem("/p/b.pas", "/p/lib/deep/c.pas"));
  EXPECT_EQ(Shown(), "app\n  lib\n    deep\n      c.pas\n  src\n");
  EXPECT_TRUE(Tree().FindFileNode("/p/lib/deep/c.pas")->FocusedState);

  // Reconciling drops nodes whose entries are gone and adds the new ones.
  Project.Entries = {{"/p/new.pas", "None", {}, {}, {}}};
  Tree().ReconcileChildren();
  EXPECT_EQ(Shown(), "app\n  lib\n    deep\n  src\n  new.pas\n");
}

TEST_F(ContainersTest, DropsStayInsideOneProjectAndOutOfTheirOwnSubtree) {
  Project.Folders = {{"F1", "Folder"}, {"F2", "Other"}};
  Project.Add("a.pas", "F1");
  Project.Add("src/b.pas");
  Tree().GetChildren();
  TBaseContainer* Folder = Tree().GetChildItemHash().at("vf:F1");
  TBaseContainer* Other = Tree().GetChildItemHash().at("vf:F2");
  TBaseContainer* Src = Tree().GetChildItemHash().at("dir:src/");
  TBaseContainer* A = Tree().FindFileNode("/p/a.pas");
  EXPECT_TRUE(Src->CanParent(*A));
  EXPECT_FALSE(A->CanParent(*Folder));  // a file holds nothing
  EXPECT_FALSE(A->CanParent(*A));
  TSpecialContainer Configs(&Project, &Tree(), "Configurations", BuildConfigurationSortIndex, true);
  EXPECT_FALSE(Configs.CanParent(*A));
  TFakeProject Elsewhere("/q/other.vproj");
  TStdProjectContainer OtherTree(&Elsewhere);
  EXPECT_FALSE(OtherTree.CanParent(*A));
  // A folder cannot go below a folder inside it.
  EXPECT_TRUE(Other->AcceptContainers({Folder->shared_from_this()}));
  EXPECT_FALSE(Folder->CanParent(*Other));
  EXPECT_EQ(Folder->GetParent(), Other);
}

TEST_F(ContainersTest, MenusAreDataAndAMissingParentIsNamed) {
  EXPECT_EQ(FindLocalCommand("BuildSooner"), "Build Soo&ner");
  EXPECT_EQ(FindLocalCommand("RemoveItem"), "&Remove From Project");
  auto Sort = CommonProjectSortMenus();
  ASSERT_EQ(Sort.size(), 1u);
  EXPECT_EQ(Sort[0].Caption, "Sort By");
  EXPECT_EQ(Sort[0].Items.size(), 5u);
  EXPECT_EQ(ErrorOf([] { CreateLocalMenu({{"Make", "&Make", "Build", {}}}); }),
            "Menu item with caption &Make could not find its parent named Build.");
}

}  // namespace
}  // namespace nxs
