// The keymaps compiled at build time from data/keymaps: one resource per keymap, named after its
// source file in upper case ("INTERNAL", "CLASSIC", ...).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace nxs {

struct TKeymapResource {
  const char* Name;
  const unsigned char* Data;
  size_t Size;
};
const std::vector<TKeymapResource>& KeymapResources();

}  // namespace nxs
