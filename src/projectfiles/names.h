// Checks and repairs of the names that become MSBuild element names (properties, options)
// or that MSBuild would read as expressions (configuration names).
#pragma once

#include <string>
#include <string_view>

namespace nxs {

// A letter A-Z, a-z or "_" first, then letters, digits or "_"; else raises EInvalidTagName
// "Invalid name: "%s"".
void ValidPropertyName(std::string_view Name);
// Every character that breaks the rule above replaced by "_"; empty for "ItemGroup",
// "Project", "PropertyGroup" or "Target" (without regard to case) and for an empty name.
std::string MakeValidPropertyName(std::string_view Name);
// Raises EInvalidName when the name holds any of " $ % ' ( ) < = > @.
void ValidName(std::string_view Name);
// Each of those characters replaced by "_".
std::string MakeValidName(std::string_view Name);
// True when the name passes ValidPropertyName.
bool IsValidPropertyName(std::string_view Name);

}  // namespace nxs
