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
inline constexpr const char* SCleaned = "Deleted \"%s\".";

}  // namespace nxs::compilers::res
