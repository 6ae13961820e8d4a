// Tracked positions: slots, growth, and the reports after the kernel moved entries.
#include "editor/edtracker.h"

#include <gtest/gtest.h>

#include "editor/edkrnl.h"
#include "editor/editbuffer.h"
#include "fakekernel.h"

namespace nxs {
namespace {

class Tracker : public ::testing::Test {
 protected:
  void SetUp() override {
    K.Start();
    Buffer = TEditBuffer::Create("/nonexistent/tracked.txt", false);
  }
  void TearDown() override {
    Buffer.reset();
    K.Stop();
  }
  // Moves entry I as the kernel would, then runs the script end that reports it.
  void KernelMoves(TEdTracker& T, int I, TCharPos To) {
    auto* E = reinterpret_cast<TEdTrackEntry*>(static_cast<uint8_t*>(K.TrackTable) + 2);
    E[I].Pos = To;
    K.TrackProc(K.TrackContext, K.TrackTable);
    TEkScript S;
    S.End();
    EvalScript(Buffer->EkView(), S);  // reports run when the outermost script returns
  }
  test::TFakeKernel& K = test::TFakeKernel::Get();
  std::shared_ptr<TEditBuffer> Buffer;
};

TEST_F(Tracker, ReportsMovesLastEntryFirstAndFreesDeletedLines) {
  TEdTracker T(Buffer.get());
  EXPECT_EQ(T.Add(10, 2, 100), 0);
  EXPECT_EQ(T.Add(20, 0, 200), 1);
  T.Attach();
  std::vector<std::string> Log;
  T.FOnLineMoved = [&](int32_t Old, int32_t New, uint32_t Data) {
    Log.push_back("line " + std::to_string(Old) + "->" + std::to_string(New) + " " + std::to_string(Data));
  };
  T.FOnPosMoved = [&](TCharPos Old, TCharPos New, uint32_t Data) {
    Log.push_back("pos " + std::to_string(Old.Index) + "->" + std::to_string(New.Index) + " " + std::to_string(Data));
  };
  auto* E = reinterpret_cast<TEdTrackEntry*>(static_cast<uint8_t*>(K.TrackTable) + 2);
  E[0].Pos = TCharPos{5, 10};  // same line, moved left
  KernelMoves(T, 1, TCharPos{0, 0});  // its line was deleted
  EXPECT_EQ(Log, (std::vector<std::string>{"line 20->-1 200", "pos 0->0 200", "pos 2->5 100"}));
  EXPECT_FALSE(T.InUse(1));
  EXPECT_EQ(T.GetTrackPos(0).Index, 5);
  // The freed slot is reused.
  EXPECT_EQ(T.Add(3, 0, 300), 1);
  EXPECT_EQ(T.IndexOfData(300), 1);
  EXPECT_EQ(T.IndexOf(TCharPos{5, 10}), 0);
}

TEST_F(Tracker, GrowsInStepsAndStopsAtTheLimit) {
  TEdTracker T(Buffer.get());
  T.Attach();
  for (int I = 0; I < 9; ++I) T.Add(I + 1, 0, static_cast<uint32_t>(I));
  EXPECT_EQ(T.Capacity(), 12);  // 4, 8, 12
  for (int I = 9; I < 70; ++I) T.Add(I + 1, 0, static_cast<uint32_t>(I));
  EXPECT_EQ(T.Capacity(), 76);  // ... 60, 76 (+16 below 65), then a quarter more
  EXPECT_EQ(T.GetData(69), 69u);
  // The table moved while growing: the kernel was handed the new one.
  EXPECT_NE(K.TrackTable, nullptr);
}

}  // namespace
}  // namespace nxs
