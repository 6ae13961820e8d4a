#include "lsp/lspframe.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace nxs::lsp;

namespace {

// What a reader made of its input: the messages and faults, in the order they came.
struct TRead {
  std::vector<std::string> Events;
};

TRead ReadAll(const std::string& Input, size_t Piece, TFrameLimits Limits = {}) {
  TRead R;
  TFrameReader Reader(Limits);
  auto OnMessage = [&](std::string_view M) { R.Events.push_back("msg:" + std::string(M)); };
  auto OnFault = [&](const std::string& F) { R.Events.push_back("fault:" + F); };
  for (size_t At = 0; At < Input.size(); At += Piece) Reader.Feed(std::string_view(Input).substr(At, Piece), OnMessage, OnFault);
  Reader.Finish(OnFault);
  return R;
}

std::vector<std::string> Events(std::initializer_list<std::string> E) { return E; }

}  // namespace

TEST(LspFraming, MessagesComeOutWholeHoweverTheInputIsCut) {
  const std::string Input = FrameMessage("{\"a\":1}") + "Content-Type: application/vscode-jsonrpc; charset=utf-8\r\n"
                            "content-length: 2\r\n\r\n[]" + FrameMessage("") + "Content-Length:3\n\n\"x\"";
  for (size_t Piece : {size_t{1}, size_t{2}, size_t{5}, size_t{7}, Input.size()})
    EXPECT_EQ(ReadAll(Input, Piece).Events, Events({"msg:{\"a\":1}", "msg:[]", "msg:", "msg:\"x\""})) << Piece;
}

TEST(LspFraming, ABadHeaderIsAFaultAndTheNextMessageIsStillRead) {
  const std::string Next = FrameMessage("ok");
  for (size_t Piece : {size_t{1}, size_t{3}, size_t{1000}}) {
    EXPECT_EQ(ReadAll("Content-Length: 12x\r\n\r\n" + Next, Piece).Events,
              Events({"fault:Content-Length '12x' is not a length", "msg:ok"}));
    EXPECT_EQ(ReadAll("Content-Length: -1\r\n\r\n" + Next, Piece).Events,
              Events({"fault:Content-Length '-1' is not a length", "msg:ok"}));
    EXPECT_EQ(ReadAll("Content-Type: x\r\n\r\n" + Next, Piece).Events, Events({"fault:Header without Content-Length", "msg:ok"}));
    EXPECT_EQ(ReadAll("garbage\r\n\r\n" + Next, Piece).Events, Events({"fault:Malformed header line 'garbage'", "msg:ok"}));
    // A number beyond 64 bits is no length either.
    EXPECT_EQ(ReadAll("Content-Length: 99999999999999999999999\r\n\r\n" + Next, Piece).Events,
              Events({"fault:Content-Length '99999999999999999999999' is not a length", "msg:ok"}));
  }
}

TEST(LspFraming, ContentOverTheLimitIsSkippedNotHeld) {
  TFrameLimits Limits;
  Limits.MaxContent = 10;
  const std::string Input = "Content-Length: 20\r\n\r\n" + std::string(20, 'z') + FrameMessage("ok");
  for (size_t Piece : {size_t{1}, size_t{7}, Input.size()})
    EXPECT_EQ(ReadAll(Input, Piece, Limits).Events,
              Events({"fault:Content-Length 20 exceeds the limit of 10 bytes; the content is skipped", "msg:ok"}));
  // A length the input never reaches ends as a message cut short.
  EXPECT_EQ(ReadAll("Content-Length: 1000000000000\r\n\r\nabc", 2).Events,
            Events({"fault:Content-Length 1000000000000 exceeds the limit of 67108864 bytes; the content is skipped",
                    "fault:Input ended inside a message"}));
}

TEST(LspFraming, AHeaderThatNeverEndsIsDroppedUpToItsEnd) {
  TFrameLimits Limits;
  Limits.MaxHeader = 64;
  const std::string Input = "X-Junk: " + std::string(500, 'j') + "\r\n\r\n" + FrameMessage("ok");
  for (size_t Piece : {size_t{1}, size_t{10}, size_t{63}, Input.size()})
    EXPECT_EQ(ReadAll(Input, Piece, Limits).Events, Events({"fault:Header longer than 64 bytes", "msg:ok"})) << Piece;
}

TEST(LspFraming, WhatIsHeldStaysWithinTheBoundsWhateverArrives) {
  TFrameLimits Limits;
  Limits.MaxHeader = 64;
  Limits.MaxContent = 100;
  TFrameReader Reader(Limits);
  int Faults = 0, Messages = 0;
  auto OnMessage = [&](std::string_view) { ++Messages; };
  auto OnFault = [&](const std::string&) { ++Faults; };
  const std::string Junk(10000, 'j');
  for (int I = 0; I < 10; ++I) {
    Reader.Feed(Junk, OnMessage, OnFault);
    EXPECT_LE(Reader.Held(), 68u);
  }
  Reader.Feed("\r\n\r\nContent-Length: 1000\r\n\r\n", OnMessage, OnFault);
  for (int I = 0; I < 10; ++I) {
    Reader.Feed(std::string(100, 'c'), OnMessage, OnFault);
    EXPECT_EQ(Reader.Held(), 0u);
  }
  Reader.Feed(FrameMessage("ok"), OnMessage, OnFault);
  EXPECT_EQ(Faults, 2);
  EXPECT_EQ(Messages, 1);
}

TEST(LspFraming, InputEndingInsideAMessageIsAFault) {
  EXPECT_EQ(ReadAll("Content-Length: 10\r\n\r\n{\"a\"", 3).Events, Events({"fault:Input ended inside a message"}));
  EXPECT_EQ(ReadAll("Content-Len", 3).Events, Events({"fault:Input ended inside a header"}));
  EXPECT_EQ(ReadAll("\r\n", 3).Events, Events({}));
}
