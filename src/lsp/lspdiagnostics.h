// Diagnostics from builds: the project a saved file belongs to is made as the user would make
// it ("nxs build PROJECT --messages gcc", in a process of its own, so that the build reads
// the files as saved and never saves the client's unsaved documents), and the compilers'
// messages are read back by file.
#pragma once

#include <atomic>
#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace nxs {
class TEditBuffer;
}

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

// Builds a project or group file ("make", "build" or "clean") and returns what its tools
// reported about source files; OnLine, when given, sees each line of the build's output as
// it comes, and Succeeded whether the build did.
// Unsaved, when given, lists the texts the build reads in place of the files (see
// TUnsavedBuffers); Cancel stops the build.
std::vector<TBuildDiagnostic> BuildDiagnostics(const std::string& File, const std::string& Mode = "make",
                                               const std::function<void(const std::string&)>& OnLine = {},
                                               bool* Succeeded = nullptr, const std::string& Unsaved = {},
                                               const std::atomic<bool>* Cancel = nullptr);

// The client's unsaved texts as a build in a process of its own reads them: each text is
// written into Dir, and the list file it returns names, NUL-separated, each file and then the
// copy of its text.
struct TUnsavedText {
  std::string FileName;
  std::string Text;
};
std::string WriteUnsavedTexts(const std::string& Dir, const std::vector<TUnsavedText>& Texts);

// Checks a project ("nxs build PROJECT --mode check" in a process of its own, in the
// background as the build host compiles for the editor) with Texts in place of their files.
std::vector<TBuildDiagnostic> CheckProject(const std::string& Project, const std::vector<TUnsavedText>& Texts,
                                           const std::atomic<bool>* Cancel = nullptr);

// The texts of such a list held as modified edit buffers of their files, for as long as this
// lives: the build compiles them in place of the files, as it compiles the editor's unsaved
// text, and nothing writes them to the files. Raises EFOpenError for a list it cannot read.
class TUnsavedBuffers {
 public:
  explicit TUnsavedBuffers(const std::string& ListFile);
  ~TUnsavedBuffers();
  TUnsavedBuffers(const TUnsavedBuffers&) = delete;  // holds the buffers
  TUnsavedBuffers& operator=(const TUnsavedBuffers&) = delete;

 private:
  std::vector<std::shared_ptr<TEditBuffer>> FBuffers;
};

// Checks a file's text alone with its personality's compiler in check mode (fpc without
// assembling or linking, g++ -fsyntax-only): the text goes into a private folder under the
// file's own name, which goes with the check, and the file's folder is searched for the units
// and headers it uses. Returns what the compiler reported about the file itself, named by
// FileName; nothing for a file that no personality compiles. Cancel stops the compiler.
std::vector<TBuildDiagnostic> CheckFileText(const std::string& FileName, const std::string& Text,
                                            const std::atomic<bool>* Cancel = nullptr);

}  // namespace nxs::lsp
