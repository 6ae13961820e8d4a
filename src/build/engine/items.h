// Items on disk: the well-known metadata every item has (FullPath, Filename, ...), wildcards
// in includes and excludes, and matching item specs against one another.
#pragma once

#include <string>
#include <string_view>

#include "build/engine/project.h"

namespace nxs::engine {

bool IsWellKnownMetadata(std::string_view Name);
// The item's metadata Name: its own, else the well-known value computed from the spec taken
// relative to BaseDir. Escaped. False when the item has no such metadata.
bool GetItemMetadata(const TItem& Item, std::string_view Name, const std::string& BaseDir, std::string& Value);
// The spec's full path, "/" separators, "." and ".." folded. Spec unescaped.
std::string FullPathOf(std::string_view Spec, const std::string& BaseDir);

// The directory of a full path, without a trailing "/" ("/" for a file in the root).
std::string DirectoryOf(const std::string& FullPath);

bool HasWildcard(std::string_view Spec);
// Files matching the (unescaped) wildcard spec, sorted, in the spec's own form (relative
// specs stay relative); RecursiveDir is set on each. Appends to Out.
void ExpandWildcard(std::string_view Spec, const std::string& BaseDir, TItemList& Out);

// Matches full paths against excludes or removals: literal specs by their full path,
// wildcard specs as patterns.
class TSpecMatcher {
 public:
  TSpecMatcher(const std::string& BaseDir) : FBase(BaseDir) {}
  void Add(std::string_view Spec);  // unescaped
  bool Empty() const { return FLiterals.empty() && FPatterns.empty(); }
  bool Matches(std::string_view Spec) const;  // unescaped

 private:
  std::string FBase;
  std::vector<std::string> FLiterals;
  std::vector<std::string> FPatterns;
};

// "*" and "?" within a segment, "**" across segments; exact case.
bool MatchPathPattern(std::string_view Pattern, std::string_view Path);

}  // namespace nxs::engine
