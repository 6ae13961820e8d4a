#include "build/compilers/ninjadeps.h"

#include <string_view>

#include "build/engine/tasks.h"

namespace nxs::compilers {

namespace {

std::string InDir(const std::string& Name, const std::string& Dir) {
  return !Name.empty() && Name.front() == '/' ? Name : Dir + "/" + Name;
}

}  // namespace

std::optional<TObjectInputs> ParseNinjaDeps(const std::vector<std::string>& Lines, const std::string& Dir,
                                            const std::vector<std::string>& Objects) {
  // "obj/a.o: #deps 3, deps mtime 1700000000000000000 (VALID)", then each input indented by
  // four blanks, then an empty line; "obj/b.o: deps not found" for an object without. Deps
  // recorded for an object older or newer than the one on disk are "(STALE)".
  static constexpr std::string_view Deps = ": #deps ", Valid = " (VALID)";
  TObjectInputs Inputs;
  std::vector<std::string>* Current = nullptr;
  for (const std::string& Line : Lines) {
    if (Line.empty()) {
      Current = nullptr;
      continue;
    }
    if (Line.compare(0, 4, "    ") == 0) {
      if (!Current) return std::nullopt;
      Current->push_back(InDir(Line.substr(4), Dir));
      continue;
    }
    const size_t At = Line.rfind(Deps);
    if (At == std::string::npos || !Line.ends_with(Valid)) return std::nullopt;
    Current = &Inputs[InDir(Line.substr(0, At), Dir)];
  }
  for (const auto& O : Objects)
    if (!Inputs.count(InDir(O, Dir))) return std::nullopt;
  return Inputs;
}

std::optional<TObjectInputs> NinjaObjectInputs(const std::string& Ninja, const std::string& NinjaFile,
                                               const std::string& Dir, const std::vector<std::string>& Objects) {
  engine::TProcessOptions O;
  O.Argv = {Ninja, "-f", NinjaFile, "-t", "deps"};
  O.Argv.insert(O.Argv.end(), Objects.begin(), Objects.end());
  O.WorkingDirectory = Dir;
  std::vector<std::string> Lines;
  O.OnLine = [&](const std::string& Line) { Lines.push_back(Line); };
  if (engine::RunProcess(O) != 0) return std::nullopt;
  return ParseNinjaDeps(Lines, Dir, Objects);
}

}  // namespace nxs::compilers
