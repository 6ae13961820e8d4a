// Several needles at once against the first occurrence of any of them found one by one: in
// the vector blocks and the tail after them, with case folded or not, probes shared or not.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "editor/kernel/ek.h"

namespace nxs::ek {
namespace {

// The first place a needle starts, found the plain way.
size_t FirstOf(const std::string& Hay, const std::vector<std::string>& Needles, bool Fold) {
  auto Low = [&](std::string S) {
    if (Fold)
      for (char& C : S) C = static_cast<char>(std::tolower(static_cast<unsigned char>(C)));
    return S;
  };
  const std::string H = Low(Hay);
  size_t Best = std::string::npos;
  for (const auto& N : Needles) Best = std::min(Best, H.find(N));
  return Best;
}

TEST(Needles, FindTheFirstNeedleOfAnyWherever) {
  std::mt19937 Random(5);
  const std::vector<std::vector<std::string>> Sets = {
      {"inc(", "dec("},                       // one probe shared
      {"ab", "b", "xyzw"},                    // needles inside needles, a single byte
      {"procedure", "function", "end;"},      // different lengths and probes
      {"a long needle of more than thirty-two bytes", "ne"},
      {"aa", "ab", "ac", "ad", "ae", "af", "ag", "ah", "ai", "aj", "ak", "al", "am", "an", "ao", "ap", "aq", "ar"},
  };
  const std::string Alphabet = "abcdeINCDEC(;pfxyzw ";
  for (const auto& Set : Sets)
    for (bool Fold : {false, true}) {
      TNeedles Needles(Set, Fold);
      for (int Round = 0; Round < 200; ++Round) {
        std::string Hay;
        const size_t Size = Random() % 300;
        while (Hay.size() < Size) {
          if (Random() % 40 == 0) {
            std::string N = Set[Random() % Set.size()];
            if (Random() % 2) std::transform(N.begin(), N.end(), N.begin(), [](unsigned char C) { return std::toupper(C); });
            Hay += N;
          } else {
            Hay += Alphabet[Random() % Alphabet.size()];
          }
        }
        ASSERT_EQ(Needles.Find(Hay.data(), Hay.size()), FirstOf(Hay, Set, Fold)) << Set[0] << " " << Fold << " \"" << Hay << "\"";
      }
    }
}

TEST(Needles, ANeedleCutShortByTheEndIsNotFound) {
  TNeedles Needles({"needle", "pin"}, false);
  const std::string Hay = std::string(100, '.') + "needl";
  EXPECT_EQ(Needles.Find(Hay.data(), Hay.size()), std::string::npos);
  EXPECT_EQ(Needles.Find(Hay.data(), 3), std::string::npos);
  const std::string Pin = std::string(40, '.') + "pin" + std::string(40, '.') + "needle";
  EXPECT_EQ(Needles.Find(Pin.data(), Pin.size()), 40u);
  EXPECT_EQ(Needles.Find(Pin.data(), 42), std::string::npos);
}

TEST(Needles, ANeedleIsFoundAtEveryPlaceOfRunsOfEveryLength) {
  // The last places of a run are tested apart from the blocks before them: every run length
  // up to a few blocks, every place in it, one needle and several, short and long.
  const std::vector<std::vector<std::string>> Sets = {{"ab"}, {"needle"}, {"xy", "a longer needle, forty bytes or so ..."}};
  for (const auto& Set : Sets)
    for (bool Fold : {false, true}) {
      TNeedles Needles(Set, Fold);
      for (const std::string& N : Set)
        for (size_t Len = N.size(); Len < 140; ++Len)
          for (size_t At = 0; At + N.size() <= Len; ++At) {
            std::string Hay(Len, '.');
            Hay.replace(At, N.size(), N);
            ASSERT_EQ(Needles.Find(Hay.data(), Hay.size()), At) << N << " in " << Len << " bytes";
            if (Set.size() == 1) {
              ASSERT_EQ(FindLiteral(Hay.data(), Hay.size(), N, Fold), At) << N << " in " << Len << " bytes";
            }
            // Cut one byte short it is not there.
            ASSERT_EQ(Needles.Find(Hay.data(), At + N.size() - 1), std::string::npos) << N << " in " << Len << " bytes";
          }
    }
}

}  // namespace
}  // namespace nxs::ek
