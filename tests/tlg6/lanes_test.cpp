#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

#include "encoder/tlg6_encoder.h"
#include "encoder/tlg6_value_coder.h"
#include "tests/support/test_images.h"
#include "tests/tlg6/tlg6_test_support.h"
#include "tlg/tlg6/tlg6_lanes.h"
#include "tlg/tlg6/tlg6_tables.h"
#include "tlg/tlg6/tlg6_values.h"

namespace {

// Residuals of one colour of one block row, in the shapes real images give
// and the ones that reach the rare codes: escapes, long quotients, zero runs
// too long for one window, running sums near the top of the table.
std::vector<uint8_t> MakeResiduals(std::mt19937& random, uint32_t count) {
  std::vector<uint8_t> values(count);
  const int shape = random() % 5;
  for (uint8_t& v : values) {
    switch (shape) {
      case 0: v = random() % 6 == 0 ? static_cast<uint8_t>(random() % 7 - 3) : 0; break;
      case 1: v = static_cast<uint8_t>(random()); break;
      case 2: v = random() % 2000 == 0 ? static_cast<uint8_t>(random()) : 0; break;
      case 3: v = static_cast<uint8_t>(random() % 2 ? 0x80 : 0x7F); break;
      default: v = static_cast<uint8_t>(random() % 9 - 4); break;
    }
  }
  return values;
}

// Flipped bits, a cut end, or bytes that never were a stream.
void Damage(std::mt19937& random, std::vector<uint8_t>& code) {
  switch (random() % 3) {
    case 0:
      for (int i = 0; i < 3 && !code.empty(); ++i) code[random() % code.size()] ^= 1 << (random() % 8);
      break;
    case 1: code.resize(random() % (code.size() + 1)); break;
    default:
      for (uint8_t& b : code) b = static_cast<uint8_t>(random() % 4 ? random() : 0);
      break;
  }
}

struct Trial {
  std::vector<uint8_t> code;       // every stream, each followed by its guard, then slack
  std::vector<uint32_t> residuals;  // four streams share a block of entries, one lane each
  std::vector<Tlg6ColourStream> streams;
};

Trial MakeTrial(std::mt19937& random, const Tlg6RiceTable& table) {
  const uint32_t streamCount = 1 + random() % 40;
  std::vector<std::vector<uint8_t>> codes(streamCount);
  std::vector<uint32_t> counts(streamCount);
  uint32_t longest = 0;
  for (uint32_t i = 0; i < streamCount; ++i) {
    counts[i] = random() % 6 == 0 ? random() % 3 : random() % 3000;
    if (random() % 10 == 0) counts[i] = 9000 + random() % 20000;  // run lengths past 12 bits
    longest = std::max(longest, counts[i]);
    const std::vector<uint8_t> values = MakeResiduals(random, counts[i]);
    codes[i] = EncodeTlg6Values(values.data(), values.size(), table).bytes;
    if (random() % 4 == 0) Damage(random, codes[i]);
  }
  Trial t;
  std::vector<size_t> starts;
  for (const auto& c : codes) {
    starts.push_back(t.code.size());
    t.code.insert(t.code.end(), c.begin(), c.end());
    t.code.resize(t.code.size() + kTlg6CodeGuardBytes, 0);
  }
  t.code.resize(t.code.size() + kTlg6LaneReadSlack, 0);
  const size_t blockEntries = longest + 1;  // and a spare entry
  t.residuals.assign(blockEntries * ((streamCount + 3) / 4), 0);
  for (uint32_t i = 0; i < streamCount; ++i) {
    uint8_t* lane = reinterpret_cast<uint8_t*>(t.residuals.data() + (i / 4) * blockEntries) + i % 4;
    t.streams.push_back(Tlg6ColourStream{t.code.data() + starts[i],
                                         static_cast<uint32_t>(codes[i].size()), lane, counts[i]});
  }
  return t;
}

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
      Trial t = MakeTrial(random, table);
      std::vector<uint32_t> expected(t.residuals);
      std::vector<char> expectedOk;
      for (const Tlg6ColourStream& s : t.streams) {
        uint8_t* lane = reinterpret_cast<uint8_t*>(expected.data()) +
                        (s.lane - reinterpret_cast<uint8_t*>(t.residuals.data()));
        expectedOk.push_back(UnpackColour(lane, s.count, s.code, s.code + s.codeBytes));
        failures += !expectedOk.back();
      }
      std::vector<char> ok(t.streams.size(), 2);
      UnpackColoursSideBySide(lanes[way], t.streams.data(),
                              static_cast<uint32_t>(t.streams.size()),
                              reinterpret_cast<bool*>(ok.data()));
      ASSERT_EQ(ok, expectedOk) << "way " << way << ", trial " << trial;
      ASSERT_EQ(t.residuals, expected) << "way " << way << ", trial " << trial;
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
