// A byte channel over the process's standard input and output, for a host that speaks a
// protocol there: reads return what has arrived (a message must not wait for a full buffer),
// and writes go to a private copy of standard output, while descriptor 1 itself is turned to
// standard error, so that nothing the libraries print can break into a message.
#pragma once

#include <cstddef>
#include <string_view>

namespace nxs {

class TStdioChannel {
 public:
  // Takes standard output over; a closed reader makes writes fail rather than end the process.
  TStdioChannel();
  ~TStdioChannel();
  TStdioChannel(const TStdioChannel&) = delete;  // owns the protocol's descriptor
  TStdioChannel& operator=(const TStdioChannel&) = delete;

  // Waits for input and returns what came, up to Size bytes; 0 at the end or on an error.
  size_t Read(char* Buffer, size_t Size);
  // Writes all of Data; false when the reader has gone.
  [[nodiscard]] bool Write(std::string_view Data);

 private:
  int FOut = -1;
};

}  // namespace nxs
