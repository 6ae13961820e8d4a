// The base protocol's framing: each message is a header block ("Content-Length: N", other
// fields ignored, lines ended by CR LF, the block by an empty line) and N bytes of content.
// The reader takes the bytes as they arrive, in pieces of any size, and never holds more
// than a header block's bound and one message's bound: a header block that does not end is
// dropped up to its end, and the content of a message over the bound is counted past, not
// kept, so that a client's lie about a length cannot exhaust the server's memory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace nxs::lsp {

struct TFrameLimits {
  size_t MaxHeader = 8 * 1024;
  size_t MaxContent = 64 * 1024 * 1024;
};

// A message's content with its header block framed around it.
std::string FrameMessage(std::string_view Content);

class TFrameReader {
 public:
  using TOnMessage = std::function<void(std::string_view Content)>;
  // A fault of the framing, told in words; the reader has skipped what it could not frame.
  using TOnFault = std::function<void(const std::string& What)>;

  explicit TFrameReader(TFrameLimits Limits = {}) : FLimits(Limits) {}

  void Feed(std::string_view Data, const TOnMessage& OnMessage, const TOnFault& OnFault);
  // The input ended: a message cut short is a fault.
  void Finish(const TOnFault& OnFault);
  // The bytes held between calls: at most a header block's bound, or a message's.
  size_t Held() const { return FBuffer.size(); }

 private:
  enum class TState { Header, Content, SkipHeader, SkipContent };
  // Reads the header block held in FBuffer[0, End); false with the fault told when it is bad.
  bool ReadHeader(std::string_view Block, const TOnFault& OnFault);

  TFrameLimits FLimits;
  TState FState = TState::Header;
  std::string FBuffer;
  uint64_t FLength = 0;  // of the content being read or skipped
};

}  // namespace nxs::lsp
