// The client's workspace as the project layer sees it: the project files under its folder
// and the source files those projects name.
#pragma once

#include <string>
#include <vector>

namespace nxs::lsp {

// The project files (".vproj", ".kzproj") in Root and the folders below it, hidden folders and
// history folders left out, at most MaxDepth folders deep; sorted.
std::vector<std::string> FindProjectFiles(const std::string& Root, int MaxDepth = 4);
// The files the project's items name (its main source as well), absolute, each once, in
// the project's order. A project the project layer cannot read names none.
std::vector<std::string> ProjectSourceFiles(const std::string& ProjectFile);

}  // namespace nxs::lsp
