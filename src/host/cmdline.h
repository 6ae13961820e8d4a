// Command-line parsing for the nxs host: one table of commands, groups dispatching on their
// first word, positional arguments and "--name [value]" options, a usage line per command,
// and "--help" everywhere, answered with the command's help text as its result.
#pragma once

#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "shared/exceptions.h"

namespace nxs::host {

using TArgs = std::vector<std::string>;

// Wrong usage: the host prints the usage line and exits with status 2.
class EUsage : public Exception {
 public:
  EUsage(const std::string& Usage, const std::string& Why) : Exception(Why), FUsage(Usage) {}
  const std::string& Usage() const { return FUsage; }

 private:
  std::string FUsage;
};

struct TOptionSpec {
  std::string Name;  // "--config", "-o"
  bool TakesValue;
};

struct TCommand;
struct TParsedLine;

namespace detail {
// Text as a number from Min to Max (Max left unnamed when Open), naming What when it is not:
// EUsage with Usage when one is given, else Exception.
int64_t CheckedInt(const std::string& What, const std::string& Text, int64_t Min, int64_t Max, bool Open,
                   const std::string* Usage);
}  // namespace detail

// A parsed command line: the positional arguments and the options given.
class TCommandLine {
 public:
  TCommandLine() = default;
  const std::vector<std::string>& Positional() const { return FPositional; }
  const std::string& operator[](size_t I) const { return FPositional.at(I); }
  bool Has(const std::string& Option) const;
  std::string Get(const std::string& Option, const std::string& Default = {}) const;
  // Every value of an option that may be given more than once, in order.
  std::vector<std::string> GetAll(const std::string& Option) const;
  // The value of an integer option, Default when it is not given. A value that is no whole
  // number from Min to Max (see IntArgument) is wrong usage.
  template <class T>
  T GetInt(const std::string& Option, T Default, T Min, T Max = std::numeric_limits<T>::max()) const {
    if (!Has(Option)) return Default;
    return static_cast<T>(detail::CheckedInt(Option, Get(Option), Min, Max, Max == std::numeric_limits<T>::max(), &FUsage));
  }
  const std::string& Usage() const { return FUsage; }
  [[noreturn]] void Fail(const std::string& Why) const { throw EUsage(FUsage, Why); }

 private:
  friend TParsedLine ParseCommandLine(const TCommand& Command, const TArgs& Args);
  std::vector<std::string> FPositional;
  std::vector<std::pair<std::string, std::string>> FValues;
  std::string FUsage;
};

// One command of the table. A group has subcommands and dispatches on its first word; any
// other command has Run and takes the options and positional arguments listed.
struct TCommand {
  std::string Name;
  std::string Summary;  // its line in the group's help
  std::string Usage;    // "nxs config list FILE"; a group's is made from its subcommands
  std::string Help;
  std::vector<TOptionSpec> Options;
  size_t MinPositional = 0;
  size_t MaxPositional = 0;
  int (*Run)(const TCommandLine& Cmd) = nullptr;
  std::vector<TCommand> Subcommands;
  int ErrorStatus = 1;  // the exit status when Run raises (wrong usage is 2 for every command)
};

// A command that runs, taking the options listed and MinPositional..MaxPositional words.
TCommand Leaf(std::string Name, std::string Summary, std::string Usage, std::string Help,
              std::vector<TOptionSpec> Options, size_t MinPositional, size_t MaxPositional,
              int (*Run)(const TCommandLine& Cmd));
// A group of commands, dispatching on its first word.
TCommand Group(std::string Name, std::string Summary, std::vector<TCommand> Subcommands);

// What a command line asks for: to run with Line, or (HelpAsked) to be shown HelpText.
struct TParsedLine {
  bool HelpAsked = false;
  std::string HelpText;
  TCommandLine Line;
};

// Parses Args against the command's options; raises EUsage for an unknown option, a missing
// value, or a positional count outside its range. "--help" or "-h" before "--" asks for help.
TParsedLine ParseCommandLine(const TCommand& Command, const TArgs& Args);

// The usage line of a command; a group's, reached by Path ("nxs config"), lists its
// subcommands.
std::string CommandUsage(const TCommand& Command, const std::string& Path);
// "usage: ..." and the command's help (a group's lists its subcommands with their summaries).
std::string CommandHelp(const TCommand& Command, const std::string& Path);

// Runs the command that Args name below Command, reached by Path, and returns the exit
// status. Help goes to standard output with status 0; wrong usage raises EUsage. Reached, when
// given, is set to each command on the way as it is reached, so that a caller that catches
// what the command raised knows whose error status applies.
int RunCommand(const TCommand& Command, const TArgs& Args, const std::string& Path = "nxs",
               const TCommand** Reached = nullptr);

}  // namespace nxs::host
