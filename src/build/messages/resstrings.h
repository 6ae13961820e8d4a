// The user-visible texts of the message lines and the compiler file services.
#pragma once

namespace nxs::res {

// Kinds of compiler messages, as their labels show them.
inline constexpr const char* SMsgHint = "Hint";
inline constexpr const char* SMsgWarning = "Warning";
inline constexpr const char* SMsgError = "Error";
inline constexpr const char* SMsgFatal = "Fatal Error";

}  // namespace nxs::res
