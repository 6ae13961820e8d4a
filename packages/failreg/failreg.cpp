// A package whose registration raises, so that the environment's handling of a failing IDE
// package can be seen from the command line: its message, the question, the disabled list.
#include <stdexcept>

#include "packages/pkgentry.h"

static void RegisterFailreg() NXS_ENTRY_LABEL("@Failreg@IDERegister$qqrv") __attribute__((used));
static void RegisterFailreg() { throw std::runtime_error("this package fails its registration on purpose"); }
