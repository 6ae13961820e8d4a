// The user-visible texts of the build subsystem: the build host, the bridge to the build
// engine, the host object the engine's tasks call, and the progress display.
#pragma once

namespace nxs::res {

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
