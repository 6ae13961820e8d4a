#include "lsp/lspframe.h"

#include <algorithm>

#include "lsp/resstrings.h"
#include "shared/format.h"
#include "shared/text.h"

namespace nxs::lsp {

std::string FrameMessage(std::string_view Content) {
  std::string Out = "Content-Length: " + std::to_string(Content.size()) + "\r\n\r\n";
  Out.append(Content);
  return Out;
}

namespace {

// Where the header block in Text ends (just after its empty line), or npos. A bare LF ends a
// line too: a hand-written message often has no CR.
size_t HeaderEnd(std::string_view Text) {
  for (size_t At = Text.find('\n'); At != std::string_view::npos; At = Text.find('\n', At + 1)) {
    const size_t Next = At + 1;
    if (Next < Text.size() && Text[Next] == '\n') return Next + 1;
    if (Next + 1 < Text.size() && Text[Next] == '\r' && Text[Next + 1] == '\n') return Next + 2;
  }
  return std::string_view::npos;
}

}  // namespace

bool TFrameReader::ReadHeader(std::string_view Block, const TOnFault& OnFault) {
  bool Found = false;
  while (!Block.empty()) {
    const size_t Eol = Block.find('\n');
    std::string_view Line = Block.substr(0, Eol);
    Block.remove_prefix(Eol == std::string_view::npos ? Block.size() : Eol + 1);
    if (!Line.empty() && Line.back() == '\r') Line.remove_suffix(1);
    if (Line.empty()) continue;
    const size_t Colon = Line.find(':');
    if (Colon == std::string_view::npos) {
      OnFault(Format(res::SLspBadHeaderLine, std::string(Line.substr(0, 80))));
      return false;
    }
    const std::string_view Name = Line.substr(0, Colon);
    if (!SameText(Name, "Content-Length")) continue;
    const std::string Value = Trim(std::string(Line.substr(Colon + 1)));
    uint64_t N = 0;
    bool Digits = !Value.empty() && Value.size() <= 19;
    for (char C : Value) {
      if (C < '0' || C > '9') Digits = false;
      if (Digits) N = N * 10 + static_cast<uint64_t>(C - '0');
    }
    if (!Digits) {
      OnFault(Format(res::SLspBadContentLength, Value.substr(0, 80)));
      return false;
    }
    FLength = N;
    Found = true;
  }
  if (!Found) OnFault(res::SLspNoContentLength);
  return Found;
}

void TFrameReader::Feed(std::string_view Data, const TOnMessage& OnMessage, const TOnFault& OnFault) {
  while (!Data.empty()) {
    switch (FState) {
      case TState::Header:
      case TState::SkipHeader: {
        // Takes what may still belong to the block; bytes taken past its end go back.
        const size_t Before = FBuffer.size();
        const size_t Room = FLimits.MaxHeader + 4 > Before ? FLimits.MaxHeader + 4 - Before : 0;
        const size_t Take = std::min(Data.size(), std::max<size_t>(Room, 1));
        FBuffer.append(Data.substr(0, Take));
        const size_t End = HeaderEnd(FBuffer);
        if (End == std::string::npos) {
          Data.remove_prefix(Take);
          if (FState == TState::SkipHeader || FBuffer.size() > FLimits.MaxHeader) {
            if (FState == TState::Header) OnFault(Format(res::SLspHeaderTooLong, static_cast<unsigned>(FLimits.MaxHeader)));
            FState = TState::SkipHeader;
            // Three bytes stay, so that an end split between two pieces is still seen.
            FBuffer.erase(0, FBuffer.size() > 3 ? FBuffer.size() - 3 : 0);
          }
          break;
        }
        Data.remove_prefix(Take - (FBuffer.size() - End));
        FBuffer.resize(End);
        const bool Skipping = FState == TState::SkipHeader;
        const std::string Block = std::move(FBuffer);
        FBuffer.clear();
        FState = TState::Header;
        if (Skipping || !ReadHeader(Block, OnFault)) break;
        if (FLength > FLimits.MaxContent) {
          OnFault(Format(res::SLspContentTooLong, std::to_string(FLength), std::to_string(FLimits.MaxContent)));
          FState = TState::SkipContent;
        } else if (FLength == 0) {
          OnMessage({});
        } else {
          FState = TState::Content;
          FBuffer.reserve(static_cast<size_t>(FLength));
        }
        break;
      }
      case TState::Content: {
        const size_t Take = std::min(Data.size(), static_cast<size_t>(FLength) - FBuffer.size());
        FBuffer.append(Data.substr(0, Take));
        Data.remove_prefix(Take);
        if (FBuffer.size() < FLength) break;
        std::string Content = std::move(FBuffer);
        FBuffer.clear();
        FState = TState::Header;
        OnMessage(Content);
        break;
      }
      case TState::SkipContent: {
        const size_t Take = static_cast<size_t>(std::min<uint64_t>(Data.size(), FLength));
        Data.remove_prefix(Take);
        FLength -= Take;
        if (FLength == 0) FState = TState::Header;
        break;
      }
    }
  }
}

void TFrameReader::Finish(const TOnFault& OnFault) {
  if (FState == TState::Content || FState == TState::SkipContent) {
    OnFault(res::SLspTruncatedMessage);
  } else if (FState == TState::Header && !Trim(FBuffer).empty()) {
    OnFault(res::SLspTruncatedHeader);
  }
  FBuffer.clear();
  FState = TState::Header;
  FLength = 0;
}

}  // namespace nxs::lsp
