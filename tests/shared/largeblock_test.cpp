#include "shared/largeblock.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <utility>

using namespace nxs;

TEST(LargeBlock, SizeIsRoundedToTheGranuleAndTheMemoryIsAlignedZeroAndMoves) {
  TLargeBlock Block(TLargeBlock::Granule + 1);
  ASSERT_NE(Block.Data(), nullptr);
  EXPECT_EQ(Block.Size(), 2 * TLargeBlock::Granule);
  EXPECT_EQ(reinterpret_cast<uintptr_t>(Block.Data()) % TLargeBlock::Granule, 0u);
  EXPECT_EQ(Block.Data()[0], 0);
  EXPECT_EQ(Block.Data()[Block.Size() - 1], 0);
  std::memset(Block.Data(), 'x', Block.Size());

  char* Data = Block.Data();
  TLargeBlock Moved(std::move(Block));
  EXPECT_EQ(Moved.Data(), Data);
  EXPECT_EQ(Block.Data(), nullptr);
  EXPECT_EQ(Block.Size(), 0u);
  Block = std::move(Moved);
  EXPECT_EQ(Block.Data(), Data);
  EXPECT_EQ(Block.Data()[Block.Size() - 1], 'x');

  // The pages past the offset go back and read as zero; the page holding it stays.
  Block.ReleaseFrom(TLargeBlock::Granule + 1);
  EXPECT_EQ(Block.Data()[TLargeBlock::Granule + 1], 'x');
  EXPECT_EQ(Block.Data()[Block.Size() - 1], 0);
  EXPECT_EQ(Block.Data()[TLargeBlock::Granule + 65536], 0);
  Block.ReleaseFrom(Block.Size());

  TLargeBlock Empty(0);
  EXPECT_EQ(Empty.Data(), nullptr);
  EXPECT_EQ(Empty.Size(), 0u);
}

TEST(LargeBlock, AdvisingHeapMemoryKeepsItsContent) {
  std::string Buffer(5 * TLargeBlock::Granule + 123, 'y');
  AdviseHugePages(Buffer.data(), Buffer.size());
  AdviseHugePages(Buffer.data() + 1, 10);  // no whole granule inside
  EXPECT_EQ(Buffer.find_first_not_of('y'), std::string::npos);
}
