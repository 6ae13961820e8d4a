#include "projectfiles/xmlio.h"

#include <gtest/gtest.h>

#include "projectfiles/errors.h"
#include "projectfiles/msbnodes.h"
#include "shared/fileio.h"
#include "shared/testdir.h"

using namespace nxs;
using namespace nxs::msb;

namespace {

const std::string Ns = "xmlns=\"http://schemas.microsoft.com/developer/msbuild/2003\"";

std::unique_ptr<TNode> ReadProject(const std::string& Xml) { return TProjectXmlReader().Read(Xml); }

// Read, then write with the writer's layout.
std::string Format(const std::string& Xml) {
  std::unique_ptr<TNode> Root = ReadProject(Xml);
  return WriteXmlText(*Root);
}

std::string Lines(std::initializer_list<const char*> L) {
  std::string S;
  for (const char* Line : L) S += std::string(Line) + "\r\n";
  return S;
}

std::string ParseError(const std::string& Xml) {
  try {
    ReadProject(Xml);
  } catch (const EParseException& E) {
    return E.what();
  }
  return "no error";
}

}  // namespace

TEST(XmlReadWrite, KeepsElementsAttributesTextCDataAndIdentifiersInTheSystemsLayout) {
  std::string In =
      "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
      "<!-- a plain comment -->\n"
      "<Project " + Ns + " DefaultTargets=\"Build\">\n"
      "\t<PropertyGroup Condition=\"'$(Config)'=='Debug'\" Label=\"\">\n"
      "\t\t<Define>DEBUG</Define>   <!-- dropped -->\n"
      "\t\t<Post><![CDATA[copy \"a\" b > nul]]></Post>\n"
      "\t</PropertyGroup>\n"
      "  <?pi dropped?>\n"
      "\t<!--__item-7-->\n"
      "\t<ItemGroup><Compile Include=\"x.pas\" B=\"2\" A=\"1\"/></ItemGroup>\n"
      "</Project>\n";
  EXPECT_EQ(Format(In), Lines({"<Project " "xmlns=\"http://schemas.microsoft.com/developer/msbuild/2003\" "
                               "DefaultTargets=\"Build\">",
                               "    <PropertyGroup Condition=\"'$(Config)'=='Debug'\">",
                               "        <Define>DEBUG</Define>",
                               "        <Post><![CDATA[copy \"a\" b > nul]]></Post>",
                               "    </PropertyGroup>",
                               "    <!-- __item-7 -->",
                               "    <ItemGroup>",
                               "        <Compile Include=\"x.pas\" B=\"2\" A=\"1\"/>",
                               "    </ItemGroup>",
                               "</Project>"}));
}

TEST(XmlReadWrite, TextRules) {
  std::unique_ptr<TNode> Root = ReadProject(
      "<Project " + Ns + "><PropertyGroup>"
      "<Blank>\n      </Blank>"
      "<Lead>  two spaces</Lead>"
      "<Trimmed>\n   middle \t\n</Trimmed>"
      "<Run>first line\n  second &amp; third\n</Run>"
      "<Mixed>a<!-- c -->b</Mixed>"
      "<Parent>dropped<Child>kept</Child>dropped too</Parent>"
      "</PropertyGroup></Project>");
  TNode* G = Root->GetNode(0);
  EXPECT_EQ(G->GetNode(0)->GetValue(), "");
  EXPECT_EQ(G->GetNode(1)->GetValue(), "  two spaces");
  EXPECT_EQ(G->GetNode(2)->GetValue(), "middle");
  // One run between two markup events, even where the parser reports it in pieces.
  EXPECT_EQ(G->GetNode(3)->GetValue(), "first line\n  second & third\n");
  EXPECT_EQ(G->GetNode(4)->GetValue(), "ab");
  EXPECT_EQ(G->GetNode(5)->GetValue(), "");
  EXPECT_EQ(G->GetNode(5)->GetNode(0)->GetValue(), "kept");
  std::string Out = WriteXmlText(*Root);
  EXPECT_NE(Out.find("<Blank/>\r\n"), std::string::npos);
  EXPECT_FALSE(Root->IsModified());
}

TEST(XmlReadWrite, EscapingOfTextAndAttributes) {
  TProjectNode Root;
  TNode* N = Root.Append<TNode>("N");
  N->SetAttribute("A", "it's <\"&\"> \r\n\tx");
  N->SetValue("it's <&> \"q\" a\r\nb");
  std::string Out = WriteXmlText(Root);
  EXPECT_NE(Out.find("<N A=\"it's &lt;&quot;&amp;&quot;&gt; &#13;&#10;&#9;x\">"
                     "it&apos;s &lt;&amp;&gt; &quot;q&quot; a&#13;\nb</N>"),
            std::string::npos)
      << Out;
  // Carriage returns, line feeds and tabs survive the next reading.
  std::unique_ptr<TNode> Back = ReadProject(Out);
  EXPECT_EQ(Back->GetNode(0)->GetAttribute("A"), "it's <\"&\"> \r\n\tx");
  EXPECT_EQ(Back->GetNode(0)->GetValue(), "it's <&> \"q\" a\r\nb");
}

TEST(XmlReadWrite, EveryCharacterIsEscapedAloneWhereverItStands) {
  auto Expected = [](unsigned char C, bool Attribute) -> std::string {
    switch (C) {
      case '&': return "&amp;";
      case '<': return "&lt;";
      case '>': return "&gt;";
      case '"': return "&quot;";
      case '\r': return "&#13;";
      case '\'': return Attribute ? "'" : "&apos;";
      case '\n': return Attribute ? "&#10;" : "\n";
      case '\t': return Attribute ? "&#9;" : "\t";
      default: return std::string(1, static_cast<char>(C));
    }
  };
  for (int C = 0; C < 256; ++C)
    for (size_t Before : {0, 1, 15, 16, 17, 31, 40})
      for (size_t After : {0, 3, 16, 20}) {
        std::string Text = std::string(Before, 'a') + static_cast<char>(C) + std::string(After, 'b');
        std::string Out, Attr;
        TXmlWriter::EscapeText(Out, Text);
        TXmlWriter::EscapeAttribute(Attr, Text);
        std::string Pre(Before, 'a'), Post(After, 'b');
        ASSERT_EQ(Out, Pre + Expected(static_cast<unsigned char>(C), false) + Post) << C << " " << Before;
        ASSERT_EQ(Attr, Pre + Expected(static_cast<unsigned char>(C), true) + Post) << C << " " << Before;
      }
}

TEST(XmlReadWrite, CDataPrefixedValuesAndSectionEnds) {
  TProjectNode Root;
  Root.Append<TNode>("Whole")->SetValue("<![CDATA[a < b]]>");
  Root.Append<TNode>("Broken")->SetValue("<![CDATA[a < b");
  Root.Append<TNode>("Attr")->SetAttribute("V", "<![CDATA[x]]>");
  TNode* C = Root.Append<TNode>("Section");
  C->SetValue("x]]>y");
  C->SetValueIsCData(true);
  std::string Out = WriteXmlText(Root);
  EXPECT_NE(Out.find("<Whole><![CDATA[a < b]]></Whole>"), std::string::npos);
  EXPECT_NE(Out.find("<Broken>&lt;![CDATA[a &lt; b</Broken>"), std::string::npos);
  EXPECT_NE(Out.find("<Attr V=\"&lt;![CDATA[x]]&gt;\"/>"), std::string::npos);
  std::unique_ptr<TNode> Back = ReadProject(Out);
  EXPECT_EQ(Back->GetNode(0)->GetValue(), "a < b");
  EXPECT_TRUE(Back->GetNode(0)->GetValueIsCData());
  EXPECT_EQ(Back->GetNode(1)->GetValue(), "<![CDATA[a < b");
  EXPECT_EQ(Back->GetNode(2)->GetAttribute("V"), "<![CDATA[x]]>");
  EXPECT_EQ(Back->GetNode(3)->GetValue(), "x]]>y");

  // A section with text behind it is written escaped, never as it stands.
  TProjectNode Mixed;
  Mixed.Append<TNode>("V")->SetValue("<![CDATA[a]]>b<c");
  EXPECT_EQ(ReadProject(WriteXmlText(Mixed))->GetNode(0)->GetValue(), "<![CDATA[a]]>b<c");
}

TEST(XmlReadWrite, WhatCannotBeReadBackNeverEntersATree) {
  TProjectNode Root;
  TNode* V = Root.Append<TNode>("V");
  V->SetValue("kept");
  // Control characters other than tab, line feed and carriage return; bytes that are not
  // UTF-8 (a lone byte, a cut sequence, an overlong form, a surrogate, U+FFFE).
  for (const char* Bad : {"a\x01" "b", "\x1b[0m", "caf\xe9", "\xe2\x82", "\xc0\xaf", "\xed\xa0\x80", "\xef\xbf\xbe"}) {
    EXPECT_THROW(V->SetValue(Bad), EInvalidXmlText) << PrintableText(Bad);
    EXPECT_THROW(V->SetAttribute("Condition", Bad), EInvalidXmlText) << PrintableText(Bad);
  }
  EXPECT_EQ(V->GetValue(), "kept");
  EXPECT_FALSE(V->HasAttributes());
  try {
    V->SetValue("a\x01" "b");
  } catch (const EInvalidXmlText& E) {
    EXPECT_STREQ(E.what(),
                 "The text \"a\\x01b\" cannot be written to a project file: it holds the control character U+0001");
  }
  for (const char* Good : {"tab\there", "line\r\nbreak", "caf\xc3\xa9", "\xf0\x9f\x98\x80"}) {
    V->SetValue(Good);
    EXPECT_EQ(ReadProject(WriteXmlText(Root))->GetNode(0)->GetValue(), Good);
  }
  // Names: an XML name without a namespace prefix.
  for (const char* Bad : {"1fg_1", "a b", "a:b", "-x", "a<b", "\xc3\x97x"})
    EXPECT_THROW(V->SetName(Bad), EInvalidTagName) << Bad;
  EXPECT_THROW(TNode("1fg_1"), EInvalidTagName);
  EXPECT_THROW(V->SetAttribute("a b", "x"), EInvalidTagName);
  EXPECT_EQ(V->GetName(), "V");
  V->SetName("_\xc3\xa9t\xc3\xa9.2-x");
  EXPECT_EQ(ReadProject(WriteXmlText(Root))->GetNode(0)->GetName(), "_\xc3\xa9t\xc3\xa9.2-x");
}

TEST(XmlReadWrite, ElementsOfAnotherNamespaceKeepIt) {
  // A nested "Project" of another namespace is a plain node and is written with its
  // namespace, so that it never reads back as a project (nor its personality as ours).
  std::string Doc = "<Project " + Ns + "><Project xmlns=\"urn:o\"><ProjectExtensions><Tarvos.Personality>V.24"
                    "</Tarvos.Personality></ProjectExtensions></Project><o:Y xmlns:o=\"urn:p\"><Z/></o:Y><Plain/></Project>";
  std::unique_ptr<TNode> Root = ReadProject(Doc);
  EXPECT_FALSE(Root->GetNode(0)->Is<TProjectNode>());
  std::string Once = WriteXmlText(*Root);
  EXPECT_NE(Once.find("<Project xmlns=\"urn:o\">"), std::string::npos) << Once;
  // Z stands in the default namespace, ours, inside Y of another one.
  EXPECT_NE(Once.find("<Y xmlns=\"urn:p\">\r\n        <Z " + Ns + "/>"), std::string::npos) << Once;
  EXPECT_EQ(Format(Once), Once);
  // An element without namespace inside ours that would read back as one of ours is refused.
  EXPECT_NE(ParseError("<Project " + Ns + "><X xmlns=\"\"><PropertyGroup/></X></Project>")
                .find("\"PropertyGroup\" has no namespace"),
            std::string::npos);
}

TEST(XmlReadWrite, PersonalityVersionIsStrippedAndRestored) {
  std::string Doc = "<Project " + Ns +
                    "><ProjectExtensions><Tarvos.Personality>Vellum.Personality.12</Tarvos.Personality>"
                    "</ProjectExtensions></Project>";
  std::unique_ptr<TNode> Root = ReadProject(Doc);
  TNode* P = Root->GetNode(0)->GetNode(0);
  EXPECT_TRUE(P->Is<TPersonalityNode>());
  EXPECT_EQ(P->GetValue(), "Vellum.Personality");
  EXPECT_NE(WriteXmlText(*Root).find(">Vellum.Personality.12<"), std::string::npos);

  try {
    ReadProject(std::string(Doc).replace(Doc.find(".12"), 3, ".13"));
    FAIL();
  } catch (const EProjectFileException& E) {
    EXPECT_STREQ(E.what(),
                 "The personality \"Vellum.Personality\" has version 13; this version reads personality versions up to 12");
  }
  std::unique_ptr<TNode> Plain = ReadProject(std::string(Doc).replace(Doc.find("Vellum.Personality.12"), 21, "Vellum"));
  EXPECT_EQ(Plain->GetNode(0)->GetNode(0)->GetValue(), "Vellum");
  EXPECT_NE(WriteXmlText(*Plain).find(">Vellum<"), std::string::npos);
}

TEST(XmlReadWrite, NothingOutsideTheTextIsLoaded) {
  const std::string Errors[] = {
      ParseError("<!DOCTYPE Project [<!ENTITY x SYSTEM \"file:///etc/passwd\">]><Project>&x;</Project>"),
      ParseError("<!DOCTYPE Project SYSTEM \"http://127.0.0.1/p.dtd\"><Project/>"),
      ParseError("<!DOCTYPE P [<!ENTITY a \"aaaaaaaaaa\"><!ENTITY b \"&a;&a;&a;&a;&a;\">]><P>&b;</P>"),
  };
  for (const std::string& E : Errors)
    EXPECT_EQ(E.rfind("Fatal error 21. External entities and document type definitions are not read Line 1, column ", 0),
              0u)
        << E;
}

TEST(XmlReadWrite, ParseErrorsCarryLineAndColumn) {
  EXPECT_EQ(ParseError("<Project>\n  <A></B>\n</Project>"), "Fatal error 7. mismatched tag Line 2, column 8.");
  EXPECT_EQ(ParseError(""), "Fatal error 3. no element found Line 1, column 1.");
  EXPECT_EQ(ParseError("<P a='1' a='2'/>"), "Fatal error 8. duplicate attribute Line 1, column 10.");
  std::string Deep;
  for (int I = 0; I < 2000; ++I) Deep += "<a>";
  EXPECT_EQ(ParseError(Deep), "Fatal error 21. Elements are nested more than 1000 levels deep Line 1, column 3004.");
}

TEST(XmlReadWrite, NamespacesAndPrefixedAttributes) {
  std::unique_ptr<TNode> Root = TXmlReader().Read(
      "<p:Project xmlns:p=\"http://schemas.microsoft.com/developer/msbuild/2003\" xmlns:a=\"urn:a\" "
      "xmlns:b=\"urn:b\" a:Name=\"first\" b:Name=\"second\"><p:Import Project=\"x\"/><Other/></p:Project>");
  EXPECT_TRUE(Root->Is<TProjectNode>());
  // Declarations are not attributes; two attributes with one local name keep the first.
  EXPECT_EQ(Root->GetAttributeNames(), (std::vector<std::string>{"Name"}));
  EXPECT_EQ(Root->GetAttribute("Name"), "first");
  EXPECT_TRUE(Root->GetNode(0)->Is<TImport>());
  EXPECT_FALSE(Root->GetNode(1)->Is<TMSBNode>());  // no namespace: the parent's default class
  std::string Out = WriteXmlText(*Root);
  EXPECT_EQ(Out.rfind("<Project " + Ns + " Name=\"first\">\r\n", 0), 0u) << Out;
  // Without a namespace the root is a plain node and is written without one.
  EXPECT_EQ(WriteXmlText(*TXmlReader().Read("<Project/>")), "<Project/>\r\n");
}

TEST(XmlReadWrite, IdentifierCommentsOnlyForProjectReader) {
  std::string Doc = "<Project " + Ns + "><!-- __abc --><Import Project=\"a\"/><!--__x--></Project>";
  EXPECT_EQ(ReadProject(Doc)->GetNode(0)->GetId(), "abc");
  EXPECT_EQ(TXmlReader().Read(Doc)->GetNode(0)->GetId(), "");
}

TEST(XmlReadWrite, OtherEncodingsAreReadAsUtf8) {
  std::string Latin1 = "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><P>caf\xE9</P>";
  EXPECT_EQ(TXmlReader().Read(Latin1)->GetValue(), "caf\xC3\xA9");
  std::string Utf16("\xFF\xFE<\0P\0>\0\xE9\0<\0/\0P\0>\0", 18);
  EXPECT_EQ(TXmlReader().Read(Utf16)->GetValue(), "\xC3\xA9");
  std::string Bom = "\xEF\xBB\xBF<P>x</P>";
  EXPECT_EQ(TXmlReader().Read(Bom)->GetValue(), "x");
  // A name that this encoding allows but UTF-8 text does not could never be read back.
  EXPECT_EQ(ParseError("<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><P a\xB5" "b=\"1\"/>"),
            "Fatal error 21. The name \"a\xC2\xB5" "b\" cannot be written as UTF-8 Line 1, column 56.");
}

TEST(XmlReadWrite, FilesReadLikeTexts) {
  // The written tree, or the error.
  auto Outcome = [](auto Read) {
    try {
      return WriteXmlText(*Read());
    } catch (const EParseException& E) {
      return std::string(E.what());
    }
  };
  std::string Large = "<Project " + Ns + ">\r\n    <ItemGroup>\r\n";
  for (int I = 0; Large.size() < (3 << 20); ++I)
    Large += "        <!-- __" + std::to_string(I) + " -->\r\n        <Compile Include=\"unit" + std::to_string(I) +
             ".pas\">\r\n            <Notes><![CDATA[a < b]]></Notes>\r\n        </Compile>\r\n";
  std::string Broken = Large + "    </Group>\r\n";
  Large += "    </ItemGroup>\r\n</Project>\r\n";
  const std::string Docs[] = {
      "\xEF\xBB\xBF<Project " + Ns + ">\r\n<!--__id-->\r\n<Import Project=\"a\"/></Project>",
      "<Project>\n  <A></B>\n</Project>",
      "",
      std::string("\xFF\xFE<\0P\0>\0\xE9\0<\0/\0P\0>\0", 18),
      Large,
      Broken,
  };
  nxs::test::TTempDir Dir;
  for (const std::string& Doc : Docs) {
    WriteFileAtomic(Dir / "doc.vproj", Doc);
    std::string FromText = Outcome([&] { return TProjectXmlReader().Read(Doc); });
    EXPECT_EQ(Outcome([&] { return TProjectXmlReader().ReadFile(Dir / "doc.vproj"); }), FromText);
    if (&Doc == &Docs[4]) {
      EXPECT_EQ(FromText, Large);
    }
  }
  int Lines = static_cast<int>(std::count(Broken.begin(), Broken.end(), '\n'));
  EXPECT_EQ(Outcome([&] { return TProjectXmlReader().Read(Broken); }),
            "Fatal error 7. mismatched tag Line " + std::to_string(Lines) + ", column 7.");
}
