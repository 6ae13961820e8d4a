#include "mioutput.h"

#include <charconv>

namespace nxs::gdbmi {

TMIValue TMIValue::MakeConst(std::string Text) {
  TMIValue V;
  V.FKind = mvConst;
  V.FText = std::move(Text);
  return V;
}

TMIValue TMIValue::MakeList() {
  TMIValue V;
  V.FKind = mvList;
  return V;
}

const TMIValue* TMIValue::Find(std::string_view Path) const {
  const TMIValue* At = this;
  while (At) {
    const size_t Dot = Path.find('.');
    const std::string_view Name = Path.substr(0, Dot);
    const TMIValue* Next = nullptr;
    for (const TItem& Item : At->FItems)
      if (Item.first == Name) {
        Next = &Item.second;
        break;
      }
    if (!Next || Dot == std::string_view::npos) return Next;
    At = Next;
    Path.remove_prefix(Dot + 1);
  }
  return nullptr;
}

std::string TMIValue::Get(std::string_view Path, std::string_view Default) const {
  const TMIValue* V = Find(Path);
  return V && V->IsConst() ? V->FText : std::string(Default);
}

long long TMIValue::GetInt(std::string_view Path, long long Default) const {
  const TMIValue* V = Find(Path);
  if (!V || !V->IsConst()) return Default;
  long long N = 0;
  const char* First = V->FText.data();
  const char* Last = First + V->FText.size();
  const auto [End, Error] = std::from_chars(First, Last, N);
  return Error == std::errc() && End == Last && First != Last ? N : Default;
}

namespace {

// Deeper nesting than this is no value gdb writes; refusing it keeps the recursion's stack bounded.
constexpr int MaxDepth = 200;

// A recursive-descent reader of one line. Each Read... returns false at the first character
// that does not fit; the caller then keeps the line as text.
class TReader {
 public:
  explicit TReader(std::string_view Line) : FLine(Line) {}

  bool AtEnd() const { return FPos >= FLine.size(); }
  char Peek() const { return AtEnd() ? '\0' : FLine[FPos]; }
  bool Take(char C) {
    if (Peek() != C || AtEnd()) return false;
    ++FPos;
    return true;
  }

  std::optional<uint64_t> ReadToken(bool& Overflow) {
    const size_t Start = FPos;
    while (!AtEnd() && FLine[FPos] >= '0' && FLine[FPos] <= '9') ++FPos;
    if (FPos == Start) return std::nullopt;
    uint64_t N = 0;
    const auto [End, Error] = std::from_chars(FLine.data() + Start, FLine.data() + FPos, N);
    if (Error != std::errc()) Overflow = true;
    return N;
  }

  // A class or a variable name: gdb writes letters, digits, "-" and "_".
  bool ReadName(std::string& Name) {
    const size_t Start = FPos;
    while (!AtEnd()) {
      const char C = FLine[FPos];
      if (!((C >= 'a' && C <= 'z') || (C >= 'A' && C <= 'Z') || (C >= '0' && C <= '9') || C == '-' || C == '_'))
        break;
      ++FPos;
    }
    Name.assign(FLine.substr(Start, FPos - Start));
    return FPos > Start;
  }

  bool ReadCString(std::string& Text) {
    if (!Take('"')) return false;
    Text.clear();
    while (!AtEnd()) {
      const char C = FLine[FPos++];
      if (C == '"') return true;
      if (C != '\\') {
        Text += C;
        continue;
      }
      if (AtEnd()) return false;
      const char E = FLine[FPos++];
      switch (E) {
        case 'n': Text += '\n'; break;
        case 't': Text += '\t'; break;
        case 'r': Text += '\r'; break;
        case 'f': Text += '\f'; break;
        case 'b': Text += '\b'; break;
        case 'a': Text += '\a'; break;
        case 'v': Text += '\v'; break;
        case 'e': Text += '\x1b'; break;
        case 'x': Text += static_cast<char>(ReadDigits(16, 2, 0)); break;
        default:
          if (E >= '0' && E <= '7')
            Text += static_cast<char>(ReadDigits(8, 2, E - '0'));
          else
            Text += E;  // \" \\ \' \? and whatever gdb may escape needlessly
      }
    }
    return false;
  }

  // value -> const | tuple | list
  bool ReadValue(TMIValue& Value, int Depth) {
    if (Depth > MaxDepth) return false;
    if (Peek() == '"') {
      std::string Text;
      if (!ReadCString(Text)) return false;
      Value = TMIValue::MakeConst(std::move(Text));
      return true;
    }
    if (Take('{')) {
      Value = TMIValue();
      return ReadItems(Value, '}', Depth);
    }
    if (Take('[')) {
      Value = TMIValue::MakeList();
      return ReadItems(Value, ']', Depth);
    }
    return false;
  }

  // The items of a tuple or list up to Close. Each item is "name=value" or a bare value: gdb
  // writes bare tuples in some result lists ("bkpt={...},{...}" for a breakpoint with several
  // locations), so a bare value is kept with an empty name rather than refused.
  bool ReadItems(TMIValue& Into, char Close, int Depth) {
    if (Take(Close)) return true;
    do {
      if (!ReadItem(Into, Depth + 1)) return false;
    } while (Take(','));
    return Take(Close);
  }

  bool ReadItem(TMIValue& Into, int Depth) {
    std::string Name;
    const size_t Start = FPos;
    if (ReadName(Name)) {
      if (!Take('=')) return false;
    } else {
      FPos = Start;
    }
    TMIValue Value;
    if (!ReadValue(Value, Depth)) return false;
    Into.Add(std::move(Name), std::move(Value));
    return true;
  }

 private:
  // Up to Count more digits of Base after a first value already read.
  unsigned ReadDigits(int Base, int Count, unsigned Value) {
    for (int I = 0; I < Count && !AtEnd(); ++I) {
      const char C = FLine[FPos];
      int Digit = -1;
      if (C >= '0' && C <= '9') Digit = C - '0';
      else if (Base == 16 && C >= 'a' && C <= 'f') Digit = C - 'a' + 10;
      else if (Base == 16 && C >= 'A' && C <= 'F') Digit = C - 'A' + 10;
      if (Digit < 0 || Digit >= Base) break;
      Value = Value * Base + Digit;
      ++FPos;
    }
    return Value & 0xFF;
  }

  std::string_view FLine;
  size_t FPos = 0;
};

TMIRecord TextRecord(std::string_view Line) {
  TMIRecord R;
  R.Kind = TMIRecordKind::Text;
  R.Text.assign(Line);
  return R;
}

bool IsPrompt(std::string_view Line) {
  if (Line.substr(0, 5) != "(gdb)") return false;
  return Line.find_first_not_of(' ', 5) == std::string_view::npos;
}

}  // namespace

TMIRecord ParseMIRecord(std::string_view Line) {
  if (!Line.empty() && Line.back() == '\r') Line.remove_suffix(1);
  if (IsPrompt(Line)) {
    TMIRecord R;
    R.Kind = TMIRecordKind::Prompt;
    return R;
  }
  TReader In(Line);
  TMIRecord R;
  bool Overflow = false;
  R.Token = In.ReadToken(Overflow);
  if (Overflow) return TextRecord(Line);
  const char Lead = In.Peek();
  In.Take(Lead);
  switch (Lead) {
    case '^': R.Kind = TMIRecordKind::Result; break;
    case '*': R.Kind = TMIRecordKind::ExecAsync; break;
    case '+': R.Kind = TMIRecordKind::StatusAsync; break;
    case '=': R.Kind = TMIRecordKind::NotifyAsync; break;
    case '~': R.Kind = TMIRecordKind::ConsoleStream; break;
    case '@': R.Kind = TMIRecordKind::TargetStream; break;
    case '&': R.Kind = TMIRecordKind::LogStream; break;
    default: return TextRecord(Line);
  }
  if (Lead == '~' || Lead == '@' || Lead == '&') {
    // Streams carry no token; a digit before one means the line is something else.
    if (R.Token || !In.ReadCString(R.Text) || !In.AtEnd()) return TextRecord(Line);
    return R;
  }
  if (!In.ReadName(R.Class)) return TextRecord(Line);
  while (In.Take(','))
    if (!In.ReadItem(R.Results, 1)) return TextRecord(Line);
  if (!In.AtEnd()) return TextRecord(Line);
  return R;
}

std::string QuoteMIString(std::string_view Text) {
  static constexpr char Octal[] = "01234567";
  std::string Out;
  Out.reserve(Text.size() + 2);
  Out += '"';
  for (const char C : Text) {
    switch (C) {
      case '"': Out += "\\\""; break;
      case '\\': Out += "\\\\"; break;
      case '\n': Out += "\\n"; break;
      case '\t': Out += "\\t"; break;
      case '\r': Out += "\\r"; break;
      default: {
        const auto U = static_cast<unsigned char>(C);
        if (U < 0x20 || U == 0x7F) {
          Out += '\\';
          Out += Octal[(U >> 6) & 7];
          Out += Octal[(U >> 3) & 7];
          Out += Octal[U & 7];
        } else {
          Out += C;  // bytes of UTF-8 pass as they are, as gdb writes them
        }
      }
    }
  }
  Out += '"';
  return Out;
}

namespace {

void FormatValue(const TMIValue& Value, std::string& Out);

void FormatItems(const TMIValue& Value, std::string& Out) {
  bool First = true;
  for (const auto& [Name, Item] : Value.Items()) {
    if (!First) Out += ',';
    First = false;
    if (!Name.empty()) {
      Out += Name;
      Out += '=';
    }
    FormatValue(Item, Out);
  }
}

void FormatValue(const TMIValue& Value, std::string& Out) {
  switch (Value.Kind()) {
    case TMIValue::mvConst: Out += QuoteMIString(Value.Text()); return;
    case TMIValue::mvTuple:
      Out += '{';
      FormatItems(Value, Out);
      Out += '}';
      return;
    case TMIValue::mvList:
      Out += '[';
      FormatItems(Value, Out);
      Out += ']';
      return;
  }
}

}  // namespace

std::string FormatMIRecord(const TMIRecord& Record) {
  std::string Out;
  switch (Record.Kind) {
    case TMIRecordKind::Text: return Record.Text;
    case TMIRecordKind::Prompt: return "(gdb) ";
    case TMIRecordKind::ConsoleStream: return "~" + QuoteMIString(Record.Text);
    case TMIRecordKind::TargetStream: return "@" + QuoteMIString(Record.Text);
    case TMIRecordKind::LogStream: return "&" + QuoteMIString(Record.Text);
    case TMIRecordKind::Result: Out = "^"; break;
    case TMIRecordKind::ExecAsync: Out = "*"; break;
    case TMIRecordKind::StatusAsync: Out = "+"; break;
    case TMIRecordKind::NotifyAsync: Out = "="; break;
  }
  if (Record.Token) Out.insert(0, std::to_string(*Record.Token));
  Out += Record.Class;
  for (const auto& [Name, Item] : Record.Results.Items()) {
    Out += ',';
    if (!Name.empty()) {
      Out += Name;
      Out += '=';
    }
    FormatValue(Item, Out);
  }
  return Out;
}

}  // namespace nxs::gdbmi
