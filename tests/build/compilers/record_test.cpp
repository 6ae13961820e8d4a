// The record a compile leaves beside its intermediate files: a make trusts it only while every
// file in it has the time it recorded, and it is never written for a compile that an input
// changed under. Also the deps ninja reports, read back.
#include "build/compilers/record.h"

#include <chrono>
#include <filesystem>
#include <set>

#include <gtest/gtest.h>

#include "build/compilers/ninjadeps.h"
#include "support/files.h"
#include "support/tempdir.h"

namespace nxs::compilers {
namespace {

namespace fs = std::filesystem;

// Sets a file's time, seconds from now.
void SetTime(const std::string& File, int Seconds) {
  fs::last_write_time(File, fs::file_time_type::clock::now() + std::chrono::seconds(Seconds));
}

// An object made from a source and a header, inputs older than what was made from them.
struct TRecordFiles {
  test::TTempDir Dir;
  std::string Source = Dir / "a.cpp", Header = Dir / "a.h", Object = Dir / "a.o", Ninja = Dir / "build.ninja";
  TBuildRecord Record{Dir / "build.record"};

  TRecordFiles() {
    for (const auto& F : {Source, Header, Object, Ninja}) test::WriteText(F, F);
    SetTime(Source, -30);
    SetTime(Header, -20);
    SetTime(Object, -10);
  }
  bool Write() const { return Record.Write({{Object, {Source, Header}}}, {Ninja}); }
};

TEST(BuildRecord, AnInputNewerThanWhatWasMadeFromItOrAMissingFileLeavesNoRecord) {
  TRecordFiles F;
  ASSERT_TRUE(F.Write());
  EXPECT_TRUE(F.Record.UpToDate());
  // A file put back from an older copy is as changed as one written again.
  SetTime(F.Source, -40);
  EXPECT_FALSE(F.Record.UpToDate());
  // The header changed while the compile ran, after the compiler had read it: what was
  // recorded before is forgotten too.
  SetTime(F.Header, 0);
  EXPECT_FALSE(F.Write());
  EXPECT_FALSE(fs::exists(F.Record.FileName()));
  SetTime(F.Header, -20);
  fs::remove(F.Ninja);
  EXPECT_FALSE(F.Write());
}

TEST(BuildRecord, ACutOrForeignRecordIsNeverUpToDate) {
  TRecordFiles F;
  ASSERT_TRUE(F.Write());
  const std::string Text = test::ReadText(F.Record.FileName());
  const size_t Tab = Text.rfind('\t');
  // Cut short in the last line, without its first line, a time that is no number, no files.
  for (const std::string& Bad : {Text.substr(0, Text.size() - 3), Text.substr(Text.find('\n') + 1),
                                 Text.substr(0, Text.rfind('\n', Tab) + 1) + "soon" + Text.substr(Tab),
                                 Text.substr(0, Text.find('\n') + 1)}) {
    test::WriteText(F.Record.FileName(), Bad);
    EXPECT_FALSE(F.Record.UpToDate()) << Bad;
  }
  test::WriteText(F.Record.FileName(), Text);
  EXPECT_TRUE(F.Record.UpToDate());
}

TEST(BuildRecord, AFileReplacedWithItsTimeKeptIsNamedAndNeverUpToDate) {
  TRecordFiles F;
  ASSERT_TRUE(F.Write());
  EXPECT_TRUE(F.Record.ReplacedFiles().empty());
  // Another text of the same size renamed over the header, with the header's time.
  const std::string Other = F.Dir / "other.h";
  test::WriteText(Other, std::string(F.Header.size(), 'x'));
  fs::last_write_time(Other, fs::last_write_time(F.Header));
  fs::rename(Other, F.Header);
  EXPECT_FALSE(F.Record.UpToDate());
  EXPECT_EQ(F.Record.ReplacedFiles(), std::set<std::string>{F.Header});
  // A file whose time moved is no replacement: a tool sees that change itself.
  SetTime(F.Source, -35);
  EXPECT_EQ(F.Record.ReplacedFiles(), std::set<std::string>{F.Header});
}

TEST(NinjaDeps, EachObjectWithWhatItsCompileReadOnlyWhenEveryObjectIsKnownAndValid) {
  const std::vector<std::string> Lines{"/p/obj/a b.o: #deps 2, deps mtime 1700000000123456789 (VALID)",
                                      "    /p/a b.cpp",
                                      "    ../include/x.h",
                                      "",
                                      "obj/c.o: #deps 1, deps mtime 1700000000123456789 (VALID)",
                                      "    /p/c.cpp",
                                      ""};
  auto Deps = ParseNinjaDeps(Lines, "/p/obj", {"/p/obj/a b.o", "obj/c.o"});
  ASSERT_TRUE(Deps);
  EXPECT_EQ((*Deps)["/p/obj/a b.o"], (std::vector<std::string>{"/p/a b.cpp", "/p/obj/../include/x.h"}));
  EXPECT_EQ((*Deps)["/p/obj/obj/c.o"], (std::vector<std::string>{"/p/c.cpp"}));

  // An object ninja has no deps for, or deps for another state of it, or one left out.
  EXPECT_FALSE(ParseNinjaDeps({"/p/a.o: deps not found"}, "/p", {"/p/a.o"}));
  EXPECT_FALSE(ParseNinjaDeps({"/p/a.o: #deps 1, deps mtime 1 (STALE)", "    /p/a.cpp"}, "/p", {"/p/a.o"}));
  EXPECT_FALSE(ParseNinjaDeps(Lines, "/p/obj", {"/p/obj/a b.o", "/p/obj/d.o"}));
  // A line of a form not known.
  EXPECT_FALSE(ParseNinjaDeps({"    /p/a.cpp"}, "/p", {}));
}

}  // namespace
}  // namespace nxs::compilers
