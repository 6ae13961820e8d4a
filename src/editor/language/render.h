// Highlighted text for the command line: the tokens of every line, the text coloured for a
// terminal, or a standalone page, with the colours of the display elements.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "editor/buffers/attributes.h"
#include "editor/language/highlight.h"

namespace nxs {

class TSourceOptionGroups;

enum class TRenderFormat { Tokens, Ansi, Html };

// The highlighter of the file's source option group; nullptr when the group names one that is
// not registered.
THighlighter* HighlighterForFile(TSourceOptionGroups& Groups, const std::string& FileName);
// The highlighter whose name, identifier or identifier's last part ("Pascal" of
// "Tarvos.Highlighter.Pascal") is Name, ignoring case; nullptr when none.
THighlighter* FindHighlighter(std::string_view Name);

// One line per token: "LINE COL LENGTH CLASS", columns and lengths in characters from 1, the
// class by its display element's name.
std::string TokenLines(int Line, std::string_view Text, const std::vector<TToken>& Tokens);

// The "LINE COL LENGTH CLASS" lines of one line, its start class worked out from the lines
// before it (LineText gives lines from 1).
std::string TokensOfLine(THighlighter& Highlighter, int Line, const std::function<std::string(int)>& LineText);

// The whole text tokenized from the top, line by line ("\r\n", "\n" and a lone "\r" end
// lines, as in the editor).
std::string RenderHighlighted(THighlighter& Highlighter, std::string_view Text, TRenderFormat Format,
                              const TAttributeArray& Colors, const std::string& Title);

}  // namespace nxs
