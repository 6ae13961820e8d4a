// The build subsystem's texts: progress titles, the status area, build groups, the build
// host, the bridge to the build engine, the host object the engine's tasks call, and the
// progress display.
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
// A group whose projects could not all be opened is not built.
inline constexpr const char* SProjectNotOpened = "The project \"%s\" of the group could not be opened";

// Build groups.
inline constexpr const char* SBuildingGroup = "Building group \"%s\"";
inline constexpr const char* SBuildGroupCondition = "'$(BuildGroup)'=='%s'";
inline constexpr const char* SNewBuildGroupPrompt = "Enter a name for the new Build Group:";
inline constexpr const char* SNewBuildGroupCaption = "New Build Group";
inline constexpr const char* SBuildGroupExists = "A group with name \"%s\" already exists. Replace it?";
inline constexpr const char* SDeleteBuildGroup = "Delete group \"%s\"?";
inline constexpr const char* SNoSuchBuildGroup = "No build group named \"%s\"";


// ---- build host ----
inline constexpr const char* SBuildGroup = "Build";
inline constexpr const char* SOutputGroup = "Output";
inline constexpr const char* SBuildSuccess = "Success";
inline constexpr const char* SBuildFailed = "Failed";
inline constexpr const char* SElapsedTime = "Elapsed time: %s";
// Hours, minutes, seconds, tenths.
inline constexpr const char* SElapsedTimeFormat = "%.2d:%.2d:%.2d.%.1d";

// ---- progress ----
inline constexpr const char* SProgCompiling = "Compiling: ";
inline constexpr const char* SProgLinking = "Linking: ";
inline constexpr const char* SProgChecking = "Checking: ";
inline constexpr const char* SProgCleaning = "Cleaning: ";

// ---- engine bridge ----
inline constexpr const char* SUnknownProjectReadError = "An unknown error occurred reading \"%s\"";
inline constexpr const char* SHostObjectRegistered = "A host object for task \"%s\" is already registered";
inline constexpr const char* SKibitzTarget = "_Kibitz";
inline constexpr const char* SKibitzTaskProperty = "_KibitzTask=";
inline constexpr const char* SEvaluatePropertiesTarget = "_EvaluateProperties";
inline constexpr const char* SEvaluatePropertyTarget = "_EvaluateProperty";
inline constexpr const char* SEvaluateItemTarget = "_EvaluateItem";
inline constexpr const char* SEvaluatePropertiesProps =
    "_EvaluatePropertyNames=%s;_EvaluatePropertyDependsOnTargets=%s;Config=%s;Platform=%s";
inline constexpr const char* SEvaluateProps = "_EvaluateName=%s;Config=%s;Platform=%s";
inline constexpr const char* SEvaluateMetadataProps = "%s;__MetadataName=%s";
inline constexpr const char* SFileToCompileProp = ";FileToCompile=";
// The target an MSBuild macro is evaluated with.
inline constexpr const char* SResolveFilesTarget = "ResolveFiles";

// ---- host object ----
inline constexpr const char* SProjectNotFound = "Fatal Error: unable to locate project file \"%s\"";
inline constexpr const char* SCommandLineTitle = "%s command line";
inline constexpr const char* SCommandLineTitleFor = "%s command line for \"%s\"";
inline constexpr const char* SHostObjectException = "Exception %s: %s";
inline constexpr const char* SCannotStartTool = "Cannot start \"%s\"";

}  // namespace nxs::res
