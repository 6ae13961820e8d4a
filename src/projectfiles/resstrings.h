// The user-visible texts of the project-file layer (document model, XML reading and writing,
// configurations, option registry, platforms, macros). Everyone who adds a message to this
// subsystem adds it here.
#pragma once

namespace nxs::res {

// Project document and XML
inline constexpr const char* SNodePathRegistered = "Node path %s already registered by %s";
inline constexpr const char* SParseFatalError = "Fatal error";
inline constexpr const char* SParseError = "Error";
inline constexpr const char* SParseWarning = "Warning";
inline constexpr const char* SParseErrorDetail = " %d. %s Line %d, column %d.";
inline constexpr const char* SCannotSetFeatures = "Cannot set features while parsing";
inline constexpr const char* SCannotSetProperties = "Cannot set properties while parsing";
inline constexpr const char* SNotAProject = "The document is not an MSBuild project: its root element is \"%s\"";
inline constexpr const char* SEmptyDocument = "The document holds no element";
inline constexpr const char* SExternalEntity = "External entities and document type definitions are not read";
inline constexpr const char* SUnknownProjectVersion = "Unknown project version: \"%s\"";
inline constexpr const char* SNewerProjectVersion =
    "Project is a newer version (%s) incompatible with current version (%d).";
inline constexpr const char* SPersonalityVersion = "%d";
inline constexpr const char* SPersonalityXml = "Personality cannot contain XML";
inline constexpr const char* SPersonalityVersionXml = "PersonalityVersion cannot contain XML";
inline constexpr const char* SProjectTypeXml = "ProjectType cannot contain XML";
inline constexpr const char* SBeginWriteTargetNil = "BeginWriteTarget: Current target is nil";
inline constexpr const char* SBeginWriteTaskNil = "BeginWriteTask: Current target is nil";
inline constexpr const char* SCurrentTaskNil = "Current task is nil";
inline constexpr const char* SNullBuildItem = "Attempted to write metadata \"%s=%s\" to a null BuildItem";
inline constexpr const char* SNotPreserved = "Cannot restore project document, it was not preserved";
inline constexpr const char* SProjectCheck = "%s (%s)";
inline constexpr const char* SNoEngineView =
    "The build engine is not available: no engine view is registered for project documents";

// Names
inline constexpr const char* SInvalidName =
    "Invalid name \"%s\".\nNames cannot contain any of the following characters: %s";
inline constexpr const char* SInvalidNameChars = "' < > $ ( ) \" @ = %";
inline constexpr const char* SInvalidTagName = "Invalid name: \"%s\"";
inline constexpr const char* SInvalidToken = "Invalid token: %s";

// XML utilities
inline constexpr const char* SSectionNotFound = "XML Project section, %s, not found";
inline constexpr const char* SAttributeNotFound = "Unable to locate attribute %s, in XML node %s";

// Platforms
inline constexpr const char* SUnknownPlatform = "Unknown platform: \"%s\"";
inline constexpr const char* SPlatformNotSupported = "Platform \"%s\" not supported";
inline constexpr const char* SCompilerNotSupported = "No compiler registered for platform \"%s\" and personality \"%s\"";
inline constexpr const char* SPlatformPersonality = "Platform \"%s\" does not support the \"%s\" personality.";
inline constexpr const char* SAllPlatforms = "All platforms";
inline constexpr const char* SActivePlatformMark = " (active)";
inline constexpr const char* SUnknownBuildType = "Unknown build type: \"%s\"";

}  // namespace nxs::res
