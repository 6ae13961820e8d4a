// Command-line parsing for the nxs host: positional arguments and "--name [value]" options,
// a usage line per command, "--help" everywhere.
#pragma once

#include <initializer_list>
#include <map>
#include <string>
#include <vector>

#include "shared/exceptions.h"

namespace nxs::host {

// Wrong usage: the host prints the usage line and exits with status 2.
class EUsage : public Exception {
 public:
  EUsage(const std::string& Usage, const std::string& Why) : Exception(Why), FUsage(Usage) {}
  const std::string& Usage() const { return FUsage; }

 private:
  std::string FUsage;
};

// "--help" was asked for: the host prints the help text and exits with status 0.
class EHelp : public Exception {
 public:
  explicit EHelp(const std::string& Text) : Exception(Text) {}
};

struct TOptionSpec {
  std::string Name;  // "--config", "-o"
  bool TakesValue;
};

class TCommandLine {
 public:
  // Parses Args against the options; raises EUsage for an unknown option, a missing value,
  // or a positional count outside MinPositional..MaxPositional; EHelp for "--help".
  TCommandLine(const std::vector<std::string>& Args, std::initializer_list<TOptionSpec> Options,
               size_t MinPositional, size_t MaxPositional, std::string Usage, std::string Help = {});

  const std::vector<std::string>& Positional() const { return FPositional; }
  const std::string& operator[](size_t I) const { return FPositional.at(I); }
  bool Has(const std::string& Option) const { return FValues.count(Option) != 0; }
  std::string Get(const std::string& Option, const std::string& Default = {}) const;
  const std::string& Usage() const { return FUsage; }
  [[noreturn]] void Fail(const std::string& Why) const { throw EUsage(FUsage, Why); }

 private:
  std::vector<std::string> FPositional;
  std::map<std::string, std::string> FValues;
  std::string FUsage;
};

}  // namespace nxs::host
