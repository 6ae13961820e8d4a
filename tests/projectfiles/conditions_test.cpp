#include <gtest/gtest.h>

#include "projectfiles/conditions.h"
#include "projectfiles/errors.h"

namespace nxs::test {
namespace {

TEST(ConfigurationConditions, WrittenConditionsReadBack) {
  TConditionInfo D = TConfigurationConditionParser::Parse(DefinitionCondition("Debug", "Cfg_1"));
  EXPECT_EQ(D.Kind, ckDefinition);
  EXPECT_EQ(D.Name, "Debug");
  EXPECT_EQ(D.Key, "Cfg_1");

  TConditionInfo P = TConfigurationConditionParser::Parse(PlatformDefinitionCondition("Linux64", "Cfg_1", "Cfg_1_Linux64"));
  EXPECT_EQ(P.Kind, ckPlatformDefinition);
  EXPECT_EQ(P.Platform, "Linux64");
  EXPECT_EQ(P.ParentKey, "Cfg_1");
  EXPECT_EQ(P.Key, "Cfg_1_Linux64");

  TConditionInfo V = TConfigurationConditionParser::Parse(ValuesCondition("Base"));
  EXPECT_EQ(V.Kind, ckValues);
  EXPECT_EQ(V.Key, "Base");

  TConditionInfo L = TConfigurationConditionParser::Parse(LocalOverrideCondition("Cfg_2", "src\\a.pas"));
  EXPECT_EQ(L.Kind, ckLocalOverride);
  EXPECT_EQ(L.Key, "Cfg_2");
  EXPECT_EQ(L.FileName, "src\\a.pas");

  TConditionInfo E = TConfigurationConditionParser::Parse(BuildEventCondition("Debug", "Win32"));
  EXPECT_EQ(E.Kind, ckBuildEvent);
  EXPECT_EQ(E.Platform, "Win32");
  EXPECT_EQ(TConfigurationConditionParser::Parse(LocalBuildEventCondition("Debug", "a.pas")).Kind, ckLocalBuildEvent);
}

TEST(ConfigurationConditions, SpellingVariations) {
  TConditionInfo D = TConfigurationConditionParser::Parse(" 'Debug' == '$(CONFIG)'  OR  $(Cfg_1) != '' ");
  EXPECT_EQ(D.Kind, ckDefinition);
  EXPECT_EQ(D.Name, "Debug");
  EXPECT_EQ(D.Key, "Cfg_1");
  TConditionInfo Old = TConfigurationConditionParser::Parse(" '$(Configuration)|$(Platform)' == 'Release|AnyCPU' ");
  EXPECT_EQ(Old.Kind, ckOldStyleDefinition);
  EXPECT_EQ(Old.Name, "Release");
  EXPECT_EQ(Old.Platform, "AnyCPU");
}

TEST(ConfigurationConditions, OtherConditionsAreNotConfigurations) {
  for (const char* C : {"", "'$(Configuration)'=='Debug'", "Exists('a.optset')", "'$(X)'=='1' and '$(Y)'!=''",
                        "'$(Config)'==''", "((", "'unterminated", "$(X) = 'a'", "a ! b ~",
                        // a test beside those of the kind, or joined otherwise: not ours to rewrite
                        "'$(Cfg_1)'!='' And '$(File1)'!='' And '$(FileToCompile)'=='a.pas'",
                        "'$(Cfg_1)'!='' Or '$(FileToCompile)'=='a.pas'",
                        "'$(Config)'=='Debug' or '$(Cfg_1)'!='' or '$(X)'=='1'",
                        "'$(Config)'=='Debug' and '$(Cfg_1)'!=''", "!('$(Cfg_1)'!='')",
                        "'$(Config)'=='Debug' And '$(Platform)'=='Win32' And '$(X)'==''"})
    EXPECT_EQ(TConfigurationConditionParser::Parse(C).Kind, ckOther) << C;
}

TEST(ConfigurationConditions, ConditionsNestedThousandsDeepAreRefusedWhereTheyGoTooDeep) {
  const std::string Inner = "'$(Config)'=='Debug'";
  for (const char* Open : {"(", "!"}) {
    std::string Deep;
    for (int I = 0; I < 100000; ++I) Deep += Open;
    Deep += Inner;
    if (*Open == '(') Deep.append(100000, ')');
    EXPECT_EQ(TConfigurationConditionParser::Parse(Deep).Kind, ckOther) << Open;
    try {
      TConfigurationConditionParser::Comparisons(Deep);
      ADD_FAILURE() << Open;
    } catch (const EInvalidToken& E) {
      EXPECT_EQ(std::string(E.what()), std::string("Invalid token: ") + Open);
    }
  }
  // A condition nested as deep as people write them is read whole.
  std::string Shallow = std::string(50, '(') + Inner + std::string(50, ')');
  ASSERT_EQ(TConfigurationConditionParser::Comparisons(Shallow).size(), 1u);
}

TEST(ConditionParser, RefusesCharactersNoTokenStartsWith) {
  try {
    TConditionParser P("'$(A)'=='b' ~");
    FAIL();
  } catch (const EInvalidToken& E) {
    EXPECT_STREQ(E.what(), "Invalid token: ~");
  }
  TConditionParser Ok("!('$(A)'!='x')");
  ASSERT_EQ(Ok.Tokens().size(), 7u);
  EXPECT_EQ(Ok.Tokens()[0].Kind, tkNot);
  EXPECT_EQ(Ok.Tokens()[2].Kind, tkVariable);
  EXPECT_EQ(Ok.Tokens()[2].Text, "A");
}

}  // namespace
}  // namespace nxs::test
