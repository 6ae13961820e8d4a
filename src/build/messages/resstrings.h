// The user-visible texts of the message lines and the compiler file services.
#pragma once

namespace nxs::res {

// Kinds of compiler messages, as their labels show them.
inline constexpr const char* SMsgHint = "Hint";
inline constexpr const char* SMsgWarning = "Warning";
inline constexpr const char* SMsgError = "Error";
inline constexpr const char* SMsgFatal = "Fatal Error";

// Background compiling.
inline constexpr const char* SBackgroundCompileNotAllowed = "Cannot create background compile thread. Disabled count = %d";
inline constexpr const char* SBackgroundCompileRunning = "A background compile is already running";
inline constexpr const char* SCancelBackgroundCompile = "Cancel the background compile?";

// Message records read from text.
inline constexpr const char* SExpectedMessageRecord = "expected Message KIND FILE LINE COL TEXT";
inline constexpr const char* SUnknownMessageKind = "unknown message kind '%s' (hint, warning, error, fatal or info)";
inline constexpr const char* SMessagePlaceNotNumber = "%s must be a number: '%s'";

}  // namespace nxs::res
