#include "packages/pkginfo.h"

#include <gtest/gtest.h>

#include "packages/elfread.h"
#include "support/errorof.h"

namespace nxs::test {
namespace {

TEST(PackageInfo, EncodedInformationReadsBackWithEscapedTextsAndUnknownKeysIgnored) {
  TPackageInfoRecord Info;
  Info.Flags = 0x0a100005;
  Info.Requires = {"core", "editors"};
  Info.Contains = {{"Make.Highlight", ufImplicitUnit}, {"Main", ufMainUnit}};
  Info.SymbolFileName = "make hl.vcp";
  Info.Targets = 6;
  Info.Description = "Two\nlines with a \\ backslash";
  EXPECT_EQ(DecodePackageInfo(EncodePackageInfo(Info), "p.so"), Info);
  // A newer writer's key, blank lines, CRLF endings and the section's NUL padding.
  static const char Raw[] = "NXS package 1\r\nicon x.png\r\n\r\nrequires core\r\n\0\0\0";
  const TPackageInfoRecord Read = DecodePackageInfo(std::string(Raw, sizeof Raw - 1), "p.so");
  EXPECT_EQ(Read.Requires, std::vector<std::string>{"core"});
}

TEST(PackageInfo, MalformedInformationIsRefusedWithItsLine) {
  EXPECT_EQ(ErrorOf([] { DecodePackageInfo("NXS package 2\n", "p.so"); }),
            "p.so: the package information is malformed at line 1: NXS package 2");
  EXPECT_EQ(ErrorOf([] { DecodePackageInfo("", "p.so"); }), "p.so: the package information is malformed at line 1: ");
  EXPECT_EQ(ErrorOf([] { DecodePackageInfo("NXS package 1\nflags 0x100000000\n", "p.so"); }),
            "p.so: the package information is malformed at line 2: flags 0x100000000");
  EXPECT_EQ(ErrorOf([] { DecodePackageInfo("NXS package 1\ncontains Unit 256\n", "p.so"); }),
            "p.so: the package information is malformed at line 2: contains Unit 256");
  EXPECT_EQ(ErrorOf([] { DecodePackageInfo("NXS package 1\nrequires\n", "p.so"); }),
            "p.so: the package information is malformed at line 2: requires");
}

// A 64-bit ELF header whose section table is at Offset, with Count entries of EntrySize.
std::string Header(uint64_t Offset, uint16_t Count, uint16_t EntrySize = 64, uint16_t NamesIndex = 1) {
  std::string H(64, '\0');
  H[0] = 0x7f, H[1] = 'E', H[2] = 'L', H[3] = 'F', H[4] = 2, H[5] = 1, H[6] = 1;
  for (int I = 0; I < 8; ++I) H[40 + I] = static_cast<char>(Offset >> (8 * I));
  H[58] = static_cast<char>(EntrySize), H[59] = static_cast<char>(EntrySize >> 8);
  H[60] = static_cast<char>(Count), H[61] = static_cast<char>(Count >> 8);
  H[62] = static_cast<char>(NamesIndex), H[63] = static_cast<char>(NamesIndex >> 8);
  return H;
}

std::string ReadError(const std::string& Bytes) {
  return ErrorOf<EElfError>([&] {
    TElfFile File(ElfMemoryBytes(Bytes), "p.so");
    ReadPackageInfo(File, "p.so");
  });
}

TEST(PackageInfo, TruncatedAndHostileLibrariesAreRefusedWithTheirFault) {
  EXPECT_EQ(ReadError("\x7f" "ELF"), "p.so is not a package library: the file ends inside its header");
  EXPECT_EQ(ReadError(std::string(64, 'x')), "p.so is not a package library: it is not an ELF file");
  std::string Big = Header(0, 0);
  Big[5] = 2;
  EXPECT_EQ(ReadError(Big), "p.so is not a package library: it is not a 64-bit little-endian ELF file");
  // A section table that runs past the end, or whose offset wraps around.
  EXPECT_EQ(ReadError(Header(64, 3) + std::string(64, '\0')),
            "p.so is not a package library: its section table lies outside the file");
  EXPECT_EQ(ReadError(Header(UINT64_MAX - 8, 1)), "p.so is not a package library: its section table lies outside the file");
  EXPECT_EQ(ReadError(Header(64, 1, 40)), "p.so is not a package library: its section table entries have the size 40");
  // Two sections: the null one and a name table whose bytes lie far beyond the file.
  std::string Names(64, '\0');
  Names[24] = '\xff', Names[25] = '\xff', Names[26] = '\xff', Names[27] = '\x7f';  // offset
  Names[32] = 16;                                                                   // size
  EXPECT_EQ(ReadError(Header(64, 2) + std::string(64, '\0') + Names),
            "p.so is not a package library: section  lies outside the file");
  // A name table that is the null section.
  EXPECT_EQ(ReadError(Header(64, 1, 64, 0) + std::string(64, '\0')),
            "p.so is not a package library: its section name table is not a section");
  // A well-formed file without the information section.
  EXPECT_EQ(ReadError(Header(0, 0)), "p.so holds no package information");
}

}  // namespace
}  // namespace nxs::test
