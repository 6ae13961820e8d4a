// The record a compile leaves beside its intermediate files: a make trusts it only while every
// file in it has the time it recorded, and it is never written for a compile that an input
// changed under. Also the deps ninja reports, read back.
#include "build/compilers/record.h"

#include <sys/stat.h>

#include <chrono>
#include <filesystem>

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

struct TRecordFiles {
  test::TTempDir Dir;
  std::string Source = Dir / "a.cpp", Header = Dir / "a.h", Object = Dir / "a.o", Output = Dir / "liba.a",
              Ninja = Dir / "build.ninja";
  TBuildRecord Record{Dir / "build.record"};

  TRecordFiles() {
    for (const auto& F : {Source, Header, Object, Output, Ninja}) test::WriteText(F, F);
    Reset();
  }
  // Inputs older than what was made from them.
  void Reset() const {
    SetTime(Source, -30);
    SetTime(Header, -20);
    SetTime(Object, -10);
    SetTime(Output, -5);
    SetTime(Ninja, -5);
  }
  bool Write() const { return Record.Write({{Object, {Source, Header}}, {Output, {Object}}}, {Ninja}); }
};

TEST(BuildRecord, HoldsWhileEveryFileKeepsItsTime) {
  TRecordFiles F;
  EXPECT_FALSE(F.Record.UpToDate());  // none yet
  ASSERT_TRUE(F.Write());
  EXPECT_TRUE(F.Record.UpToDate());
  // Any file of it, input, output or the extra one, with another time, earlier as much as
  // later (a file put back from a copy): not up to date.
  for (const std::string* File : {&F.Source, &F.Header, &F.Object, &F.Output, &F.Ninja})
    for (int Seconds : {-1, -40}) {
      F.Reset();
      ASSERT_TRUE(F.Write());
      SetTime(*File, Seconds);
      EXPECT_FALSE(F.Record.UpToDate()) << *File << " " << Seconds;
    }
  F.Reset();
  ASSERT_TRUE(F.Write());
  fs::remove(F.Output);
  EXPECT_FALSE(F.Record.UpToDate());
}

TEST(BuildRecord, IsNotWrittenWhenAnInputIsNewerThanWhatWasMadeFromItOrMissing) {
  TRecordFiles F;
  ASSERT_TRUE(F.Write());
  // The header changed while the compile ran, after the compiler had read it.
  SetTime(F.Header, 0);
  EXPECT_FALSE(F.Write());
  EXPECT_FALSE(F.Record.UpToDate());
  EXPECT_FALSE(fs::exists(F.Record.FileName()));
  // A file of the list that is not there.
  F.Reset();
  fs::remove(F.Source);
  EXPECT_FALSE(F.Write());
  test::WriteText(F.Source, "back");
  F.Reset();
  fs::remove(F.Ninja);
  EXPECT_FALSE(F.Write());
}

TEST(BuildRecord, ForgottenCutAndForeignRecordsAreNeverUpToDate) {
  TRecordFiles F;
  ASSERT_TRUE(F.Write());
  F.Record.Forget();
  EXPECT_FALSE(F.Record.UpToDate());
  ASSERT_TRUE(F.Write());
  const std::string Text = test::ReadText(F.Record.FileName());
  // Cut short in the last line, without a header, with a time that is no number, empty.
  test::WriteText(F.Record.FileName(), Text.substr(0, Text.size() - 3));
  EXPECT_FALSE(F.Record.UpToDate());
  test::WriteText(F.Record.FileName(), Text.substr(Text.find('\n') + 1));
  EXPECT_FALSE(F.Record.UpToDate());
  const size_t Tab = Text.rfind('\t');
  test::WriteText(F.Record.FileName(), Text.substr(0, Text.rfind('\n', Tab) + 1) + "soon" + Text.substr(Tab));
  EXPECT_FALSE(F.Record.UpToDate());
  test::WriteText(F.Record.FileName(), Text.substr(0, Text.find('\n') + 1));
  EXPECT_FALSE(F.Record.UpToDate());
  test::WriteText(F.Record.FileName(), Text);
  EXPECT_TRUE(F.Record.UpToDate());
}

TEST(BuildRecord, ANameThatCannotBeOneLineIsNotRecorded) {
  TRecordFiles F;
  const std::string Odd = F.Dir / "two\nlines.h";
  test::WriteText(Odd, "");
  SetTime(Odd, -20);
  EXPECT_FALSE(F.Record.Write({{F.Object, {F.Source, Odd}}}, {}));
  EXPECT_FALSE(fs::exists(F.Record.FileName()));
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
