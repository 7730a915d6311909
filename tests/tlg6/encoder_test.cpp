#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <vector>

#include "encoder/tlg6_block_costs.h"
#include "encoder/tlg6_encoder.h"
#include "encoder/tlg6_residuals.h"
#include "encoder/tlg6_value_coder.h"
#include "tests/support/test_images.h"
#include "tlg/tlg6/tlg6_format.h"

namespace {

// The vector paths against their portable twins, and the forms of every
// filter type against the entries that the transforms themselves give.
TEST(Tlg6Encoder, BlockCostsMatchTheTransforms) {
  const std::pair<uint32_t, uint32_t> sizes[] = {{1, 1}, {7, 8}, {8, 3}, {13, 8}, {70, 5}};
  uint32_t seed = 0;
  for (const auto& [width, rows] : sizes) {
    for (ImagePattern pattern : {ImagePattern::kNoise, ImagePattern::kGradient, ImagePattern::kSprite}) {
      SCOPED_TRACE(testing::Message() << PatternName(pattern) << " " << width << "x" << rows);
      const TestImage image = MakeTestImage(pattern, width, rows + 3, ++seed, false);
      Tlg6Differences vector, portable;
      ComputeTlg6Differences(image.pixels.data(), width, 3, rows, 0, vector);
      ComputeTlg6DifferencesPortable(image.pixels.data(), width, 3, rows, 0, portable);
      ASSERT_EQ(vector.median, portable.median);
      ASSERT_EQ(vector.average, portable.average);

      for (uint32_t block = 0; block * kTlg6BlockSize < width; ++block) {
        const uint32_t w = std::min(kTlg6BlockSize, width - block * kTlg6BlockSize);
        for (uint32_t predictor = 0; predictor < 2; ++predictor) {
          const auto& source = predictor ? vector.average : vector.median;
          Tlg6BlockLanes lanes, portableLanes;
          GatherTlg6Block(source.data(), width, rows, block, lanes);
          GatherTlg6BlockPortable(source.data(), width, rows, block, portableLanes);
          ASSERT_EQ(0, std::memcmp(&lanes, &portableLanes, sizeof lanes));
          Tlg6FormSums sums, portableSums;
          SumTlg6Forms(lanes, sums);
          SumTlg6FormsPortable(lanes, portableSums);
          ASSERT_EQ(sums.magnitude, portableSums.magnitude);
          ASSERT_EQ(sums.nonZero, portableSums.nonZero);

          for (uint32_t transform = 0; transform < kTlg6TransformCount; ++transform) {
            std::vector<uint32_t> entries(kTlg6BlockSize * rows);
            MakeTlg6BlockEntries(vector, width, rows, block, transform << 1 | predictor,
                                 entries.data());
            for (uint32_t lane = 0; lane < 4; ++lane) {
              uint8_t values[64];
              MakeTlg6FormValues(lanes, Tlg6TransformForm(transform, lane), values);
              for (uint32_t i = 0; i < w * rows; ++i) {
                ASSERT_EQ(values[i / w * 8 + i % w], static_cast<uint8_t>(entries[i] >> (8 * lane)))
                    << "transform " << transform << " lane " << lane << " entry " << i;
              }
            }
          }
        }
      }
    }
  }
}

// Without escapes the estimate is the exact coded length, however the
// values are handed to it.
TEST(Tlg6Encoder, CostOfValuesInPiecesIsTheirCodedLength) {
  const Tlg6RiceTable table = BuildTlg6RiceTable();
  std::mt19937 random(5);
  for (int trial = 0; trial < 50; ++trial) {
    std::vector<uint8_t> values;
    while (values.size() < 2000) {
      const size_t run = 1 + random() % (trial % 2 ? 4 : 40);
      const bool zeros = random() % 2 == 0;
      for (size_t i = 0; i < run; ++i) {
        const int value = static_cast<int>(1 + random() % 12) * (random() % 2 ? 1 : -1);
        values.push_back(zeros ? 0 : static_cast<uint8_t>(value));
      }
    }
    Tlg6CostState state;
    uint64_t bits = 0;
    for (size_t at = 0; at < values.size();) {
      const size_t piece = std::min<size_t>(values.size() - at, random() % 70);
      bits += AppendTlg6Cost(state, values.data() + at, piece, table);
      at += piece;
    }
    EXPECT_EQ(bits, EncodeTlg6Values(values.data(), values.size(), table).bitLength) << trial;
  }
}

TEST(Tlg6Encoder, ThreadsGiveTheSameBytes) {
  const std::pair<uint32_t, uint32_t> sizes[] = {{1, 1}, {5, 9}, {64, 64}, {200, 37}, {33, 130}};
  for (const auto& [width, height] : sizes) {
    for (ImagePattern pattern : {ImagePattern::kSprite, ImagePattern::kNoise}) {
      const TestImage image = MakeTestImage(pattern, width, height, width + height, false);
      const std::vector<uint8_t> alone = EncodeTlg6(image.pixels.data(), width, height);
      for (unsigned threads : {2u, 3u, 8u}) {
        Tlg6EncodeOptions options;
        options.threads = threads;
        EXPECT_EQ(EncodeTlg6(image.pixels.data(), width, height, options), alone)
            << PatternName(pattern) << " " << width << "x" << height << " on " << threads;
      }
    }
  }
}

}  // namespace
