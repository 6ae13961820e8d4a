// Start-up: the one routine that wires the libraries together, in a fixed order, and takes
// them apart again in the reverse order at shutdown. Every registration that connects one
// library to another (hooks, compile tasks, highlighters) is made here once and undone here.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace nxs {

class ICancelKey;

// What the host brings to start-up: its seams.
struct TStartupOptions {
  // The key that cancels a code-insight compile; none without a terminal.
  std::shared_ptr<ICancelKey> CancelKey;
  // Whether the IDE and design packages load: the host loads them unless told not to ("nxs
  // --no-packages"); a program that embeds the libraries asks for them.
  bool LoadPackages = false;
  // The personalities whose IDE packages load; every package when empty.
  std::vector<std::string> Personalities;
};

// Starts the system. Raises when it is running already: a second start would register
// everything twice. After ShutdownSystem it may start again.
void StartSystem(const TStartupOptions& Options = {});
// Undoes StartSystem, step by step in the reverse order; nothing when it is not running.
void ShutdownSystem();
bool SystemStarted();

// The steps of the running system, in the order they started.
std::vector<std::string> StartedSteps();
// Told of each step as it starts (true) and as it stops (false); for tests.
using TStartupTrace = std::function<void(std::string_view Step, bool Starting)>;
void SetStartupTrace(TStartupTrace Trace);

// The system for a scope: started by the constructor, shut down by the destructor (also when
// the scope is left by an exception).
class TSystemStartup {
 public:
  explicit TSystemStartup(const TStartupOptions& Options = {}) { StartSystem(Options); }
  ~TSystemStartup() { ShutdownSystem(); }
  TSystemStartup(const TSystemStartup&) = delete;  // shuts the system down once
  TSystemStartup& operator=(const TSystemStartup&) = delete;
};

}  // namespace nxs
