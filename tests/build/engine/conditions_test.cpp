// The condition language, through the property groups of hand-written projects.
#include "enginefixture.h"
#include "support/errorof.h"

namespace nxs::engine::test {
namespace {

std::string XmlAttr(const std::string& S) {
  std::string R;
  for (char C : S) {
    if (C == '&') R += "&amp;";
    else if (C == '<') R += "&lt;";
    else if (C == '>') R += "&gt;";
    else if (C == '"') R += "&quot;";
    else R += C;
  }
  return R;
}

class ConditionTest : public EngineTest {
 protected:
  // "true"/"false", or the error message.
  std::string Holds(const std::string& Condition) {
    Write("exists.txt", "");
    Write("subdir/file.txt", "");
    std::string File = Project("c.proj", R"P(  <PropertyGroup>
    <Empty></Empty><Yes>yes</Yes><Ten>10</Ten><Hex>0x0A</Hex><Name>Debug</Name><Slash>out/</Slash>
    <Space>with space</Space>
  </PropertyGroup>
  <PropertyGroup Condition=")P" + XmlAttr(Condition) + R"P(">
    <Result>true</Result>
  </PropertyGroup>)P");
    try {
      return Engine.Evaluate(File, Request)->HasProperty("Result") ? "true" : "false";
    } catch (const EEngineError& E) {
      return E.Text;
    }
  }
};

TEST_F(ConditionTest, ComparisonsOfStringsNumbersAndBooleans) {
  struct {
    const char* Condition;
    const char* Want;
  } Cases[] = {
      {"'$(Name)' == 'debug'", "true"},  // without regard to case
      {" '$(Name)'=='Release' ", "false"},
      {"'$(Name)' != 'Release'", "true"},
      {"'$(Empty)' == ''", "true"},
      {"'$(Undefined)' == ''", "true"},
      {"$(Name) == Debug", "true"},
      {"'$(Space)' == 'with space'", "true"},
      {"$(Ten) == 10.0", "true"},
      {"'$(Ten)' == '$(Hex)'", "true"},  // numbers compare as numbers, hexadecimal too
      {"$(Ten) > 9", "true"},
      {"$(Ten) >= 10", "true"},
      {"$(Ten) < 0x0B", "true"},
      {"$(Ten) <= 9.5", "false"},
      {"'2' < '10'", "true"},  // numerically, not as text
      // Two equal numbers: only the comparisons that allow equality hold.
      {"$(Ten) <= 10", "true"},
      {"$(Ten) < 10", "false"},
      {"$(Ten) > 10.0", "false"},
      {"10 >= $(Hex)", "true"},
      // Signs and fractions, in decimal and hexadecimal.
      {"-1 < 0", "true"},
      {"'-2.5' < -2", "true"},
      {"-0.5 == '-.5'", "true"},
      {"+3 == 3", "true"},
      {"-0x10 == -16", "true"},
      {"-0x10 < 0", "true"},
      {"1.25 > 1.2", "true"},
      {"$(Yes)", "true"},
      {"!$(Yes)", "false"},
      {"'on' == 'true'", "true"},
      {"'off' == '!on'", "true"},
      {"!false", "true"},
      {"true and !false", "true"},
      {"false or 'a' == 'A'", "true"},
      {"false and 'a' == 'A' or true", "true"},
      {"false and ('a' == 'A' or true)", "false"},
      {"!(true and false)", "true"},
      {"((('x')=='X'))", "true"},
      {"Exists('exists.txt')", "true"},
      {"Exists('subdir\\file.txt')", "true"},
      {"Exists('subdir')", "true"},
      {"!Exists('missing.txt')", "true"},
      {"Exists('')", "false"},
      {"exists(' $(Empty) ')", "false"},
      {"HasTrailingSlash('$(Slash)')", "true"},
      {"HasTrailingSlash('out\\')", "true"},
      {"HasTrailingSlash('$(Name)')", "false"},
      {"", "true"},
      {"   ", "true"},
      // The side that cannot change the result is not evaluated, so it cannot fail.
      {"false and $(Name) > 3", "false"},
      {"true or $(Name) > 3", "true"},
  };
  for (const auto& C : Cases) EXPECT_EQ(C.Want, Holds(C.Condition)) << C.Condition;
}

TEST_F(ConditionTest, AMalformedConditionIsAnErrorNamingItsPlace) {
  struct {
    const char* Condition;
    const char* Want;
  } Cases[] = {
      {"'a' == ", "The condition \"'a' == \" is malformed: an operand is missing at position 8"},
      {"'a' = 'b'", "The condition \"'a' = 'b'\" is malformed: unexpected \"=\" at position 5"},
      {"'a == 'b'", "The condition \"'a == 'b'\" is malformed: unexpected \"b\" at position 8"},
      {"('a' == 'b'", "The condition \"('a' == 'b'\" is malformed: a \")\" is missing at position 12"},
      {"'a' == 'b')", "The condition \"'a' == 'b')\" is malformed: unexpected \")\" at position 11"},
      {"'a' == 'b' cd", "The condition \"'a' == 'b' cd\" is malformed: unexpected \"c\" at position 12"},
      {"'a' == 'b' and", "The condition \"'a' == 'b' and\" is malformed: an operand is missing at position 15"},
      {"$(Name)", "The condition \"$(Name)\" is malformed: \"$(Name)\" evaluates to \"Debug\" instead of a Boolean "
                  "at position 1"},
      {"'$(Empty)'", "The condition \"'$(Empty)'\" is malformed: \"'$(Empty)'\" evaluates to \"\" instead of a "
                     "Boolean at position 1"},
      {"$(Name) > 3", "The condition \"$(Name) > 3\" is malformed: \"$(Name)\" evaluates to \"Debug\" instead of a "
                      "number at position 1"},
      {"Frob('x')", "The condition \"Frob('x')\" is malformed: unknown function \"Frob\" at position 1"},
      {"Exists('a', 'b')",
       "The condition \"Exists('a', 'b')\" is malformed: Exists takes one argument and a \")\" at position 11"},
      {"'unterminated", "The condition \"'unterminated\" is malformed: an unterminated quoted string at position 1"},
      {"'a' == != 'b'", "The condition \"'a' == != 'b'\" is malformed: unexpected \"!\" at position 8"},
      {"!=", "The condition \"!=\" is malformed: unexpected \"!\" at position 1"},
  };
  for (const auto& C : Cases) EXPECT_EQ(C.Want, Holds(C.Condition)) << C.Condition;
  std::string File = Project("m.proj", "  <PropertyGroup>\n    <A Condition=\"'x' === 'x'\">1</A>\n  </PropertyGroup>");
  EXPECT_EQ(File + "(3,5): error: The condition \"'x' === 'x'\" is malformed: unexpected \"=\" at position 7",
            nxs::test::ErrorOf<EEngineError>([&] { Engine.Evaluate(File, Request); }));
}

TEST_F(ConditionTest, ConditionsOfTargetsAndTasksSeeItemsAndTheProjectDirectory) {
  Write("sub/here.txt", "");
  Write("sub/imported.targets", R"P(<Project>
  <PropertyGroup Condition="Exists('here.txt')"><Beside>yes</Beside></PropertyGroup>
  <Target Name="Build">
    <Message Text="items" Condition="'@(C)' == 'a.c;b.c'" />
    <Message Text="no items" Condition="'@(None)' == ''" />
    <Message Text="from the project directory" Condition="Exists('sub/here.txt')" />
  </Target>
</Project>)P");
  EXPECT_TRUE(Build(R"P(<ItemGroup><C Include="a.c;b.c" /></ItemGroup><Import Project="sub/imported.targets" />)P"));
  EXPECT_EQ("items|no items|from the project directory", Log.Messages());
  EXPECT_EQ("yes", Engine.Evaluate(Dir / "p.proj", Request)->GetPropertyValue("Beside"));
}

}  // namespace
}  // namespace nxs::engine::test
