// The region parsers of both personalities: what they fold, how they nest, what they call
// an error, and that damaged or huge input neither stalls nor produces crossing regions.
#include "editor/language/regions.h"

#include <gtest/gtest.h>

namespace nxs {
namespace {

std::string Outline(const TRegionResult& R) {
  std::string Out;
  for (const TRegion& G : R.Regions)
    Out += std::string(2 * G.Level, ' ') + std::to_string(G.StartLine) + " " + std::to_string(G.EndLine) + " " +
           G.Kind + " " + G.Description + "\n";
  for (const TParseError& E : R.Errors) Out += std::to_string(E.Line) + ":" + std::to_string(E.Col) + " " + E.Text + "\n";
  return Out;
}

TRegionResult ParsePascal(std::string_view T) { return MakePascalRegionParser()->Parse(T, {}); }
TRegionResult ParseCpp(std::string_view T) { return MakeCppRegionParser()->Parse(T, {}); }

TEST(PascalRegions, UnitSectionsRoutinesClassesAndDirectives) {
  const char* Text =
      "unit U;\n"                            // 1
      "interface\n"                          // 2
      "type\n"                               // 3
      "  TFwd = class;\n"                    // 4
      "  TMeta = class of TFwd;\n"           // 5
      "  TFoo = class(TObject)\n"            // 6
      "    procedure Run;\n"                 // 7
      "  end;\n"                             // 8
      "procedure Free1;\n"                   // 9
      "implementation\n"                     // 10
      "{$REGION 'Helpers'}\n"                // 11
      "procedure TFoo.Run;\n"                // 12
      "var R: record\n"                      // 13
      "  A: Integer; end;\n"                 // 14
      "begin\n"                              // 15
      "  try\n"                              // 16
      "    case X of 1: ; end;\n"            // 17
      "  finally\n"                          // 18
      "  END;\n"                             // 19
      "end;\n"                               // 20
      "{$ENDREGION}\n"                       // 21
      "procedure Ext; external 'lib';\n"     // 22
      "(* two\n"                             // 23
      "   lines *)\n"                        // 24
      "end.\n";                              // 25
  EXPECT_EQ(
      "2 9 interface interface\n"
      "  6 8 class TFoo = class(TObject)\n"
      "10 25 implementation implementation\n"
      "  11 21 region Helpers\n"
      "    12 20 routine procedure TFoo.Run;\n"
      "      13 14 record record\n"
      "      16 19 try try\n"
      "  23 24 comment (* two\n",
      Outline(ParsePascal(Text)));
}

TEST(PascalRegions, TypesWithoutABodyOpenNothingAndGenericTypesKeepTheirNames) {
  const char* Text =
      "unit G;\n"                                 // 1
      "interface\n"                               // 2
      "type\n"                                    // 3
      "  EMine = class(Exception);\n"             // 4
      "  EMore = class(EMine, IThing);\n"         // 5
      "  generic TBox<T> = class(TObject)\n"      // 6
      "    procedure Put(const X: T);\n"          // 7
      "  end;\n"                                  // 8
      "  generic TMap<K; V: TObject> = class\n"   // 9
      "    class function Make: TMap;\n"          // 10
      "  end;\n"                                  // 11
      "implementation\n"                          // 12
      "procedure TBox.Put(const X: T);\n"         // 13
      "begin\n"                                   // 14
      "end;\n"                                    // 15
      "class function TMap.Make: TMap;\n"         // 16
      "begin\n"                                   // 17
      "end;\n"                                    // 18
      "end.\n";                                   // 19
  EXPECT_EQ(
      "2 11 interface interface\n"
      "  6 8 class generic TBox<T> = class(TObject)\n"
      "  9 11 class generic TMap<K; V: TObject> = class\n"
      "12 19 implementation implementation\n"
      "  13 15 routine procedure TBox.Put(const X: T);\n"
      "  16 18 routine class function TMap.Make: TMap;\n",
      Outline(ParsePascal(Text)));
}

TEST(PascalRegions, ErrorsForWhatDoesNotMatch) {
  EXPECT_EQ("2:1 'end' without a matching begin\n", Outline(ParsePascal("x := 1;\nend;\n")));
  EXPECT_EQ("1:1 'begin' is never closed\n", Outline(ParsePascal("begin\n  x;\n")));
  EXPECT_EQ("2:3 Unterminated comment\n", Outline(ParsePascal("x;\n  { open\n\n")));
  EXPECT_EQ("1:6 Unterminated string\n", Outline(ParsePascal("s := 'abc\n")));
  EXPECT_EQ("1:1 '{$endif}' without a matching opening directive\n", Outline(ParsePascal("{$ENDIF}\n")));
  // Asm bodies are not read as Pascal; case inside a record shares the record's end.
  EXPECT_EQ("1 4 asm asm\n", Outline(ParsePascal("asm\n mov eax, begin\n try\nend;\n")));
  EXPECT_EQ("1 4 record record\n", Outline(ParsePascal("r: record\n case b: Boolean of\n  True: (x: Integer);\nend;\n")));
}

TEST(CppRegions, BracesDirectivesCommentsAndIncludes) {
  const char* Text =
      "#include <a>\n"                 // 1
      "#include \"b.h\"\n"             // 2
      "namespace n {\n"                // 3
      "#pragma region Tools\n"         // 4
      "class C {\n"                    // 5
      "  int f() const {\n"            // 6
      "    if (x) {\n"                 // 7
      "      s = \"}\"; c = '{';\n"    // 8
      "    }\n"                        // 9
      "  }\n"                          // 10
      "};\n"                           // 11
      "#pragma endregion\n"            // 12
      "/* a\n"                         // 13
      "   b */\n"                      // 14
      "#if DEBUG\n"                    // 15
      "int g;\n"                       // 16
      "#endif\n"                       // 17
      "auto r = R\"(}\n{)\";\n"        // 18-19
      "}\n";                           // 20
  EXPECT_EQ(
      "1 2 includes #include ...\n"
      "3 20 namespace namespace n\n"
      "  4 12 region Tools\n"
      "    5 11 class class C\n"
      "      6 10 function int f() const\n"
      "        7 9 block if (x)\n"
      "  13 14 comment /* ... */\n"
      "  15 17 if #if DEBUG\n",
      Outline(ParseCpp(Text)));
}

TEST(CppRegions, AClassIsDescribedByItsHeadWithoutTheCommentsMacrosAndTemplateBeforeIt) {
  const char* Text =
      "namespace n {\n"                                // 1
      "BEGIN_VERSION\n"                                // 2
      "  /// A box, a class of its own.\n"             // 3
      "  template<typename T, class A = alloc<T>>\n"   // 4
      "    class box\n"                                // 5
      "    : public base<T> // its base\n"             // 6
      "    {\n"                                        // 7
      "      /* the items */ struct item\n"            // 8
      "      {\n"                                      // 9
      "      };\n"                                     // 10
      "      int  get(int i) const  // an item\n"      // 11
      "      {\n"                                      // 12
      "      }\n"                                      // 13
      "    };\n"                                       // 14
      "DEPRECATED(\"old\") struct old_box\n"           // 15
      "{\n"                                            // 16
      "};\n"                                           // 17
      "}\n";                                           // 18
  EXPECT_EQ(
      "1 18 namespace namespace n\n"
      "  7 14 class class box : public base<T>\n"
      "    9 10 class struct item\n"
      "    12 13 function int get(int i) const\n"
      "  16 17 class struct old_box\n",
      Outline(ParseCpp(Text)));
}

TEST(CppRegions, ContinuedLinesStringsAndCommentsHideTheBracesTheyHold) {
  const char* Text =
      "#define M(a) \\\n"             // 1
      "  { \\\n"                      // 2: still the directive
      "  a }\n"                       // 3: and still
      "const char* s = \"a\\\n"       // 4
      "}\";\n"                        // 5: still the string
      "/*/ } */\n"                    // 6: "/*/" opens the comment only
      "int x; // {\n"                 // 7
      "int w;\n"                      // 8
      "void f() {\n"                  // 9
      "  y = 'a'; z = \"\\\"{\";\n"    // 10
      "}\n";                          // 11
  EXPECT_EQ("9 11 function void f()\n", Outline(ParseCpp(Text)));
}

TEST(CppRegions, ErrorsAndCrossingRegions) {
  EXPECT_EQ("1:1 '}' without a matching '{'\n", Outline(ParseCpp("}\n")));
  EXPECT_EQ("1:9 '{' is never closed\n", Outline(ParseCpp("void f(){\n")));
  EXPECT_EQ("1:1 Unterminated comment\n", Outline(ParseCpp("/* a\nb\n")));
  EXPECT_EQ("1:5 Unterminated string\n", Outline(ParseCpp("s = \"abc\n")));
  // An #if that closes inside a brace block would cross it: the later region is dropped,
  // so that every region nests.
  auto R = ParseCpp("#if A\nvoid f() {\n#endif\n  x;\n}\n");
  for (size_t I = 1; I < R.Regions.size(); ++I) {
    const TRegion& O = R.Regions[I - 1];
    const TRegion& N = R.Regions[I];
    EXPECT_TRUE(N.StartLine >= O.StartLine);
    if (N.Level > O.Level) {
      EXPECT_LE(N.EndLine, O.EndLine);
    }
  }
  EXPECT_EQ(1u, R.Regions.size());
}

TEST(Regions, HugeAndBinaryInputFinishesAndCancelingStops) {
  std::string Big;
  for (int I = 0; I < 20000; ++I) Big += "void f" + std::to_string(I) + "() {\n  {\n  }\n}\n";
  auto R = ParseCpp(Big);
  EXPECT_EQ(40000u, R.Regions.size());
  EXPECT_TRUE(R.Errors.empty());
  std::string Junk;
  for (int I = 0; I < 100000; ++I) Junk += static_cast<char>((I * 7919) % 256);
  for (auto& P : {MakePascalRegionParser(), MakeCppRegionParser()}) {
    TRegionResult J = P->Parse(Junk, {});
    for (const TRegion& G : J.Regions) EXPECT_LT(G.StartLine, G.EndLine);
    TRegionResult C = P->Parse(Big, [] { return true; });
    EXPECT_TRUE(C.Canceled);
  }
  // The Pascal parser pairs its words after the scan; a stop asked for then still stops it.
  std::string Routines = "unit u; implementation\n";
  for (int I = 0; I < 40000; ++I) Routines += "procedure p; begin end;\n";
  const size_t ScanPolls = Routines.size() / 65536 + 1;
  size_t Polls = 0;
  EXPECT_TRUE(MakePascalRegionParser()->Parse(Routines, [&] { return ++Polls > ScanPolls; }).Canceled);
  // A scan must never look back or ahead in proportion to the text: one line of 150,000
  // routine headers, and 300,000 raw-string openers that never open, parse in one pass.
  std::string Headers = "unit u; implementation ";
  for (int I = 0; I < 150000; ++I) Headers += "procedure a; ";
  EXPECT_EQ(2u, ParsePascal(Headers + "\nend.\n").Regions.size());  // the section and the last routine
  std::string Raw;
  for (int I = 0; I < 300001; ++I) Raw += "R\"x ";
  EXPECT_EQ(1u, ParseCpp(Raw).Errors.size());  // the last quote is never closed
  EXPECT_TRUE(MakePascalRegionServices()->HandlesFile("a/b.PAS"));
  EXPECT_FALSE(MakePascalRegionServices()->HandlesFile("x.pas/Makefile"));
  EXPECT_FALSE(MakeCppRegionServices()->HandlesFile("a/b.PAS"));
  EXPECT_TRUE(MakeCppRegionServices()->HandlesFile("v.1/a.hpp"));
}

}  // namespace
}  // namespace nxs
