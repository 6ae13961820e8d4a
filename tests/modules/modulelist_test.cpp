#include "modules/modulelist.h"

#include <gtest/gtest.h>

#include <functional>

#include "modules/docmodule.h"
#include "modules/moduletest.h"
#include "shared/filenames.h"

using namespace nxs;
using namespace nxs::test;
namespace fs = std::filesystem;

namespace {

// A module without buffers: a project, or a plain file, that records its saves.
class TPlainModule : public TDocModule {
 public:
  bool Project = false;
  bool Group = false;
  bool Form = false;
  std::vector<std::string> Files;  // what a project holds
  std::vector<TDocModule*> Dependents, Dependencies;
  std::string* SaveLog = nullptr;
  std::string* KibbitzLog = nullptr;
  std::function<void()> OnKibbitz;

  bool GetIsProject() const override { return Project; }
  bool GetIsProjectGroup() const override { return Group; }
  bool HoldsFile(const std::string& F) const override {
    return std::find(Files.begin(), Files.end(), F) != Files.end();
  }
  bool HasForm() const override { return Form; }
  std::vector<TDocModule*> GetDependentModules() override { return Dependents; }
  std::vector<TDocModule*> GetModuleDependencies() override { return Dependencies; }
  using TDocModule::Modified;
  void KibbitzUpdate() override {
    if (KibbitzLog) *KibbitzLog += ExtractFileName(GetFileName()) + " ";
    if (OnKibbitz) OnKibbitz();
  }

 protected:
  friend class nxs::TDocModule;
  explicit TPlainModule(const std::string& Name) : TDocModule(Name) {}
  void SaveFile() override {
    if (SaveLog) *SaveLog += ExtractFileName(GetFileName()) + " ";
  }
};

using ModuleListTest = ModuleTest;

}  // namespace

TEST_F(ModuleListTest, SavingEverythingSavesLooseModulesThenProjects) {
  std::string Log;
  auto* Project = TDocModule::Create<TPlainModule>(Dir / "p.vproj");
  Project->Project = true;
  Project->Files = {Dir / "in.pas"};
  auto* Inside = TDocModule::Create<TPlainModule>(Dir / "in.pas");
  auto* Loose = TDocModule::Create<TPlainModule>(Dir / "loose.txt");
  auto* Clean = TDocModule::Create<TPlainModule>(Dir / "clean.txt");
  for (auto* M : {Project, Inside, Loose, Clean}) M->SaveLog = &Log;
  // Inside was attached before the project knew it: attach again as a project would.
  Inside->AddOwner(Project);
  EXPECT_TRUE(Inside->IsOwnedBy(Project));
  EXPECT_EQ(FindDocModule(Dir / "in.pas", Project), Inside);
  EXPECT_EQ(FindDocModule(Dir / "loose.txt", Project), nullptr);

  Inside->Modified();
  Loose->Modified();
  Project->Modified();
  EXPECT_TRUE(AnyModuleModified());
  EXPECT_TRUE(SaveModifiedModules());
  EXPECT_EQ(Log, "loose.txt p.vproj ");
  EXPECT_FALSE(Loose->GetModified());
  EXPECT_TRUE(Inside->GetModified());
  EXPECT_TRUE(Q->Asked.empty());
}

// Asking about every module skips only those of a modified project (it saves them itself); the
// main group counts as a modified module, and saving everything saves it once it holds more
// than one project.
TEST_F(ModuleListTest, WhatSavingAndAskingTakeInWithProjectsAndTheGroup) {
  std::string Log;
  auto* Project = TDocModule::Create<TPlainModule>(Dir / "p.vproj");
  Project->Project = true;
  auto* Inside = TDocModule::Create<TPlainModule>(Dir / "in.pas");
  Inside->AddOwner(Project);
  auto* Group = TDocModule::Create<TPlainModule>(Dir / "g.groupproj");
  Group->Group = true;
  for (auto* M : {Project, Inside, Group}) M->SaveLog = &Log;
  DocModuleHooks().MainProjectGroup = [&]() -> TDocModule* { return Group; };

  EXPECT_FALSE(AnyModuleModified());
  Group->Modified();
  EXPECT_TRUE(AnyModuleModified());
  Inside->Modified();
  Q->Answers = {mrYes};
  EXPECT_TRUE(SaveModules());
  EXPECT_EQ(Log, "in.pas ");
  ASSERT_EQ(Q->Asked.size(), 1u);
  EXPECT_EQ(Q->Asked[0], "Save changes to in.pas?");

  // One project: the group is not saved with everything else; two: it is.
  Log.clear();
  EXPECT_TRUE(SaveModifiedModules());
  EXPECT_EQ(Log, "");
  auto* Second = TDocModule::Create<TPlainModule>(Dir / "q.vproj");
  Second->Project = true;
  Second->SaveLog = &Log;
  EXPECT_TRUE(SaveModifiedModules());
  EXPECT_EQ(Log, "g.groupproj ");
  EXPECT_FALSE(AnyModuleModified());
}

TEST_F(ModuleListTest, ACodeInsightUpdateReachesEveryOpenModuleInListOrderAndSavesNothing) {
  std::string Updates, Saves;
  auto* A = TDocModule::Create<TPlainModule>(Dir / "a.txt");
  auto* B = TDocModule::Create<TPlainModule>(Dir / "b.txt");
  auto* C = TDocModule::Create<TPlainModule>(Dir / "c.txt");
  auto* D = TDocModule::Create<TPlainModule>(Dir / "d.txt");
  for (auto* M : {A, B, C, D}) {
    M->KibbitzLog = &Updates;
    M->SaveLog = &Saves;
    M->Modified();
  }
  C->Activate();
  B->IsClosed = true;  // closed, waiting for what depends on it
  // A module freed by an update before its turn is not reached.
  C->OnKibbitz = [&] { ModuleList().Free(D); };
  KibbitzUpdateModules();
  EXPECT_EQ(Updates, "c.txt a.txt ");
  EXPECT_EQ(Saves, "");
  EXPECT_TRUE(A->GetModified());
  EXPECT_TRUE(Q->Asked.empty());
}

TEST_F(ModuleListTest, FreeModulesClosesOnlyModulesWithoutOwners) {
  auto* Project = TDocModule::Create<TPlainModule>(Dir / "p.vproj");
  Project->Project = true;
  auto* Owned = TDocModule::Create<TPlainModule>(Dir / "owned.pas");
  Owned->AddOwner(Project);
  TDocModule::Create<TPlainModule>(Dir / "a.txt");
  TDocModule::Create<TPlainModule>(Dir / "b.txt");
  FreeModules(false);
  ASSERT_EQ(ModuleList().Count(), 2);
  EXPECT_EQ(ModuleList().Item(0), Project);
  EXPECT_EQ(ModuleList().Item(1), Owned);
  EXPECT_EQ(FindDocModule(Dir / "a.txt"), nullptr);
}

TEST_F(ModuleListTest, ALookupFindsTheModuleNearestTheFrontByTheNamesModulesHaveNow) {
  // Two modules whose names spell one file: a new spelling finds the one nearer the front.
  auto* First = TDocModule::Create<TPlainModule>(Dir / "x.txt");
  auto* Second = TDocModule::Create<TPlainModule>(Dir / "sub/../x.txt");
  EXPECT_EQ(FindDocModule(Dir / "./x.txt"), First);
  Second->Activate();
  EXPECT_EQ(FindDocModule(Dir / "sub/./../x.txt"), Second);
  // Renamed, a module answers to its new name only; the other keeps the old one.
  First->DoRename(Dir / "y.txt");
  EXPECT_EQ(FindDocModule(Dir / "y.txt"), First);
  EXPECT_EQ(FindDocModule(Dir / "./x.txt"), Second);
  ModuleList().Free(Second);
  EXPECT_EQ(FindDocModule(Dir / "x.txt"), nullptr);
  // A name relative to the current folder is found by the file it names there.
  auto* Relative = TDocModule::Create<TPlainModule>("rel.txt");
  EXPECT_EQ(FindDocModule(fs::current_path() / "rel.txt"), Relative);
  EXPECT_EQ(FindDocModule(Dir / "rel.txt"), nullptr);
}

TEST_F(ModuleListTest, AModuleOpenedLaterIsOwnedByEveryProjectHoldingItInListOrder) {
  // Projects that never declared what they hold are asked one by one.
  auto* P = TDocModule::Create<TPlainModule>(Dir / "p.vproj");
  P->Project = true;
  P->Files = {Dir / "u.pas"};
  auto* Q = TDocModule::Create<TPlainModule>(Dir / "q.vproj");
  Q->Project = true;
  Q->Files = {Dir / "u.pas", Dir / "v.pas"};
  auto* U = TDocModule::Create<TPlainModule>(Dir / "u.pas");
  ASSERT_EQ(U->GetOwnerCount(), 2);
  EXPECT_EQ(U->GetOwner(0), P);
  EXPECT_EQ(U->GetOwner(1), Q);
  auto* V = TDocModule::Create<TPlainModule>(Dir / "v.pas");
  ASSERT_EQ(V->GetOwnerCount(), 1);
  EXPECT_EQ(V->GetOwner(0), Q);
  EXPECT_FALSE(TDocModule::Create<TPlainModule>(Dir / "w.pas")->IsOwned());
}

TEST_F(ModuleListTest, AModuleIsFreedOnlyWhenEveryModuleDependingOnItIsClosed) {
  auto* Base = TDocModule::Create<TPlainModule>(Dir / "base.pas");
  auto* User = TDocModule::Create<TPlainModule>(Dir / "user.pas");
  Base->Dependents = {User};
  User->Dependencies = {Base};
  EXPECT_TRUE(Base->Close(false));
  EXPECT_TRUE(Base->IsClosed);
  EXPECT_TRUE(ModuleList().Contains(Base));  // the user still needs it
  EXPECT_TRUE(User->Close(false));
  // Closing the user frees it and the closed module only it needed.
  EXPECT_EQ(ModuleList().Count(), 0);
}

TEST_F(ModuleListTest, DormancyWalksTheModulesAFormNeeds) {
  auto* Form = TDocModule::Create<TPlainModule>(Dir / "f.pas");
  Form->Form = true;
  auto* Plain = TDocModule::Create<TPlainModule>(Dir / "plain.txt");
  EXPECT_FALSE(AllModulesDormant());
  EXPECT_TRUE(Plain->GoDormant());  // no form: nothing to do
  EXPECT_FALSE(Plain->IsDormant);
  EXPECT_TRUE(Form->GoDormant());
  EXPECT_TRUE(Form->IsDormant);
  EXPECT_TRUE(AllModulesDormant());
}

TEST_F(ModuleListTest, ADiscardedModuleTakesItsCleanupFilesAlong) {
  WriteText(Dir / "new.tmp1", "");
  WriteText(Dir / "new.tmp2", "");
  WriteText(Dir / "kept.tmp1", "");
  WriteText(Dir / "kept.pas", "");
  auto* New = TDocModule::Create<TPlainModule>(Dir / "new.pas");
  New->FCleanupExtensions = {".tmp1", ".tmp2"};
  New->IsDiscardable = true;
  auto* Kept = TDocModule::Create<TPlainModule>(Dir / "kept.pas");
  Kept->FCleanupExtensions = {".tmp1"};
  std::vector<std::string> Closing;
  EvFileNotification().Add(this, [&](TEvFileNotification& A) {
    if (A.Operation == 2) Closing.push_back(ExtractFileName(A.Filename));
  });
  New->Close(false);
  Kept->Close(false);
  EvFileNotification().Remove(this);
  EXPECT_FALSE(fs::exists(Dir / "new.tmp1"));
  EXPECT_FALSE(fs::exists(Dir / "new.tmp2"));
  // A module whose file is on disk and that is not discardable leaves its files alone.
  EXPECT_TRUE(fs::exists(Dir / "kept.tmp1"));
  EXPECT_EQ(Closing, (std::vector<std::string>{"new.pas", "kept.pas"}));
}

TEST_F(ModuleListTest, SaveDirectoryFollowsTheFileTheOwnerOrTheDefault) {
  DocModuleHooks().DefaultDirectory = [] { return std::string("/default/"); };
  auto* Named = TDocModule::Create<TPlainModule>(Dir / "sub/a.pas");
  EXPECT_EQ(Named->GetSaveFileDirectory(), Dir / "sub/");
  auto* Unnamed = TDocModule::Create<TPlainModule>("/nowhere/Unit1.pas");
  Unnamed->IsUnnamed = true;
  EXPECT_EQ(Unnamed->GetSaveFileDirectory(), "/default/");
  auto* Project = TDocModule::Create<TPlainModule>(Dir / "proj/p.vproj");
  Project->Project = true;
  Project->IsUnnamed = true;
  Unnamed->AddOwner(Project);
  EXPECT_EQ(Unnamed->GetSaveFileDirectory(), "/default/");
  Project->IsUnnamed = false;
  EXPECT_EQ(Unnamed->GetSaveFileDirectory(), "/nowhere/");
}
