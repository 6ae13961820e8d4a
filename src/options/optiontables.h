// The option sets of the environment with each option's name, type, default and range.
#pragma once

#include <array>
#include <functional>
#include <memory>
#include <string_view>

#include "options/optionset.h"

namespace nxs {

// The highlight elements of "Editor\Highlight", one subkey each, in the dialog's order.
inline constexpr int HighlightElementCount = 17;
extern const std::array<const char*, HighlightElementCount> HighlightElements;

// What the source-option group table needs from its owner.
struct TOptionTableHooks {
  std::function<void(int Group, std::string_view List)> ValidateExtensions;  // raises Exception
  std::function<void()> ExtensionsChanged;
};

struct TBuiltInOptionSets {
  std::unique_ptr<TOptionSet> EditorAttributes, EditorOptions, AutoSave, Debugging, Compiling, Repository,
      CodeInsight, SearchOptions, ReplaceOptions, EditorSourceOptions, StartupOptions, GlobalOptions,
      ProjectManagerOptions, AutoRecoverOptions;
};

TBuiltInOptionSets MakeBuiltInOptionSets(const TOptionTableHooks& Hooks);

}  // namespace nxs
