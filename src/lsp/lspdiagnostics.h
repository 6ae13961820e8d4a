// Diagnostics from builds: the project a saved file belongs to is made as the user would make
// it ("nxs build PROJECT --messages gcc", in a process of its own, so that the build reads
// the files as saved and never saves the client's unsaved documents), and the compilers'
// messages are read back by file.
#pragma once

#include <atomic>
#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace nxs::lsp {

struct TBuildDiagnostic {
  std::string File;  // absolute
  int Line = 0;      // from 1
  int Column = 0;    // from 1, as the tool counts (ColumnByte); 0 when it gave none
  int Severity = 1;  // the protocol's: 1 error, 2 warning, 3 information
  std::string Text;
};

// The byte of Line that a tool's column names. The Pascal compiler counts bytes; the C++
// compiler counts display columns, a tab reaching the next multiple of eight and a wide
// character taking two. A column past the end reads as the end.
size_t ColumnByte(const TBuildDiagnostic& D, std::string_view Line);

// The project whose items name File: the first, searching from File's folder up to Root (to
// the top when Root is empty); empty when none does.
std::string ProjectOfFile(const std::string& File, const std::string& Root);
// Builds a project or group file ("make", "build" or "clean") and returns what its tools
// reported about source files; OnLine, when given, sees each line of the build's output as
// it comes, and Succeeded whether the build did.
std::vector<TBuildDiagnostic> BuildDiagnostics(const std::string& File, const std::string& Mode = "make",
                                               const std::function<void(const std::string&)>& OnLine = {},
                                               bool* Succeeded = nullptr);

// Checks a file's text alone with its personality's compiler in check mode (fpc without
// assembling or linking, g++ -fsyntax-only): the text goes into a private folder under the
// file's own name, which goes with the check, and the file's folder is searched for the units
// and headers it uses. Returns what the compiler reported about the file itself, named by
// FileName; nothing for a file that no personality compiles. Cancel stops the compiler.
std::vector<TBuildDiagnostic> CheckFileText(const std::string& FileName, const std::string& Text,
                                            const std::atomic<bool>* Cancel = nullptr);

}  // namespace nxs::lsp
