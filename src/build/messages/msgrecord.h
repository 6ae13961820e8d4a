// A compiler message written as one line of text, "KIND FILE LINE COL TEXT", as a script or a
// tool that is no compiler hands it over, and the message line it makes.
#pragma once

#include <memory>
#include <string_view>

#include "build/messages/msglines.h"

namespace nxs {

// KIND (hint, warning, error, fatal or info), FILE (expanded against the current directory),
// LINE and COL (whole numbers from 0; 0 places the message nowhere), each after any number of
// blanks, then the text: everything after the blank that ends COL, blanks kept. Raises
// Exception naming what is wrong.
std::unique_ptr<TCompilerMsgLine> ParseMessageRecord(std::string_view Record);

}  // namespace nxs
