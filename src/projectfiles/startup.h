// The project-file layer's part of start-up: publishes the environment variables
// (NXSPROJECTSDIR, NXSUSERDIR, NXSCOMMONDIR, NXSLIB, NXSINCLUDE, ProductVersion), registers
// this machine's platform package and reads the build tools' option descriptions.
#pragma once

#include <string>

namespace nxs {

// Safe to call more than once: later calls do nothing.
void StartProjectFiles();
// Takes the platform package's registrations out again (shutdown, tests).
void StopProjectFiles();

// The variables alone (part of StartProjectFiles).
void PublishStartupVariables();

}  // namespace nxs
