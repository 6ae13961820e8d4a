// What the language server answers about one document, from the editor's own parsers: the
// folding ranges and the outline of the region parsers, the semantic tokens of the
// highlighters' tokenizers and the linked editing ranges of sync edit. Each returns the
// result's JSON text.
#pragma once

#include <string>
#include <vector>

#include "lsp/lspdocs.h"
#include "lsp/lsppos.h"

namespace nxs {
class TSourceOptionGroups;
}

namespace nxs::lsp {

// The semantic tokens' legend: one token type per tokenizer class, named after its display
// element ("Reserved word" is "reservedWord"); no modifiers.
std::string SemanticTokensLegend();
// The token type of a display element's name, as the legend names it.
std::string TokenTypeName(const char* Element);

// FoldingRange[]: the regions that span more than one line; an empty array for a file no
// region parser reads.
std::string FoldingRanges(TLspDocument& Doc, TPosEncoding Encoding);
// DocumentSymbol[]: the routines, types, namespaces and unit sections of the outline, nested
// as they nest.
std::string DocumentSymbols(TLspDocument& Doc, TPosEncoding Encoding);
// SemanticTokens of the whole text, by the highlighter of the file's source option group,
// with a new resultId; the document remembers the result for a delta.
std::string SemanticTokensFull(TLspDocument& Doc, TSourceOptionGroups& Groups, TPosEncoding Encoding);
// SemanticTokensDelta from the result PreviousId names to the tokens of the text now: one edit
// of the integers between the runs of lines the two results share at their start and at their
// end (none when they are the same). When PreviousId is not the document's last result, the
// whole SemanticTokens, as the protocol allows.
std::string SemanticTokensDelta(TLspDocument& Doc, const std::string& PreviousId, TSourceOptionGroups& Groups,
                                TPosEncoding Encoding);
// The tokens of a text by the named highlighter, for callers without a document.
std::string SemanticTokensOfText(std::string_view Text, const std::string& FileName, TSourceOptionGroups& Groups,
                                 TPosEncoding Encoding);
// LinkedEditingRanges of the identifier at Pos: its occurrences in the innermost routine or
// type around it (the whole text outside any), as sync edit groups them; "null" where there
// is no identifier that occurs twice.
std::string LinkedEditingRanges(TLspDocument& Doc, TLspPos Pos, TPosEncoding Encoding);

// SymbolInformation[] of the routines and types of the files' outlines whose names hold Query
// (ignoring case; every one for an empty query). A file open as a document is read as the
// client has it, the others from disk; a file no region parser reads names nothing.
std::string WorkspaceSymbols(const std::vector<std::string>& Files, const std::string& Query, TLspDocuments& Docs,
                             TPosEncoding Encoding);

// TextEdit[] that gives a project or group file the system's own layout, as saving it writes
// it: one edit of the whole text, none when the text has the layout already or the file is no
// project or group file. Raises the project layer's error for a text it cannot read.
std::string FormatProjectFile(TLspDocument& Doc, TPosEncoding Encoding);

}  // namespace nxs::lsp
