// The files ninja knows each object was compiled from: the source and every header its compile
// read, as the compiler's dependency output told ninja and ninja keeps them in its deps log.
// Asked of ninja itself, so that the log's form stays ninja's business.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace nxs::compilers {

using TObjectInputs = std::map<std::string, std::vector<std::string>>;

// Runs "ninja -f NinjaFile -t deps" for the objects (named as in the ninja file) in Dir, the
// folder the ninja file's relative names are relative to. Nothing when ninja cannot tell for
// each object: not started, failed, or no deps recorded for the object as it is now.
std::optional<TObjectInputs> NinjaObjectInputs(const std::string& Ninja, const std::string& NinjaFile,
                                               const std::string& Dir, const std::vector<std::string>& Objects);

// The form of "ninja -t deps" read on its own: Lines as ninja prints them.
std::optional<TObjectInputs> ParseNinjaDeps(const std::vector<std::string>& Lines, const std::string& Dir,
                                            const std::vector<std::string>& Objects);

}  // namespace nxs::compilers
