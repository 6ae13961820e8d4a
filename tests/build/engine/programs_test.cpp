// Finding a tool on PATH as a shell does: what cannot be run is passed over, what was passed
// over is named when nothing runs, and what was found is remembered, but never past the time
// it is gone.
#include "build/engine/programs.h"

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include <gtest/gtest.h>

#include "build/engine/filetimes.h"
#include "build/engine/tasks.h"
#include "support/files.h"
#include "support/run.h"
#include "support/tempdir.h"

namespace nxs::engine {
namespace {

namespace fs = std::filesystem;

// A script at Dir/Name that prints Says, with the given mode.
std::string Script(const std::string& Dir, const std::string& Name, const std::string& Says, mode_t Mode = 0755) {
  fs::create_directories(Dir);
  const std::string Path = Dir + "/" + Name;
  nxs::test::WriteText(Path, "#!/bin/sh\necho " + Says + "\n");
  ::chmod(Path.c_str(), Mode);
  return Path;
}

// What the tool prints when run on PATH.
std::string RunTool(const std::string& Tool, const std::string& Path, std::string* NotStarted = nullptr) {
  TProcessOptions O;
  O.Argv = {Tool};
  O.Environment = {{"PATH", Path}};
  std::string Out;
  O.OnLine = [&](const std::string& Line) { Out += Line; };
  const int Code = RunProcess(O, NotStarted);
  return Code < 0 ? "(not started)" : Out;
}

TEST(ProgramSearch, PassesOverWhatCannotRunAndNamesEachPlaceWhenNothingRuns) {
  nxs::test::TTempDir D;
  Script(D / "plain", "tool", "plain", 0644);  // no execute bit
  fs::create_directories(D / "folder/tool");   // a folder of that name
  Script(D / "good", "tool", "good");
  const std::string Path = D / "missing" + ":" + D / "plain" + ":" + D / "folder" + ":" + D / "good";
  EXPECT_EQ(RunTool("tool", Path), "good");
  EXPECT_EQ(FindProgram("tool", Path).Program, D / "good/tool");

  std::string Why;
  EXPECT_EQ(RunTool("tool", D / "missing" + ":" + D / "plain" + ":" + D / "folder" + ":" + D / "none", &Why),
            "(not started)");
  EXPECT_EQ(Why, D / "plain/tool: Permission denied; " + D / "folder/tool: Is a directory; no \"tool\" in " +
                     D / "missing" + ", " + D / "none");
  // A name with a folder is that file alone.
  EXPECT_EQ(FindProgram(D / "plain/tool", Path).Failure, D / "plain/tool: Permission denied");
  EXPECT_EQ(FindProgram(D / "good/tool", "").Program, D / "good/tool");
}

TEST(ProgramSearch, AFolderThatCannotBeEnteredIsPassedOver) {
  nxs::test::TTempDir D;
  D.OpenToAll();
  Script(D / "locked", "tool", "locked");
  Script(D / "open", "tool", "open");
  ::chmod((D / "open").c_str(), 0755);
  ::chmod((D / "locked").c_str(), 0);  // the unprivileged user may not enter it
  const std::string Path = D / "locked" + ":" + D / "open";
  EXPECT_EQ(nxs::test::RunUnprivileged([&] { return FindProgram("tool", Path).Program; }), D / "open/tool");
  EXPECT_EQ(nxs::test::RunUnprivileged([&] { return FindProgram("tool", D / "locked").Failure; }),
            D / "locked/tool: Permission denied");
}

TEST(ProgramSearch, AScriptWithoutAFirstLineRunsInTheShellAndRelativeNamesFromTheToolsFolder) {
  nxs::test::TTempDir D;
  fs::create_directories(D / "bin");
  nxs::test::WriteText(D / "bin/bare", "echo bare script\n");
  ::chmod((D / "bin/bare").c_str(), 0755);
  EXPECT_EQ(RunTool("bare", D / "bin"), "bare script");

  // A relative name or PATH folder is taken from the folder the tool runs in.
  TProcessOptions O;
  O.Argv = {"bin/bare"};
  O.WorkingDirectory = D.Path();
  std::string Out;
  O.OnLine = [&](const std::string& Line) { Out += Line; };
  EXPECT_EQ(RunProcess(O), 0);
  EXPECT_EQ(Out, "bare script");
  EXPECT_EQ(FindProgram("bare", std::string("bin"), D.Path()).Program, D / "bin/bare");
}

TEST(ProgramSearch, WhatWasFoundIsRememberedUntilItIsGoneOrForgotten) {
  nxs::test::TTempDir D;
  const std::string Path = D / "first" + ":" + D / "second";
  Script(D / "second", "tool", "second");
  EXPECT_EQ(RunTool("tool", Path), "second");
  // One put earlier on PATH is seen once the search is forgotten (a build starting).
  Script(D / "first", "tool", "first");
  EXPECT_EQ(RunTool("tool", Path), "second");
  ForgetPrograms();
  EXPECT_EQ(RunTool("tool", Path), "first");
  // The one remembered gone, or no longer runnable: looked for again.
  fs::remove(D / "first/tool");
  EXPECT_EQ(RunTool("tool", Path), "second");
  Script(D / "first", "tool", "first");
  ForgetPrograms();
  EXPECT_EQ(RunTool("tool", Path), "first");
  ::chmod((D / "first/tool").c_str(), 0644);
  EXPECT_EQ(RunTool("tool", Path), "second");
}

TEST(ProgramSearch, WithinAMakeWhatWasFoundIsNotLookedAtAgainUntilFilesMayHaveChanged) {
  nxs::test::TTempDir D;
  const std::string Path = D / "first" + ":" + D / "second";
  Script(D / "second", "tool", "second");
  ForgetPrograms();
  const TKnownFileTimes Make;
  EXPECT_EQ(FindProgram("tool", Path).Program, D / "second/tool");
  // Gone from outside while nothing of the make may change files: a build tool sees such a
  // change on its next run, and so does the make.
  fs::remove(D / "second/tool");
  EXPECT_EQ(FindProgram("tool", Path).Program, D / "second/tool");
  {
    const TFileChanges ToolRuns;
    EXPECT_NE(FindProgram("tool", Path).Failure, "");
  }
  Script(D / "first", "tool", "first");
  EXPECT_EQ(FindProgram("tool", Path).Program, D / "first/tool");
  fs::remove(D / "first/tool");
  {
    const TFileChanges ToolRuns;
  }
  EXPECT_NE(FindProgram("tool", Path).Failure, "");
}

}  // namespace
}  // namespace nxs::engine
