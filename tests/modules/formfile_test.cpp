// Form files: every kind of value survives text to binary to text, the readers refuse damaged
// input with the place of the fault, and nothing deep or odd makes them crash.
#include "modules/formfile.h"

#include <gtest/gtest.h>

#include <string>

namespace nxs {
namespace {

// Written as the writer writes: it must come back byte for byte.
const std::string Canonical =
    "object Form1: TForm1\n"
    "  Left = -12\n"
    "  Width = 40000\n"
    "  Tag = 5000000000\n"
    "  Big = -9223372036854775808\n"
    "  Ratio = 1.50\n"
    "  Scale = -2e+10\n"
    "  Caption = 'It''s'#13#10'next '#0'x'\n"
    "  Hint = ''\n"
    "  Unicode = '\xC3\xA9t\xC3\xA9'\n"
    "  Font.Style = [fsBold, fsItalic]\n"
    "  Anchors = []\n"
    "  Align = alClient\n"
    "  Lines.Strings = (\n"
    "    'one'\n"
    "    2\n"
    "    (\n"
    "      nested))\n"
    "  Empty = ()\n"
    "  Columns = <\n"
    "    item\n"
    "      Width = 3\n"
    "      Title.Caption = 'A'\n"
    "    end\n"
    "    item\n"
    "    end>\n"
    "  NoItems = <>\n"
    "  object Panel1: TPanel\n"
    "    inline Frame: TFrame\n"
    "    end\n"
    "  end\n"
    "  Picture.Data = {\n"
    "    000102030405060708090A0B0C0D0E0F101112131415161718191A1B1C1D1E1F\n"
    "    FF}\n"
    "  NoData = {}\n"
    "  object TTimer\n"
    "  end\n"
    "end\n";

TEST(FormFile, WrittenTextGoesToBinaryAndBackUnchanged) {
  const std::string Binary = FormTextToBinary(Canonical);
  EXPECT_TRUE(IsBinaryForm(Binary));
  EXPECT_FALSE(IsBinaryForm(Canonical));
  EXPECT_EQ(FormBinaryToText(Binary), Canonical);
  // An inherited form keeps its kind.
  const std::string Inherited = "inherited Form2: TForm2\n  Tag = 1\nend\n";
  EXPECT_EQ(FormBinaryToText(FormTextToBinary(Inherited)), Inherited);
}

TEST(FormFile, HandWrittenTextReadsAsItsWrittenForm) {
  // Other layout, letter case of keywords, joined strings, hex codes and lower-case hex data.
  const std::string Loose =
      "\xEF\xBB\xBF  OBJECT  Form1 : TForm1\r\n"
      "Caption='a' +\r\n   'b'#$41\r\n"
      "Data={0a 0B\n ff}\n"
      "Style=[ x ,y ]\n"
      "Items=< ITEM A=1 END >\n"
      "Object B: TB End\n"
      "END\n";
  EXPECT_EQ(FormBinaryToText(FormTextToBinary(Loose)),
            "object Form1: TForm1\n"
            "  Caption = 'abA'\n"
            "  Data = {\n"
            "    0A0BFF}\n"
            "  Style = [x, y]\n"
            "  Items = <\n"
            "    item\n"
            "      A = 1\n"
            "    end>\n"
            "  object B: TB\n"
            "  end\n"
            "end\n");
  EXPECT_TRUE(LooksLikeTextForm(Loose));
  EXPECT_FALSE(LooksLikeTextForm("objection"));
}

TEST(FormFile, BadTextIsRefusedWithItsLine) {
  const struct {
    const char* Text;
    const char* Message;
  } Cases[] = {
      {"", "Line 1: object expected"},
      {"object A: TA\n  X = 1\n", "Line 3: end expected"},
      {"object A: TA\n  X = 'open\nend\n", "Line 2: unterminated string"},
      {"object A: TA\n  X = 9223372036854775808\nend\n", "Line 2: invalid number"},
      {"object A: TA\n  X = 1.\nend\n", "Line 2: invalid number"},
      {"object A: TA\n  X = 12ab\nend\n", "Line 2: invalid number"},
      {"object A: TA\n  X = #1114112\nend\n", "Line 2: invalid character code"},
      {"object A: TA\n  X = #$D800\nend\n", "Line 2: invalid character code"},
      {"object A: TA\n  X = {ABC}\nend\n", "Line 2: invalid binary data"},
      {"object A: TA\n  X = [a,]\nend\n", "Line 2: set element expected"},
      {"object A: TA\n  X = < Y = 1 >\nend\n", "Line 2: item expected"},
      {"object A: TA\n  X = 'a' +\nend\n", "Line 3: string expected"},
      {"object A: TA\n  X = ;\nend\n", "Line 2: value expected"},
      {"object A: TA\nend\nend\n", "Line 3: text after the last end"},
      {"object : TA\nend\n", "Line 1: name expected"},
  };
  for (const auto& C : Cases) {
    try {
      FormTextToBinary(C.Text);
      ADD_FAILURE() << "accepted: " << C.Text;
    } catch (const EFormFileError& E) {
      EXPECT_EQ(E.Message(), C.Message) << C.Text;
    }
  }
}

// Characters outside the first plane are four UTF-8 bytes: written as text they pass through
// unchanged, and as character codes they are accepted up to the last code point, with only the
// surrogates refused.
TEST(FormFile, FourByteCharactersAndTheEdgesOfCharacterCodes) {
  const std::string Smile = "\xF0\x9F\x98\x80";
  const std::string Text = "object A: TA\n  Caption = 'a" + Smile + "b'\n  Items.Strings = (\n    '" + Smile + "')\nend\n";
  EXPECT_EQ(FormBinaryToText(FormTextToBinary(Text)), Text);
  const auto Read = [](const std::string& Value) {
    return FormBinaryToText(FormTextToBinary("object A: TA\n  X = " + Value + "\nend\n"));
  };
  const auto Written = [](const std::string& Value) { return "object A: TA\n  X = " + Value + "\nend\n"; };
  EXPECT_EQ(Read("#$1F600"), Written("'" + Smile + "'"));
  EXPECT_EQ(Read("#128512'!'"), Written("'" + Smile + "!'"));
  EXPECT_EQ(Read("#$10FFFF"), Written("'\xF4\x8F\xBF\xBF'"));
  EXPECT_EQ(Read("#1114111"), Written("'\xF4\x8F\xBF\xBF'"));
  EXPECT_EQ(Read("#$D7FF"), Written("'\xED\x9F\xBF'"));
  EXPECT_EQ(Read("#$E000"), Written("'\xEE\x80\x80'"));
  EXPECT_EQ(Read("#$FFFF"), Written("'\xEF\xBF\xBF'"));
  EXPECT_EQ(Read("#$10000"), Written("'\xF0\x90\x80\x80'"));
  for (const char* Surrogate : {"#$D800", "#$DBFF", "#$DC00", "#$DFFF", "#57343"}) {
    try {
      Read(Surrogate);
      ADD_FAILURE() << "accepted: " << Surrogate;
    } catch (const EFormFileError& E) {
      EXPECT_EQ(E.Message(), "Line 2: invalid character code") << Surrogate;
    }
  }
}

TEST(FormFile, DeepNestingIsRefusedNotOverflowed) {
  std::string Deep = "object A: TA\n  X = " + std::string(100000, '(') + std::string(100000, ')') + "\nend\n";
  EXPECT_THROW(FormTextToBinary(Deep), EFormFileError);
  std::string Objects;
  for (int I = 0; I < 5000; ++I) Objects += "object A: TA\n";
  for (int I = 0; I < 5000; ++I) Objects += "end\n";
  EXPECT_THROW(FormTextToBinary(Objects), EFormFileError);
  // A nesting a real form has is fine.
  std::string Fifty;
  for (int I = 0; I < 50; ++I) Fifty += "object A: TA\n";
  for (int I = 0; I < 50; ++I) Fifty += "end\n";
  EXPECT_NO_THROW(FormTextToBinary(Fifty));
}

TEST(FormFile, TheRootsNameIsReadFromEitherFormAndNothingElseHasOne) {
  EXPECT_EQ(FormRootName("\xEF\xBB\xBF\n  inherited Main2 : TMain\nend\n"), "Main2");
  EXPECT_EQ(FormRootName("object TForm1\nend\n"), "");  // unnamed
  EXPECT_EQ(FormRootName("unit Unit1;\n"), "");
  EXPECT_EQ(FormRootName(FormTextToBinary("object TForm1\nend\n")), "");
  const std::string Binary = FormTextToBinary("object Form1: TForm1\n  object B: TButton\n  end\nend\n");
  // Every cut of the binary form: the name once it is whole, nothing before, no read past the end.
  const size_t Whole = Binary.find("Form1", Binary.find("TForm1") + 6) + 5;
  for (size_t N = 0; N <= Binary.size(); ++N)
    EXPECT_EQ(FormRootName(Binary.substr(0, N)), N >= Whole ? "Form1" : "") << N;
}

TEST(FormFile, DamagedBinaryIsRefusedAtEveryCut) {
  const std::string Binary = FormTextToBinary(Canonical);
  // Every prefix is incomplete; none may read past its end or be taken as a form.
  for (size_t N = 0; N < Binary.size(); ++N) EXPECT_THROW(FormBinaryToText(Binary.substr(0, N)), EFormFileError) << N;
  EXPECT_THROW(FormBinaryToText(Binary + "x"), EFormFileError);
  try {
    FormBinaryToText("TPF0junk");
    ADD_FAILURE();
  } catch (const EFormFileError& E) {
    EXPECT_EQ(E.Message(), "Not a binary form");
  }
  // A property name the text could not hold (a keyword) is damage, not text that reads back
  // as something else.
  std::string Keyword = FormTextToBinary("object A: TA\n  Xnd = 1\nend\n");
  Keyword.replace(Keyword.find("Xnd"), 3, "end");
  EXPECT_THROW(FormBinaryToText(Keyword), EFormFileError);
  // A length far past the end.
  std::string Long = FormTextToBinary("object A: TA\n  X = 'ab'\nend\n");
  Long[Long.find("ab") - 4] = '\x7F';
  EXPECT_THROW(FormBinaryToText(Long), EFormFileError);
}

}  // namespace
}  // namespace nxs
