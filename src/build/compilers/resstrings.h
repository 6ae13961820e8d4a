// The user-visible texts of the compile tasks.
#pragma once

namespace nxs::compilers::res {

inline constexpr const char* SCompilerNotStarted = "The compiler \"%s\" could not be started: %s.";
inline constexpr const char* SCompilerFailed = "\"%s\" exited with code %d.";
inline constexpr const char* SCompileCancelled = "The compile was cancelled.";
inline constexpr const char* SNoMainSource = "The project has no main source to compile.";
inline constexpr const char* SNoSources = "The project has no source files to compile.";
inline constexpr const char* SCannotWrite = "\"%s\" could not be written: %s";
inline constexpr const char* SUpToDate = "\"%s\" is up to date.";
inline constexpr const char* SSemicolonInPath =
    "fpc cannot be given \"%s\": it reads the \";\" in the name as a separator of paths.";
inline constexpr const char* SNotCompiled = "\"%s\" has not been compiled: make the project before linking it.";
inline constexpr const char* SBuildLockWaiting = "Another build holds \"%s\": waiting for it to end.";
inline constexpr const char* SBuildLockBusy = "Another build holds \"%s\"; this one does not wait for it.";
inline constexpr const char* SBuildLockFailed = "\"%s\" could not be locked for the build: %s";
inline constexpr const char* SCleaned = "Deleted \"%s\".";

}  // namespace nxs::compilers::res
