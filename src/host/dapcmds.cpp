// nxs dap: the debug adapter on standard input and output.
#include <memory>

#include "dap/dapserver.h"
#include "debugger/debugmgr.h"
#include "host/commands.h"
#include "shared/stdchannel.h"

namespace nxs::host {

static int RunDap(const TCommandLine&) {
  // The reader thread may still wait for input when the session ends: it keeps the channel.
  auto Channel = std::make_shared<TStdioChannel>();
  return dap::ServeDebugClient(
      DebugMgr(), [Channel](char* Buffer, size_t Size) { return Channel->Read(Buffer, Size); },
      [&](std::string_view Data) { return Channel->Write(Data); });
}

TCommand DapCommand() {
  return Leaf("dap", "serve the debug adapter protocol on standard input and output", "nxs dap",
              "Speaks the debug adapter protocol (JSON messages with Content-Length headers) on standard input\n"
              "and output, on the current debugger kernel. \"launch\" takes a \"project\" (a project, or a group\n"
              "whose active project runs; it is made first) or a \"program\", with \"args\", \"cwd\", \"env\" and\n"
              "\"stopOnEntry\"; \"attach\" takes a \"processId\". Breakpoints take a condition, a hit condition\n"
              "(a pass count) and a log message, and are kept in the project's desktop file. The program's\n"
              "output, the make's messages (each compiler message at its place) and the event log arrive as\n"
              "output events. Anything else the system prints goes to\n"
              "standard error. The exit status is 0 after \"disconnect\", 1 when the input ends without one.",
              {}, 0, 0, RunDap);
}

}  // namespace nxs::host
