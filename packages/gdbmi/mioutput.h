// The records gdb writes on its machine interface, one per line, read into a value tree:
// result records ("^done", "^error", ...) that answer a command by its token, asynchronous
// records ("*stopped", "=thread-created", ...) that report what happened on their own, stream
// records ("~", "@", "&") that carry text, and the "(gdb)" prompt that ends a batch.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace nxs::gdbmi {

// A value: a constant (a C string, kept decoded), a tuple of named values or a list. A list
// holds either plain values or named ones (gdb writes "stack=[frame={...},frame={...}]"); each
// item keeps its name, empty where it has none.
class TMIValue {
 public:
  enum TKind : uint8_t { mvConst, mvTuple, mvList };
  using TItem = std::pair<std::string, TMIValue>;

  TMIValue() = default;  // an empty tuple
  static TMIValue MakeConst(std::string Text);
  static TMIValue MakeList();

  TKind Kind() const { return FKind; }
  bool IsConst() const { return FKind == mvConst; }
  // A constant's text; empty for a tuple or a list.
  const std::string& Text() const { return FText; }
  const std::vector<TItem>& Items() const { return FItems; }
  size_t Count() const { return FItems.size(); }
  void Add(std::string Name, TMIValue Value) { FItems.emplace_back(std::move(Name), std::move(Value)); }

  // The first item of that name, following dots ("frame.line"); nullptr when there is none.
  const TMIValue* Find(std::string_view Path) const;
  // The text of the constant at Path; Default when there is none or it is not a constant.
  std::string Get(std::string_view Path, std::string_view Default = {}) const;
  // The constant at Path read as a decimal number; Default when it is missing or not one.
  long long GetInt(std::string_view Path, long long Default = 0) const;

  friend bool operator==(const TMIValue&, const TMIValue&) = default;

 private:
  TKind FKind = mvTuple;
  std::string FText;
  std::vector<TItem> FItems;
};

enum class TMIRecordKind : uint8_t {
  Result,         // [token]^class,results: the answer to a command
  ExecAsync,      // [token]*class,results: the target started or stopped
  StatusAsync,    // [token]+class,results: progress of a long command
  NotifyAsync,    // [token]=class,results: threads, libraries, breakpoints changed
  ConsoleStream,  // ~"text": what the console would show
  TargetStream,   // @"text": the program's own output, when gdb relays it
  LogStream,      // &"text": gdb's messages about itself
  Prompt,         // (gdb): the end of a batch of output
  Text            // a line that is not machine-interface output; kept as it came
};

struct TMIRecord {
  TMIRecordKind Kind = TMIRecordKind::Text;
  std::optional<uint64_t> Token;
  std::string Class;  // "done", "stopped", "thread-created", ...
  TMIValue Results;   // the results that follow the class, as a tuple
  std::string Text;   // a stream record's text, decoded; a Text record's whole line

  friend bool operator==(const TMIRecord&, const TMIRecord&) = default;
};

// Reads one line (without its line break; a trailing carriage return is ignored). Never throws:
// a line that does not follow the syntax, nests deeper than a sane value would, or carries a
// token too large for 64 bits comes back as a Text record, so that stray output cannot stop
// the reader.
TMIRecord ParseMIRecord(std::string_view Line);

// The line that reads back as Record.
std::string FormatMIRecord(const TMIRecord& Record);

// Text as a C string in double quotes, escaped as gdb reads it on input and writes it on output.
std::string QuoteMIString(std::string_view Text);

}  // namespace nxs::gdbmi
