// Expansion of the engine's expressions: $(Property) with property functions, @(Item) with
// transforms, separators and item functions, and %(Metadata). Results stay escaped; callers
// unescape where a value leaves the engine (task parameters, property values read out).
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "build/engine/project.h"

namespace nxs::engine {

// Metadata first, then properties, then item lists (when the context allows them), as the
// engine always expands.
std::string ExpandString(std::string_view Text, const TExpandContext& Ctx);
// Text as items: pieces separated by ";"; a piece that is one item list keeps its items'
// metadata, other pieces become items of their text. Empty pieces are dropped.
void ExpandIntoItems(std::string_view Text, const TExpandContext& Ctx, TItemList& Out);

// Refuses an expansion that would make more than Ctx.Limit bytes, naming what it makes.
[[noreturn]] void ExpansionTooLarge(const TExpandContext& Ctx);

// What a task or target refers to, for batching: %(Type.Name) and %(Name) outside
// transforms, and the item types of @(...).
struct TBatchRefs {
  std::vector<std::pair<std::string, std::string>> Metadata;  // type (maybe empty), name
  std::vector<std::string> ItemTypes;
};
void CollectBatchRefs(std::string_view Text, TBatchRefs& Refs);

// Property functions (functions.cpp). Arguments are unescaped; the result is unescaped.
std::string CallStaticFunction(std::string_view Type, std::string_view Name, const std::vector<std::string>& Args,
                               bool Called, const TExpandContext& Ctx);
bool IsStringMethod(std::string_view Name);
std::string CallStringMethod(const std::string& Receiver, std::string_view Name,
                             const std::vector<std::string>& Args, bool Called, const TExpandContext& Ctx);

// Split results are joined with this mark, which the expander turns into ";" after
// escaping, so that an array becomes a list while a ";" inside a value stays one value.
inline constexpr char ListMark = '\x01';

// Helpers shared by the expander and the conditions.
inline bool IsNameChar(char C) {
  return (C >= 'a' && C <= 'z') || (C >= 'A' && C <= 'Z') || (C >= '0' && C <= '9') || C == '_' || C == '-';
}
inline bool IsBlank(char C) { return C == ' ' || C == '\t' || C == '\r' || C == '\n'; }
// The position of the ")" that closes the "(" at Open, skipping quoted text; npos if none.
size_t FindClose(std::string_view Text, size_t Open);
// Booleans as the engine reads them.
bool ParseBool(std::string_view S, bool& Value);
// "True"/"False", and numbers without trailing zeros.
std::string BoolText(bool B);

}  // namespace nxs::engine
