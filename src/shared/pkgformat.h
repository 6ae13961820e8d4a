// The package information's record and its text: what a package requires and contains, its
// flags word, the symbol file that goes with it, the platforms it targets and its description.
// A package carries the text in a section of its library (".nxs.package", not loaded into
// memory), written when the package is built; the packages library reads it back from the
// file, never by loading the library.
//
// The section holds lines of text, the first "NXS package 1", each further one a key, a blank
// and a value:
//   flags 0x00000002
//   requires core
//   contains Makehl 0x10                (a unit and its unit flags)
//   symbols makehl.vcp
//   targets 0x1
//   description Makefile highlighting   ("\n" and "\\" escape a line break and a backslash)
// Lines with keys a reader does not know are left alone, so that a newer writer's packages
// still read.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace nxs {

inline constexpr const char* PackageInfoSection = ".nxs.package";
inline constexpr const char* PackageInfoMagic = "NXS package 1";

// Flags of a contained unit.
enum : uint8_t {
  ufMainUnit = 0x01,
  ufPackageUnit = 0x02,
  ufWeakUnit = 0x04,
  ufOrgWeakUnit = 0x08,
  ufImplicitUnit = 0x10,
};

struct TContainedUnit {
  std::string Name;
  uint8_t Flags = 0;
  bool operator==(const TContainedUnit&) const = default;
};

struct TPackageInfoRecord {
  uint32_t Flags = 0;
  std::vector<std::string> Requires;
  std::vector<TContainedUnit> Contains;
  std::string SymbolFileName;
  uint32_t Targets = 0;  // the platform mask; 0 when the package names none
  std::string Description;
  bool operator==(const TPackageInfoRecord&) const = default;
};

// The section's text for Info.
std::string EncodePackageInfo(const TPackageInfoRecord& Info);
// A C++ source that puts Info into the section of the object it compiles to (with a top-level
// assembler statement), so that a package's build compiles and links it like its other sources.
std::string PackageInfoSource(const TPackageInfoRecord& Info);
// A text of the section ("\n" and "\\" escaped) as it was written.
std::string UnescapePackageInfoText(const std::string& Text);

}  // namespace nxs
