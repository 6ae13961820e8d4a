#include "dap/dapvalues.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

using namespace nxs::dap;

namespace {

using TParts = std::vector<std::pair<std::string, std::string>>;

TParts Parts(const std::string& Value) {
  TParts Out;
  for (const TValuePart& P : ValueParts(Value)) Out.emplace_back(P.Name, P.Value);
  return Out;
}

TEST(DapValues, RecordsArraysAndContainersOpenOneLevelAtATime) {
  EXPECT_EQ(Parts("{Width = 3, Height = 4}"), (TParts{{"Width", "3"}, {"Height", "4"}}));
  // A member that is itself an aggregate keeps its braces, to be opened in turn.
  EXPECT_EQ(Parts("{Origin = {X = 1, Y = 2}, Name = 0x4020 \"a, b = c\"}"),
            (TParts{{"Origin", "{X = 1, Y = 2}"}, {"Name", "0x4020 \"a, b = c\""}}));
  EXPECT_EQ(Parts("{1, 2, 3}"), (TParts{{"[0]", "1"}, {"[1]", "2"}, {"[2]", "3"}}));
  EXPECT_EQ(Parts("{{1, 2}, {3, 4}}"), (TParts{{"[0]", "{1, 2}"}, {"[1]", "{3, 4}"}}));
  // Runs of one value print once with their count; the indexes after them go on counting.
  EXPECT_EQ(Parts("{7, 0 <repeats 15 times>, 9}"), (TParts{{"[0]", "7"}, {"[1..15]", "0"}, {"[16]", "9"}}));
  EXPECT_EQ(Parts("'\\000' <repeats 19 times>"), TParts{});
  // A container's summary, a map's keys, a base class with its template's arguments.
  EXPECT_EQ(Parts("std::vector of length 2, capacity 2 = {10, 20}"), (TParts{{"[0]", "10"}, {"[1]", "20"}}));
  EXPECT_EQ(Parts("std::map with 2 elements = {[1] = \"one\", [2] = \"two\"}"),
            (TParts{{"[1]", "\"one\""}, {"[2]", "\"two\""}}));
  EXPECT_EQ(Parts("{<std::_Vector_base<int, std::allocator<int> >> = {_M_impl = {x = 1}}, <No data fields>}"),
            (TParts{{"<std::_Vector_base<int, std::allocator<int> >>", "{_M_impl = {x = 1}}"}, {"[0]", "<No data fields>"}}));
  // A reference prints its address before the value.
  EXPECT_EQ(Parts("@0x7ffd5c: {A = 1}"), (TParts{{"A", "1"}}));
  // A quote inside a string is escaped.
  EXPECT_EQ(Parts("{S = \"say \\\"hi, x = 1\\\"\", N = 2}"), (TParts{{"S", "\"say \\\"hi, x = 1\\\"\""}, {"N", "2"}}));
  // Pascal's strings double their quotes.
  EXPECT_EQ(Parts("{S = 'it''s, {here}', N = 2}"), (TParts{{"S", "'it''s, {here}'"}, {"N", "2"}}));
}

TEST(DapValues, WhatIsNoAggregateHasNoParts) {
  for (const char* Value : {"", "12", "0x401136 <main()>", "{}", "{  }", "\"{1, 2}\"", "'{'", "(Point *) 0x5555",
                            "{int (int)} 0x401136 <twice(int)>", "{1, 2", "{1, 2}}", "{1, (2}", "{a} {b}",
                            "{\"unterminated}"})
    EXPECT_EQ(Parts(Value), TParts{}) << Value;
}

TEST(DapValues, AnElementThatIsNoMemberIsAnElementWhateverItHolds) {
  // " = " inside a string or a bracket, or after no name, makes no member.
  EXPECT_EQ(Parts("{\"a = b\", (x = 1), 3 = 4}"), (TParts{{"[0]", "\"a = b\""}, {"[1]", "(x = 1)"}, {"[2]", "3 = 4"}}));
  // A comparison's angle bracket inside parentheses ends with them.
  EXPECT_EQ(Parts("{(a < b), c}"), (TParts{{"[0]", "(a < b)"}, {"[1]", "c"}}));
  // A long line of elements, as an array of 100,000 prints.
  std::string Long = "{";
  for (int I = 0; I < 100000; ++I) Long += (I ? ", " : "") + std::to_string(I);
  Long += "}";
  const TParts Got = Parts(Long);
  ASSERT_EQ(Got.size(), 100000u);
  EXPECT_EQ(Got.back(), (std::pair<std::string, std::string>{"[99999]", "99999"}));
}

}  // namespace
