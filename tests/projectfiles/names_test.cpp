#include "projectfiles/names.h"

#include <gtest/gtest.h>

#include "projectfiles/errors.h"
#include "projectfiles/xmlio.h"
#include "projectfiles/xmlutils.h"

using namespace nxs;

TEST(Names, PropertyNames) {
  EXPECT_NO_THROW(ValidPropertyName("_Out2"));
  for (const char* Bad : {"", "2x", "a-b", "a b", "\xC3\xA9"}) EXPECT_THROW(ValidPropertyName(Bad), EInvalidTagName) << Bad;
  try {
    ValidPropertyName("a.b");
    FAIL();
  } catch (const EInvalidTagName& E) {
    EXPECT_STREQ(E.what(), "Invalid name: \"a.b\"");
  }
  EXPECT_EQ(MakeValidPropertyName("9 lives"), "__lives");
  EXPECT_EQ(MakeValidPropertyName("propertygroup"), "");
  EXPECT_EQ(MakeValidPropertyName("TARGET"), "");
  EXPECT_EQ(MakeValidPropertyName("--"), "");
  EXPECT_EQ(MakeValidPropertyName(""), "");
}

TEST(Names, ReservedCharacters) {
  EXPECT_NO_THROW(ValidName("Debug Win32 #1"));
  try {
    ValidName("a$(b)");
    FAIL();
  } catch (const EInvalidName& E) {
    EXPECT_STREQ(E.what(), "Invalid name \"a$(b)\".\nNames cannot contain any of the following characters: "
                           "' < > $ ( ) \" @ = %");
  }
  for (const char* Bad : {"\"", "%", "'", "<", ">", "=", "@"}) EXPECT_THROW(ValidName(Bad), EInvalidName) << Bad;
  EXPECT_EQ(MakeValidName("a'b<c>d$e(f)g\"h@i=j%k"), "a_b_c_d_e_f_g_h_i_j_k");
}

TEST(XmlUtils, FindingAndExpecting) {
  std::unique_ptr<TNode> Root = TXmlReader().Read(
      "<Root><A x=\"1\"><B>one</B><A><B>inner</B></A></A><C><B>two</B></C></Root>");
  EXPECT_EQ(FindNode(Root.get(), "B")->GetValue(), "one");
  EXPECT_EQ(FindNode(Root.get(), "b"), nullptr);  // exact names
  std::vector<TNode*> As;
  FindNodes(Root.get(), "A", As);
  EXPECT_EQ(As.size(), 1u);  // no descent into a match
  EXPECT_EQ(GetElementsByTagName(Root.get(), "B").size(), 3u);
  EXPECT_EQ(FindChildNode(Root.get(), "C")->GetName(), "C");
  EXPECT_EQ(NodeValueToString(FindChildNode(Root.get(), "Z")), "");
  EXPECT_EQ(FindAttributeNode(As[0], "x").value_or("-"), "1");
  EXPECT_FALSE(FindAttributeNode(As[0], "y"));
  EXPECT_EQ(ExpectAttributeNode(*As[0], "x"), "1");
  try {
    ExpectAttributeNode(*As[0], "y");
    FAIL();
  } catch (const EProjectFileException& E) {
    EXPECT_STREQ(E.what(), "Unable to locate attribute y, in XML node A");
  }
  try {
    Expect(FindChildNode(Root.get(), "Missing"), "Missing");
    FAIL();
  } catch (const EProjectFileException& E) {
    EXPECT_STREQ(E.what(), "XML Project section, Missing, not found");
  }
  TNode* Copy = CopyNode(*As[0], *FindChildNode(Root.get(), "C"));
  EXPECT_EQ(Copy->GetParent()->GetName(), "C");
  EXPECT_EQ(GetElementsByTagName(Root.get(), "B").size(), 5u);
  EXPECT_EQ(CollapseWhitespace("  a \t b\t\tc  "), "a b c");
  EXPECT_EQ(CollapseWhitespace(" \t "), "");
}
