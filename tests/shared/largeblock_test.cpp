#include "shared/largeblock.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

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

TEST(LargeBlock, LargeHeapBuffersStartOnAGranuleAndTakeFreeAndRealloc) {
  char* Small = static_cast<char*>(AllocateLarge(100));
  std::memset(Small, 's', 100);
  std::free(Small);
  const size_t Size = 5 * TLargeBlock::Granule + 7;
  char* Big = static_cast<char*>(AllocateLarge(Size));
  EXPECT_EQ(reinterpret_cast<uintptr_t>(Big) % TLargeBlock::Granule, 0u);
  std::memset(Big, 'b', Size);
  // Shrinking keeps the bytes, as a file that came out shorter than its room does.
  Big = static_cast<char*>(std::realloc(Big, Size / 2));
  ASSERT_NE(Big, nullptr);
  EXPECT_EQ(Big[0], 'b');
  EXPECT_EQ(Big[Size / 2 - 1], 'b');
  std::free(Big);
}

TEST(LargeBlock, AVectorOnHugePagesGrowsAcrossTheThresholdAndItsNewElementsAreZero) {
  using TList = std::vector<uint32_t, THugePageAllocator<uint32_t>>;
  const size_t Many = THugePageAllocator<uint32_t>::LargeFrom / sizeof(uint32_t) * 3 / 2;
  TList Numbers;
  for (uint32_t I = 0; I < Many; ++I) Numbers.push_back(I);
  EXPECT_EQ(reinterpret_cast<uintptr_t>(Numbers.data()) % TLargeBlock::Granule, 0u);
  for (uint32_t I = 0; I < Many; I += 4099) ASSERT_EQ(Numbers[I], I);
  EXPECT_EQ(Numbers.back(), Many - 1);
  Numbers.shrink_to_fit();
  EXPECT_EQ(Numbers[Many / 2], Many / 2);

  // Made without a value, in fresh memory of either size: zero.
  for (size_t N : {size_t{1000}, Many}) {
    TList Zeros(N);
    EXPECT_EQ(std::count(Zeros.begin(), Zeros.end(), 0u), static_cast<std::ptrdiff_t>(N));
    Zeros.resize(N + 5000);
    EXPECT_EQ(Zeros[N + 4999], 0u);
    Zeros.insert(Zeros.begin() + 10, 3, 7u);
    EXPECT_EQ(Zeros[11], 7u);
  }
}
