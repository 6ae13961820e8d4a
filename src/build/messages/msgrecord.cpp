#include "build/messages/msgrecord.h"

#include <climits>
#include <optional>
#include <string>
#include <vector>

#include "build/messages/resstrings.h"
#include "shared/exceptions.h"
#include "shared/filenames.h"
#include "shared/format.h"
#include "shared/text.h"

namespace nxs {

namespace {

int32_t PlaceNumber(const std::string& Text, const char* What) {
  const std::optional<int64_t> N = TryStrToInt(Text);
  if (!N || *N < 0 || *N > INT32_MAX) throw Exception(Format(res::SMessagePlaceNotNumber, What, Text));
  return static_cast<int32_t>(*N);
}

}  // namespace

std::unique_ptr<TCompilerMsgLine> ParseMessageRecord(std::string_view Record) {
  std::vector<std::string> P;
  size_t At = 0;
  for (int I = 0; I < 4; ++I) {
    while (At < Record.size() && Record[At] == ' ') ++At;
    if (At >= Record.size()) throw Exception(res::SExpectedMessageRecord);
    const size_t End = Record.find(' ', At);
    P.emplace_back(Record.substr(At, End == std::string_view::npos ? std::string_view::npos : End - At));
    At = End == std::string_view::npos ? Record.size() : End + 1;
  }
  TMsgKind Kind;
  if (!MsgKindFromWord(P[0], Kind)) throw Exception(Format(res::SUnknownMessageKind, P[0]));
  const std::string Text(At < Record.size() ? Record.substr(At) : std::string_view());
  return std::make_unique<TCompilerMsgLine>(Kind, "", ExpandFileName(P[1]), PlaceNumber(P[2], "LINE"),
                                            PlaceNumber(P[3], "COL"), Text);
}

}  // namespace nxs
