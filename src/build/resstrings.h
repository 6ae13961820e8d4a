// The build subsystem's texts: progress titles, the status area and build groups.
#pragma once

namespace nxs::res {

// Progress titles by compile mode.
inline constexpr const char* SProgressCompile = "Compile";
inline constexpr const char* SProgressBuild = "Build";
inline constexpr const char* SProgressBuildUnit = "Build Unit";
inline constexpr const char* SProgressClean = "Clean";
inline constexpr const char* SProgressLink = "Link";
inline constexpr const char* SCheckingDependencies = "Checking project dependencies...";
inline constexpr const char* SCompilingProject = "Compiling %s";
inline constexpr const char* SBuildingProject = "Building %s";
inline constexpr const char* SCleaningProject = "Cleaning %s";
inline constexpr const char* SConfigPlatform = " (%s, %s)";
inline constexpr const char* SBuilt = "Built";
// A hand-edited group may make projects depend on one another in a ring; the build cuts it.
inline constexpr const char* SDependencyCycleCut =
    "Project dependency cycle %s: %s is not built before %s";

// Build groups.
inline constexpr const char* SBuildingGroup = "Building group \"%s\"";
inline constexpr const char* SBuildGroupCondition = "'$(BuildGroup)'=='%s'";
inline constexpr const char* SNewBuildGroupPrompt = "Enter a name for the new Build Group:";
inline constexpr const char* SNewBuildGroupCaption = "New Build Group";
inline constexpr const char* SBuildGroupExists = "A group with name \"%s\" already exists. Replace it?";
inline constexpr const char* SDeleteBuildGroup = "Delete group \"%s\"?";
inline constexpr const char* SNoSuchBuildGroup = "No build group named \"%s\"";

}  // namespace nxs::res
