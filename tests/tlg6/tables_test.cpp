#include <gtest/gtest.h>

#include <cstring>

#include "tlg/tlg6/tlg6_format.h"
#include "tlg/tlg6/tlg6_tables.h"

namespace {

TEST(Tlg6Tables, FirstSetBitCountsTrailingZerosPlusOne) {
  BuildTlg6Tables();
  EXPECT_EQ(FirstSetBitTable[0], 0);
  EXPECT_EQ(FirstSetBitTable[1], 1);
  EXPECT_EQ(FirstSetBitTable[2], 2);
  EXPECT_EQ(FirstSetBitTable[3], 1);
  EXPECT_EQ(FirstSetBitTable[4], 3);
  EXPECT_EQ(FirstSetBitTable[16], 5);
  EXPECT_EQ(FirstSetBitTable[2048], 12);
  EXPECT_EQ(FirstSetBitTable[4095], 1);
  for (uint32_t i = 1; i < kFirstSetBitTableSize; ++i) {
    const uint32_t t = FirstSetBitTable[i];
    ASSERT_TRUE(t >= 1 && t <= 12) << i;
    // Bit t - 1 is set and every bit below it is clear.
    ASSERT_EQ(i & ((1u << t) - 1), 1u << (t - 1)) << i;
  }
}

// The ranges of running sums that get each parameter, per countdown.
TEST(Tlg6Tables, RiceParameterRangesFollowTheCounts) {
  BuildTlg6Tables();
  struct Range {
    uint32_t n, k, first, last;
  };
  const Range ranges[] = {
      {0, 0, 0, 2},     {0, 1, 3, 9},      {0, 4, 52, 114},   {0, 7, 446, 893},
      {0, 8, 894, 1023}, {1, 0, 0, 2},     {1, 2, 8, 20},     {1, 6, 191, 382},
      {1, 8, 767, 1023}, {2, 0, 0, 1},     {2, 3, 19, 39},    {2, 5, 79, 164},
      {2, 8, 640, 1023}, {3, 0, 0, 1},     {3, 1, 2, 4},      {3, 4, 32, 64},
      {3, 7, 255, 512},  {3, 8, 513, 1023},
  };
  for (const Range& r : ranges) {
    EXPECT_EQ(RiceParameterTable[r.first][r.n], r.k) << "n=" << r.n << " S=" << r.first;
    EXPECT_EQ(RiceParameterTable[r.last][r.n], r.k) << "n=" << r.n << " S=" << r.last;
    if (r.first > 0) {
      EXPECT_EQ(RiceParameterTable[r.first - 1][r.n], r.k - 1) << "n=" << r.n;
    }
  }
  // Never decreasing along the sums, in every column.
  for (uint32_t n = 0; n < kTlg6RiceCountdowns; ++n) {
    for (int32_t s = 1; s < kTlg6RunningSumLimit; ++s) {
      ASSERT_GE(RiceParameterTable[s][n], RiceParameterTable[s - 1][n]);
    }
  }
}

TEST(Tlg6Tables, RebuildingGivesTheSameContents) {
  BuildTlg6Tables();
  uint8_t rice[sizeof RiceParameterTable];
  std::memcpy(rice, RiceParameterTable, sizeof rice);
  RiceParameterTable[500][2] = 0xEE;
  FirstSetBitTable[8] = 0xEE;
  BuildTlg6Tables();
  EXPECT_EQ(0, std::memcmp(rice, RiceParameterTable, sizeof rice));
  EXPECT_EQ(FirstSetBitTable[8], 4);
}

TEST(Tlg6Format, FilterDictionaryPattern) {
  uint8_t dictionary[kTlg6DictionarySize];
  std::memset(dictionary, 0xCC, sizeof dictionary);
  FillTlg6FilterDictionary(dictionary);
  const uint8_t start[24] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                             1, 1, 1, 1, 0, 0, 0, 0, 2, 2, 2, 2};
  EXPECT_EQ(0, std::memcmp(dictionary, start, sizeof start));
  const uint8_t group16[8] = {1, 1, 1, 1, 0, 0, 0, 0};
  EXPECT_EQ(0, std::memcmp(dictionary + 16 * 8, group16, 8));
  const uint8_t last[8] = {0x1F, 0x1F, 0x1F, 0x1F, 0x0F, 0x0F, 0x0F, 0x0F};
  EXPECT_EQ(0, std::memcmp(dictionary + kTlg6DictionarySize - 8, last, 8));
}

}  // namespace
