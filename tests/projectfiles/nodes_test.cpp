#include "projectfiles/nodes.h"

#include <gtest/gtest.h>

#include "projectfiles/msbnodes.h"
#include "shared/exceptions.h"
#include "shared/text.h"

using namespace nxs;
using namespace nxs::msb;

namespace {

struct TRecord {
  TNodeChangeType Type;
  TNode* Node;
};

class TRecorder : public INodeChangeListener {
 public:
  void NodeChanged(TNodeChangeType ChangeType, TNode* Node) override { Log.push_back({ChangeType, Node}); }
  std::vector<TRecord> Log;
};

// A parent that records what its children tell it.
class TWatchingNode : public TNode {
 public:
  using TNode::TNode;
  void ChildChange(TNodeChangeType ChangeType, TNode* Node) override { Log.push_back({ChangeType, Node}); }
  std::vector<TRecord> Log;
};

std::vector<TNodeChangeType> Types(const std::vector<TRecord>& Log) {
  std::vector<TNodeChangeType> T;
  for (const auto& R : Log) T.push_back(R.Type);
  return T;
}

}  // namespace

TEST(NodeTree, InsertMoveAndRemoveKeepOrderAndParents) {
  TNode Root("Root");
  TNode* A = Root.Append<TNode>("A");
  TNode* C = Root.Append<TNode>("C");
  TNode* B = Root.AddNode(std::make_unique<TNode>("B"), A);
  EXPECT_EQ(Root.Count(), 3);
  EXPECT_EQ(B->Index(), 1);
  EXPECT_EQ(B->GetParent(), &Root);
  EXPECT_EQ(Root.InsertNode(std::make_unique<TNode>("Z"), 99), 3);  // out of range appends
  C->SetIndex(-5);                                                   // clamped
  std::vector<std::string> Names;
  Root.GetNodeNames(Names);
  EXPECT_EQ(Names, (std::vector<std::string>{"C", "A", "B", "Z"}));
  EXPECT_EQ(Root.RemoveNode(A), 1);
  EXPECT_EQ(Root.RemoveNode(&Root), -1);  // not a child
  EXPECT_EQ(Root.Count(), 3);
  EXPECT_EQ(TNode("Detached").Index(), -1);
}

TEST(NodeTree, NotificationsReachParentThenListeners) {
  TWatchingNode Parent("P");
  TRecorder Listener;
  auto Owned = std::make_unique<TNode>("Child");
  TNode* Child = Owned.get();
  Child->AddListener(&Listener);
  Child->AddListener(&Listener);  // twice keeps one
  Parent.InsertNode(std::move(Owned));
  Child->SetAttribute("Condition", "x");
  Child->SetName("Renamed");
  Child->SetValue("v");
  Child->SetValueIsCData(true);
  EXPECT_EQ(Types(Parent.Log),
            (std::vector<TNodeChangeType>{ncAdded, ncBeforeAttributeChange, ncAfterAttributeChange, ncBeforeRename,
                                          ncAfterRename, ncValueChanging, ncValueChanged, ncValueChanging,
                                          ncValueChanged}));
  // Listeners hear what the node itself sends, not the value changes.
  EXPECT_EQ(Types(Listener.Log), (std::vector<TNodeChangeType>{ncAdded, ncBeforeAttributeChange,
                                                               ncAfterAttributeChange, ncBeforeRename, ncAfterRename}));
  Listener.Log.clear();
  Parent.RemoveNode(0);
  // Deleted before it goes, then destroyed: a holder of a reference hears both.
  EXPECT_EQ(Types(Listener.Log), (std::vector<TNodeChangeType>{ncDeleted, ncDestroyed}));
}

TEST(NodeTree, AttributesKeepInsertionOrderAndEmptyRemoves) {
  TNode N("N");
  EXPECT_FALSE(N.HasAttributes());
  N.SetAttribute("Zeta", "1");
  N.SetAttribute("Alpha", "2");
  N.SetAttribute("alpha", "3");  // names are case-sensitive
  EXPECT_EQ(N.GetAttributeNames(), (std::vector<std::string>{"Zeta", "Alpha", "alpha"}));
  EXPECT_EQ(N.Attributes().GetAttributeNames({"Alpha"}), (std::vector<std::string>{"Zeta", "alpha"}));
  N.SetAttribute("Zeta", "");
  EXPECT_EQ(N.GetAttribute("Zeta"), "");
  EXPECT_EQ(N.Attributes().Count(), 2);
  EXPECT_EQ(N.GetAttribute("Missing"), "");
  TNode Other("O");
  Other.Attributes().Assign(N.Attributes());
  EXPECT_EQ(Other.GetAttribute("alpha"), "3");
}

TEST(NodeTree, ModifiedFlagsPropagateUpAndClearAfterWriteOrRead) {
  TNode Root("Root");
  TNode* Child = Root.Append<TNode>("Child");
  Root.AfterWrite();
  Child->AfterWrite();
  EXPECT_FALSE(Root.IsModified());
  Child->SetValue("x");
  EXPECT_TRUE(Root.IsModified());
  EXPECT_FALSE(Root.GetModifiedFlag());
  Child->AfterRead();
  EXPECT_FALSE(Root.IsModified());
  Child->SetValue("x");  // the same value changes nothing
  EXPECT_FALSE(Root.IsModified());
  Root.RemoveNode(0);
  EXPECT_TRUE(Root.IsModified());
}

TEST(NodeTree, FindChildrenByNamePathAndCondition) {
  TNode Root("Root");
  TNode* G1 = Root.Append<TNode>("Group");
  TNode* G2 = Root.Append<TNode>("group");
  G2->SetCondition("'$(A)'=='1'");
  G1->Append<TNode>("Inner")->SetValue("one");
  G2->Append<TNode>("Inner")->SetValue("two");

  EXPECT_EQ(Root.FindFirstChild("GROUP"), G1);
  EXPECT_EQ(Root.FindNextChild("GROUP"), G2);
  EXPECT_EQ(Root.FindNextChild("GROUP"), nullptr);
  // With UseCondition an empty condition only matches a child without one.
  EXPECT_EQ(Root.FindFirstChild("Group", "", true), G1);
  EXPECT_EQ(Root.FindFirstChild("Group", "'$(a)'=='1'", true), G2);
  // A path looks below the first match and goes on scanning when that finds nothing.
  EXPECT_EQ(Root.FindFirstChild("Group\\Inner", "", false)->GetValue(), "one");
  EXPECT_EQ(Root.FindFirstChild("Group\\Missing"), nullptr);
  EXPECT_EQ(Root.GetChildCount("GROUP"), 2);
  EXPECT_EQ(Root.GetChildByIndex("group", 1), G2);
  EXPECT_EQ(Root.FindChildren("Group", true, "").size(), 1u);
  TNode* Made = Root.FindOrCreateNode("Other", "c", true);
  EXPECT_EQ(Made->GetCondition(), "c");
  EXPECT_EQ(Root.FindOrCreateNode("Other", "c", true), Made);
  Root.RemoveNodes("group", "'$(A)'=='1'");
  EXPECT_EQ(Root.GetChildCount("Group"), 1);
  Root.RemoveNodes("GROUP");
  EXPECT_EQ(Root.GetChildCount("Group"), 0);
}

TEST(NodeTree, CreateChildNodeUsesRegisteredClassesAndDefaultChildren) {
  TProjectNode Project;
  TNode* Group = Project.CreateChildNode("PropertyGroup", "'$(X)'!=''");
  EXPECT_TRUE(Group->Is<TPropertyGroup>());
  EXPECT_EQ(Group->GetCondition(), "'$(X)'!=''");
  EXPECT_TRUE(Group->CreateChildNode("Import")->Is<TProperty>());  // a group's children are properties
  TNode* Unknown = Project.CreateChildNode("Custom");
  EXPECT_FALSE(Unknown->Is<TMSBNode>());
  TNode* Imp = Project.CreateChildNode("Import", "", Group);
  EXPECT_TRUE(Imp->Is<TImport>());
  EXPECT_EQ(Imp->Index(), 1);
  TNode* Target = Project.CreateChildNode("Target");
  EXPECT_TRUE(Target->CreateChildNode("Exec")->Is<TTask>());
  EXPECT_TRUE(Target->CreateChildNode("Message")->Is<TMessage>());
}

TEST(NodeTree, DeepCopyKeepsContentAndClassButNotModified) {
  TProjectNode Project;
  TPropertyGroup* G = Project.AddPropertyGroup("c");
  G->AddProperty("Name", "", "Value")->SetId("id1");
  G->GetProperty(0)->SetValueIsCData(true);
  std::unique_ptr<TNode> Copy = Project.CreateCopy(true);
  ASSERT_TRUE(Copy->Is<TProjectNode>());
  EXPECT_FALSE(Copy->IsModified());
  auto* CG = dynamic_cast<TPropertyGroup*>(Copy->GetNode(0));
  ASSERT_NE(CG, nullptr);
  EXPECT_EQ(CG->GetCondition(), "c");
  TProperty* P = CG->GetProperty("name", "", false);  // the copy's hash is filled
  ASSERT_NE(P, nullptr);
  EXPECT_EQ(P->GetValue(), "Value");
  EXPECT_EQ(P->GetId(), "id1");
  EXPECT_TRUE(P->GetValueIsCData());
  EXPECT_EQ(Project.CreateCopy(false)->Count(), 0);
}

TEST(NodeClassRegistry, SixteenClassesAndDuplicateKeysRefused) {
  const char* Names[] = {"PropertyGroup", "ItemGroup", "Import", "Target", "Output", "Error", "Warning", "Message",
                         "OnError", "UsingTask", "Choose", "When", "Otherwise", "Tarvos.Personality",
                         "ProjectExtensions", "Project"};
  for (const char* N : Names) EXPECT_NE(NodeClassRegistry().Find(MSBuildNamespace, N), nullptr) << N;
  EXPECT_EQ(NodeClassRegistry().Find(MSBuildNamespace, "Property"), nullptr);
  EXPECT_EQ(NodeClassRegistry().Find("", "Project"), nullptr);
  try {
    RegisterNodeClass(TImport::ClassInfo());
    FAIL();
  } catch (const Exception& E) {
    EXPECT_STREQ(E.what(), "Node path Import already registered by TImport");
  }
  EXPECT_EQ(&GetNodeClass("urn:other", "Import", nullptr), &TNode::ClassInfo());
}

TEST(PropertyGroupHash, SameNameWithDifferentConditionsAndRenamedConditions) {
  TPropertyGroup G;
  TProperty* A = G.AddProperty("Out", "", "a");
  TProperty* B = G.AddProperty("Out", "'$(Cfg)'=='1'", "b");
  EXPECT_EQ(G.GetProperty("OUT", "", false), A);
  EXPECT_EQ(G.GetProperty("out", "'$(cfg)'=='1'", false), B);
  B->SetCondition("'$(Cfg)'=='2'");
  EXPECT_EQ(G.GetProperty("Out", "'$(Cfg)'=='1'", false), nullptr);
  EXPECT_EQ(G.GetProperty("Out", "'$(Cfg)'=='2'", false), B);
  A->SetName("Renamed");
  EXPECT_EQ(G.GetProperty("Out", "", false), nullptr);
  EXPECT_EQ(G.GetProperty("Renamed", "", false), A);
  G.SetProperty("New", "", "n");
  EXPECT_EQ(G.PropertyCount(), 3);
  G.RemoveProperty("renamed", "");
  EXPECT_EQ(G.GetProperty("Renamed", "", false), nullptr);
  G.Clear();
  EXPECT_EQ(G.GetProperty("New", "", false), nullptr);
  EXPECT_EQ(G.PropertyCount(), 0);
}

TEST(ItemGroupHash, IncludeAndConditionAreSeparateParts) {
  TItemGroup G;
  TItem* A = G.AddItem("Compile", "a.pas", "x");
  TItem* B = G.AddItem("Compile", "a.pasx", "");
  // Joined without separator both keys would read "a.pasx".
  EXPECT_EQ(G.GetItem("a.pasx", ""), B);
  EXPECT_EQ(G.GetItem("A.PAS", "X"), A);
  A->SetInclude("b.pas");
  EXPECT_EQ(G.GetItem("a.pas", "x"), nullptr);
  EXPECT_EQ(G.GetItem("b.pas", "x"), A);
  TItem* Dup = G.AddItem("Compile", "b.pas", "x");
  EXPECT_EQ(G.GetItem("b.pas", "x"), A);  // the first in document order
  G.RemoveItem("b.pas", "x");
  EXPECT_EQ(G.GetItem("b.pas", "x"), Dup);
  EXPECT_EQ(G.ItemCount(), 2);
}

TEST(MSBuildNodes, TargetsTasksMessagesAndItems) {
  TTarget T;
  TTask* Exec = T.GetTask("Exec", true);
  Exec->SetParameter("Command", "make");
  Exec->SetCondition("c");
  Exec->SetContinueOnError(true);
  EXPECT_EQ(Exec->ParameterNames(), (std::vector<std::string>{"Command"}));
  EXPECT_TRUE(Exec->ContinueOnError());
  Exec->AddOutput()->SetTaskParameter("ExitCode");
  EXPECT_EQ(Exec->OutputCount(), 1);
  TMessage* M = T.AddMessage();
  T.AddError()->SetText("bad");
  EXPECT_EQ(T.GetTaskCount(), 1);  // messages and errors are not tasks
  EXPECT_EQ(T.GetTask("exec", false), Exec);
  EXPECT_EQ(T.GetErrorCount(), 1);
  M->SetImportance(miHigh);
  EXPECT_EQ(M->GetAttribute("Importance"), "high");
  M->SetImportance(miLow);
  EXPECT_EQ(M->GetAttribute("Importance"), "low");
  M->SetImportance(miNormal);
  EXPECT_FALSE(M->HasAttributes());

  TItem Item("Compile");
  Item.AddMetadata("Form", "F1");
  Item.AddMetadata("Form", "F2", true);
  EXPECT_EQ(Item.Count(), 2);
  EXPECT_TRUE(Item.GetNode(1)->GetValueIsCData());
  Item.RemoveMetadata("form");
  EXPECT_EQ(Item.Count(), 0);
}

TEST(ItemGroupHash, ManyItemsAgreeWithAScanThroughInsertsRenamesAndRemovals) {
  TItemGroup G;
  std::vector<TItem*> Items;
  for (int I = 0; I < 3000; ++I) Items.push_back(G.AddItem("Compile", "f" + std::to_string(I % 1000) + ".pas", I % 3 ? "" : "c"));
  EXPECT_EQ(G.GetItem("none.pas", ""), nullptr);  // builds the index
  unsigned Seed = 7;
  auto Next = [&] { return Seed = Seed * 1103515245u + 12345u, (Seed >> 8) % 3000u; };
  for (int Step = 0; Step < 4000; ++Step) {
    unsigned K = Next();
    if (Step % 3 == 0 && G.ItemCount() > 10) {
      G.RemoveNode(static_cast<int>(K % static_cast<unsigned>(G.ItemCount())));
    } else if (Step % 3 == 1) {
      G.GetItem(static_cast<int>(K % static_cast<unsigned>(G.ItemCount())))->SetInclude("f" + std::to_string(K % 1000) + ".pas");
    } else {
      G.AddItem("Compile", "f" + std::to_string(K % 1000) + ".pas", K % 2 ? "c" : "");
    }
    std::string Include = "f" + std::to_string(Next() % 1000) + ".pas";
    std::string Condition = Next() % 2 ? "C" : "";
    TItem* Scan = nullptr;
    for (TItem* I : G.GetItems())
      if (SameText(I->Include(), Include) && SameText(I->GetCondition(), Condition)) {
        Scan = I;
        break;
      }
    ASSERT_EQ(G.GetItem(Include, Condition), Scan) << Step;
  }
}
