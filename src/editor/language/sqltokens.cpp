// The SQL tokenizer: "--" and "/* */" comments, quoted strings and names, and the reserved words
// of the SQL dialects, case-insensitive.
#include <array>
#include <atomic>
#include <cstring>
#include <vector>

#include "editor/language/symtables.h"
#include "editor/language/tokens.h"

namespace nxs {

namespace {

// Each word follows its length; a zero length ends the list.
const unsigned char Words[] =
    "\006ACTIVE\003ALL\005AFTER\005ALTER\003AND\003ANY\002AS\003ASC\011ASCENDING\002AT\004AUTO\007AUTOINC"
    "\011BASE_NAME\006BEFORE\005BEGIN\007BETWEEN\004BOTH\002BY\005CACHE\004CAST\005CHECK\006COLUMN\006COMMIT"
    "\011COMMITTED\010COMPUTED\013CONDITIONAL\012CONSTRAINT\012CONTAINING\005COUNT\006CREATE\007CURRENT"
    "\006CURSOR\010DATABASE\006SCHEMA\005DEBUG\007DECLARE\007DEFAULT\006DELETE\004DESC\012DESCENDING"
    "\010DISTINCT\002DO\006DOMAIN\004DROP\004ELSE\003END\013ENTRY_POINT\006ESCAPE\011EXCEPTION\007EXECUTE"
    "\006EXISTS\004EXIT\010EXTERNAL\007EXTRACT\006FILTER\003FOR\007FOREIGN\004FROM\004FULL\010FUNCTION"
    "\011GENERATOR\005GRANT\005GROUP\006HAVING\002IF\002IN\010INACTIVE\005INDEX\005INNER\006INSERT\004INTO"
    "\002IS\011ISOLATION\004JOIN\003KEY\004NULL\007LEADING\004LEFT\005LEVEL\004LIKE\005MERGE\005NAMES\002NO"
    "\003NOT\002OF\002ON\004ONLY\002OR\005ORDER\005OUTER\011PARAMETER\010PASSWORD\005PIVOT\004PLAN\010POSITION"
    "\011PROCEDURE\011PROTECTED\007PRIMARY\012PRIVILEGES\004READ\006RETAIN\007RETURNS\006REVOKE\005RIGHT"
    "\010ROLLBACK\006SELECT\003SET\006SHARED\006SHADOW\010SNAPSHOT\004SOME\007SUSPEND\005TABLE\004THEN\002TO"
    "\010TRAILING\011TRANSFORM\013TRANSACTION\007TRIGGER\013UNCOMMITTED\005UNION\006UNIQUE\006UPDATE\004USER"
    "\005USING\004VIEW\004WAIT\004WHEN\005WHERE\005WHILE\004WITH\004WORK";

std::atomic<uint32_t> Options{0};

// The words by length, so that a lookup compares only words that could match.
struct TWordIndex {
  static constexpr size_t MaxLength = 16;
  std::array<std::vector<const unsigned char*>, MaxLength + 1> ByLength;
  TWordIndex() {
    for (const unsigned char* P = Words; *P; P += *P + 1)
      if (*P <= MaxLength) ByLength[*P].push_back(P + 1);
  }
};

bool IsReserved(const char* S, size_t Len) {
  static const TWordIndex Index;
  if (Len == 0 || Len > TWordIndex::MaxLength) return false;
  for (const unsigned char* W : Index.ByLength[Len]) {
    size_t I = 0;
    // Words hold upper-case letters and "_", which clearing bit 5 leaves as it is.
    while (I < Len && (static_cast<unsigned char>(S[I]) & ~0x20u) == W[I]) ++I;
    if (I == Len) return true;
  }
  return false;
}

uint8_t Scan(uint8_t Class, const char* S, size_t N, uint8_t* C) {
  if (Class != sqComment) Class = sqNormal;
  size_t I = 0;
  auto CommentFrom = [&](size_t From) {
    bool Closed;
    const size_t End = StarCommentEnd(S, From, N, '/', Closed);
    Class = Closed ? sqNormal : sqComment;
    return End;
  };
  if (Class == sqComment) {
    I = CommentFrom(0);
    Paint(C, 0, I, tcComment);
  }
  const bool DoubleQuotedStrings = (Options.load(std::memory_order_relaxed) & sqoDoubleQuotedStrings) != 0;
  while (I < N) {
    const auto Ch = static_cast<unsigned char>(S[I]);
    const uint8_t K = CharClass[Ch];
    if (K == ccsBlank || K == ccsBreak) {
      size_t J = I + 1;
      while (J < N && (CharClass[static_cast<unsigned char>(S[J])] == ccsBlank || S[J] == '\n')) ++J;
      Paint(C, I, J, tcWhitespace);
      I = J;
      continue;
    }
    if (K == ccsLetter || K == ccsHigh) {
      size_t J = I + 1;
      while (J < N && (IsWordChar(static_cast<unsigned char>(S[J])) || S[J] == '$' || S[J] == '#' ||
                       CharClass[static_cast<unsigned char>(S[J])] == ccsHigh))
        ++J;
      Paint(C, I, J, IsReserved(S + I, J - I) ? tcReserved : tcIdentifier);
      I = J;
      continue;
    }
    if (K == ccsDigit) {
      size_t J = I + 1;
      uint8_t Code = tcNumber;
      while (J < N && (CharClass[static_cast<unsigned char>(S[J])] == ccsDigit || S[J] == '.')) {
        if (S[J] == '.') Code = tcFloat;
        ++J;
      }
      if (J < N && (S[J] | 0x20) == 'e') {
        size_t E = J + 1;
        if (E < N && (S[E] == '+' || S[E] == '-')) ++E;
        if (E < N && CharClass[static_cast<unsigned char>(S[E])] == ccsDigit) {
          Code = tcFloat;
          J = E;
          while (J < N && CharClass[static_cast<unsigned char>(S[J])] == ccsDigit) ++J;
        }
      }
      Paint(C, I, J, Code);
      I = J;
      continue;
    }
    const char Next = I + 1 < N ? S[I + 1] : '\0';
    if (Ch == '-' && Next == '-') {
      size_t End = LineEnd(S, I, N);
      Paint(C, I, End, tcComment);
      I = End;
      continue;
    }
    if (Ch == '/' && Next == '*') {
      size_t End = CommentFrom(I + 2);
      Paint(C, I, End, tcComment);
      I = End;
      continue;
    }
    if (Ch == '\'' || Ch == '"') {
      // Quotes inside are doubled; an unclosed string or name ends with its line.
      size_t J = I + 1;
      while (J < N && S[J] != '\n') {
        if (S[J] == static_cast<char>(Ch)) {
          if (J + 1 < N && S[J + 1] == static_cast<char>(Ch)) {
            J += 2;
            continue;
          }
          ++J;
          break;
        }
        ++J;
      }
      Paint(C, I, J, Ch == '\'' || DoubleQuotedStrings ? tcString : tcIdentifier);
      I = J;
      continue;
    }
    Paint(C, I, I + 1, tcSymbol);
    ++I;
  }
  return Class;
}

void DestroyNothing(TTokenizer*) {}

}  // namespace

uint8_t ScanSQL(uint8_t Class, const char* Text, size_t Length, uint8_t* Codes) {
  return Scan(Class, Text, Length, Codes);
}

const unsigned char* SQLReservedWords() { return Words; }

int SQLReservedWordCount() {
  int Count = 0;
  for (const unsigned char* P = Words; *P; P += *P + 1) ++Count;
  return Count;
}

void SQLSETOPTIONS(uint32_t Value) { Options.store(Value, std::memory_order_relaxed); }

uint8_t SQLTOKENPROC(TTokenizer*, uint8_t StartClass, const char* Line, int32_t Length, uint8_t* Codes) {
  if (!Line || Length <= 0) return Scan(StartClass, "", 0, nullptr);
  return Scan(StartClass, Line, static_cast<size_t>(Length), Codes);
}

uint8_t SQLLINECLASS(TTokenizer* Tokenizer, uint8_t StartClass, const char* Line, int32_t Length) {
  return SQLTOKENPROC(Tokenizer, StartClass, Line, Length, nullptr);
}

TTokenizer& SQLTokenizer() {
  static TTokenizer T = [] {
    TTokenizer R{};
    R.SyntaxLang = slSQL;
    R.Tokenize = SQLTOKENPROC;
    R.CalcLineClass = SQLLINECLASS;
    R.DestroyTokenizer = DestroyNothing;
    return R;
  }();
  return T;
}

}  // namespace nxs
