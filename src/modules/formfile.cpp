// Form files: a reader of the text form that writes the binary form as it goes, and a reader
// of the binary form that writes the text form. Neither builds a tree.
#include "modules/formfile.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "modules/resstrings.h"
#include "shared/filenames.h"
#include "shared/format.h"
#include "shared/text.h"
#include "shared/utf8.h"

namespace nxs {

namespace {

// Tags of the binary form. Numbers are never reused.
enum : uint8_t {
  tgEnd = 0,
  tgObject = 1,
  tgInherited = 2,
  tgInline = 3,
  tgProperty = 0x10,
  tgItem = 1,
};
enum : uint8_t {
  vaEnd = 0,
  vaList = 1,
  vaInt8 = 2,
  vaInt16 = 3,
  vaInt32 = 4,
  vaInt64 = 5,
  vaFloat = 6,  // kept as the text it was written as, so that it comes back unchanged
  vaString = 7,
  vaIdent = 8,
  vaSet = 9,
  vaCollection = 10,
  vaBinary = 11,
};

// Objects, lists and item lists inside one another: a form deeper than this is damaged, and
// the readers must not run out of stack on it.
constexpr int MaxDepth = 200;

const char* const ObjectKeywords[] = {"object", "inherited", "inline"};

bool IsIdentStart(char C) { return (C >= 'a' && C <= 'z') || (C >= 'A' && C <= 'Z') || C == '_'; }
bool IsIdentChar(char C) { return IsIdentStart(C) || (C >= '0' && C <= '9'); }
bool IsDigit(char C) { return C >= '0' && C <= '9'; }
bool IsBlank(char C) { return C == ' ' || C == '\t' || C == '\r' || C == '\n'; }

bool IsIdent(std::string_view S, bool Dotted) {
  if (S.empty()) return false;
  bool Start = true;
  for (char C : S) {
    if (Start) {
      if (!IsIdentStart(C)) return false;
      Start = false;
    } else if (C == '.' && Dotted) {
      Start = true;
    } else if (!IsIdentChar(C)) {
      return false;
    }
  }
  return !Start;
}

// The length of the number at the start of S (digits, a fraction, an exponent, after an
// optional minus); 0 when there is none. Float tells whether it had a fraction or exponent.
size_t ScanNumber(std::string_view S, bool& Float) {
  size_t I = 0;
  Float = false;
  if (I < S.size() && S[I] == '-') ++I;
  const size_t DigitsFrom = I;
  while (I < S.size() && IsDigit(S[I])) ++I;
  if (I == DigitsFrom) return 0;
  if (I < S.size() && S[I] == '.') {
    if (I + 1 >= S.size() || !IsDigit(S[I + 1])) return 0;
    Float = true;
    for (++I; I < S.size() && IsDigit(S[I]);) ++I;
  }
  if (I < S.size() && (S[I] == 'e' || S[I] == 'E')) {
    size_t J = I + 1;
    if (J < S.size() && (S[J] == '+' || S[J] == '-')) ++J;
    if (J >= S.size() || !IsDigit(S[J])) return 0;
    Float = true;
    for (I = J; I < S.size() && IsDigit(S[I]);) ++I;
  }
  return I;
}

bool IsFloatLiteral(std::string_view S) {
  bool Float;
  return ScanNumber(S, Float) == S.size() && Float;
}

void PutU32(std::string& Out, uint32_t V) {
  for (int I = 0; I < 4; ++I) Out += static_cast<char>((V >> (8 * I)) & 0xFF);
}

void PutString(std::string& Out, std::string_view S) {
  PutU32(Out, static_cast<uint32_t>(S.size()));
  Out.append(S);
}

// ---- text to binary ----

class TTextReader {
 public:
  explicit TTextReader(std::string_view Text) : FText(Text) {
    if (FText.substr(0, 3) == "\xEF\xBB\xBF") FPos = 3;
  }

  std::string Run() {
    FOut.append(FormSignature);
    SkipBlanks();
    const int Kind = ObjectKeyword(PeekWord());
    if (Kind == 0) Fail(res::SFormExpected, "object");
    ReadObject(Kind, 0);
    SkipBlanks();
    if (FPos != FText.size()) Fail(res::SFormTextAfterEnd);
    return std::move(FOut);
  }

 private:
  [[noreturn]] void Fail(const char* Fmt, std::string_view What = {}) {
    int Line = 1;
    for (size_t I = 0; I < FPos && I < FText.size(); ++I)
      if (FText[I] == '\n') ++Line;
    throw EFormFileError(Format(Fmt, Line, What));
  }
  void SkipBlanks() {
    while (FPos < FText.size() && IsBlank(FText[FPos])) ++FPos;
  }
  char Peek() const { return FPos < FText.size() ? FText[FPos] : '\0'; }
  bool AtEnd() const { return FPos >= FText.size(); }
  void Expect(char C) {
    SkipBlanks();
    if (Peek() != C) Fail(res::SFormExpected, std::string(1, C));
    ++FPos;
  }
  // The identifier (with dots when Dotted) at the current place, without taking it.
  std::string_view PeekWord(bool Dotted = false) const {
    size_t I = FPos;
    while (I < FText.size() && (IsIdentChar(FText[I]) || (Dotted && FText[I] == '.'))) ++I;
    std::string_view W = FText.substr(FPos, I - FPos);
    return IsIdent(W, Dotted) ? W : std::string_view();
  }
  std::string_view TakeWord(bool Dotted, const char* What) {
    SkipBlanks();
    std::string_view W = PeekWord(Dotted);
    if (W.empty()) Fail(res::SFormExpected, What);
    FPos += W.size();
    return W;
  }
  static int ObjectKeyword(std::string_view W) {
    for (int I = 0; I < 3; ++I)
      if (SameText(W, ObjectKeywords[I])) return I + 1;
    return 0;
  }
  void Enter(int Depth) {
    if (Depth > MaxDepth) Fail(res::SFormTooDeep);
  }

  void ReadObject(int Kind, int Depth) {
    Enter(Depth);
    FPos += PeekWord().size();
    FOut += static_cast<char>(Kind);
    std::string_view First = TakeWord(false, "name");
    SkipBlanks();
    std::string_view Name, Class = First;
    if (Peek() == ':') {
      ++FPos;
      Name = First;
      Class = TakeWord(false, "class name");
    }
    PutString(FOut, Class);
    PutString(FOut, Name);
    for (;;) {
      SkipBlanks();
      if (AtEnd()) Fail(res::SFormExpected, "end");
      std::string_view W = PeekWord(true);
      if (SameText(W, "end")) {
        FPos += W.size();
        break;
      }
      if (const int Child = ObjectKeyword(W)) {
        ReadObject(Child, Depth + 1);
        continue;
      }
      FOut += static_cast<char>(tgProperty);
      ReadProperty(Depth);
    }
    FOut += static_cast<char>(tgEnd);
  }

  void ReadProperty(int Depth) {
    PutString(FOut, TakeWord(true, "property name"));
    Expect('=');
    ReadValue(Depth + 1);
  }

  void ReadValue(int Depth) {
    Enter(Depth);
    SkipBlanks();
    const char C = Peek();
    if (C == '\'' || C == '#') return ReadString();
    if (C == '-' || IsDigit(C)) return ReadNumber();
    if (C == '[') return ReadSet();
    if (C == '(') return ReadList(Depth);
    if (C == '<') return ReadCollection(Depth);
    if (C == '{') return ReadBinary();
    if (IsIdentStart(C)) {
      FOut += static_cast<char>(vaIdent);
      PutString(FOut, TakeWord(true, "value"));
      return;
    }
    Fail(res::SFormExpected, "value");
  }

  void ReadNumber() {
    bool Float;
    const std::string_view Rest = FText.substr(FPos);
    const size_t Len = ScanNumber(Rest, Float);
    if (Len == 0 || (Len < Rest.size() && (IsIdentChar(Rest[Len]) || Rest[Len] == '.'))) Fail(res::SFormBadNumber);
    const std::string_view Lit = Rest.substr(0, Len);
    if (Float) {
      FOut += static_cast<char>(vaFloat);
      PutString(FOut, Lit);
      FPos += Len;
      return;
    }
    const bool Neg = Lit[0] == '-';
    uint64_t V = 0;
    for (char D : Lit.substr(Neg ? 1 : 0)) {
      const uint64_t Limit = Neg ? (uint64_t{1} << 63) : (uint64_t{1} << 63) - 1;
      const uint64_t Digit = static_cast<uint64_t>(D - '0');
      if (V > (Limit - Digit) / 10) Fail(res::SFormBadNumber);
      V = V * 10 + Digit;
    }
    FPos += Len;
    PutInt(Neg ? static_cast<int64_t>(0 - V) : static_cast<int64_t>(V));
  }

  void PutInt(int64_t V) {
    int Bytes = 8;
    uint8_t Tag = vaInt64;
    if (V >= INT8_MIN && V <= INT8_MAX) Bytes = 1, Tag = vaInt8;
    else if (V >= INT16_MIN && V <= INT16_MAX) Bytes = 2, Tag = vaInt16;
    else if (V >= INT32_MIN && V <= INT32_MAX) Bytes = 4, Tag = vaInt32;
    FOut += static_cast<char>(Tag);
    const uint64_t U = static_cast<uint64_t>(V);
    for (int I = 0; I < Bytes; ++I) FOut += static_cast<char>((U >> (8 * I)) & 0xFF);
  }

  // Quoted runs and character codes, joined by "+" across blanks and lines.
  void ReadString() {
    std::string S;
    for (;;) {
      const char C = Peek();
      if (C == '\'') {
        ++FPos;
        for (;;) {
          if (AtEnd() || Peek() == '\r' || Peek() == '\n') Fail(res::SFormUnterminatedString);
          const char D = FText[FPos++];
          if (D != '\'') {
            S += D;
          } else if (Peek() == '\'') {
            S += '\'';
            ++FPos;
          } else {
            break;
          }
        }
      } else if (C == '#') {
        ++FPos;
        const bool Hex = Peek() == '$';
        if (Hex) ++FPos;
        uint32_t Cp = 0;
        size_t Digits = 0;
        for (; !AtEnd(); ++FPos, ++Digits) {
          const char D = Peek();
          const int V = Hex ? HexDigitValue(D) : IsDigit(D) ? D - '0' : -1;
          if (V < 0) break;
          Cp = Cp * (Hex ? 16 : 10) + static_cast<uint32_t>(V);
          if (Cp > 0x10FFFF) Fail(res::SFormBadCharCode);
        }
        if (Digits == 0 || (Cp >= 0xD800 && Cp <= 0xDFFF)) Fail(res::SFormBadCharCode);
        AppendUtf8(S, Cp);
      } else {
        const size_t Save = FPos;
        SkipBlanks();
        if (Peek() != '+') {
          FPos = Save;
          break;
        }
        ++FPos;
        SkipBlanks();
        if (Peek() != '\'' && Peek() != '#') Fail(res::SFormExpected, "string");
      }
    }
    FOut += static_cast<char>(vaString);
    PutString(FOut, S);
  }

  void ReadSet() {
    ++FPos;
    FOut += static_cast<char>(vaSet);
    SkipBlanks();
    if (Peek() != ']') {
      for (;;) {
        PutString(FOut, TakeWord(false, "set element"));
        SkipBlanks();
        if (Peek() == ']') break;
        Expect(',');
      }
    }
    ++FPos;
    PutString(FOut, "");
  }

  void ReadList(int Depth) {
    ++FPos;
    FOut += static_cast<char>(vaList);
    for (;;) {
      SkipBlanks();
      if (Peek() == ')') break;
      if (AtEnd()) Fail(res::SFormExpected, ")");
      ReadValue(Depth + 1);
    }
    ++FPos;
    FOut += static_cast<char>(vaEnd);
  }

  void ReadCollection(int Depth) {
    ++FPos;
    FOut += static_cast<char>(vaCollection);
    for (;;) {
      SkipBlanks();
      if (Peek() == '>') break;
      if (!SameText(PeekWord(), "item")) Fail(res::SFormExpected, "item");
      FPos += 4;
      FOut += static_cast<char>(tgItem);
      for (;;) {
        SkipBlanks();
        if (AtEnd()) Fail(res::SFormExpected, "end");
        const std::string_view W = PeekWord(true);
        if (SameText(W, "end")) {
          FPos += W.size();
          break;
        }
        ReadProperty(Depth + 1);
      }
      PutString(FOut, "");
    }
    ++FPos;
    FOut += static_cast<char>(tgEnd);
  }

  void ReadBinary() {
    ++FPos;
    std::string Bytes;
    int Half = -1;
    for (;;) {
      if (AtEnd()) Fail(res::SFormExpected, "}");
      const char C = FText[FPos];
      if (C == '}') break;
      ++FPos;
      if (IsBlank(C)) continue;
      const int V = HexDigitValue(C);
      if (V < 0) Fail(res::SFormBadBinary);
      if (Half < 0) {
        Half = V;
      } else {
        Bytes += static_cast<char>(Half * 16 + V);
        Half = -1;
      }
    }
    if (Half >= 0) Fail(res::SFormBadBinary);
    ++FPos;
    FOut += static_cast<char>(vaBinary);
    PutString(FOut, Bytes);
  }

  std::string_view FText;
  size_t FPos = 0;
  std::string FOut;
};

// ---- binary to text ----

class TBinaryReader {
 public:
  explicit TBinaryReader(std::string_view Data) : FData(Data) {}

  std::string Run() {
    if (!IsBinaryForm(FData)) throw EFormFileError(res::SFormNotBinary);
    FPos = FormSignature.size();
    const uint8_t Kind = Byte();
    if (Kind < tgObject || Kind > tgInline) Fail();
    WriteObject(Kind, 0);
    if (FPos != FData.size()) Fail();
    return std::move(FOut);
  }

 private:
  [[noreturn]] void Fail() const { throw EFormFileError(Format(res::SFormDamaged, static_cast<int64_t>(FPos))); }
  uint8_t Byte() {
    if (FPos >= FData.size()) Fail();
    return static_cast<uint8_t>(FData[FPos++]);
  }
  uint64_t Fixed(int Bytes) {
    if (FData.size() - FPos < static_cast<size_t>(Bytes)) Fail();
    uint64_t V = 0;
    for (int I = 0; I < Bytes; ++I) V |= uint64_t{static_cast<uint8_t>(FData[FPos + I])} << (8 * I);
    FPos += static_cast<size_t>(Bytes);
    return V;
  }
  std::string_view String() {
    const uint64_t Len = Fixed(4);
    if (FData.size() - FPos < Len) Fail();
    std::string_view S = FData.substr(FPos, Len);
    FPos += Len;
    return S;
  }
  std::string_view Ident(bool Dotted, bool MayBeEmpty = false) {
    std::string_view S = String();
    if (!(MayBeEmpty && S.empty()) && !IsIdent(S, Dotted)) Fail();
    return S;
  }
  void Indent(int Depth) { FOut.append(static_cast<size_t>(Depth) * 2, ' '); }
  void Enter(int Depth) const {
    if (Depth > MaxDepth) Fail();
  }

  void WriteObject(uint8_t Kind, int Depth) {
    Enter(Depth);
    const std::string_view Class = Ident(false);
    const std::string_view Name = Ident(false, true);
    Indent(Depth);
    FOut += ObjectKeywords[Kind - 1];
    FOut += ' ';
    if (!Name.empty()) FOut.append(Name).append(": ");
    FOut.append(Class).append("\n");
    for (;;) {
      const uint8_t Tag = Byte();
      if (Tag == tgEnd) break;
      if (Tag >= tgObject && Tag <= tgInline) {
        WriteObject(Tag, Depth + 1);
      } else if (Tag == tgProperty) {
        WriteProperty(Depth + 1, true);
      } else {
        Fail();
      }
    }
    Indent(Depth);
    FOut += "end\n";
  }

  // A name the text reader would take for a keyword cannot be a property's.
  void WriteProperty(int Depth, bool InObject, std::string_view Name = {}) {
    if (Name.empty()) Name = Ident(true);
    if (SameText(Name, "end")) Fail();
    if (InObject)
      for (const char* K : ObjectKeywords)
        if (SameText(Name, K)) Fail();
    Indent(Depth);
    FOut.append(Name).append(" = ");
    WriteValue(Byte(), Depth);
    FOut += '\n';
  }

  void WriteValue(uint8_t Tag, int Depth) {
    Enter(Depth);
    switch (Tag) {
      case vaInt8: return WriteInt(static_cast<int8_t>(Fixed(1)));
      case vaInt16: return WriteInt(static_cast<int16_t>(Fixed(2)));
      case vaInt32: return WriteInt(static_cast<int32_t>(Fixed(4)));
      case vaInt64: return WriteInt(static_cast<int64_t>(Fixed(8)));
      case vaFloat: {
        const std::string_view Lit = String();
        if (!IsFloatLiteral(Lit)) Fail();
        FOut.append(Lit);
        return;
      }
      case vaString: return WriteString(String());
      case vaIdent: FOut.append(Ident(true)); return;
      case vaSet: {
        FOut += '[';
        for (bool First = true;; First = false) {
          const std::string_view E = Ident(false, true);
          if (E.empty()) break;
          if (!First) FOut += ", ";
          FOut.append(E);
        }
        FOut += ']';
        return;
      }
      case vaList: {
        FOut += '(';
        for (uint8_t T; (T = Byte()) != vaEnd;) {
          FOut += '\n';
          Indent(Depth + 1);
          WriteValue(T, Depth + 1);
        }
        FOut += ')';
        return;
      }
      case vaCollection: {
        FOut += '<';
        for (uint8_t T; (T = Byte()) != tgEnd;) {
          if (T != tgItem) Fail();
          FOut += '\n';
          Indent(Depth + 1);
          FOut += "item\n";
          for (std::string_view N; !(N = Ident(true, true)).empty();) WriteProperty(Depth + 2, false, N);
          Indent(Depth + 1);
          FOut += "end";
        }
        FOut += '>';
        return;
      }
      case vaBinary: {
        static const char Hex[] = "0123456789ABCDEF";
        const std::string_view Bytes = String();
        FOut += '{';
        for (size_t I = 0; I < Bytes.size(); ++I) {
          if (I % 32 == 0) {
            FOut += '\n';
            Indent(Depth + 1);
          }
          FOut += Hex[static_cast<uint8_t>(Bytes[I]) >> 4];
          FOut += Hex[static_cast<uint8_t>(Bytes[I]) & 15];
        }
        FOut += '}';
        return;
      }
      default: Fail();
    }
  }

  void WriteInt(int64_t V) { FOut += IntToStr(V); }

  // Printable runs in quotes, control characters as codes: the text stays on one line.
  void WriteString(std::string_view S) {
    if (S.empty()) {
      FOut += "''";
      return;
    }
    bool Open = false;
    for (char C : S) {
      const auto U = static_cast<unsigned char>(C);
      if (U < 32) {
        if (Open) FOut += '\'';
        Open = false;
        FOut += '#';
        FOut += IntToStr(U);
        continue;
      }
      if (!Open) FOut += '\'';
      Open = true;
      FOut += C;
      if (C == '\'') FOut += '\'';
    }
    if (Open) FOut += '\'';
  }

  std::string_view FData;
  size_t FPos = 0;
  std::string FOut;
};

}  // namespace

bool IsFormFileName(std::string_view FileName) {
  const std::string Ext = ExtractFileExt(FileName);
  for (const char* E : FormFileExtensions)
    if (SameText(Ext, E)) return true;
  return false;
}

bool IsBinaryForm(std::string_view Data) { return Data.substr(0, FormSignature.size()) == FormSignature; }

bool LooksLikeTextForm(std::string_view Data) {
  if (Data.substr(0, 3) == "\xEF\xBB\xBF") Data.remove_prefix(3);
  size_t I = 0;
  while (I < Data.size() && IsBlank(Data[I])) ++I;
  size_t J = I;
  while (J < Data.size() && IsIdentChar(Data[J])) ++J;
  const std::string_view W = Data.substr(I, J - I);
  for (const char* K : ObjectKeywords)
    if (SameText(W, K)) return true;
  return false;
}

std::string FormRootName(std::string_view Data) {
  if (IsBinaryForm(Data)) {
    // The signature, the kind, then the class and the name, each a 32-bit length and its text.
    size_t Pos = FormSignature.size() + 1;
    std::string_view Fields[2];
    for (std::string_view& F : Fields) {
      if (Data.size() - std::min(Pos, Data.size()) < 4) return {};
      uint32_t Len = 0;
      for (int I = 0; I < 4; ++I) Len |= uint32_t{static_cast<uint8_t>(Data[Pos + static_cast<size_t>(I)])} << (8 * I);
      Pos += 4;
      if (Data.size() - Pos < Len) return {};
      F = Data.substr(Pos, Len);
      Pos += Len;
    }
    return IsIdent(Fields[1], false) ? std::string(Fields[1]) : std::string();
  }
  if (!LooksLikeTextForm(Data)) return {};
  if (Data.substr(0, 3) == "\xEF\xBB\xBF") Data.remove_prefix(3);
  size_t I = 0;
  auto Blanks = [&] {
    while (I < Data.size() && IsBlank(Data[I])) ++I;
  };
  auto Word = [&] {
    const size_t From = I;
    while (I < Data.size() && IsIdentChar(Data[I])) ++I;
    return Data.substr(From, I - From);
  };
  Blanks();
  Word();  // object, inherited or inline
  Blanks();
  const std::string_view Name = Word();
  Blanks();
  return I < Data.size() && Data[I] == ':' && IsIdent(Name, false) ? std::string(Name) : std::string();
}

std::string FormTextToBinary(std::string_view Text) { return TTextReader(Text).Run(); }

std::string FormBinaryToText(std::string_view Binary) { return TBinaryReader(Binary).Run(); }

}  // namespace nxs
