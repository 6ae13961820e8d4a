// The internal tokenizers: token classes of each language, the line classes carried across
// lines, and agreement between a file tokenized from the top and line by line.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "editor/language/tokens.h"
#include "tokensupport.h"

namespace nxs {
namespace {

using namespace tokentest;

TEST(PascalTokens, WordsNumbersAndLiteralsGetTheirClasses) {
  EXPECT_EQ(Map(Pascal, "begin X := 1; end"), "rrrrr i ss ns rrr");
  EXPECT_EQ(Map(Pascal, "BeGiN"), "rrrrr");  // reserved words ignore case
  EXPECT_EQ(Map(Pascal, "x := 1.5e3 + 2..4"), "i ss fffff s nssn");
  EXPECT_EQ(Map(Pascal, "s := 'it''s' + #13#$0A"), "i ss SSSSSSS s CCCCCCC");
  EXPECT_EQ(Map(Pascal, "$FF %1010 &17 &begin"), "hhh nnnnn ooo iiiiii");
  EXPECT_EQ(Map(Pascal, "generic specialize"), "rrrrrrr rrrrrrrrrr");
  EXPECT_EQ(Map(Pascal, "a // note"), "i ccccccc");
  EXPECT_EQ(Map(Pascal, "'open"), "SSSSS");  // an unclosed string ends with its line
  EXPECT_EQ(Map(Pascal, "x\xC3\xA9"), "ixx");
  EXPECT_EQ(Map(Pascal, "# $ % &"), "s s s s");
  EXPECT_EQ(Map(Pascal, "#$ #$g"), "ss ssi");  // no digits after "#$": no character code
  EXPECT_EQ(Map(Pascal, "%1010_0101 + &0_7"), "nnnnnnnnnn s ooii");  // "_" separates binary digits only
}

TEST(PascalTokens, CommentsAndDirectivesCarryTheirBitsAcrossLines) {
  // A "(* ... *)" comment over three lines.
  EXPECT_EQ(Lines(Pascal, {"x (* one", "two", "three *) y"}), (std::vector<std::string>{
                                                                 "i cccccc", "ccc", "cccccccc i"}));
  EXPECT_EQ(EndClass(Pascal, 0, "x (* one"), pcParenComment);
  EXPECT_EQ(EndClass(Pascal, pcParenComment, "*)"), 0);
  EXPECT_EQ(EndClass(Pascal, pcParenComment, "} still open"), pcParenComment);
  // A directive inside braces, across lines, is told from a plain comment.
  EXPECT_EQ(Lines(Pascal, {"{$mode", "objfpc} x", "{ plain", "} y"}),
            (std::vector<std::string>{"pppppp", "ppppppp i", "ccccccc", "c i"}));
  EXPECT_EQ(EndClass(Pascal, 0, "{$IFDEF X"), pcBraceComment | pcDirective);
  EXPECT_EQ(EndClass(Pascal, 0, "{ x"), pcBraceComment);
  EXPECT_EQ(EndClass(Pascal, 0, "(*$R+"), pcParenComment | pcDirective);
  EXPECT_EQ(Map(Pascal, "(*)"), "ccc");  // opens a comment; its own "*" does not close it
  EXPECT_EQ(EndClass(Pascal, 0, "(*)"), pcParenComment);
  // A line comment leaves nothing behind, even with a brace in it.
  EXPECT_EQ(EndClass(Pascal, 0, "x // { not a comment"), 0);
}

TEST(PascalTokens, DeclarationContextsMakeTheirWordsReservedUpToTheSemicolon) {
  EXPECT_EQ(Map(Pascal, "property P: T read F write F; read"), "rrrrrrrr is i rrrr i rrrrr is iiii");
  EXPECT_EQ(Lines(Pascal, {"property Items: T", "  read GetItem default;", "default"}),
            (std::vector<std::string>{"rrrrrrrr iiiiis i", "  rrrr iiiiiii rrrrrrrs", "iiiiiii"}));
  EXPECT_EQ(EndClass(Pascal, 0, "property X: Integer"), pcProperty);
  EXPECT_EQ(Map(Pascal, "procedure P; external 'lib' name 'p'; name"),
            "rrrrrrrrr is rrrrrrrr SSSSS rrrr SSSs iiii");
  EXPECT_EQ(Map(Pascal, "index name"), "iiiii iiii");
  // A package source opens with "package"; contains and requires are reserved in it only.
  EXPECT_EQ(Map(Pascal, "contains"), "iiiiiiii");
  EXPECT_EQ(Lines(Pascal, {"package P;", "requires rtl;", "x.package"}),
            (std::vector<std::string>{"rrrrrrr is", "rrrrrrrr iiis", "isiiiiiii"}));
  EXPECT_EQ(EndClass(Pascal, 0, "package P;") & pcPackage, pcPackage);
}

TEST(PascalTokens, AsmBlocksRunToTheirEnd) {
  EXPECT_EQ(Lines(Pascal, {"asm", "  mov eax, $10 { c }", "end; x"}),
            (std::vector<std::string>{"rrr", "  aaa aaaa aaa ccccc", "rrrs i"}));
  // Everything up to the end is the assembler's: numbers, names of other alphabets, codes.
  EXPECT_EQ(Map(Pascal, "mov ax, 12 + #7 + 1.5 + \xC3\xA9", pcAsm), "aaa aaa aa a aa a aaa a aa");
  EXPECT_EQ(EndClass(Pascal, 0, "asm mov"), pcAsm);
  EXPECT_EQ(EndClass(Pascal, pcAsm, "end"), 0);
}

// The reserved words as a user reads them in the language's documentation, written out here
// rather than taken from the tokenizer, so that a word missing from its table is noticed.
std::vector<std::string> WordsOf(const char* Text) {
  std::vector<std::string> R;
  std::istringstream In(Text);
  for (std::string W; In >> W;) R.push_back(W);
  return R;
}

const char* const PascalWords =
    "absolute abstract and array as asm assembler automated begin case cdecl class const constructor "
    "deprecated destructor dispid dispinterface div do downto dynamic else end except experimental export "
    "exports external far file final finalization finally for forward function goto if implementation in "
    "inline inherited initialization interface is label library message mod near nil not object of on "
    "operator or out overload override packed pascal private platform procedure program property protected "
    "public published raise record register reintroduce repeat resourcestring set shl shr safecall sealed "
    "static stdcall strict string then threadvar to try type unit unsafe until uses var varargs virtual while "
    "with xor generic specialize";

const char* const CppWordList =
    "asm auto bool break case catch char class const const_cast continue default delete do double "
    "dynamic_cast else enum explicit extern export false float for friend goto if inline int long mutable "
    "namespace new operator private protected public register reinterpret_cast return short signed sizeof "
    "static static_cast struct switch template this throw true try typedef typeid typename union unsigned "
    "using virtual void volatile wchar_t while alignof decltype nullptr static_assert char16_t char32_t "
    "alignas constexpr thread_local override axiom concept concept_map requires late_check _Bool _Complex "
    "_Imaginary restrict cdecl pascal _asm _cdecl _export _fastcall _fortran _import _pascal _stdcall __asm "
    "__automated __cdecl __classid __closure __declspec __dispid __except __export __fastcall __fastthis "
    "__finally __fortran __inline __int8 __int16 __int32 __int64 __import __msfastcall __msreturn __pascal "
    "__property __published __rtti __slowthis __stdcall __thread __try __uuidof __classmethod __attribute__ "
    "deleted __is_lvalue_expr __is_rvalue_expr __is_complete_type __is_void __is_integral __is_floating_point "
    "__is_array __is_enum __is_union __is_class __is_function __is_reference __is_lvalue_reference "
    "__is_rvalue_reference __is_arithmetic __is_fundamental __is_object __is_scalar __is_compound __is_pointer "
    "__is_member_object_pointer __is_member_function_pointer __is_member_pointer __is_const __is_volatile "
    "__is_empty __is_polymorphic __is_abstract __is_trivial __is_standard_layout __is_pod "
    "__has_trivial_default_constructor __has_trivial_copy_constructor __has_trivial_assign "
    "__has_trivial_destructor __has_nothrow_default_constructor __has_nothrow_copy_constructor "
    "__has_nothrow_assign __has_virtual_destructor __is_signed __is_unsigned __array_rank __array_extent "
    "__is_same __is_base_of __is_convertible";

const char* const CSharpWordList =
    "abstract add as base bool break byte case catch char checked class const continue decimal default "
    "delegate do double else enum event explicit extern false finally fixed float for foreach get goto if "
    "implicit in int interface internal is lock long namespace new null object operator out override params "
    "partial private protected public readonly ref remove return sbyte sealed set short sizeof stackalloc "
    "static string struct switch this throw true try typeof uint ulong unchecked unsafe ushort using virtual "
    "volatile void while";

const char* const IDLWordList =
    "any array attribute boolean case char coclass const context default dispinterface double enum exception "
    "FALSE fixed float in inout interface library long longlong module octet oneway out raises readonly "
    "retval sequence short string struct switch TRUE typedef ulong union unsigned void wchar wstring";

// W painted as a reserved word up to the blank after it, and the same word one letter longer
// as an identifier.
void ExpectReserved(TScan Scan, const std::string& W, const char* Language) {
  EXPECT_EQ(Map(Scan, W + " "), std::string(W.size(), 'r') + " ") << Language << ": " << W;
  EXPECT_EQ(Map(Scan, W + "q"), std::string(W.size() + 1, 'i')) << Language << ": " << W << "q";
}

TEST(ReservedWords, EveryWordOfEachLanguageIsPaintedAsOne) {
  for (const std::string& W : WordsOf(PascalWords)) {
    ExpectReserved(Pascal, W, "Pascal");
    std::string Upper = W, Mixed = W;
    for (char& C : Upper) C = static_cast<char>(std::toupper(static_cast<unsigned char>(C)));
    Mixed[0] = Upper[0];
    EXPECT_EQ(Map(Pascal, Upper), std::string(W.size(), 'r')) << Upper;
    EXPECT_EQ(Map(Pascal, Mixed), std::string(W.size(), 'r')) << Mixed;
  }
  // Case matters in the C family: a word written otherwise is an identifier.
  struct TList {
    TScan Scan;
    const char* Words;
    const char* Name;
  };
  for (const auto& [Scan, List, Name] : {TList{Cpp, CppWordList, "C++"}, TList{CSharp, CSharpWordList, "C#"},
                                         TList{IDL, IDLWordList, "IDL"}}) {
    for (const std::string& W : WordsOf(List)) {
      ExpectReserved(Scan, W, Name);
      std::string Other = W;
      for (char& C : Other)
        C = static_cast<char>(std::islower(static_cast<unsigned char>(C)) ? std::toupper(static_cast<unsigned char>(C))
                                                                          : std::tolower(static_cast<unsigned char>(C)));
      EXPECT_EQ(Map(Scan, Other), std::string(W.size(), 'i')) << Name << ": " << Other;
    }
  }
  // The Pascal words of declaration contexts, each inside its context and outside it.
  for (const std::string& W : WordsOf("add read index write remove stored default readonly nodefault writeonly implements")) {
    EXPECT_EQ(Map(Pascal, "property P: T " + W + " X;"), "rrrrrrrr is i " + std::string(W.size(), 'r') + " is") << W;
    EXPECT_EQ(Map(Pascal, W), std::string(W.size(), 'i')) << W;
  }
  for (const std::string& W : WordsOf("name index"))
    EXPECT_EQ(Map(Pascal, "external 'l' " + W + " 'x';"), "rrrrrrrr SSS " + std::string(W.size(), 'r') + " SSSs") << W;
  EXPECT_EQ(Lines(Pascal, {"package P;", "contains a;", "requires b;"}),
            (std::vector<std::string>{"rrrrrrr is", "rrrrrrrr is", "rrrrrrrr is"}));
}

TEST(ReservedWords, NumbersWithSignedExponentsAreRealNumbersInBothLanguages) {
  // Pascal: a real number's exponent may carry either sign, at the end of the line too.
  EXPECT_EQ(Map(Pascal, "x := 1e-5 + 2.5E+10 - 3E7;"), "i ss ffff s fffffff s fffs");
  EXPECT_EQ(Map(Pascal, "1.5"), "fff");
  EXPECT_EQ(Map(Pascal, "1.25e-3"), "fffffff");
  EXPECT_EQ(Map(Pascal, "x := 2e-"), "i ss nis");  // no digit after the sign: no exponent
  // C and C++, with hexadecimal floats whose exponent is "p".
  EXPECT_EQ(Map(Cpp, "d = 1e-5 + 2.5E+10f - .5e-1 + 3.;"), "i s ffff s ffffffff s fffff s ffs");
  EXPECT_EQ(Map(Cpp, "h = 0x1.8p-3 + 0X1P+4;"), "i s ffffffff s ffffffs");
  EXPECT_EQ(Map(Cpp, "1.25e-3"), "fffffff");
  EXPECT_EQ(Map(CSharp, "1e-5m"), "fffff");
}

TEST(CTokens, LiteralsCommentsAndDirectivesGetTheirClasses) {
  EXPECT_EQ(Map(Cpp, "int x = 0x1F + 017 + 1.5f + 1'000;"), "rrr i s hhhh s ooo s ffff s nnnnns");
  EXPECT_EQ(Map(Cpp, "return \"a\\\"b\" 'c'"), "rrrrrr SSSSSS CCC");
  EXPECT_EQ(Map(Cpp, "Int iNT"), "iii iii");  // case matters
  // Letters of other alphabets belong to the word: it is none of the reserved ones.
  EXPECT_EQ(Map(Cpp, "int\xC3\xA9 \xF0\x9D\x91\xA5int"), "iiiii iiiiiii");
  EXPECT_EQ(Map(Cpp, "#include <x.h> // c"), "pppppppp ppppp cccc");
  EXPECT_EQ(Map(Cpp, "  #define A \"s\""), "  ppppppp p SSS");
  EXPECT_EQ(Map(Cpp, "a # b"), "i s i");  // not at the line's start: no directive
  EXPECT_EQ(Map(Cpp, "x /* c */ y"), "i ccccccc i");
  EXPECT_EQ(Map(Cpp, "R\"d(a)\" b)d\" x"), "SSSSSSSSSSSS i");  // runs to its own delimiter
  EXPECT_EQ(Map(Cpp, "u8\"s\" L'c'"), "SSSSS CCCC");
  EXPECT_EQ(Map(Cpp, "U\"s\" u'c' U'd'"), "SSSS CCCC CCCC");  // every prefix of the standard
  EXPECT_EQ(Map(Cpp, "0 + 07 + 0.5 + 0b1"), "n s oo s fff s nnn");  // a lone 0 is no octal number
  EXPECT_EQ(Map(Cpp, "__attribute__ alignas"), "rrrrrrrrrrrrr rrrrrrr");
}

TEST(CTokens, LineClassesCarryCommentsAndContinuedLiterals) {
  // A string continued by a backslash at the line's end, then closed.
  EXPECT_EQ(Lines(Cpp, {"s = \"one\\", "two\" x"}), (std::vector<std::string>{"i s SSSSS", "SSSS i"}));
  EXPECT_EQ(EndClass(Cpp, 0, "s = \"one\\"), ccString);
  EXPECT_EQ(EndClass(Cpp, 0, "s = \"one\\\\"), 0);  // an escaped backslash does not continue it
  EXPECT_EQ(EndClass(Cpp, 0, "s = \"open"), 0);     // nor does an unclosed string
  EXPECT_EQ(EndClass(Cpp, 0, "c = 'x\\"), ccCharacter);
  EXPECT_EQ(Lines(Cpp, {"a /* b", "c", "d */ e"}), (std::vector<std::string>{"i cccc", "c", "cccc i"}));
  EXPECT_EQ(EndClass(Cpp, 0, "/* open"), ccComment);
  EXPECT_EQ(EndClass(Cpp, ccComment, "*/"), 0);
  // A class the tokenizer never gives (1, 5 to 127, a raw string it has no delimiter for) reads as
  // normal text.
  for (int K : {1, 5, 6, 77, 254, 255}) EXPECT_EQ(Map(Cpp, "x */ \"", static_cast<uint8_t>(K)), "i ss S") << K;
  EXPECT_EQ(EndClass(Cpp, 9, "x"), 0);
  // A comment that spans lines inside a directive ends the directive with its line.
  EXPECT_EQ(Lines(Cpp, {"#if /* a", "b */ x"}), (std::vector<std::string>{"ppp cccc", "cccc i"}));
}

TEST(CTokens, RawStringsContinuedCommentsAndDirectivesGoOnIntoTheNextLine) {
  // A raw string runs on to its own delimiter, however many lines away.
  EXPECT_EQ(Lines(Cpp, {"s = u8R\"x(one", ")\" two", "three)x\" y"}),
            (std::vector<std::string>{"i s SSSSSSSSS", "SSSSSS", "SSSSSSSS i"}));
  const uint8_t X = EndClass(Cpp, 0, "R\"x(");
  EXPECT_GE(X, ccRawString);
  EXPECT_EQ(EndClass(Cpp, X, ")\" )y\""), X);
  EXPECT_EQ(EndClass(Cpp, 0, "a = LR\"x(b"), X);  // one class for one delimiter
  const uint8_t Empty = EndClass(Cpp, 0, "R\"(");
  EXPECT_GE(Empty, ccRawString);
  EXPECT_NE(Empty, X);
  EXPECT_EQ(Lines(Cpp, {"R\"(a", ")x\" b)\" c"}, 0), (std::vector<std::string>{"SSSS", "SSSSSSS i"}));
  EXPECT_EQ(RawStringClass("x"), X);
  // A delimiter has at most 16 characters: one longer opens no raw string that runs on.
  EXPECT_GE(EndClass(Cpp, 0, "R\"0123456789abcdef(x"), ccRawString);
  EXPECT_EQ(EndClass(Cpp, 0, "R\"0123456789abcdefg(x"), ccNormal);
  // C and C++ join a line that ends in a backslash to the next: a "//" comment goes on...
  EXPECT_EQ(Lines(Cpp, {"a // b \\", "c \\", "d", "e"}), (std::vector<std::string>{"i cccccc", "ccc", "c", "i"}));
  EXPECT_EQ(EndClass(Cpp, 0, "// b \\"), ccLineComment);
  EXPECT_EQ(EndClass(Cpp, 0, "// b \\ x"), 0);
  EXPECT_EQ(EndClass(CSharp, 0, "// b \\"), 0);  // C# joins no lines
  EXPECT_EQ(Map(CSharp, "x", ccLineComment), "i");
  // ...and so does a directive, while a backslash ending other code carries nothing.
  EXPECT_EQ(Lines(Cpp, {"#define M(a) \\", "  (a + 1) \\", "  * 2", "int x;"}),
            (std::vector<std::string>{"ppppppp pppp p", "  pp p pp p", "  p p", "rrr is"}));
  EXPECT_EQ(EndClass(Cpp, 0, "x = y \\"), 0);
  EXPECT_EQ(EndClass(Cpp, 0, "#if A /* \\ */"), 0);
  EXPECT_EQ(EndClass(IDL, 0, "#define A \\"), ccDirective);
  // Whole and line by line agree on them all.
  tokentest::ExpectAgreement(Cpp,
                             "a = R\"x(\n)\"\n)x\" b\n// c \\\nd\n#define X \\\n  y // z \\\n w\nq\n"
                             "s = u8R\"(\n\n)\" #define\n",
                             "continued lines");
}

TEST(CTokens, CSharpVerbatimStringsAndIDLWords) {
  EXPECT_EQ(Lines(CSharp, {"s = @\"a", "\"\"b\" x"}), (std::vector<std::string>{"i s SSS", "SSSS i"}));
  EXPECT_EQ(EndClass(CSharp, 0, "@\"open"), ccVerbatim);
  EXPECT_EQ(Map(CSharp, "foreach string"), "rrrrrrr rrrrrr");
  EXPECT_EQ(Map(Cpp, "foreach"), "iiiiiii");
  EXPECT_EQ(Map(IDL, "coclass TRUE true"), "rrrrrrr rrrr iiii");
  EXPECT_EQ(EndClass(IDL, ccVerbatim, "x"), 0);  // only C# knows verbatim strings
}

TEST(SQLTokens, WordsCommentsAndQuotes) {
  EXPECT_EQ(SQLReservedWordCount(), 132);
  EXPECT_EQ(Map(SQL, "select Name from T where base_name = 'it''s' -- x"),
            "rrrrrr iiii rrrr i rrrrr rrrrrrrrr s SSSSSSS cccc");
  EXPECT_EQ(Map(SQL, "\"Quoted Name\" 1.5"), "iiiiiiiiiiiii fff");
  EXPECT_EQ(Lines(SQL, {"a /* b", "c */ d"}), (std::vector<std::string>{"i cccc", "cccc i"}));
  EXPECT_EQ(EndClass(SQL, 0, "/* open"), sqComment);
  EXPECT_EQ(EndClass(SQL, 7, "x"), 0);
  SQLSETOPTIONS(sqoDoubleQuotedStrings);
  EXPECT_EQ(Map(SQL, "\"text\""), "SSSSSS");
  SQLSETOPTIONS(0);
}

// ---- agreement between a whole file and its lines ----

struct TLanguageCase {
  const char* Name;
  TScan Scan;
};
const TLanguageCase AllLanguages[] = {{"Pascal", Pascal}, {"C++", Cpp}, {"C#", CSharp}, {"IDL", IDL}, {"SQL", SQL}};

TEST(TokenizerAgreement, RandomTextTokenizesTheSameWholeAndLineByLine) {
  // Text made of the pieces that change state, so that every class is reached and left often.
  const char* Pieces[] = {"{", "}", "{$", "(*", "*)", "(*$", "//", "/*", "*/", "\"", "'", "\\", "@\"", "#", "$",
                          "%", "&", "--", "asm", "end", "property", ";", "package", "read", "R\"x(", ")x\"", "\n",
                          "\n", "\n", " ", "a", "1", "0x", ".5", "\xC3\xA9", "\t", "\\\n", "u8\"", "`",
                          "R\"(", ")\"", "u8R\"ab(", ")ab\"", "#define ", "\\"};
  std::mt19937 Random(1234);
  for (const auto& L : AllLanguages) {
    for (int Round = 0; Round < 300; ++Round) {
      std::string Text;
      const int Count = 1 + static_cast<int>(Random() % 80);
      for (int I = 0; I < Count; ++I) Text += Pieces[Random() % std::size(Pieces)];
      ExpectAgreement(L.Scan, Text, L.Name);
      if (HasFailure()) return;
    }
  }
}

// Installed source trees read by the consistency test: a fixed sample keeps it quick; the
// benchmark reads them whole.
std::vector<std::string> SampleFiles(const std::string& Root, const std::vector<std::string>& Extensions,
                                     size_t Every) {
  std::vector<std::string> All;
  std::error_code Ec;
  if (!std::filesystem::is_directory(Root, Ec)) return All;
  for (auto It = std::filesystem::recursive_directory_iterator(Root, Ec); !Ec && It != decltype(It)();
       It.increment(Ec)) {
    if (!It->is_regular_file(Ec)) continue;
    std::string Ext = It->path().extension().string();
    if (Extensions.empty() || std::find(Extensions.begin(), Extensions.end(), Ext) != Extensions.end())
      All.push_back(It->path().string());
  }
  std::sort(All.begin(), All.end());
  std::vector<std::string> Sample;
  for (size_t I = 0; I < All.size(); I += Every) Sample.push_back(All[I]);
  return Sample;
}

std::string ReadAll(const std::string& Path) {
  std::ifstream In(Path, std::ios::binary);
  std::stringstream S;
  S << In.rdbuf();
  return S.str();
}

TEST(TokenizerAgreement, InstalledSourcesTokenizeTheSameWholeAndLineByLine) {
  size_t Files = 0;
  for (const auto& Path : SampleFiles("/usr/share/fpcsrc", {".pas", ".pp", ".inc", ".lpr"}, 97)) {
    ExpectAgreement(Pascal, ReadAll(Path), Path);
    ++Files;
    if (HasFailure()) return;
  }
  for (const auto& Path : SampleFiles("/usr/include/c++/12", {}, 23)) {
    ExpectAgreement(Cpp, ReadAll(Path), Path);
    ++Files;
    if (HasFailure()) return;
  }
  if (Files == 0) GTEST_SKIP() << "no installed sources to read";
}

}  // namespace
}  // namespace nxs
