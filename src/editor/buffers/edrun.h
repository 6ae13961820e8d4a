// Editor commands as a script or a host names them: a command of the command map run by its
// name with its argument text, typed text with its escapes, and the words of a search request.
// Every wrong word raises EEditorError with the message a user reads.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "editor/kernel/ek.h"
#include "shared/searchflags.h"

namespace nxs {

// What a command run by name gives back: a query's answer; the other commands answer nothing.
struct TNamedCommandResult {
  bool IsQuery = false;
  bool Answer = false;
};

// Runs the command map's command Name (case ignored) on View. UnDo and ReDo take no argument;
// the bookmark commands (SetMark, MoveToMark) take the bookmark, 0 to 9; the others take
// nothing but blanks. Each runs as one macro step under its class's undo group. A query
// answers; for any other command a kernel status other than success is an error, except
// "not found", which only a bookmark that is not set turns into one.
TNamedCommandResult RunNamedCommand(PEkView View, std::string_view Name, std::string_view Args);

// Text to type: "\n" types a line break (a carriage return, as the Enter key gives it), "\t" a
// tab and "\\" a backslash; a backslash at the very end stays as it is; any other escape is
// an error.
std::string UnescapeTypedText(std::string_view Text);

// A search or replace request: the flags, whether the pattern is a BRIEF expression, and the
// delimited parts (the pattern; and the replacement).
struct TSearchRequest {
  TSearchFlags Flags;
  bool Brief = false;
  std::vector<std::string> Parts;
};
// Parses "FLAGS /TEXT/" (Count 1) or "FLAGS /FIND/REPLACEMENT/" (Count 2). FLAGS is "-" or
// letters: c case-sensitive, w whole words, r regular expression, b BRIEF expression, a wrap
// around, u upward; the search runs forward from the cursor unless u says otherwise. The
// character after the blank delimits the parts, and nothing may follow the last one.
TSearchRequest ParseSearchRequest(std::string_view Args, size_t Count);

}  // namespace nxs
