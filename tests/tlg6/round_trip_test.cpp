#include <gtest/gtest.h>

#include <random>
#include <stdexcept>
#include <vector>

#include "encoder/tlg6_encoder.h"
#include "tests/support/test_images.h"
#include "tests/tlg6/tlg6_test_support.h"
#include "tlg/tlg5/slide_decompress.h"
#include "tlg/tlg6/tlg6_format.h"

namespace {

std::vector<uint8_t> Expand(const std::vector<uint8_t>& section, size_t capacity) {
  std::vector<uint8_t> dictionary(kTlg6DictionarySize), out(capacity);
  FillTlg6FilterDictionary(dictionary.data());
  const SlideResult r =
      SlideDecompress(out.data(), static_cast<uint32_t>(capacity), section.data(),
                      static_cast<uint32_t>(section.size()), dictionary.data(), 0);
  EXPECT_TRUE(r.complete);
  out.resize(r.written);
  return out;
}

void ExpectRoundTrip(const TestImage& image, const Tlg6EncodeOptions& options, uint32_t colours) {
  const std::vector<uint8_t> encoded =
      EncodeTlg6(image.pixels.data(), image.width, image.height, options);
  ASSERT_TRUE(std::equal(kTlg6Signature, kTlg6Signature + kTlg6SignatureSize, encoded.begin()));
  const Tlg6Parts parts = SplitTlg6(encoded);
  ASSERT_EQ(parts.colours, colours);
  const std::vector<uint32_t> lengths = ColourBitLengths(parts.records);
  EXPECT_EQ(parts.maxBitLength,
            lengths.empty() ? 0 : *std::max_element(lengths.begin(), lengths.end()));
  RowCollector rows;
  rows.pixels.reserve(1);  // so that rows of width 0 are not null
  ASSERT_EQ(DecodeTlg6Bytes(AssembleTlg6(parts), rows), 0);
  EXPECT_EQ(rows.rowCalls, CompleteRowCalls(image.height));
  ASSERT_EQ(rows.pixels, DecodedForm(image.pixels, colours));
}

// Widths below 8, multiples of 8 and others; heights leaving a short last block row; empty ones.
TEST(Tlg6RoundTrip, EveryPatternSizeAndColourCount) {
  const std::pair<uint32_t, uint32_t> sizes[] = {{1, 1},  {1, 9},   {2, 3},  {7, 8},   {8, 17},
                                                 {9, 1},  {13, 7},  {16, 5}, {23, 16}, {33, 12},
                                                 {64, 3}, {70, 21}, {0, 9},  {12, 0}};
  uint32_t seed = 0;
  for (const auto& [width, height] : sizes) {
    for (ImagePattern pattern : AllImagePatterns()) {
      for (const bool opaque : {true, false}) {
        SCOPED_TRACE(testing::Message() << PatternName(pattern) << " " << width << "x" << height);
        const TestImage image = MakeTestImage(pattern, width, height, ++seed, opaque);
        const bool allOpaque = std::all_of(image.pixels.begin(), image.pixels.end(),
                                           [](uint32_t p) { return p >> 24 == 0xFF; });
        ExpectRoundTrip(image, {}, allOpaque ? 3 : 4);
        for (int colours : {1, 4}) ExpectRoundTrip(image, Tlg6EncodeOptions{colours, -1}, colours);
      }
    }
  }
}

// Every filter type alone, in every kind of block.
TEST(Tlg6RoundTrip, EveryFilterType) {
  for (int f = 0; f < 32; ++f) {
    for (ImagePattern pattern : {ImagePattern::kNoise, ImagePattern::kGradient}) {
      SCOPED_TRACE(testing::Message() << "filter type " << f << " " << PatternName(pattern));
      const TestImage image = MakeTestImage(pattern, 21, 11, f, false);
      const Tlg6Parts parts =
          SplitTlg6(EncodeTlg6(image.pixels.data(), 21, 11, Tlg6EncodeOptions{0, f}));
      EXPECT_EQ(Expand(parts.section, 7), std::vector<uint8_t>(6, static_cast<uint8_t>(f)));
      ExpectRoundTrip(image, Tlg6EncodeOptions{4, f}, 4);
      ExpectRoundTrip(image, Tlg6EncodeOptions{3, f}, 3);
    }
  }
}

// Channels that move together: the chosen types beat any one type for the whole image.
TEST(Tlg6RoundTrip, ChosenFilterTypesCodeSmallest) {
  std::mt19937 random(9);
  TestImage image{48, 40, {}};
  for (uint32_t y = 0; y < image.height; ++y) {
    for (uint32_t x = 0; x < image.width; ++x) {
      const uint32_t grey = (x * 5 + y * 3 + random() % 9) & 0xFF;
      const uint32_t tint = x < 24 ? grey : (grey + 2 * (grey & 0x3F)) & 0xFF;
      image.pixels.push_back(0xFF000000 | tint << 16 | grey << 8 | (y < 20 ? grey : tint));
    }
  }
  ExpectRoundTrip(image, {}, 3);
  const size_t chosen = EncodeTlg6(image.pixels.data(), image.width, image.height).size();
  for (int f = 0; f < 32; ++f) {
    EXPECT_LT(
        chosen,
        EncodeTlg6(image.pixels.data(), image.width, image.height, Tlg6EncodeOptions{0, f}).size())
        << f;
  }
}

// Asked to, the encoder stores fully transparent pixels as 0 and nothing else
// changes; by default their colours come back.
TEST(Tlg6RoundTrip, ClearTransparentZeroesOnlyFullyTransparentPixels) {
  TestImage image = MakeTestImage(ImagePattern::kSprite, 37, 21, 4, false);
  const TestImage cleared = RecolourTransparent(image, 3);
  ASSERT_NE(image.pixels, cleared.pixels);
  Tlg6EncodeOptions options;
  options.clearTransparent = true;
  EXPECT_EQ(EncodeTlg6(image.pixels.data(), 37, 21, options),
            EncodeTlg6(cleared.pixels.data(), 37, 21));
  ExpectRoundTrip(image, {}, 4);
}

TEST(Tlg6RoundTrip, EncoderRejectsWhatItCannotWrite) {
  const uint32_t pixel = 0xFF102030;
  for (const Tlg6EncodeOptions& bad :
       {Tlg6EncodeOptions{-1, -1}, {2, -1}, {5, -1}, {0, -2}, {0, 32}, {1, 4}}) {
    EXPECT_THROW(EncodeTlg6(&pixel, 1, 1, bad), std::invalid_argument)
        << bad.colours << " " << bad.filterType;
  }
  EXPECT_NO_THROW(EncodeTlg6(&pixel, 1, 1, Tlg6EncodeOptions{1, 21}));
  EXPECT_THROW(EncodeTlg6(nullptr, 1u << 27, 0), std::length_error);
  EXPECT_THROW(EncodeTlg6(nullptr, 1, 0x80000000), std::length_error);
}

}  // namespace
