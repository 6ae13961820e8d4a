// Test support for the build host: a fixture with its own settings, a fresh host, monitor and
// message view, and builders whose steps a test controls.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <string>
#include <vector>

#include "build/buildhost.h"
#include "support/tempdir.h"

namespace nxs::test {

class BuildHostTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;
  // Sets a boolean environment option of the "Compiling" set.
  void SetCompiling(const char* Name, bool Value);
  // The lines of a message group, children indented by two blanks per level.
  static std::vector<std::string> GroupLines(const std::string& Group);

  TTempDir Dir;
};

// Runs Fn on a thread of its own while the main thread serves what it hands over.
void RunOffMainThread(const std::function<void()>& Fn);

// A builder whose DoBuild runs a function the test gives.
class TScriptedBuilder : public TBuilder {
 public:
  explicit TScriptedBuilder(std::function<TCompileResult()> Body) : FBody(std::move(Body)) {}
  bool DoBuild() override {
    FResult = FBody();
    return FResult != crFailed;
  }
  bool PreBuild() override { return PreBuildResult; }
  bool PreBuildResult = true;

 private:
  std::function<TCompileResult()> FBody;
};

}  // namespace nxs::test
