// The kernel's string search for a caller that owns it: the searcher behind ekSearchString,
// without the dispatcher and its lock.
#include "editor/kernel/ek.h"
#include "editor/kernel/eksearch.h"

namespace nxs::ek {

TStringSearch::TStringSearch() = default;
TStringSearch::~TStringSearch() = default;

uint8_t TStringSearch::Prepare(std::string_view Pattern, TSearchFlags Flags) {
  auto S = std::make_unique<TSearcher>();
  F.reset();
  FErrorText.clear();
  FErrorOffset = 0;
  if (uint8_t R = S->Prepare(Pattern, Flags)) {
    FErrorText = S->ErrorText();
    FErrorOffset = S->ErrorOffset();
    return R;
  }
  F = std::move(S);
  return SearchOk;
}

bool TStringSearch::Find(std::string_view Text, size_t From, size_t& Pos, size_t& Len) {
  return F && F->FindIn(Text, From, Pos, Len);
}

}  // namespace nxs::ek
