// Fuzzes the build engine's evaluation: any project text either evaluates or raises the
// engine's error; reading every property and item of what evaluated must not fail.
// Wildcards are left out (a pattern from the root would list the whole disk), and so are
// names under /proc and /sys, whose files may block a reader.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "build/engine/engine.h"
#include "shared/exceptions.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  std::string Input(reinterpret_cast<const char*>(Data), Size);
  if (Input.find('*') != std::string::npos || Input.find("proc") != std::string::npos ||
      Input.find("sys") != std::string::npos)
    return 0;
  static nxs::engine::TEngine Engine;
  nxs::engine::TBuildRequest Request;
  Request.ProjectText = Input;
  Request.UseProjectText = true;
  Request.GlobalProperties["Config"] = "Debug";
  try {
    auto P = Engine.Evaluate("/nonexistent-fuzz-dir/p.proj", Request);
    for (const auto& Name : {"Config", "OutputDir", "A", "B"}) (void)P->GetPropertyValue(Name);
    for (const auto& Type : {"Compile", "A", "B"})
      for (const auto& I : P->GetItems(Type)) (void)I.GetMetadata("FullPath");
  } catch (const nxs::Exception&) {
  }
  return 0;
}
