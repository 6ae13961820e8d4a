#include "projectfiles/linuxplatform.h"

namespace nxs {

TWin32Platform::TWin32Platform() : TBasePlatform(SPlatformWin32, "32-bit Windows", "\\", 0) { FOSFamily = "Windows"; }

void TWin32Platform::InitializeExtensionMap() {
  FExtensionMap = {{ftPascalSource, ".pas"}, {ftPascalProgram, ".vpr"}, {ftCppSource, ".cpp"},
                   {ftCppSource, ".c"},      {ftCppHeader, ".h"},       {ftObject, ".obj"},
                   {ftExecutable, ".exe"},   {ftLibrary, ".dll"},       {ftStaticLibrary, ".lib"}};
}

void TWin32Platform::InitializeOutputMaps() {
  FOutputExtensionMap = {{".pas", ".obj"}, {".cpp", ".obj"}, {".c", ".obj"}, {".vpr", ".exe"}};
}

TLinux64Platform::TLinux64Platform() : TBasePlatform(SPlatformLinux64, "64-bit Linux", "/", 1) { FOSFamily = "Linux"; }

void TLinux64Platform::InitializeExtensionMap() {
  // Executables carry no extension on this system; they are known by their output map.
  FExtensionMap = {{ftPascalSource, ".pas"}, {ftPascalSource, ".pp"},    {ftPascalProgram, ".vpr"},
                   {ftPascalProgram, ".lpr"}, {ftCppSource, ".cpp"},     {ftCppSource, ".cc"},
                   {ftCppSource, ".cxx"},     {ftCppSource, ".c"},       {ftCppHeader, ".h"},
                   {ftCppHeader, ".hpp"},     {ftObject, ".o"},          {ftPascalUnitOutput, ".ppu"},
                   {ftLibrary, ".so"},        {ftStaticLibrary, ".a"}};
}

void TLinux64Platform::InitializeOutputMaps() {
  FOutputExtensionMap = {{".pas", ".o"}, {".pp", ".o"},  {".cpp", ".o"}, {".cc", ".o"},
                         {".cxx", ".o"}, {".c", ".o"},   {".vpr", ""},   {".lpr", ""}};
  // Shared libraries built from a Pascal library source are named lib<name>.so.
  FOutputPrefixMap = {{".so", "lib"}, {".a", "lib"}};
}

TLinuxPlatformPackage::TLinuxPlatformPackage(TPlatformManager& Manager) : FManager(Manager) {
  FManager.Add(TBasePlatform::Create<TWin32Platform>(), "System;Winapi");
  FManager.Add(TBasePlatform::Create<TLinux64Platform>(), "System;Posix");
  FManager.RegisterCompiler(SPlatformLinux64, SPersonalityPascal,
                            std::make_shared<TToolCompiler>("Pascal compiler for 64-bit Linux", SPlatformLinux64,
                                                            SPersonalityPascal, "fpc", "PascalCompiler"));
  FManager.RegisterCompiler(SPlatformLinux64, SPersonalityCpp,
                            std::make_shared<TToolCompiler>("C++ compiler for 64-bit Linux", SPlatformLinux64,
                                                            SPersonalityCpp, "g++", "CppCompiler"));
}

TLinuxPlatformPackage::~TLinuxPlatformPackage() {
  FManager.UnregisterCompiler(SPlatformLinux64, SPersonalityPascal);
  FManager.UnregisterCompiler(SPlatformLinux64, SPersonalityCpp);
  FManager.Unregister(SPlatformLinux64);
  FManager.Unregister(SPlatformWin32);
}

}  // namespace nxs
