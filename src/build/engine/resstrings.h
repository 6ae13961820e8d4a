// The user-visible texts of the build engine.
#pragma once

namespace nxs::engine::res {

// Reading project files.
inline constexpr const char* SXmlError = "The project file could not be read: %s";
inline constexpr const char* SXmlDoctype = "The project file holds a document type declaration, which is not allowed";
inline constexpr const char* SXmlTooDeep = "The project file nests elements deeper than %d levels";
inline constexpr const char* SXmlNotProject = "The root element of a project file must be <Project>, not <%s>";
inline constexpr const char* SCannotReadProject = "The project file \"%s\" could not be read: %s";
inline constexpr const char* SNotARegularFile = "it is not a regular file";
inline constexpr const char* SErrorAt = "%s(%d,%d): error: %s";
inline constexpr const char* SErrorIn = "%s: error: %s";

// Evaluation.
inline constexpr const char* SUnknownElement = "The element <%s> beneath element <%s> is unrecognized";
inline constexpr const char* SMissingAttribute = "The element <%s> needs the attribute \"%s\"";
inline constexpr const char* SImportNotFound = "The imported project \"%s\" was not found (imported by \"%s\")";
inline constexpr const char* SImportAgain =
    "The project \"%s\" is imported again by \"%s\"; it was imported already and the import is skipped";
inline constexpr const char* SImportsTooDeep = "Imports are nested deeper than %d files";
inline constexpr const char* SExpressionTooDeep = "The expression \"%s\" nests functions deeper than %d levels";
inline constexpr const char* SReservedProperty = "The \"%s\" property is reserved, and cannot be modified";
inline constexpr const char* SBadPropertyName = "\"%s\" is not a valid property name";
inline constexpr const char* SUnknownFunction = "The property function \"%s\" is not available";
inline constexpr const char* SFunctionArgs = "The property function \"%s\" cannot take %d argument(s)";
inline constexpr const char* SFunctionFailed = "The property function \"%s\" failed: %s";
inline constexpr const char* SUnknownItemFunction = "The item function \"%s\" is not available";
inline constexpr const char* SBadExpression = "The expression \"%s\" is malformed: %s";
inline constexpr const char* SItemsNotAllowed = "Item lists cannot be referenced here: \"%s\"";
inline constexpr const char* SMetadataNotAllowed = "Item metadata cannot be referenced here: \"%s\"";
inline constexpr const char* SPropertyTooLarge = "The value of the property \"%s\" would be larger than %s";
inline constexpr const char* SItemsTooLarge = "The item list \"%s\" would be larger than %s";
inline constexpr const char* SValueTooLarge = "An expanded value would be larger than %s";
inline constexpr const char* SExpansionBound = "256 MB";
inline constexpr const char* SIncludeAndRemove = "The item <%s> must have exactly one of Include, Remove or Update";

// Conditions.
inline constexpr const char* SBadCondition = "The condition \"%s\" is malformed: %s at position %d";
inline constexpr const char* SConditionNotBoolean =
    "The condition \"%s\" is malformed: \"%s\" evaluates to \"%s\" instead of a Boolean at position %d";
inline constexpr const char* SConditionNotNumber =
    "The condition \"%s\" is malformed: \"%s\" evaluates to \"%s\" instead of a number at position %d";
inline constexpr const char* SConditionUnknownFunction =
    "The condition \"%s\" is malformed: unknown function \"%s\" at position %d";

// Targets and tasks.
inline constexpr const char* STargetNotFound = "The target \"%s\" does not exist in the project \"%s\"";
inline constexpr const char* STargetCycle = "The target \"%s\" depends on itself: %s";
inline constexpr const char* SNoTargets = "The project \"%s\" has no targets";
inline constexpr const char* STaskNotFound = "The task \"%s\" was not found";
inline constexpr const char* STaskCrashed = "The task \"%s\" failed unexpectedly: %s";
inline constexpr const char* STaskFailedSilently = "The task \"%s\" returned false but did not log an error";
inline constexpr const char* SOutputNeedsName =
    "The <Output> element needs TaskParameter and one of PropertyName or ItemName";
inline constexpr const char* SNoOutput = "The task \"%s\" has no output parameter \"%s\"";
inline constexpr const char* SParameterRequired = "The task \"%s\" needs the parameter \"%s\"";
inline constexpr const char* SBatchMetadataMissing =
    "The item \"%s\" of the list \"%s\" has no metadata \"%s\": qualify the reference as %%(%s.%s) or give "
    "every item of the list that metadata";
inline constexpr const char* SBatchNeedsItems = "The metadata reference \"%%(%s)\" needs an item list to batch over";
inline constexpr const char* SBuildCancelled = "The build was cancelled";
inline constexpr const char* SProjectsTooDeep =
    "Projects build other projects deeper than %d levels (building \"%s\")";
inline constexpr const char* SProjectCycle = "The project \"%s\" builds itself through the MSBuild task (target \"%s\")";
inline constexpr const char* STargetSkipped = "Target \"%s\" skipped: all outputs are up to date";
inline constexpr const char* STargetPartial = "Target \"%s\" builds %d of %d input(s); the rest are up to date";
inline constexpr const char* SBuildTarget = "Target \"%s\" in \"%s\"";

// Built-in tasks.
inline constexpr const char* SCopyNeedsDestination = "Copy needs DestinationFiles or DestinationFolder, not both";
inline constexpr const char* SCopyCountMismatch =
    "Copy has %d source file(s) but %d destination file(s)";
inline constexpr const char* SCopyFailed = "Could not copy \"%s\" to \"%s\": %s";
inline constexpr const char* SCopying = "Copying \"%s\" to \"%s\"";
inline constexpr const char* SDeleteFailed = "Could not delete \"%s\": %s";
inline constexpr const char* SMakeDirFailed = "Could not create the directory \"%s\": %s";
inline constexpr const char* STouchFailed = "Could not touch \"%s\": %s";
inline constexpr const char* STouchMissing = "The file \"%s\" does not exist and AlwaysCreate is not set";
inline constexpr const char* SWriteFailed = "Could not write \"%s\": %s";
inline constexpr const char* SReadFailed = "Could not read \"%s\": %s";
// Running tools.
inline constexpr const char* SToolLineCut = "%s [... %u more bytes of this line not shown]";
inline constexpr const char* SErrorTaskDefault = "An error was raised by the Error task";

}  // namespace nxs::engine::res
