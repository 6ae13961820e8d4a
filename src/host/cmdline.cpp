#include "host/cmdline.h"

#include <algorithm>
#include <cstdio>
#include <optional>

#include "host/resstrings.h"
#include "shared/format.h"
#include "shared/text.h"

namespace nxs::host {

namespace {

bool IsHelpWord(const std::string& A) { return A == "--help" || A == "-h" || A == "help"; }

}  // namespace

TCommand Leaf(std::string Name, std::string Summary, std::string Usage, std::string Help,
              std::vector<TOptionSpec> Options, size_t MinPositional, size_t MaxPositional,
              int (*Run)(const TCommandLine& Cmd)) {
  TCommand C;
  C.Name = std::move(Name);
  C.Summary = std::move(Summary);
  C.Usage = std::move(Usage);
  C.Help = std::move(Help);
  C.Options = std::move(Options);
  C.MinPositional = MinPositional;
  C.MaxPositional = MaxPositional;
  C.Run = Run;
  return C;
}

TCommand Group(std::string Name, std::string Summary, std::vector<TCommand> Subcommands) {
  TCommand C;
  C.Name = std::move(Name);
  C.Summary = std::move(Summary);
  C.Subcommands = std::move(Subcommands);
  return C;
}

bool TCommandLine::Has(const std::string& Option) const {
  for (const auto& V : FValues)
    if (V.first == Option) return true;
  return false;
}

std::vector<std::string> TCommandLine::GetAll(const std::string& Option) const {
  std::vector<std::string> Out;
  for (const auto& V : FValues)
    if (V.first == Option) Out.push_back(V.second);
  return Out;
}

std::string TCommandLine::Get(const std::string& Option, const std::string& Default) const {
  // The last of an option given twice wins.
  for (auto It = FValues.rbegin(); It != FValues.rend(); ++It)
    if (It->first == Option) return It->second;
  return Default;
}

int64_t detail::CheckedInt(const std::string& What, const std::string& Text, int64_t Min, int64_t Max, bool Open,
                           const std::string* Usage) {
  try {
    return CheckedNumber(What, Text, Min, Max, Open);
  } catch (const Exception& E) {
    if (Usage) throw EUsage(*Usage, E.Message());
    throw;
  }
}

std::string CommandUsage(const TCommand& Command, const std::string& Path) {
  if (Command.Subcommands.empty() || !Command.Usage.empty()) return Command.Usage;
  std::string Words;
  for (const auto& S : Command.Subcommands) Words += (Words.empty() ? "" : "|") + S.Name;
  return Path + " " + Words + " ...";
}

std::string CommandHelp(const TCommand& Command, const std::string& Path) {
  std::string Text = "usage: " + CommandUsage(Command, Path);
  if (!Command.Help.empty()) Text += "\n" + Command.Help;
  if (Command.Subcommands.empty()) return Text;
  Text += "\ncommands:";
  size_t Width = 0;
  for (const auto& S : Command.Subcommands) Width = std::max(Width, S.Name.size());
  for (const auto& S : Command.Subcommands)
    Text += "\n  " + S.Name + std::string(Width - S.Name.size() + 2, ' ') + S.Summary;
  return Text + "\nEvery command takes --help.";
}

TParsedLine ParseCommandLine(const TCommand& Command, const TArgs& Args) {
  TParsedLine R;
  TCommandLine& L = R.Line;
  L.FUsage = Command.Usage;
  bool OptionsEnded = false;
  for (size_t I = 0; I < Args.size(); ++I) {
    const std::string& A = Args[I];
    if (!OptionsEnded && A == "--") {
      OptionsEnded = true;
      continue;
    }
    if (!OptionsEnded && (A == "--help" || A == "-h")) {
      R.HelpAsked = true;
      R.HelpText = CommandHelp(Command, Command.Usage);
      return R;
    }
    if (OptionsEnded || A.size() < 2 || A[0] != '-') {
      L.FPositional.push_back(A);
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
    for (const auto& O : Command.Options)
      if (O.Name == Name) Found = &O;
    if (!Found) throw EUsage(L.FUsage, Format(res::SUnknownCliOption, Name));
    if (!Found->TakesValue) {
      if (HasInline) throw EUsage(L.FUsage, Format(res::SCliOptionTakesNoValue, Name));
      L.FValues.emplace_back(Name, "");
      continue;
    }
    if (HasInline) {
      L.FValues.emplace_back(Name, Inline);
      continue;
    }
    if (I + 1 >= Args.size()) throw EUsage(L.FUsage, Format(res::SCliOptionNeedsValue, Name));
    L.FValues.emplace_back(Name, Args[++I]);
  }
  if (L.FPositional.size() < Command.MinPositional) throw EUsage(L.FUsage, res::SMissingCliArguments);
  if (L.FPositional.size() > Command.MaxPositional) throw EUsage(L.FUsage, res::STooManyCliArguments);
  return R;
}

int RunCommand(const TCommand& Command, const TArgs& Args, const std::string& Path, const TCommand** Reached) {
  if (Reached) *Reached = &Command;
  if (Command.Subcommands.empty()) {
    TParsedLine P = ParseCommandLine(Command, Args);
    if (P.HelpAsked) {
      std::printf("%s\n", P.HelpText.c_str());
      return 0;
    }
    return Command.Run(P.Line);
  }
  const std::string Word = Args.empty() ? std::string() : Args[0];
  if (IsHelpWord(Word)) {
    std::printf("%s\n", CommandHelp(Command, Path).c_str());
    return 0;
  }
  for (const auto& S : Command.Subcommands)
    if (S.Name == Word) return RunCommand(S, TArgs(Args.begin() + 1, Args.end()), Path + " " + S.Name, Reached);
  if (Word.empty()) throw EUsage(CommandUsage(Command, Path), res::SMissingCliCommand);
  // "nxs" names no command of its own: the word alone at the top, "group word" below it.
  const size_t Blank = Path.find(' ');
  const std::string Named = Blank == std::string::npos ? Word : Path.substr(Blank + 1) + " " + Word;
  throw EUsage(CommandUsage(Command, Path), Format(res::SUnknownCliCommand, Named));
}

}  // namespace nxs::host
