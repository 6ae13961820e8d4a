// The gdb kernel package: registers the kernel whose identifier is "gdb" with the debugger
// manager. The registration goes when the package unloads.
#include <memory>

#include "debugger/kernel.h"
#include "gdbmi/gdbkernel.h"
#include "packages/pkgservices.h"

NXS_PACKAGE_ENTRY("@Gdbmi@IDERegister$qqrv", RegisterGdbmi)
static void RegisterGdbmi() { nxs::RegisterDebugger(std::make_shared<nxs::gdbmi::TGdbKernel>()); }
