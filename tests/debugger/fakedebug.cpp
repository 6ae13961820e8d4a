// A package that registers the fake debugger kernel, for the tests of nxs debug.
#include <memory>

#include "fakekernel.h"
#include "packages/pkgservices.h"

NXS_PACKAGE_ENTRY("@Fakedebug@IDERegister$qqrv", RegisterFakedebug)
static void RegisterFakedebug() { nxs::RegisterDebugger(std::make_shared<nxs::test::TFakeKernel>()); }
