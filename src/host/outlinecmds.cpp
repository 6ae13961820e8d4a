// nxs outline: the foldable regions and the errors a parser finds in a source file.
#include "host/commands.h"

#include <cstdio>

#include "editor/language/folding.h"
#include "host/cmdline.h"
#include "script/resstrings.h"
#include "build/messages/filesvc.h"
#include "shared/filenames.h"
#include "shared/format.h"

namespace nxs::host {

namespace {

[[noreturn]] void NoParserFor(const std::string& FileName) {
  throw Exception(Format(res::SEdNoRegionParser, FileName));
}

int RunOutline(const TCommandLine& Cmd) {
  const std::string File = ExpandFileName(Cmd[0]);
  std::string Text;
  if (!CReadWholeFile(File, Text)) throw Exception(Format(res::SEdCannotReadFile, File));
  auto Services = RegionServicesRegistry().ServicesForFile(File);
  if (!Services) NoParserFor(File);
  TRegionResult R = Services->RegionParser()->Parse(Text, {});
  for (const TRegion& G : R.Regions)
    std::printf("%s%d %d %s %s\n", std::string(2 * static_cast<size_t>(G.Level), ' ').c_str(), G.StartLine,
                G.EndLine, G.Kind.c_str(), G.Description.c_str());
  for (const TParseError& E : R.Errors) std::printf("%s:%d:%d: error: %s\n", Cmd[0].c_str(), E.Line, E.Col, E.Text.c_str());
  return 0;
}

}  // namespace

TCommand OutlineCommand() {
  return Leaf("outline", "the foldable regions and the errors a parser finds in a source file", "nxs outline FILE",
              "Prints one region per line, indented two blanks per nesting level:\n"
              "  START-LINE END-LINE KIND DESCRIPTION\n"
              "then the error locations as FILE:LINE:COL: error: TEXT.\n",
              {}, 1, 1, RunOutline);
}

}  // namespace nxs::host
