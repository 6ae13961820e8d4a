// nxs highlight: a file's text with its syntax classes, as tokens, coloured for a terminal or
// as a standalone page.
#include <cstdio>
#include <memory>
#include <string>

#include "editor/buffers/attributes.h"
#include "editor/buffers/ekinit.h"
#include "editor/language/render.h"
#include "options/envoptions.h"
#include "packages/pkgservices.h"
#include "host/cmdline.h"
#include "host/commands.h"
#include "host/resstrings.h"
#include "shared/format.h"
#include "shared/fileio.h"
#include "shared/settings.h"
#include "shared/terminal.h"

namespace nxs::host {

namespace {

const char* const Usage = "nxs highlight FILE [--tokens|--ansi|--html] [--syntax NAME]";
const char* const Help =
    "Shows FILE with the syntax classes of its highlighter (chosen by the file's source option group,\n"
    "or NAME: a highlighter's name or identifier, e.g. Pascal, Cpp, SQL, HTML).\n"
    "  --tokens   one line per token: LINE COL LENGTH CLASS (columns in characters from 1)\n"
    "  --ansi     the text coloured for a terminal (the default on a terminal)\n"
    "  --html     a standalone page with the same colours";

// The kernel, which registers the highlighters when it starts, for the command's length.
struct TKernelRun {
  TKernelRun() { InitEditorKernel(); }
  ~TKernelRun() { DoneEditorKernel(); }
  TKernelRun(const TKernelRun&) = delete;
  TKernelRun& operator=(const TKernelRun&) = delete;
};

}  // namespace

static int RunHighlight(const TCommandLine& Cmd) {
  if (Cmd.Has("--tokens") + Cmd.Has("--ansi") + Cmd.Has("--html") > 1)
    Cmd.Fail(res::SHighlightFormatsExclusive);
  TRenderFormat Format = StdoutIsTerminal() ? TRenderFormat::Ansi : TRenderFormat::Tokens;
  if (Cmd.Has("--tokens")) Format = TRenderFormat::Tokens;
  if (Cmd.Has("--ansi")) Format = TRenderFormat::Ansi;
  if (Cmd.Has("--html")) Format = TRenderFormat::Html;

  const std::string Text = FileSystem().ReadFile(Cmd[0]);
  TKernelRun Kernel;
  THighlighter* H = nullptr;
  if (Cmd.Has("--syntax")) {
    H = FindHighlighter(Cmd.Get("--syntax"));
    if (!H) Cmd.Fail(nxs::Format(res::SUnknownHighlighterName, Cmd.Get("--syntax")));
  } else {
    TEnvironmentOptions Options(SettingsStore());
    Options.SourceOptionGroups().WriteBuiltIns = false;
    Options.LoadOptions();
    H = HighlighterForFile(Options.SourceOptionGroups(), Cmd[0]);
    // A file no source option group highlights may be one a package's highlighter is for.
    if (!H || H == FindHighlighter("None"))
      if (THighlighter* Package = PackageHighlighterForFile(Cmd[0])) H = Package;
    if (!H) H = FindHighlighter("None");
  }
  TAttributeArray Colors;
  Colors.Load(SettingsStore());
  const std::string Out = RenderHighlighted(*H, Text, Format, Colors, Cmd[0]);
  std::fwrite(Out.data(), 1, Out.size(), stdout);
  return 0;
}

TCommand HighlightCommand() {
  return Leaf("highlight", "show a file's syntax classes", Usage, Help,
              {{"--tokens", false}, {"--ansi", false}, {"--html", false}, {"--syntax", true}}, 1, 1, RunHighlight);
}

}  // namespace nxs::host
