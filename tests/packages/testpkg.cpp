// A package for the loader's tests. Its constructor leaves a mark when NXS_TEST_PACKAGE_MARK
// names a file, so that a test sees whether its code ran; its registration entries count
// their calls, and raise where the build asks them to.
#include <cstdio>
#include <cstdlib>
#include <stdexcept>

#include "packages/pkgentry.h"

#if defined(TESTPKG_REGISTERS_CLASS)
#include "packages/designpkgs.h"

// Kept apart from the entry, whose name the assembler could not spell for a cold part.
static void RegisterModuleClass() __attribute__((noinline));
static void RegisterModuleClass() { nxs::TDesignPackages::Registering()->AddModule("Testpkg").AddClass("TTestModule", "Tests"); }
#endif

namespace {

int Registrations = 0;

__attribute__((constructor)) void Loaded() {
  if (const char* Mark = std::getenv("NXS_TEST_PACKAGE_MARK"))
    if (std::FILE* F = std::fopen(Mark, "w")) std::fclose(F);
}

}  // namespace

extern "C" __attribute__((visibility("default"))) int TestPackageRegistrations() { return Registrations; }

// The entry of unit "Testpkg": a name the linker cannot export, found in the symbol table.
static void RegisterTestpkg() NXS_ENTRY_LABEL("@Testpkg@IDERegister$qqrv") __attribute__((used));
static void RegisterTestpkg() {
  ++Registrations;
#if defined(TESTPKG_REGISTERS_CLASS)
  RegisterModuleClass();
#endif
#if defined(TESTPKG_RAISES)
  throw std::runtime_error("broken on purpose");
#elif defined(TESTPKG_RAISES_NON_EXCEPTION)
  throw 42;
#endif
}

// The entry of the dotted unit "Test.more_units".
static void RegisterMoreUnits() NXS_ENTRY_LABEL("@Test@More_Units@IDERegister$qqrv") __attribute__((used));
static void RegisterMoreUnits() { Registrations += 10; }
