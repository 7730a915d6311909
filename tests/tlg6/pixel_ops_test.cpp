#include <gtest/gtest.h>

#include <random>
#include <utility>

#include "encoder/tlg6_residuals.h"
#include "tests/tlg6/lane_model.h"
#include "tlg/tlg6/tlg6_pixel_ops.h"

namespace {

using lane_model::Pack;

// Lanes mostly from the edges of their range, where carries and ties live.
uint32_t EdgyPixel(std::mt19937& random) {
  constexpr uint32_t kEdges[] = {0, 1, 2, 126, 127, 128, 129, 253, 254, 255};
  uint32_t p = 0;
  for (int c = 0; c < 4; ++c)
    p |= (random() % 3 ? kEdges[random() % 10] : random() & 0xFF) << (8 * c);
  return p;
}

template <size_t... K>
uint32_t Transform(uint32_t k, uint32_t entry, std::index_sequence<K...>) {
  uint32_t out = 0;
  static_cast<void>(
      ((k == K && (out = ApplyColourTransform<static_cast<int>(K)>(entry), true)) || ...));
  return out;
}
uint32_t Transform(uint32_t k, uint32_t entry) {
  return Transform(k, entry, std::make_index_sequence<16>{});
}

TEST(Tlg6PixelOps, PackedArithmeticMatchesTheLaneModel) {
  EXPECT_EQ(LaneSum(Pack(255, 0, 255, 0), Pack(1, 0, 1, 0)), 0u);
  EXPECT_EQ(LaneAverage(Pack(0, 255, 255, 0), Pack(1, 255, 254, 0)), Pack(1, 255, 255, 0));
  EXPECT_EQ(LaneMedian(Pack(10, 10, 10, 10), Pack(20, 20, 20, 20), Pack(15, 5, 25, 20)),
            Pack(15, 20, 10, 10));
  std::mt19937 random(11);
  for (int i = 0; i < 200000; ++i) {
    const uint32_t x = i % 2 ? random() : EdgyPixel(random),
                   y = i % 3 ? random() : EdgyPixel(random);
    const uint32_t z = i % 5 ? EdgyPixel(random) : (i % 2 ? x : y);  // ties too
    ASSERT_EQ(LaneSum(x, y), lane_model::Sum(x, y)) << std::hex << x << " " << y;
    ASSERT_EQ(LaneDifference(x, y), lane_model::Difference(x, y)) << std::hex << x << " " << y;
    ASSERT_EQ(LaneAverage(x, y), lane_model::Average(x, y)) << std::hex << x << " " << y;
    ASSERT_EQ(LaneMedian(x, y, z), lane_model::Median(x, y, z))
        << std::hex << x << " " << y << " " << z;
  }
}

TEST(Tlg6PixelOps, ColourTransformsAndTheirInverses) {
  EXPECT_EQ(Transform(15, Pack(200, 0, 0, 0)), Pack(200, 144, 144, 0));
  std::mt19937 random(12);
  for (uint32_t k = 0; k < 16; ++k) {
    for (int i = 0; i < 5000; ++i) {
      const uint32_t e = i % 2 ? random() : EdgyPixel(random);
      ASSERT_EQ(Transform(k, e), lane_model::Transform(k, e)) << k << " " << std::hex << e;
      ASSERT_EQ(Transform(k, InverseColourTransform(k, e)), e) << k << " " << std::hex << e;
    }
    bool keepsBlue = true;  // what a one-colour image may use
    for (uint32_t blue = 0; blue < 256; ++blue) keepsBlue = keepsBlue && Transform(k, blue) == blue;
    EXPECT_EQ(KeepsLoneBlue(k), keepsBlue) << k;
  }
}

}  // namespace
