#include "shared/pkgformat.h"

#include <algorithm>
#include <cstdio>
#include <string_view>

namespace nxs {

namespace {

std::string Hex(uint32_t V) {
  char Buf[16];
  std::snprintf(Buf, sizeof Buf, "0x%08x", V);
  return Buf;
}

std::string EscapeText(std::string_view S) {
  std::string Out;
  for (char C : S) {
    if (C == '\\') Out += "\\\\";
    else if (C == '\n') Out += "\\n";
    else if (C == '\r') Out += "\\r";
    else Out += C;
  }
  return Out;
}

}  // namespace

std::string UnescapePackageInfoText(const std::string& S) {
  std::string Out;
  for (size_t I = 0; I < S.size(); ++I) {
    if (S[I] != '\\' || I + 1 == S.size()) {
      Out += S[I];
      continue;
    }
    const char N = S[++I];
    Out += N == 'n' ? '\n' : N == 'r' ? '\r' : N;
  }
  return Out;
}

std::string EncodePackageInfo(const TPackageInfoRecord& Info) {
  std::string Out = std::string(PackageInfoMagic) + "\n";
  Out += "flags " + Hex(Info.Flags) + "\n";
  for (const std::string& R : Info.Requires) Out += "requires " + R + "\n";
  for (const TContainedUnit& U : Info.Contains) Out += "contains " + U.Name + " " + Hex(U.Flags) + "\n";
  if (!Info.SymbolFileName.empty()) Out += "symbols " + EscapeText(Info.SymbolFileName) + "\n";
  if (Info.Targets) Out += "targets " + Hex(Info.Targets) + "\n";
  if (!Info.Description.empty()) Out += "description " + EscapeText(Info.Description) + "\n";
  return Out;
}

std::string PackageInfoSource(const TPackageInfoRecord& Info) {
  const std::string Text = EncodePackageInfo(Info);
  std::string Out = "// Generated: the package information, in a section of its own that is not loaded.\n";
  Out += std::string("__asm__(\".pushsection ") + PackageInfoSection + ",\\\"\\\",@progbits\\n\"\n";
  for (size_t I = 0; I < Text.size(); I += 16) {
    Out += "        \".byte ";
    for (size_t J = I; J < std::min(Text.size(), I + 16); ++J) {
      if (J > I) Out += ",";
      Out += std::to_string(static_cast<unsigned char>(Text[J]));
    }
    Out += "\\n\"\n";
  }
  Out += "        \".popsection\");\n";
  return Out;
}

}  // namespace nxs
