// Batching: the buckets, and the item and property elements that run once per bucket.
#include "build/engine/batching.h"

#include "build/engine/conditions.h"
#include "build/engine/items.h"
#include "build/engine/resstrings.h"
#include "shared/format.h"
#include "shared/text.h"

namespace nxs::engine {

namespace {

std::string ItemsKey(const std::vector<std::string>& Values) {
  std::string K;
  for (auto& V : Values) {
    K += LowerCase(V);
    K += '\0';
  }
  return K;
}

TExpandContext ContextOf(TProject& P, const TXmlDocument& Doc, const TXmlElement& E, const TBucket* Bucket) {
  TExpandContext C;
  C.Project = &P;
  C.ThisFile = &Doc.FileName;
  C.Where = LocationOf(Doc, E);
  C.Bucket = Bucket;
  return C;
}

}  // namespace

bool MakeBuckets(TProject& P, const TBucket* Outer, const TBatchRefs& Refs, const TLocation& Where,
                 std::vector<TBucket>& Buckets) {
  Buckets.clear();
  if (Refs.Metadata.empty()) return false;
  // Metadata the outer batch (a batched target) already fixes needs no further batching.
  std::vector<std::pair<std::string, std::string>> Open;
  for (auto& M : Refs.Metadata)
    if (!(Outer && Outer->Find(M.first, M.second))) Open.push_back(M);
  if (Open.empty()) return false;
  bool Unqualified = false;
  std::vector<std::string> Types;
  auto AddType = [&](const std::string& T) {
    for (auto& X : Types)
      if (SameText(X, T)) return;
    Types.push_back(T);
  };
  for (auto& [T, N] : Open) {
    if (T.empty())
      Unqualified = true;
    else
      AddType(T);
  }
  if (Unqualified) {
    for (auto& T : Refs.ItemTypes) AddType(T);
    if (Types.empty())
      Fail(Where, Format(res::SBatchNeedsItems, Open[0].second));
  }
  std::unordered_map<std::string, size_t> Index;
  for (auto& Type : Types) {
    const TItemList* List = nullptr;
    if (Outer) {
      auto It = Outer->Items.find(Type);
      if (It != Outer->Items.end()) List = &It->second;
    }
    if (!List) List = P.FindItems(Type);
    if (!List) continue;
    for (const TItem& Item : *List) {
      std::vector<std::string> Values;
      for (auto& [T, N] : Open) {
        std::string V;
        if (T.empty() || SameText(T, Type)) {
          if (T.empty() && !Item.Meta.Find(N) && !IsWellKnownMetadata(N))
            Fail(Where, Format(res::SBatchMetadataMissing, MSBuildUnescape(Item.Spec), Type, N, Type, N));
          GetItemMetadata(Item, N, P.Directory(), V);
        }
        Values.push_back(std::move(V));
      }
      std::string Key = ItemsKey(Values);
      auto Found = Index.find(Key);
      if (Found == Index.end()) {
        Found = Index.emplace(Key, Buckets.size()).first;
        TBucket B;
        if (Outer) B = *Outer;
        for (size_t I = 0; I < Open.size(); ++I) B.Values.push_back({Open[I].first, Open[I].second, Values[I]});
        for (auto& T : Types) B.Items[T].clear();
        Buckets.push_back(std::move(B));
      }
      Buckets[Found->second].Items[Type].push_back(Item);
    }
  }
  return true;
}

std::vector<const TBucket*> BatchRuns(TProject& P, const TBucket* Outer, const TBatchRefs& Refs,
                                      const TLocation& Where, std::vector<TBucket>& Storage) {
  std::vector<const TBucket*> Runs;
  if (!MakeBuckets(P, Outer, Refs, Where, Storage)) Runs.push_back(Outer);
  for (auto& B : Storage) Runs.push_back(&B);
  return Runs;
}

void ApplyItemElementBatched(TProject& P, const TXmlDocument& Doc, const TXmlElement& Group, const TXmlElement& Item,
                             const TBucket* Outer, bool InTarget) {
  TLocation At = LocationOf(Doc, Item);
  bool Include = Item.Attribute("Include") != nullptr;
  TBatchRefs Refs;
  if (InTarget) CollectBatchRefs(Group.AttributeOr("Condition"), Refs);
  if (Include) {
    for (const auto& A : Item.Attributes) CollectBatchRefs(A.Value, Refs);
  } else {
    // Remove, Update and changes of every item read %(...) item by item instead.
    CollectBatchRefs(Item.AttributeOr("Remove"), Refs);
    CollectBatchRefs(Item.AttributeOr("Update"), Refs);
  }
  std::vector<TBucket> Buckets;
  for (const TBucket* B : BatchRuns(P, Outer, Refs, At, Buckets)) {
    TExpandContext Ctx = ContextOf(P, Doc, Group, B);
    if (InTarget && !EvaluateCondition(Group.AttributeOr("Condition"), Ctx)) continue;
    Ctx.Where = At;
    const std::string& Cond = Item.AttributeOr("Condition");
    bool PerItem = InTarget && !Include && Cond.find("%(") != std::string::npos;
    if (!PerItem && !EvaluateCondition(Cond, Ctx)) continue;
    ApplyItemElement(P, Item, Ctx, InTarget);
  }
}

void ApplyPropertyElement(TProject& P, const TXmlDocument& Doc, const TXmlElement& Group, const TXmlElement& Prop,
                          const TBucket* Outer) {
  TBatchRefs Refs;
  CollectBatchRefs(Group.AttributeOr("Condition"), Refs);
  CollectBatchRefs(Prop.AttributeOr("Condition"), Refs);
  CollectBatchRefs(Prop.Text, Refs);
  std::vector<TBucket> Buckets;
  for (const TBucket* B : BatchRuns(P, Outer, Refs, LocationOf(Doc, Prop), Buckets)) {
    TExpandContext Ctx = ContextOf(P, Doc, Group, B);
    if (!EvaluateCondition(Group.AttributeOr("Condition"), Ctx)) continue;
    Ctx.Where = LocationOf(Doc, Prop);
    if (!EvaluateCondition(Prop.AttributeOr("Condition"), Ctx)) continue;
    P.SetProperty(Prop.Name, ExpandString(Prop.Text, P.ForProperty(Prop.Name, Ctx)), Ctx.Where);
  }
}

}  // namespace nxs::engine
