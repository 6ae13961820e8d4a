// The controlling terminal's keys, read without waiting: how a terminal host lets the user
// stop long work with Escape.
#pragma once

#include <memory>
#include <mutex>
#include <string>

namespace nxs {

class TTerminalKeys {
 public:
  // Opens the terminal (the controlling one by default); Available() is false without one.
  explicit TTerminalKeys(const std::string& Device = "/dev/tty");
  ~TTerminalKeys();
  TTerminalKeys(const TTerminalKeys&) = delete;  // owns the descriptor and the saved mode
  TTerminalKeys& operator=(const TTerminalKeys&) = delete;

  bool Available() const { return FFd >= 0; }
  // While watching, the terminal hands over each key at once and does not echo it; when the
  // watch ends it is as the user left it.
  void Watch(bool On);
  // Takes what was typed since the last call: true when Escape was among it (the keys that
  // send sequences starting with Escape, such as the arrows, are not Escape).
  bool EscapePressed();

 private:
  struct TSavedMode;
  std::mutex FLock;
  int FFd = -1;
  std::unique_ptr<TSavedMode> FSaved;
};

}  // namespace nxs
