#include <gtest/gtest.h>

#include <random>
#include <stdexcept>
#include <vector>

#include "encoder/tlg6_encoder.h"
#include "encoder/tlg6_filter_section.h"
#include "tests/support/test_images.h"
#include "tests/tlg6/tlg6_test_support.h"
#include "tlg/tlg5/slide_decompress.h"
#include "tlg/tlg6/tlg6_format.h"

namespace {

struct Size {
  uint32_t width, height;
};

// Widths below 8, multiples of 8 and others; heights that leave a short last block row.
const Size kSizes[] = {{1, 1},  {1, 9},  {2, 3},   {7, 8},  {8, 8},  {8, 17}, {9, 1},
                       {13, 7}, {16, 5}, {23, 16}, {24, 9}, {33, 12}, {64, 3}, {70, 21}};

std::vector<uint8_t> FilterTypesOf(const std::vector<uint8_t>& image) {
  const Tlg6Parts parts = SplitTlg6(image);
  const size_t count = static_cast<size_t>((parts.width + 7) / 8) * ((parts.height + 7) / 8);
  std::vector<uint8_t> dictionary(kTlg6DictionarySize), types(count);
  FillTlg6FilterDictionary(dictionary.data());
  const SlideResult r = SlideDecompress(types.data(), static_cast<uint32_t>(count), parts.section.data(),
                                        static_cast<uint32_t>(parts.section.size()), dictionary.data(), 0);
  EXPECT_TRUE(r.complete);
  EXPECT_EQ(r.written, count);
  return types;
}

void ExpectRoundTrip(const TestImage& image, const Tlg6EncodeOptions& options, uint32_t colours) {
  const std::vector<uint8_t> encoded =
      EncodeTlg6(image.pixels.data(), image.width, image.height, options);
  ASSERT_EQ(encoded.at(kTlg6SignatureSize), colours);
  RowCollector rows;
  ASSERT_EQ(DecodeTlg6Image(encoded, rows), 0);
  EXPECT_EQ(rows.width, image.width);
  EXPECT_EQ(rows.height, image.height);
  EXPECT_EQ(rows.rowCalls, CompleteRowCalls(image.height));
  ASSERT_EQ(rows.pixels, DecodedForm(image.pixels, colours));
}

TEST(Tlg6RoundTrip, EveryPatternSizeAndColourCount) {
  uint32_t seed = 0;
  for (const Size size : kSizes) {
    for (ImagePattern pattern : AllImagePatterns()) {
      for (const bool opaque : {true, false}) {
        SCOPED_TRACE(testing::Message() << PatternName(pattern) << " " << size.width << "x"
                                        << size.height << (opaque ? " opaque" : ""));
        const TestImage image = MakeTestImage(pattern, size.width, size.height, ++seed, opaque);
        bool allOpaque = true;
        for (uint32_t p : image.pixels) allOpaque = allOpaque && (p >> 24) == 0xFF;
        ExpectRoundTrip(image, {}, allOpaque ? 3 : 4);
        Tlg6EncodeOptions four;
        four.colours = 4;
        ExpectRoundTrip(image, four, 4);
        Tlg6EncodeOptions one;
        one.colours = 1;
        ExpectRoundTrip(image, one, 1);
      }
    }
  }
}

// Every filter type on its own, so that every pixel loop sees every kind of block.
TEST(Tlg6RoundTrip, EveryFilterType) {
  for (uint32_t f = 0; f < kTlg6FilterTypeCount; ++f) {
    for (ImagePattern pattern : {ImagePattern::kNoise, ImagePattern::kGradient}) {
      SCOPED_TRACE(testing::Message() << "filter type " << f << " " << PatternName(pattern));
      const TestImage image = MakeTestImage(pattern, 21, 11, f, false);
      Tlg6EncodeOptions options;
      options.filterType = static_cast<int>(f);
      const std::vector<uint8_t> encoded =
          EncodeTlg6(image.pixels.data(), image.width, image.height, options);
      EXPECT_EQ(FilterTypesOf(encoded), std::vector<uint8_t>(6, static_cast<uint8_t>(f)));
      ExpectRoundTrip(image, options, 4);
      options.colours = 3;
      ExpectRoundTrip(image, options, 3);
    }
  }
}

// Neighbouring channels that move together: the chosen filter types use
// the transforms and beat any single filter type for the whole image.
TEST(Tlg6RoundTrip, ChosenFilterTypesCodeSmallest) {
  std::mt19937 random(9);
  TestImage image;
  image.width = 48;
  image.height = 40;
  for (uint32_t y = 0; y < image.height; ++y) {
    for (uint32_t x = 0; x < image.width; ++x) {
      const uint32_t grey = (x * 5 + y * 3 + random() % 9) & 0xFF;
      const uint32_t tint = x < 24 ? grey : (grey + 2 * (grey & 0x3F)) & 0xFF;
      image.pixels.push_back(0xFF000000 | tint << 16 | grey << 8 | (y < 20 ? grey : tint));
    }
  }
  const size_t chosen = EncodeTlg6(image.pixels.data(), image.width, image.height).size();
  ExpectRoundTrip(image, {}, 3);
  const std::vector<uint8_t> types =
      FilterTypesOf(EncodeTlg6(image.pixels.data(), image.width, image.height));
  EXPECT_TRUE(std::any_of(types.begin(), types.end(), [](uint8_t f) { return f >= 2; }));
  for (int f = 0; f < 32; ++f) {
    Tlg6EncodeOptions options;
    options.filterType = f;
    EXPECT_LT(chosen, EncodeTlg6(image.pixels.data(), image.width, image.height, options).size())
        << "filter type " << f;
  }
}

TEST(Tlg6RoundTrip, HeaderFields) {
  const TestImage image = MakeTestImage(ImagePattern::kHardEdges, 30, 19, 3, false);
  const std::vector<uint8_t> encoded = EncodeTlg6(image.pixels.data(), 30, 19);
  const std::vector<uint8_t> lead(encoded.begin(), encoded.begin() + 15);
  EXPECT_EQ(lead, (std::vector<uint8_t>{'T', 'L', 'G', '6', '.', '0', 0, 'r', 'a', 'w', 0x1A, 4, 0, 0, 0}));
  const Tlg6Parts parts = SplitTlg6(encoded);
  EXPECT_EQ(parts.width, 30u);
  EXPECT_EQ(parts.height, 19u);
  // The maximum bit length is that of the longest colour record.
  uint32_t longest = 0;
  size_t records = 0;
  for (size_t at = 0; at < parts.records.size(); ++records) {
    const uint32_t header = parts.records[at] | parts.records[at + 1] << 8 | parts.records[at + 2] << 16 |
                            static_cast<uint32_t>(parts.records[at + 3]) << 24;
    EXPECT_EQ(header >> 30, 0u);
    longest = std::max(longest, header);
    at += 4 + (header + 7) / 8;
  }
  EXPECT_EQ(records, 3u * 4);
  EXPECT_EQ(parts.maxBitLength, longest);
}

TEST(Tlg6RoundTrip, EmptyImages) {
  for (const Size size : {Size{0, 0}, Size{0, 9}, Size{12, 0}}) {
    const std::vector<uint8_t> encoded = EncodeTlg6(nullptr, size.width, size.height);
    RowCollector rows;
    rows.pixels.reserve(1);  // so that rows of width 0 are not null
    EXPECT_EQ(DecodeTlg6Image(encoded, rows), 0) << size.width << "x" << size.height;
    EXPECT_EQ(rows.rowCalls, CompleteRowCalls(size.height));
    EXPECT_EQ(SplitTlg6(encoded).maxBitLength, 0u);
  }
}

TEST(Tlg6RoundTrip, FilterSectionIsLiteralGroups) {
  for (size_t count : {0, 1, 7, 8, 9, 16, 17, 100}) {
    std::vector<uint8_t> types(count);
    for (size_t i = 0; i < count; ++i) types[i] = static_cast<uint8_t>((i * 7) % 32);
    const std::vector<uint8_t> section = CompressFilterTypes(types);
    EXPECT_EQ(section.size(), count + (count + 7) / 8) << count;
    std::vector<uint8_t> dictionary(kTlg6DictionarySize), out(count + 1, 0xEE);
    FillTlg6FilterDictionary(dictionary.data());
    const SlideResult r = SlideDecompress(out.data(), static_cast<uint32_t>(out.size()), section.data(),
                                          static_cast<uint32_t>(section.size()), dictionary.data(), 0);
    EXPECT_TRUE(r.complete);
    out.resize(r.written);
    EXPECT_EQ(out, types);
  }
}

TEST(Tlg6RoundTrip, EncoderRejectsWhatItCannotWrite) {
  const uint32_t pixel = 0xFF102030;
  for (int colours : {-1, 2, 5}) {
    Tlg6EncodeOptions options;
    options.colours = colours;
    EXPECT_THROW(EncodeTlg6(&pixel, 1, 1, options), std::invalid_argument) << colours;
  }
  for (int filterType : {-2, 32}) {
    Tlg6EncodeOptions options;
    options.filterType = filterType;
    EXPECT_THROW(EncodeTlg6(&pixel, 1, 1, options), std::invalid_argument) << filterType;
  }
  // One colour: only transforms that leave green, red and alpha at 0.
  Tlg6EncodeOptions one;
  one.colours = 1;
  one.filterType = 4;
  EXPECT_THROW(EncodeTlg6(&pixel, 1, 1, one), std::invalid_argument);
  one.filterType = 21;
  EXPECT_NO_THROW(EncodeTlg6(&pixel, 1, 1, one));
  EXPECT_THROW(EncodeTlg6(nullptr, 1u << 27, 0), std::length_error);
  EXPECT_THROW(EncodeTlg6(nullptr, 1, 0x80000000), std::length_error);
}

}  // namespace
