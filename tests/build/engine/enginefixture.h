// What the engine tests share: a scratch directory for project files, an engine, and a
// logger that records what a build reports.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <mutex>
#include <string>
#include <vector>

#include "build/engine/engine.h"
#include "support/files.h"
#include "support/tempdir.h"

namespace nxs::engine::test {

class TRecorder : public ILogger {
 public:
  void Event(const TBuildEvent& E) override {
    std::lock_guard<std::mutex> L(FLock);
    Events.push_back(E);
  }
  // The texts of the events of one kind, joined by "|".
  std::string Texts(TEventKind Kind) const {
    std::string R;
    for (const auto& E : Events)
      if (E.Kind == Kind) R += (R.empty() ? "" : "|") + E.Text;
    return R;
  }
  std::string Messages() const { return Texts(ekMessage); }
  std::string Errors() const { return Texts(ekError); }
  std::string Warnings() const { return Texts(ekWarning); }
  const TBuildEvent* First(TEventKind Kind) const {
    for (const auto& E : Events)
      if (E.Kind == Kind) return &E;
    return nullptr;
  }
  std::vector<TBuildEvent> Events;

 private:
  std::mutex FLock;
};

class EngineTest : public ::testing::Test {
 protected:
  EngineTest() {
    Request.Logger = &Log;
    Request.Verbosity = vbDetailed;
  }

  // Writes a file below the scratch directory (making its directories); returns its path.
  std::string Write(const std::string& Name, const std::string& Text) {
    std::string Full = Dir / Name;
    std::filesystem::create_directories(std::filesystem::path(Full).parent_path());
    nxs::test::WriteText(Full, Text);
    return Full;
  }
  std::string Project(const std::string& Name, const std::string& Body) {
    return Write(Name, "<Project>\n" + Body + "\n</Project>\n");
  }
  std::shared_ptr<TEvaluatedProject> Eval(const std::string& Body) {
    return Engine.Evaluate(Project("p.proj", Body), Request);
  }
  std::string Prop(const std::string& Body, const std::string& Name) { return Eval(Body)->GetPropertyValue(Name); }
  // Builds a project made of Body; the messages it logged are in Log.
  bool Build(const std::string& Body, const std::string& Targets = {}) {
    return Engine.Build(Project("p.proj", Body), Targets, Request);
  }

  nxs::test::TTempDir Dir;
  TEngine Engine;
  TRecorder Log;
  TBuildRequest Request;
};

// The item specs of a list, joined by ";".
inline std::string Specs(const std::vector<TTaskItem>& Items) {
  std::string R;
  for (const auto& I : Items) R += (R.empty() ? "" : ";") + I.ItemSpec;
  return R;
}

}  // namespace nxs::engine::test
