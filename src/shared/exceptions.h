// The exception base class of the whole system and the classes the shared layer raises.
#pragma once

#include <stdexcept>
#include <string>

namespace nxs {

// Every error the system raises on bad input or failed I/O derives from Exception; its
// message is a resource string, formatted, ready to show to the user.
class Exception : public std::runtime_error {
 public:
  explicit Exception(const std::string& Message) : std::runtime_error(Message) {}
  std::string Message() const { return what(); }
};

// Aborts an operation without a message: the host shows nothing.
class EAbort : public Exception {
 public:
  EAbort() : Exception("Operation aborted") {}
};

// A format string and its arguments do not fit together.
class EConvertError : public Exception {
 public:
  using Exception::Exception;
};

// A file could not be read, written, renamed or created.
class EInOutError : public Exception {
 public:
  using Exception::Exception;
};

}  // namespace nxs
