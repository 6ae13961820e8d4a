// The compile tasks of the two personalities: "PascalCompiler" runs fpc on a program or
// library, "CppCompiler" compiles and links C++ sources through a generated ninja file. Both
// read their switches from the project's options, compile the text the editor holds for
// files it has not saved, and report through the task's host object.
#pragma once

#include <string>
#include <vector>

namespace nxs::compilers {

// Registers "PascalCompiler", "CppCompiler" and the small tasks the shipped targets use
// ("KibitzResult", "EvaluateProperties", "EvaluateItem", "LockIntermediateDir") and "Exec".
// Start-up calls it once; calling it again is harmless. UnregisterCompilerTasks takes them
// all back (shutdown).
void RegisterCompilerTasks();
void UnregisterCompilerTasks();

// Lets go of the locks on intermediate folders that this process's builds took (the
// "LockIntermediateDir" task of the shipped targets): the build host calls it when a
// project's build ends. An empty folder goes with its lock.
void ReleaseBuildLocks();

// Progress kinds as the host object's UpdateProgress takes them.
enum TProgressKind { progLoading, progCompiling, progLinking, progDone, progNone, progChecking, progCleaning };

}  // namespace nxs::compilers
