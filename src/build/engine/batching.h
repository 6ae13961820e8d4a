// Batching: an element that refers to %(Metadata) runs once per batch of items that share
// the metadata's values, with @(Type) in each run naming that batch's items.
#pragma once

#include <vector>

#include "build/engine/expand.h"
#include "build/engine/project.h"

namespace nxs::engine {

// Partitions the referenced item lists by the values of the referenced metadata that Outer
// (a batched target's batch) does not fix already. False when there is nothing to batch:
// the caller runs once with Outer. True with no buckets when every batched list is empty.
bool MakeBuckets(TProject& P, const TBucket* Outer, const TBatchRefs& Refs, const TLocation& Where,
                 std::vector<TBucket>& Buckets);
// The runs an element makes: Outer alone when nothing is to batch, else each bucket
// (Storage holds them).
std::vector<const TBucket*> BatchRuns(TProject& P, const TBucket* Outer, const TBatchRefs& Refs,
                                      const TLocation& Where, std::vector<TBucket>& Storage);

// An item element of an item group, batched over what its include and conditions refer to.
// Outside targets the group's condition was checked by the caller.
void ApplyItemElementBatched(TProject& P, const TXmlDocument& Doc, const TXmlElement& Group, const TXmlElement& Item,
                             const TBucket* Outer, bool InTarget);
// A property element of a target's property group, batched likewise.
void ApplyPropertyElement(TProject& P, const TXmlDocument& Doc, const TXmlElement& Group, const TXmlElement& Prop,
                          const TBucket* Outer);

}  // namespace nxs::engine
