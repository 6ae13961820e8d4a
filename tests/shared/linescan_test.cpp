// The line-break scanner against a plain byte loop: every CR and LF in order, at every
// alignment and length around the vector widths, and line-feed counts past the point where
// the per-lane counters are summed.
#include "shared/linescan.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace nxs {
namespace {

std::string RandomText(std::mt19937& Rng, size_t Size) {
  static const char Bytes[] = "ab\r\n \t\xC3\xA9";
  std::string S(Size, ' ');
  for (char& C : S) C = Bytes[std::uniform_int_distribution<int>(0, sizeof Bytes - 2)(Rng)];
  return S;
}

TEST(LineScan, VisitsEveryBreakByteInOrderAtEveryAlignment) {
  std::mt19937 Rng(3);
  for (size_t Size = 0; Size < 140; ++Size) {
    const std::string S = RandomText(Rng, Size);
    for (size_t From = 0; From <= std::min<size_t>(Size, 40); ++From)
      for (size_t To : {Size, Size - (Size - From) / 2}) {
        std::vector<size_t> Want, Got;
        for (size_t I = From; I < To; ++I)
          if (S[I] == '\r' || S[I] == '\n') Want.push_back(I);
        ForEachBreakByte(S.data(), From, To, [&](size_t I) { Got.push_back(I); });
        ASSERT_EQ(Got, Want) << "size " << Size << " from " << From << " to " << To;
      }
  }
}

TEST(LineScan, CountsLineFeedsAndNoticesCarriageReturns) {
  std::mt19937 Rng(5);
  for (size_t Size : {0u, 1u, 15u, 16u, 31u, 33u, 100u, 255u * 32u + 7u, 3u * 255u * 32u + 45u}) {
    std::string S = RandomText(Rng, Size);
    for (char& C : S)
      if (C == '\r') C = '\n';
    size_t Want = 0;
    for (char C : S) Want += C == '\n';
    bool HasCr = false;
    ASSERT_EQ(CountLineFeeds(S.data(), S.size(), HasCr), Want) << Size;
    EXPECT_FALSE(HasCr);
    if (Size == 0) continue;
    S[Size * 2 / 3] = '\r';  // in a vector block, or in the tail
    HasCr = false;
    CountLineFeeds(S.data(), S.size(), HasCr);
    EXPECT_TRUE(HasCr) << Size;
  }
  // All line feeds: every lane at its most between two sums.
  const std::string All(255 * 32 * 2 + 19, '\n');
  bool HasCr = false;
  EXPECT_EQ(CountLineFeeds(All.data(), All.size(), HasCr), All.size());
}

TEST(LineScan, FindsTheFirstHighByteWhereverItLies) {
  for (size_t Size : {0u, 1u, 15u, 31u, 32u, 33u, 127u, 128u, 129u, 300u}) {
    std::string S(Size, 'a');
    EXPECT_EQ(AsciiPrefix(S.data(), S.size()), Size);
    for (size_t At = 0; At < Size; ++At) {
      S[At] = '\x80';
      ASSERT_EQ(AsciiPrefix(S.data(), S.size()), At) << "size " << Size;
      // A later high byte in the same block does not hide the first.
      if (At + 5 < Size) {
        S[At + 5] = '\xFF';
        ASSERT_EQ(AsciiPrefix(S.data(), S.size()), At) << "size " << Size;
        S[At + 5] = 'a';
      }
      S[At] = 'a';
    }
  }
}

}  // namespace
}  // namespace nxs
