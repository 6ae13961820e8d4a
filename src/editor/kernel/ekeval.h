// The script evaluator's entries: a whole script on one view, and the folding commands.
#pragma once

#include <cstdint>

namespace nxs::ek {

class TEkEditor;

// Runs a script; returns 0 or the eResult of the command that stopped it.
uint16_t Evaluate(TEkEditor& Editor, uint8_t* Script, uint32_t Length);
// The folding commands 7A-7D on the argument record at Args.
uint8_t ExecuteElision(TEkEditor& Editor, uint8_t Op, const uint8_t* Args);

}  // namespace nxs::ek
