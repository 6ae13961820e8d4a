// The texts of the packages library.
#pragma once

namespace nxs::res {

// The library reader.
inline constexpr const char* SElfUnreadable = "%s is not a package library: %s";
inline constexpr const char* SElfCannotOpen = "Cannot open %s: %s";
inline constexpr const char* SElfTooShort = "the file ends inside its header";
inline constexpr const char* SElfNotElf = "it is not an ELF file";
inline constexpr const char* SElfNot64 = "it is not a 64-bit little-endian ELF file";
inline constexpr const char* SElfBadSectionTable = "its section table lies outside the file";
inline constexpr const char* SElfBadSectionEntry = "its section table entries have the size %u";
inline constexpr const char* SElfTooManySections = "it has %u sections";
inline constexpr const char* SElfBadNameTable = "its section name table is not a section";
inline constexpr const char* SElfBadName = "section %u has a name outside the name table";
inline constexpr const char* SElfBadSection = "section %s lies outside the file";
inline constexpr const char* SElfSectionTooLarge = "section %s is larger than %u bytes";
inline constexpr const char* SElfBadSymbolTable = "symbol table %s is malformed";

// The package information.
inline constexpr const char* SPackageInfoMissing = "%s holds no package information";
inline constexpr const char* SPackageInfoBad = "%s: the package information is malformed at line %d: %s";

// Loading packages.
inline constexpr const char* SCantLoadPackage = "Can't load package %s.\n%s";
inline constexpr const char* SPackageNotRegularFile = "Refusing to load package %s: %s is not a regular file";
inline constexpr const char* SPackageWritableByOthers =
    "Refusing to load package %s: %s may be written by other users (mode %s)";
inline constexpr const char* SPackageForeignOwner =
    "Refusing to load package %s: %s is owned by user %u, neither you nor root";
inline constexpr const char* SPackageMissing = "Refusing to load package %s: %s does not exist";
inline constexpr const char* SPackageUnreachable = "Refusing to load package %s: %s";
inline constexpr const char* SPackageLeftOut = "Package %s is missing; it is left out";

// The labels of the timed stages.
inline constexpr const char* STimingPackageLoad = "TPackage.Load";
inline constexpr const char* STimingStartup = "Startup";
inline constexpr const char* STimingIDEPackageLoad = "IDE Package Load";
inline constexpr const char* STimingProcedure = "%s Procedure";

// Registration.
inline constexpr const char* SRegistrationFailed =
    "Registration procedure, %s.%s in package %s raised exception class %s: %s";
inline constexpr const char* SNoMessage = "<No Message>";
inline constexpr const char* SLoadingPackage = "Loading package %s";
inline constexpr const char* SAllIDEPackagesLoaded = "All IDE packages loaded";

// Errors while loading IDE packages.
inline constexpr const char* SPackageNamed = "%s (%s)";
inline constexpr const char* SRequiredPackageMissing =
    "%s requires the above package be present and load without error. Please verify that %0:s is installed correctly.";
inline constexpr const char* SWillNowExit = "%s will now exit.";
inline constexpr const char* SLoadNextTime = "Do you want to attempt to load this IDE package the next time %s is run?";
inline constexpr const char* SProductBaseName = "nxs";

inline constexpr const char* SNotRegistering = "Only a package's registration procedure may register %s";

inline constexpr const char* SShippedMakefilePackage = "Makefile highlighting and keys";
inline constexpr const char* SShippedDebuggerPackage = "The gdb debugger kernel";
inline constexpr const char* SNoSuchPackage = "no package %s is known";
inline constexpr const char* SPackageAlreadyInstalled = "package %s is installed already";
inline constexpr const char* SNotADesignPackage = "%s is an IDE package; disable it instead";

// Adding files to a package.
inline constexpr const char* SInvalidFileExt = "File extension %s is not valid.  Expecting %s";
inline constexpr const char* SExtListOr = "%s or %s";
inline constexpr const char* SFileNotFound = "File %s not found";
inline constexpr const char* SBaseNameOnSearchPath = "Another file with the same base name (%s) is already on the search path";
inline constexpr const char* SBaseNameInPackageDir =
    "%s can't be added to this package because another file with the same base name (%s) is already in the directory "
    "of the package";
inline constexpr const char* SSaveBeforeAdding = "%s must be saved before adding to a package.  Save now?";
inline constexpr const char* SCompiledPackageFilter = "Compiled package (*%s)|*%0:s|Any file (*.*)|*.*";
inline constexpr const char* SUnitFilter = "Unit (*.pas, *.vcu)|*.pas;*.vcu|Any file (*.*)|*.*";

}  // namespace nxs::res
