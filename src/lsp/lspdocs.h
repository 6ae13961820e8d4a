// The documents a language client has open: each is a source module of the module layer,
// opened as any other (the file's module when it is open already), whose edit buffer holds
// the client's text, saved or not. Positions of the protocol are converted here, to the
// kernel's character positions and byte offsets and back.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "editor/kernel/ek.h"
#include "lsp/lsppos.h"

namespace nxs {
class TEditBuffer;
class TEnvironmentOptions;
class TSourceModuleScope;
class TSourceModule;
}  // namespace nxs

namespace nxs::lsp {

// A position of the protocol: line and character from 0, the character in the agreed units.
struct TLspPos {
  int64_t Line = 0;
  int64_t Character = 0;
};

// The file name of a "file:" URI (percent escapes decoded); raises ELspError for another URI.
std::string FileNameOfUri(std::string_view Uri);
// The "file:" URI of a file name, every byte but the unreserved ones and "/" escaped.
std::string UriOfFileName(std::string_view FileName);

// What a document keeps of the semantic tokens it gave last, for a delta against them: the
// result's id and, instead of the integers themselves, the lines with tokens grouped into
// runs, each with its count of integers and a hash of them. A run ends at a line whose hash
// says so (about one in eight) or after 32 lines; the runs are made once from the start and
// once from the end, so that the runs before a change match from the start and those after
// it from the end, wherever the change moved them.
struct TTokenRuns {
  uint64_t ResultId = 0;  // 0: no result given
  std::vector<uint64_t> Hashes, BackHashes;  // BackHashes: the runs from the end, the last first
  std::vector<uint32_t> Counts, BackCounts;
};

class TLspDocument {
 public:
  TLspDocument(std::string Uri, std::string FileName, TSourceModule& Module, bool OpenedHere);
  TLspDocument(const TLspDocument&) = delete;  // holds the module's view
  TLspDocument& operator=(const TLspDocument&) = delete;

  const std::string& Uri() const { return FUri; }
  const std::string& FileName() const { return FFileName; }
  int64_t Version = 0;
  uint64_t Changes = 0;  // the client's changes since the document opened
  TSourceModule& Module() { return FModule; }
  TEditBuffer& Buffer();
  PEkView View() { return FView; }
  bool OpenedHere() const { return FOpenedHere; }

  int32_t LineCount();
  // A line's text without its break, lines from 1; empty past the end.
  std::string LineText(int32_t Line);
  // The whole text, every line break as "\n".
  std::string Text();

  // The kernel's position of a protocol position: a line past the last reads as the end of
  // the text, a character past the line's end as the line's end.
  TCharPos ToCharPos(TLspPos Pos, TPosEncoding Encoding);
  TLspPos FromCharPos(TCharPos Pos, TPosEncoding Encoding);

  // Replaces the text from Start to End (protocol positions) with Text, as one undoable
  // change; the whole text when Whole is set.
  void Replace(TLspPos Start, TLspPos End, std::string_view Text, TPosEncoding Encoding);
  void ReplaceAll(std::string_view Text);
  // Gives a document opened here the client's text as the text its buffer loaded: one block
  // of the text's own size, no undo of it and no line marked as changed; the buffer is
  // modified where the text is not the file's.
  void Load(std::string_view Text);

  TTokenRuns Tokens;

 private:
  std::string FUri;
  std::string FFileName;
  TSourceModule& FModule;
  PEkView FView;
  bool FOpenedHere;
};

class TLspDocuments {
 public:
  // Starts the module layer with the environment's options, as an editing session does.
  TLspDocuments();
  ~TLspDocuments();
  TLspDocuments(const TLspDocuments&) = delete;  // owns the module layer for the session
  TLspDocuments& operator=(const TLspDocuments&) = delete;

  // Opens the document (the file's module, loaded from disk or empty for a new file) and
  // gives it the client's text; a document open already takes the text and version.
  TLspDocument& Open(const std::string& Uri, std::string_view Text, int64_t Version);
  // The open document of Uri; raises ELspError (invalid parameters) when it is not open.
  TLspDocument& Get(const std::string& Uri);
  // Closes the document; a module opened for it closes without saving (the client keeps its
  // text), one that was open before stays open.
  void Close(const std::string& Uri);
  TEnvironmentOptions& Options();
  const std::map<std::string, std::unique_ptr<TLspDocument>>& All() const { return FDocuments; }

 private:
  std::unique_ptr<TSourceModuleScope> FScope;
  std::map<std::string, std::unique_ptr<TLspDocument>> FDocuments;
};

}  // namespace nxs::lsp
