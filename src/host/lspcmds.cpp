// nxs lsp: the language server on standard input and output.
#include "host/commands.h"
#include "lsp/lspserver.h"
#include "shared/stdchannel.h"

namespace nxs::host {

static int RunLsp(const TCommandLine&) {
  // The channel outlives the command: a reader the session lets go may still wait in Read.
  static TStdioChannel Channel;
  return lsp::ServeLanguageClient([&](char* Buffer, size_t Size) { return Channel.Read(Buffer, Size); },
                                  [&](std::string_view Data) { return Channel.Write(Data); });
}

TCommand LspCommand() {
  return Leaf("lsp", "serve the language server protocol on standard input and output", "nxs lsp",
              "Speaks the language server protocol (JSON-RPC with Content-Length headers) on standard input and\n"
              "output: documents, folding ranges, document symbols, semantic tokens, linked editing ranges,\n"
              "workspace symbols, the formatting of project and group files, diagnostics from the build of a\n"
              "saved file's project and from the check of a changed file's unsaved text after a pause, and\n"
              "the commands nxs.make, nxs.build and nxs.clean. The workspace is the group file in the client's\n"
              "root folder, or else the projects under it.\n"
              "Anything else the system prints goes to standard error. The exit status is 0 after\n"
              "\"shutdown\" and \"exit\", 1 otherwise.",
              {}, 0, 0, RunLsp);
}

}  // namespace nxs::host
