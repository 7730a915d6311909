#include <gtest/gtest.h>

#include <random>
#include <utility>

#include "encoder/tlg6_residuals.h"
#include "tests/tlg6/lane_model.h"
#include "tlg/tlg6/tlg6_pixel_ops.h"

namespace {

using lane_model::Pack;

// Lanes drawn mostly from the edges of their range, where carries and ties live.
uint32_t EdgyPixel(std::mt19937& random) {
  static const uint32_t kEdges[] = {0, 1, 2, 126, 127, 128, 129, 253, 254, 255};
  uint32_t p = 0;
  for (int c = 0; c < 4; ++c) {
    const uint32_t lane = random() % 3 == 0 ? random() & 0xFF : kEdges[random() % 10];
    p |= lane << (8 * c);
  }
  return p;
}

TEST(Tlg6PixelOps, PackedArithmeticMatchesTheLaneModel) {
  std::mt19937 random(11);
  for (int i = 0; i < 200000; ++i) {
    const uint32_t x = i % 2 ? random() : EdgyPixel(random);
    const uint32_t y = i % 3 ? random() : EdgyPixel(random);
    const uint32_t z = i % 5 ? EdgyPixel(random) : (i % 2 ? x : y);  // ties too
    ASSERT_EQ(LaneSum(x, y), lane_model::Sum(x, y)) << std::hex << x << " " << y;
    ASSERT_EQ(LaneDifference(x, y), lane_model::Difference(x, y)) << std::hex << x << " " << y;
    ASSERT_EQ(LaneAverage(x, y), lane_model::Average(x, y)) << std::hex << x << " " << y;
    ASSERT_EQ(LaneMedian(x, y, z), lane_model::Median(x, y, z))
        << std::hex << x << " " << y << " " << z;
  }
}

TEST(Tlg6PixelOps, LanesNeverCarryIntoEachOther) {
  EXPECT_EQ(LaneSum(Pack(255, 0, 255, 0), Pack(1, 0, 1, 0)), 0u);
  EXPECT_EQ(LaneSum(0xFFFFFFFF, 0x01010101), 0u);
  EXPECT_EQ(LaneDifference(0, 0x01010101), 0xFFFFFFFF);
  EXPECT_EQ(LaneAverage(Pack(0, 255, 255, 0), Pack(1, 255, 254, 0)), Pack(1, 255, 255, 0));
}

TEST(Tlg6PixelOps, MedianTies) {
  const uint32_t a = Pack(10, 10, 10, 10), b = Pack(20, 20, 20, 20);
  EXPECT_EQ(LaneMedian(a, b, b), a);  // upper-left at the larger: the smaller
  EXPECT_EQ(LaneMedian(a, b, a), b);  // at the smaller: the larger
  EXPECT_EQ(LaneMedian(a, a, a), a);
  EXPECT_EQ(LaneMedian(a, b, Pack(15, 5, 25, 12)), Pack(15, 20, 10, 18));
}

template <size_t... K>
uint32_t Transform(uint32_t k, uint32_t entry, std::index_sequence<K...>) {
  uint32_t out = 0;
  ((k == K ? (out = ApplyColourTransform<static_cast<int>(K)>(entry), true) : false) || ...);
  return out;
}

uint32_t Transform(uint32_t k, uint32_t entry) {
  return Transform(k, entry, std::make_index_sequence<16>{});
}

TEST(Tlg6PixelOps, ColourTransformsAndTheirInverses) {
  EXPECT_EQ(Transform(15, Pack(200, 0, 0, 0)), Pack(200, 144, 144, 0));
  std::mt19937 random(12);
  for (uint32_t k = 0; k < 16; ++k) {
    for (int i = 0; i < 5000; ++i) {
      const uint32_t entry = i % 2 ? random() : EdgyPixel(random);
      ASSERT_EQ(Transform(k, entry), lane_model::Transform(k, entry)) << k << " " << std::hex << entry;
      ASSERT_EQ(Transform(k, InverseColourTransform(k, entry)), entry) << k << " " << std::hex << entry;
    }
  }
}

TEST(Tlg6PixelOps, TransformsKeepingALoneBlueLane) {
  for (uint32_t k = 0; k < 16; ++k) {
    bool keeps = true;
    for (uint32_t blue = 0; blue < 256; ++blue) keeps = keeps && Transform(k, blue) == blue;
    EXPECT_EQ(KeepsLoneBlue(k), keeps) << k;
  }
}

}  // namespace
