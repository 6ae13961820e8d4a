#include "host/cmdline.h"

namespace nxs::host {

TCommandLine::TCommandLine(const std::vector<std::string>& Args, std::initializer_list<TOptionSpec> Options,
                           size_t MinPositional, size_t MaxPositional, std::string Usage, std::string Help)
    : FUsage(std::move(Usage)) {
  bool OptionsEnded = false;
  for (size_t I = 0; I < Args.size(); ++I) {
    const std::string& A = Args[I];
    if (!OptionsEnded && A == "--") {
      OptionsEnded = true;
      continue;
    }
    if (!OptionsEnded && (A == "--help" || A == "-h"))
      throw EHelp("usage: " + FUsage + (Help.empty() ? "" : "\n" + Help));
    if (OptionsEnded || A.size() < 2 || A[0] != '-') {
      FPositional.push_back(A);
      continue;
    }
    std::string Name = A, Inline;
    bool HasInline = false;
    if (size_t Eq = A.find('='); A.rfind("--", 0) == 0 && Eq != std::string::npos) {
      Name = A.substr(0, Eq);
      Inline = A.substr(Eq + 1);
      HasInline = true;
    }
    const TOptionSpec* Found = nullptr;
    for (const auto& O : Options)
      if (O.Name == Name) Found = &O;
    if (!Found) throw EUsage(FUsage, "unknown option " + Name);
    if (!Found->TakesValue) {
      if (HasInline) throw EUsage(FUsage, "option " + Name + " takes no value");
      FValues[Name] = "";
      continue;
    }
    if (HasInline) {
      FValues[Name] = Inline;
      continue;
    }
    if (I + 1 >= Args.size()) throw EUsage(FUsage, "option " + Name + " needs a value");
    FValues[Name] = Args[++I];
  }
  if (FPositional.size() < MinPositional) throw EUsage(FUsage, "missing arguments");
  if (FPositional.size() > MaxPositional) throw EUsage(FUsage, "too many arguments");
}

std::string TCommandLine::Get(const std::string& Option, const std::string& Default) const {
  auto It = FValues.find(Option);
  return It == FValues.end() ? Default : It->second;
}

}  // namespace nxs::host
