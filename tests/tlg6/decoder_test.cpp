#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

#include "encoder/tlg6_encoder.h"
#include "stream/binary_stream.h"
#include "tests/support/test_images.h"
#include "tests/tlg6/tlg6_test_support.h"
#include "tlg/tlg6/tlg6_decoder.h"
#include "tlg/tlg6/tlg6_format.h"

namespace {

using Size = std::pair<uint32_t, uint32_t>;

TestBits ZeroValues(uint32_t count) {
  return count ? TestBits().Bit(0).RunLength(count) : TestBits();
}

// All values 0 except +5 (code 9) at `at`.
TestBits OneValue(uint32_t count, uint32_t at) {
  TestBits bits;
  bits.Bit(at == 0);
  if (at > 0) bits.RunLength(at);
  bits.RunLength(1).PlainValue(9, 0);
  return at + 1 < count ? bits.RunLength(count - at - 1) : bits;
}

// Every colour all zeros, no filter section (so every filter type is 0),
// except value `at` of colour `colour` in the block row starting at `markedRow`.
Tlg6Parts ZeroImage(uint8_t colours, uint32_t width, uint32_t height, uint32_t markedRow = ~0u,
                    uint32_t colour = 0, uint32_t at = 0) {
  Tlg6Parts parts{colours, width, height, 1000, {}, {}};
  for (uint32_t y0 = 0; y0 < height; y0 += 8) {
    const uint32_t count = std::min(8u, height - y0) * width;
    for (uint32_t c = 0; c < colours; ++c) {
      AppendColourRecord(parts.records,
                         y0 == markedRow && c == colour ? OneValue(count, at) : ZeroValues(count));
    }
  }
  return parts;
}

int Decode(const Tlg6Parts& parts, RowCollector& rows) {
  return DecodeTlg6Bytes(AssembleTlg6(parts), rows);
}

TEST(Tlg6Decoder, HeaderChecksComeBeforeAnyCallback) {
  const std::vector<uint8_t> good = AssembleTlg6(ZeroImage(3, 1, 1));
  std::vector<std::vector<uint8_t>> bad = {
      {0, 0, 0, 0}, {2, 0, 0, 0}, {5, 0, 0, 0}, {3, 1, 0, 0}, {4, 0, 0, 0x80}};
  for (std::vector<uint8_t>& lead : bad) lead.insert(lead.end(), good.begin() + 4, good.end());
  for (size_t length = 0; length < 16; ++length)
    bad.emplace_back(good.begin(), good.begin() + length);
  // Buffers of width x 32 + 1 and X x Y bytes must fit 32 bits, rows a signed 32-bit number.
  for (const Size& size : {Size{134217728, 1}, Size{134217727, 256 * 8}, Size{1, 0x80000000}}) {
    bad.push_back(AssembleTlg6(Tlg6Parts{1, size.first, size.second, 0, {}, {}}));
  }
  for (const std::vector<uint8_t>& bytes : bad) {
    RowCollector rows;
    EXPECT_EQ(DecodeTlg6Bytes(bytes, rows), -1);
    EXPECT_EQ(rows.sizeCalls, 0);
  }
  for (const Size& size : {Size{134217727, 255 * 8}, Size{1, 0x7FFFFFFF}}) {
    RowCollector rows;
    rows.acceptSize = false;
    EXPECT_EQ(Decode(Tlg6Parts{1, size.first, size.second, 0, {}, {}}, rows), 1);
    EXPECT_EQ(rows.sizeCalls, 1);
  }
}

TEST(Tlg6Decoder, CallbacksStopTheDecode) {
  const std::vector<uint8_t> bytes = AssembleTlg6(ZeroImage(4, 9, 12));
  RowCollector refused;
  refused.acceptSize = false;
  tMemDataStream stream(bytes.data(), static_cast<uint32_t>(bytes.size()));
  EXPECT_EQ(DecodeTlg6(&refused, CollectSize, CollectRow, stream), 1);
  EXPECT_TRUE(refused.rowCalls.empty());
  EXPECT_EQ(Tell(stream), 16u);

  RowCollector stopped;
  stopped.stopAtRow = 5;
  EXPECT_EQ(DecodeTlg6Bytes(bytes, stopped), 1);
  std::vector<int32_t> calls = CompleteRowCalls(5);
  calls.push_back(5);
  EXPECT_EQ(stopped.rowCalls, calls);

  RowCollector noSizeCallback;  // counts as a yes
  CollectSize(&noSizeCallback, 9, 12);
  tMemDataStream again(bytes.data(), static_cast<uint32_t>(bytes.size()));
  EXPECT_EQ(DecodeTlg6(&noSizeCallback, nullptr, CollectRow, again), 0);
  EXPECT_EQ(noSizeCallback.pixels, std::vector<uint32_t>(9 * 12, 0));
}

TEST(Tlg6Decoder, EmptyImages) {
  RowCollector noRows;  // height 0: the filter section is still read, and must be empty
  EXPECT_EQ(Decode(ZeroImage(3, 40, 0), noRows), 0);
  EXPECT_TRUE(noRows.rowCalls.empty());
  EXPECT_EQ(DecodeTlg6Bytes({3, 0, 0, 0, 40, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, noRows), -1);
  EXPECT_EQ(Decode(Tlg6Parts{3, 40, 0, 0, {0, 0}, {}}, noRows), -1);

  // Width 0: every block row's colour headers are read, every row delivered.
  for (size_t cut : {0, 4}) {
    std::vector<uint8_t> bytes = AssembleTlg6(ZeroImage(4, 0, 10));
    bytes.resize(bytes.size() - cut);
    RowCollector rows;
    rows.pixels.reserve(1);  // so that its rows are not null
    EXPECT_EQ(DecodeTlg6Bytes(bytes, rows), cut ? -1 : 0);
    EXPECT_EQ(rows.rowCalls, CompleteRowCalls(cut ? 8 : 10));
  }
}

// One non-zero residual among zeros: with filter type 0 every pixel before
// it predicts and decodes to 0, so the first non-zero pixel shows where the
// value went. Blocks lie side by side, odd ones bottom row first; odd rows
// run right to left.
TEST(Tlg6Decoder, ValuesLandWhereTheResidualLayoutPutsThem) {
  for (const auto& [width, height] :
       {Size{9, 2}, Size{17, 3}, Size{5, 8}, Size{16, 11}, Size{3, 5}}) {
    for (const uint8_t colours : {1, 3, 4}) {
      for (uint32_t y0 = 0; y0 < height; y0 += 8) {
        const uint32_t rows = std::min(8u, height - y0);
        for (uint32_t c = 0; c < colours; ++c) {
          for (uint32_t i = 0; i < rows * width; ++i) {
            const uint32_t block = i / (8 * rows), w = std::min(8u, width - 8 * block);
            const uint32_t stored = (i - block * 8 * rows) / w, column = (i - block * 8 * rows) % w;
            const uint32_t yy = block % 2 ? rows - 1 - stored : stored;
            const uint32_t x = 8 * block + (yy % 2 ? w - 1 - column : column);
            RowCollector got;
            ASSERT_EQ(Decode(ZeroImage(colours, width, height, y0, c, i), got), 0);
            const uint32_t alpha = colours == 3 ? 0xFF000000 : 0;
            size_t first = 0;
            while (got.pixels[first] == alpha) ++first;
            ASSERT_EQ(first, (y0 + yy) * width + x)
                << width << "x" << height << " colour " << c << " value " << i;
            ASSERT_EQ(got.pixels[first], alpha | 5u << (8 * c));
          }
        }
      }
    }
  }
}

TEST(Tlg6Decoder, FilterSection) {
  const TestImage image = MakeTestImage(ImagePattern::kNoise, 32, 8, 1, true);
  const auto encode = [&](int filterType, const std::vector<uint8_t>& section) {
    Tlg6Parts parts =
        SplitTlg6(EncodeTlg6(image.pixels.data(), 32, 8, Tlg6EncodeOptions{0, filterType}));
    parts.section = section;
    return parts;
  };
  RowCollector matched;  // slot 12 of the dictionary's pattern holds 01 01 01 01
  EXPECT_EQ(Decode(encode(1, {0x01, 12, 0x10}), matched), 0);
  EXPECT_EQ(matched.pixels, image.pixels);
  RowCollector fewer;  // the types not given are 0
  EXPECT_EQ(Decode(encode(0, {0, 0}), fewer), 0);
  EXPECT_EQ(fewer.pixels, image.pixels);
  // One type too many, a match one too long, a match cut short, a length no section for 4 types
  // has.
  for (const auto& bad : {std::vector<uint8_t>{0, 1, 1, 1, 1, 1}, {0x01, 12, 0x20}, {0x01, 12}}) {
    RowCollector rows;
    EXPECT_EQ(Decode(encode(1, bad), rows), -1);
    EXPECT_TRUE(rows.rowCalls.empty());
  }
  std::vector<uint8_t> claimed = AssembleTlg6(Tlg6Parts{3, 32, 8, 0, {}, {}});
  std::fill(claimed.begin() + 16, claimed.end(), 0xFF);
  RowCollector rows;
  EXPECT_EQ(DecodeTlg6Bytes(claimed, rows), -1);
}

// An invalid filter type stops its rows at its block; the rest of those rows
// reads 0 rather than whatever the caller's rows held, whichever way the
// streams are decoded.
TEST(Tlg6Decoder, InvalidFilterTypeLeavesNoPixelUnwritten) {
  const TestImage image = MakeTestImage(ImagePattern::kNoise, 32, 16, 3, true);
  Tlg6Parts parts = SplitTlg6(EncodeTlg6(image.pixels.data(), 32, 16, Tlg6EncodeOptions{0, 1}));
  parts.section = {0x00, 1, 1, 40, 1, 1, 1, 1, 1};  // eight literal types; block 2 of block row 0 is bad
  for (const Tlg6Lanes lanes : LanesOfThisProcessor()) {
    RowCollector rows;
    ASSERT_EQ(DecodeTlg6Bytes(AssembleTlg6(parts), rows, lanes), 0);
    EXPECT_EQ(std::count(rows.pixels.begin(), rows.pixels.end(), kUnwrittenPixel), 0);
    for (uint32_t y = 0; y < 8; ++y) {
      for (uint32_t x = 0; x < 32; ++x) {
        ASSERT_EQ(rows.Pixel(x, y), x < 16 ? image.pixels[y * 32 + x] : 0u) << x << ", " << y;
      }
    }
  }
}

TEST(Tlg6Decoder, ColourRecordChecks) {
  const TestImage image = MakeTestImage(ImagePattern::kGradient, 12, 20, 4, false);
  const Tlg6Parts encoded = SplitTlg6(EncodeTlg6(image.pixels.data(), 12, 20));
  const std::vector<uint32_t> lengths = ColourBitLengths(encoded.records);
  // Method bits in the last colour: its bytes are read, then the decode fails.
  for (uint32_t method = 1; method < 4; ++method) {
    std::vector<uint8_t> bytes = AssembleTlg6(encoded);
    bytes[bytes.size() - (lengths.back() + 7) / 8 - 1] |= static_cast<uint8_t>(method << 6);
    RowCollector rows;
    tMemDataStream stream(bytes.data(), static_cast<uint32_t>(bytes.size()));
    EXPECT_EQ(DecodeTlg6(&rows, CollectSize, CollectRow, stream), -1);
    EXPECT_EQ(Tell(stream), bytes.size());
    EXPECT_EQ(rows.rowCalls, CompleteRowCalls(16));
    EXPECT_EQ(rows.Pixel(11, 15), image.pixels[15 * 12 + 11]);
  }
  // The header's maximum bounds every colour; a huge one only costs what the width needs.
  Tlg6Parts parts = encoded;
  for (uint32_t maxBits : {*std::max_element(lengths.begin(), lengths.end()) - 1, 0xFFFFFFFFu}) {
    parts.maxBitLength = maxBits;
    RowCollector rows;
    EXPECT_EQ(Decode(parts, rows), maxBits == 0xFFFFFFFF ? 0 : -1);
  }
  // Width 1: one colour of a block row never takes more than 8 x 99 + 8 bits,
  // and values need coded bytes.
  for (const uint32_t bits : {8u * 99 + 8, 8u * 99 + 9, 0u}) {
    Tlg6Parts narrow{1, 1, 8, 0xFFFFFFFF, {}, {}};
    AppendColourRecord(narrow.records, bits ? ZeroValues(8).ZerosUntil(bits) : TestBits());
    RowCollector rows;
    EXPECT_EQ(Decode(narrow, rows), bits == 8 * 99 + 8 ? 0 : -1) << bits;
  }
}

TEST(Tlg6Decoder, TruncatedOrDamagedImagesFailCleanly) {
  const TestImage sprite = MakeTestImage(ImagePattern::kSprite, 13, 10, 2, false);
  const std::vector<uint8_t> body =
      AssembleTlg6(SplitTlg6(EncodeTlg6(sprite.pixels.data(), 13, 10)));
  for (size_t length = 0; length < body.size(); ++length) {
    RowCollector rows;
    ASSERT_EQ(DecodeTlg6Bytes(std::vector<uint8_t>(body.begin(), body.begin() + length), rows), -1)
        << length;
  }
  // Damage after the size fields (which only scale the work): decode or fail,
  // inside every buffer (the sanitizer build checks that), rows in order.
  std::mt19937 random(21);
  for (int trial = 0; trial < 400; ++trial) {
    const uint32_t width = 1 + random() % 30, height = 1 + random() % 20;
    const TestImage image =
        MakeTestImage(AllImagePatterns()[trial % 6], width, height, trial, trial % 3 == 0);
    Tlg6Parts parts = SplitTlg6(
        EncodeTlg6(image.pixels.data(), width, height, Tlg6EncodeOptions{trial % 4 ? 0 : 1, -1}));
    std::vector<uint8_t> bytes = AssembleTlg6(parts);
    for (uint32_t i = 0, n = 1 + random() % 4; i < n; ++i) {
      uint8_t& byte = bytes[16 + random() % (bytes.size() - 16)];
      byte = static_cast<uint8_t>(random() % 3 ? random() : byte ^ (1u << (random() % 8)));
    }
    RowCollector rows;
    const int result = DecodeTlg6Bytes(bytes, rows);
    const uint32_t delivered = static_cast<uint32_t>(rows.rowCalls.size() / 2);
    ASSERT_TRUE(result == 0 || result == -1) << trial;
    EXPECT_EQ(rows.rowCalls, CompleteRowCalls(delivered));
    EXPECT_EQ(result == 0, delivered == height);
  }
}

}  // namespace
