#include "modules/openhandlers.h"

#include <gtest/gtest.h>

#include "modules/moduletest.h"

using namespace nxs;
using namespace nxs::test;

namespace {

// Opens nothing; records that it was asked and chosen.
class TRecordingHandler : public TFileOpenHandler {
 public:
  TRecordingHandler(std::string Name, std::string& Log, bool Accepts, bool Prefilter = false,
                    std::vector<TFilterItem> Filters = {})
      : FName(std::move(Name)), FLog(Log), FAccepts(Accepts), FPrefilter(Prefilter), FFilters(std::move(Filters)) {}
  bool CanOpen(int FilterID, const std::string&) override {
    FLog += FName + "?" + std::to_string(FilterID) + " ";
    return FAccepts;
  }
  void GetFilters(std::vector<TFilterItem>& List, bool) override {
    for (auto F : FFilters) {
      F.Handler = this;
      List.push_back(F);
    }
  }
  bool IsPrefilter() const override { return FPrefilter; }

 protected:
  TDocModule* DoFileOpen(int FilterID, const std::string&, bool, TDocModule*) override {
    FLog += FName + "!" + std::to_string(FilterID) + " ";
    return nullptr;
  }

 private:
  std::string FName;
  std::string& FLog;
  bool FAccepts, FPrefilter;
  std::vector<TFilterItem> FFilters;
};

class OpenHandlers : public ModuleTest {
 protected:
  void TearDown() override {
    for (auto* H : Registered) UnregisterOpenHandler(H);
    ModuleTest::TearDown();
  }
  void Register(TFileOpenHandler& H) {
    RegisterOpenHandler(&H);
    Registered.push_back(&H);
  }
  std::vector<TFileOpenHandler*> Registered;
  std::string Log;
};

}  // namespace

TEST_F(OpenHandlers, PrefiltersThenThePickedFilterThenTheLastRegisteredThenTheDefault) {
  TRecordingHandler First("first", Log, true), Second("second", Log, false), Pre("pre", Log, false, true),
      Picked("picked", Log, true, false, {{"Forms (*.xfm)|*.xfm", nullptr, 7, false}});
  Register(First);
  Register(Picked);
  Register(Second);
  Register(Pre);
  Register(Pre);  // a duplicate is ignored
  EXPECT_EQ(nxs::OpenHandlers().size(), 4u);

  auto List = GetOpenFilterList(false);
  List->OpenFile("/x/a.xfm", false, nullptr, -1);
  EXPECT_EQ(Log, "pre?-1 second?-1 picked?-1 picked!-1 ");
  Log.clear();
  // Entry 1 is the handler's filter (no combined entry: nothing is in all filters).
  List->OpenFile("/x/a.xfm", false, nullptr, 1);
  EXPECT_EQ(Log, "pre?-1 picked?7 picked!7 ");

  // Nobody can: the default handler opens it without being asked.
  UnregisterOpenHandler(&First);
  UnregisterOpenHandler(&Picked);
  Log.clear();
  TRecordingHandler Default("default", Log, false);
  SetDefaultFileHandler(&Default);
  GetOpenFilterList(false)->OpenFile("/x/a.txt", false, nullptr, -1);
  EXPECT_EQ(Log, "pre?-1 second?-1 default!-1 ");
  SetDefaultFileHandler(nullptr);
}

TEST_F(OpenHandlers, DialogFilterStringHasTheCombinedEntryOnlyWhenAnItemIsInIt) {
  TFilterList Plain;
  Plain.Add({"Text (*.txt)|*.txt", nullptr, 0, false});
  EXPECT_EQ(Plain.GetFilterString(), "Text (*.txt)|*.txt|Any file (*.*)|*.*");

  TFilterList L;
  L.Add({"Pascal (*.pas;*.inc)|*.pas;*.inc", nullptr, 0, true});
  L.Add({"Include (*.inc)|*.inc", nullptr, 0, true});
  L.Add({"Text (*.txt)|*.txt", nullptr, 0, false});
  EXPECT_EQ(L.GetFilterString(),
            "Orvanti NXS File (*.pas;*.inc)|*.pas;*.inc|Pascal (*.pas;*.inc)|*.pas;*.inc|Include (*.inc)|*.inc|"
            "Text (*.txt)|*.txt|Any file (*.*)|*.*");
  EXPECT_EQ(L.GetFilterIndex("/a/b.inc"), 1);
  EXPECT_EQ(L.GetFilterIndex("/a/b.txt"), 4);
  EXPECT_EQ(L.GetFilterIndex("/a/b.xyz"), 0);
}

TEST_F(OpenHandlers, AVetoOfOpeningOpensNothing) {
  struct TVeto : IFileNotifier {
    void FileNotification(TFileNotification Op, const std::string&, bool& Cancel) override {
      if (Op == TFileNotification::fnFileOpening) Cancel = true;
    }
  };
  const int I = AddFileNotifier(std::make_shared<TVeto>());
  WriteText(Dir / "a.txt", "a\n");
  EXPECT_THROW(OpenFile(Dir / "a.txt", false, true), EAbort);
  RemoveFileNotifier(I);
  EXPECT_EQ(ModuleList().Count(), 0);
  // A missing file opens only when allowed.
  EXPECT_EQ(OpenFile(Dir / "missing.txt", false, true), nullptr);
  TDocModule* New = OpenFile(Dir / "missing.txt", true, true);
  ASSERT_NE(New, nullptr);
  EXPECT_FALSE(New->CanAddClosedFile());
}
