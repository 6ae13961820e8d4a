// Painting support: the line vector of a view's window and the rendering of one line into
// display text and attribute runs.
#pragma once

#include <cstdint>

#include "editor/kernel/ek.h"

namespace nxs::ek {

class TEkEditor;

bool BeginPaint(TEkEditor& Editor, TPaintContext* Context);
bool GetLineContents(TEkEditor& Editor, int32_t Line, TPaintContext& Context);

}  // namespace nxs::ek
