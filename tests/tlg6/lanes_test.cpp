#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

#include "encoder/tlg6_encoder.h"
#include "encoder/tlg6_value_coder.h"
#include "tests/support/test_images.h"
#include "tests/tlg6/lane_trials.h"
#include "tests/tlg6/tlg6_test_support.h"
#include "tlg/tlg6/tlg6_lanes.h"

namespace {

// Side by side, every stream decodes to exactly what it gives alone, damaged
// ones included: the same values, the same verdict, no other byte touched.
// Each instruction set this processor has runs the same trials.
TEST(Tlg6Lanes, MatchDecodingOneStreamAtATime) {
  const std::vector<Tlg6Lanes> lanes = LanesOfThisProcessor();
  if (lanes.size() == 1) GTEST_SKIP() << "this processor has no AVX2";
  const Tlg6RiceTable table = BuildTlg6RiceTable();
  for (size_t way = 1; way < lanes.size(); ++way) {
    std::mt19937 random(17);
    int failures = 0;
    for (int trial = 0; trial < 250; ++trial) {
      LaneTrial t = MakeLaneTrial(random, table);
      std::string why;
      ASSERT_TRUE(MatchesOneByOne(lanes[way], t, failures, why))
          << "way " << way << ", trial " << trial << ": " << why;
    }
    EXPECT_GT(failures, 100);  // the damage reached the checks
  }
}

// The decoder gives the same rows and results whichever way it decodes the
// streams, on whole images and on damaged ones.
TEST(Tlg6Lanes, DecoderGivesTheSameRowsEveryWay) {
  const std::vector<Tlg6Lanes> lanes = LanesOfThisProcessor();
  std::mt19937 random(23);
  int damaged = 0;
  for (int trial = 0; trial < 60; ++trial) {
    const auto patterns = AllImagePatterns();
    // Some tall enough that their block rows take several groups.
    const uint32_t height = trial % 3 ? 1 + random() % 90 : 130 + random() % 400;
    const TestImage image = MakeTestImage(patterns[random() % patterns.size()],
                                          1 + random() % 70, height, random(), random() % 2 == 0);
    Tlg6EncodeOptions options;
    options.colours = std::vector<int>{0, 1, 3, 4}[random() % 4];
    std::vector<uint8_t> bytes = EncodeTlg6(image.pixels.data(), image.width, image.height, options);
    bytes.erase(bytes.begin(), bytes.begin() + kTlg6SignatureSize);
    if (trial % 2) {
      ++damaged;
      const size_t from = 28 + random() % (bytes.size() - 28);  // past the header
      if (random() % 2) {
        bytes.resize(from);
      } else {
        for (size_t i = from; i < std::min(bytes.size(), from + 4); ++i) bytes[i] ^= random();
      }
    }
    RowCollector oneByOne;
    const int expected = DecodeTlg6Bytes(bytes, oneByOne, Tlg6Lanes::kNone);
    if (trial % 2 == 0) {
      ASSERT_EQ(expected, 0) << "trial " << trial;
    }
    for (size_t way = 1; way < lanes.size(); ++way) {
      RowCollector sideBySide;
      ASSERT_EQ(DecodeTlg6Bytes(bytes, sideBySide, lanes[way]), expected) << "trial " << trial;
      ASSERT_EQ(sideBySide.rowCalls, oneByOne.rowCalls) << "trial " << trial;
      ASSERT_EQ(sideBySide.pixels, oneByOne.pixels) << "trial " << trial;
    }
  }
  EXPECT_EQ(damaged, 30);
}

}  // namespace
