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
inline constexpr const char* SNestedTooDeep = "Elements are nested more than %d levels deep";
inline constexpr const char* SNameNotUtf8 = "The name \"%s\" cannot be written as UTF-8";
inline constexpr const char* STextTooLong = "A text longer than 2 GB cannot be kept in a project document";
inline constexpr const char* STooManyChildren = "An element cannot hold more than a billion elements";
inline constexpr const char* SAttributeLimit = "An element cannot hold more than %d attributes";
inline constexpr const char* SExternalEntity = "External entities and document type definitions are not read";
inline constexpr const char* SUnknownProjectVersion = "Unknown project version: \"%s\"";
inline constexpr const char* SNewerProjectVersion =
    "Project is a newer version (%s) incompatible with current version (%d).";
inline constexpr const char* SPersonalityVersion =
    "The personality \"%s\" has version %s; this version reads personality versions up to %d";
inline constexpr const char* STextControlChar =
    "The text \"%s\" cannot be written to a project file: it holds the control character %s";
inline constexpr const char* STextNotUtf8 =
    "The text \"%s\" cannot be written to a project file: it holds bytes that are not UTF-8 (at byte %d)";
inline constexpr const char* SBadXmlName = "\"%s\" cannot be an element or attribute name in a project file: %s";
inline constexpr const char* SBadXmlNameStart = "a name begins with a letter or \"_\"";
inline constexpr const char* SBadXmlNameChar = "a name holds only letters, digits, \"_\", \"-\" and \".\"";
inline constexpr const char* SForeignNamespaceLeft =
    "The element \"%s\" has no namespace inside an element that has one, which a project file cannot keep";
inline constexpr const char* SPersonalityXml = "Personality cannot contain XML";
inline constexpr const char* SPersonalityVersionXml = "PersonalityVersion cannot contain XML";
inline constexpr const char* SProjectTypeXml = "ProjectType cannot contain XML";
inline constexpr const char* SBeginWriteTargetNil = "BeginWriteTarget: Current target is nil";
inline constexpr const char* SBeginWriteTaskNil = "BeginWriteTask: Current target is nil";
inline constexpr const char* SCurrentTaskNil = "Current task is nil";
inline constexpr const char* SNullBuildItem = "Attempted to write metadata \"%s=%s\" to a null BuildItem";
inline constexpr const char* SNotPreserved = "Cannot restore project document, it was not preserved";
inline constexpr const char* SProjectCheck = "%s (%s)";
inline constexpr const char* SCannotReadProjectFile = "The project file \"%s\" could not be read: %s";
inline constexpr const char* SNotARegularFile = "it is not a regular file";
inline constexpr const char* SChangedOnDisk =
    "%s changed on disk after it was read; it was not written, so that the change made there is kept";
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

// Build configurations
inline constexpr const char* SDuplicateConfiguration = "Duplicate configuration \"%s\"";
inline constexpr const char* SUnknownConfiguration = "Unknown configuration \"%s\"";
inline constexpr const char* SCannotRemoveBase = "Cannot remove a project's base configuration";
inline constexpr const char* SUnknownProfile = "Unknown profile: \"%s\".";
inline constexpr const char* SUnknownSDKVersion = "Unknown SDK version: \"%s\".";
inline constexpr const char* SRequiresListArgument = "Option \"%s\" requires a list argument";
inline constexpr const char* SMergeNotAllowed = "Argument for option \"%s\" does not allow merging values";
inline constexpr const char* SInvalidOptionValue = "Error reading value for option \"%s\": %s";
inline constexpr const char* SOptionSetNotLoaded =
    "Option set \"%s\" cannot be loaded. It has been removed from project \"%s\".";
inline constexpr const char* SErrorMessage = "Error message";
inline constexpr const char* SDeleteConfiguration = "Delete build configuration \"%s\"?";
inline constexpr const char* SRemoveReference = "Remove reference to \"%s\"?";
inline constexpr const char* SConfigExistsInProject = "Project \"%s\" already has a configuration named \"%s\".";
inline constexpr const char* SConfigNotAddedContinue =
    "The new configuration will not be added. Continue adding \"%s\" to remaining projects?";
inline constexpr const char* SConfigNotAdded = "The new configuration will not be added.";
inline constexpr const char* SNotALocalOverride = "\"%s\" has no local override for \"%s\"";

// Option values
inline constexpr const char* SNotAnInteger = "'%s' is not a valid integer value";
inline constexpr const char* SNotADecimal = "'%s' is not a valid floating point value";
inline constexpr const char* SNotABoolean = "'%s' is not a valid Boolean value";
inline constexpr const char* SOutOfRange = "%s is not within the range %d to %d";
inline constexpr const char* SNotAllowedValue = "'%s' is not one of the allowed values";

// Option registry
inline constexpr const char* SOptionAlreadyExists = "An option named \"%s\" is already registered";
inline constexpr const char* SOptionGroupRegistered = "OptionGroup with name \"%s\" is already registered";
inline constexpr const char* STaskRegistered = "Task with name \"%s\" is already registered";
inline constexpr const char* SOptionNotFound = "Option \"%s\" not found";
inline constexpr const char* SToolDescription = "Tool description \"%s\": %s";
inline constexpr const char* SToolNotDescribed = "the file describes \"%s\", not \"%s\"";
inline constexpr const char* SToolBadAttribute = "option \"%s\": unknown %s \"%s\"";

// Option sets
inline constexpr const char* SOptionSetExt = ".optset";
inline constexpr const char* SOptionSetFilter = "Option sets (*%s)|*%s|All Files (*.*)|*.*";
inline constexpr const char* SOptionSetProjectType = "OptionSet";
inline constexpr const char* SReferencedSetErrors =
    "Referenced option set \"%s\" contains errors. Remove all references and continue?";
inline constexpr const char* SErrorMessageFmt = "Error message: %s";
inline constexpr const char* SMustBeSaved = " must be saved to disk in order to complete this operation.";
inline constexpr const char* SContinue = "Continue?";
inline constexpr const char* SOptionSetExists = "The option set \"%s\" already exists";
inline constexpr const char* SFileExists = "File \"%s\" already exists";

// IDE macros
inline constexpr const char* SUnmatchedParen = "Syntax error: Unmatched (";
inline constexpr const char* SCannotOverrideBuiltIn = "Cannot override value of built-in variable '%s'";
inline constexpr const char* SMacroInputPath = "The input file's full path";
inline constexpr const char* SMacroInputDir = "The input file's directory";
inline constexpr const char* SMacroInputName = "The input file's name, without extension";
inline constexpr const char* SMacroInputFileName = "The input file's name, with extension";
inline constexpr const char* SMacroInputExt = "The input file's extension";
inline constexpr const char* SMacroOutputPath = "The output file's full path";
inline constexpr const char* SMacroOutputDir = "The output file's directory";
inline constexpr const char* SMacroOutputName = "The output file's name, without extension";
inline constexpr const char* SMacroOutputFileName = "The output file's name, with extension";
inline constexpr const char* SMacroOutputExt = "The output file's extension";
inline constexpr const char* SMacroProjectPath = "The project file's full path";
inline constexpr const char* SMacroProjectDir = "The project's directory";
inline constexpr const char* SMacroProjectName = "The project's name";
inline constexpr const char* SMacroProjectFileName = "The project file's name, with extension";
inline constexpr const char* SMacroProjectExt = "The project file's extension";
inline constexpr const char* SMacroIncludePath = "The project's include path.";
inline constexpr const char* SMacroDefines = "The project's conditional defines.";
inline constexpr const char* SMacroSave = "Save the input file to disk before it is compiled.";
inline constexpr const char* SMacroLocalCommand = "Local command entered by user in project manager.";
inline constexpr const char* SMacroEnvVar = "The environment variable $(%s)";
inline constexpr const char* SMacroConfig = "The project's active configuration name";
inline constexpr const char* SMacroPlatform = "The project's active platform name";
inline constexpr const char* SMacroMSBuild = "The MSBuild variable $(%s)";

}  // namespace nxs::res
