#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "encoder/tlg6_encoder.h"
#include "stream/binary_stream.h"
#include "tests/support/test_images.h"
#include "tests/tlg6/tlg6_test_support.h"
#include "tlg/tlg6/tlg6_decoder.h"

namespace {

// A colour of `count` zero values.
TestBits ZeroValues(uint32_t count) {
  TestBits bits;
  if (count > 0) bits.Bit(0).RunLength(count);
  return bits;
}

// A colour of `count` values, all 0 except `marker` at index `at`.
TestBits OneValue(uint32_t count, uint32_t at, uint32_t markerCode) {
  TestBits bits;
  bits.Bit(at == 0 ? 1 : 0);
  if (at > 0) bits.RunLength(at);
  bits.RunLength(1).PlainValue(markerCode, 0);
  if (at + 1 < count) bits.RunLength(count - at - 1);
  return bits;
}

// An image of the given size whose every colour is all zeros, filter types all 0.
Tlg6Parts ZeroImage(uint8_t colours, uint32_t width, uint32_t height) {
  Tlg6Parts parts;
  parts.colours = colours;
  parts.width = width;
  parts.height = height;
  parts.maxBitLength = 1000;
  for (uint32_t y0 = 0; y0 < height; y0 += 8) {
    const uint32_t rows = std::min(8u, height - y0);
    for (uint32_t c = 0; c < colours; ++c) AppendColourRecord(parts.records, ZeroValues(rows * width));
  }
  return parts;
}

TEST(Tlg6Decoder, RejectsBadHeadersBeforeAnyCallback) {
  const std::vector<std::vector<uint8_t>> leads = {
      {0, 0, 0, 0}, {2, 0, 0, 0}, {5, 0, 0, 0}, {3, 1, 0, 0}, {3, 0, 1, 0}, {4, 0, 0, 0x80}};
  for (const auto& lead : leads) {
    std::vector<uint8_t> bytes = AssembleTlg6(ZeroImage(3, 1, 1));
    std::copy(lead.begin(), lead.end(), bytes.begin());
    RowCollector rows;
    EXPECT_EQ(DecodeTlg6Bytes(bytes, rows), -1) << int{lead[0]};
    EXPECT_EQ(rows.sizeCalls, 0);
  }
  // Cut anywhere in the 16 header bytes.
  const std::vector<uint8_t> whole = AssembleTlg6(ZeroImage(1, 1, 1));
  for (size_t length = 0; length < 16; ++length) {
    RowCollector rows;
    EXPECT_EQ(DecodeTlg6Bytes(std::vector<uint8_t>(whole.begin(), whole.begin() + length), rows), -1);
    EXPECT_EQ(rows.sizeCalls, 0) << length;
  }
}

TEST(Tlg6Decoder, RejectsSizesWhoseBuffersOverflow32Bits) {
  struct Case {
    uint32_t width, height;
  };
  // Residual buffer width x 32 + 1; X x Y; rows numbered as signed 32-bit.
  for (const Case c : {Case{134217728, 1}, Case{0xFFFFFFFF, 1}, Case{134217727, 256 * 8},
                       Case{1, 0x80000000}}) {
    Tlg6Parts parts = ZeroImage(1, 0, 0);
    parts.width = c.width;
    parts.height = c.height;
    RowCollector rows;
    EXPECT_EQ(DecodeTlg6Bytes(AssembleTlg6(parts), rows), -1) << c.width << "x" << c.height;
    EXPECT_EQ(rows.sizeCalls, 0);
  }
  // The largest accepted get as far as the size callback.
  for (const Case c : {Case{134217727, 255 * 8}, Case{1, 0x7FFFFFFF}}) {
    Tlg6Parts parts = ZeroImage(1, 0, 0);
    parts.width = c.width;
    parts.height = c.height;
    RowCollector rows;
    rows.acceptSize = false;
    EXPECT_EQ(DecodeTlg6Bytes(AssembleTlg6(parts), rows), 1);
    EXPECT_EQ(rows.sizeCalls, 1);
  }
}

TEST(Tlg6Decoder, SizeCallbackDecidesBeforeAnythingElseIsRead) {
  const std::vector<uint8_t> bytes = AssembleTlg6(ZeroImage(3, 5, 3));
  RowCollector rows;
  rows.acceptSize = false;
  tMemDataStream stream(bytes.data(), static_cast<uint32_t>(bytes.size()));
  EXPECT_EQ(DecodeTlg6(&rows, CollectSize, CollectRow, stream), 1);
  EXPECT_EQ(rows.sizeCalls, 1);
  EXPECT_EQ(rows.width, 5u);
  EXPECT_EQ(rows.height, 3u);
  EXPECT_TRUE(rows.rowCalls.empty());
  EXPECT_EQ(Tell(stream), 16u);

  // No size callback at all counts as a yes.
  RowCollector direct;
  CollectSize(&direct, 5, 3);
  direct.sizeCalls = 0;
  tMemDataStream again(bytes.data(), static_cast<uint32_t>(bytes.size()));
  EXPECT_EQ(DecodeTlg6(&direct, nullptr, CollectRow, again), 0);
  EXPECT_EQ(direct.rowCalls, CompleteRowCalls(3));
  EXPECT_EQ(direct.pixels, std::vector<uint32_t>(15, 0xFF000000));
}

TEST(Tlg6Decoder, RowCallbackStopsTheDecode) {
  const std::vector<uint8_t> bytes = AssembleTlg6(ZeroImage(4, 9, 12));
  RowCollector rows;
  rows.stopAtRow = 5;
  EXPECT_EQ(DecodeTlg6Bytes(bytes, rows), 1);
  std::vector<int32_t> expected = CompleteRowCalls(5);
  expected.push_back(5);
  EXPECT_EQ(rows.rowCalls, expected);
  EXPECT_EQ(rows.Pixel(8, 4), 0u);
  EXPECT_EQ(rows.Pixel(0, 5), kUnwrittenPixel);
}

TEST(Tlg6Decoder, EmptyImages) {
  // Height 0: the filter section is still read, no row is asked for.
  {
    RowCollector rows;
    EXPECT_EQ(DecodeTlg6Bytes(AssembleTlg6(ZeroImage(3, 40, 0)), rows), 0);
    EXPECT_EQ(rows.sizeCalls, 1);
    EXPECT_TRUE(rows.rowCalls.empty());
    const std::vector<uint8_t> noSectionLength = {3, 0, 0, 0, 40, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    RowCollector cut;
    EXPECT_EQ(DecodeTlg6Bytes(noSectionLength, cut), -1);
    Tlg6Parts withSection = ZeroImage(3, 40, 0);
    withSection.section = {0x00, 0x00};
    RowCollector extra;
    EXPECT_EQ(DecodeTlg6Bytes(AssembleTlg6(withSection), extra), -1);
  }
  // Width 0: each block row's colour headers are read, every row is
  // delivered and nothing is written into it.
  {
    struct EmptyRows {
      std::vector<int32_t> calls;
      uint32_t guard = 0x600DF00D;
    };
    const auto row = [](void* context, int32_t y) -> void* {
      auto& rows = *static_cast<EmptyRows*>(context);
      rows.calls.push_back(y);
      return &rows.guard;
    };
    const Tlg6Parts parts = ZeroImage(4, 0, 10);
    ASSERT_EQ(parts.records.size(), 2u * 4 * 4);
    for (size_t cut = 0; cut <= 4; cut += 4) {
      std::vector<uint8_t> bytes = AssembleTlg6(parts);
      bytes.resize(bytes.size() - cut);
      EmptyRows rows;
      tMemDataStream stream(bytes.data(), static_cast<uint32_t>(bytes.size()));
      EXPECT_EQ(DecodeTlg6(&rows, nullptr, row, stream), cut ? -1 : 0);
      EXPECT_EQ(rows.calls, CompleteRowCalls(cut ? 8 : 10));
      EXPECT_EQ(rows.guard, 0x600DF00Du);
    }
  }
}

// Where one value of one colour lands in the image, by the residual buffer
// layout: blocks from the left, odd blocks bottom to top, odd rows right to left.
struct Place {
  uint32_t x, y;
};
Place PlaceOf(uint32_t index, uint32_t width, uint32_t y0, uint32_t rows) {
  const uint32_t block = index / (8 * rows);
  const uint32_t within = index - block * 8 * rows;
  const uint32_t w = std::min(8u, width - 8 * block);
  const uint32_t stored = within / w, column = within % w;
  const uint32_t yy = block % 2 == 0 ? stored : rows - 1 - stored;
  const uint32_t x = 8 * block + (yy % 2 == 0 ? column : w - 1 - column);
  return Place{x, y0 + yy};
}

// One non-zero residual among zeros: with filter type 0 every pixel before
// it (in row order) predicts and decodes to 0, and it shows itself.
TEST(Tlg6Decoder, ValuesLandWhereTheLayoutPutsThem) {
  struct Size {
    uint32_t width, height;
  };
  for (const Size size : {Size{9, 2}, Size{17, 3}, Size{5, 8}, Size{16, 11}, Size{3, 5}, Size{8, 1}}) {
    for (const uint8_t colours : {1, 3, 4}) {
      for (uint32_t y0 = 0; y0 < size.height; y0 += 8) {
        const uint32_t rows = std::min(8u, size.height - y0);
        const uint32_t count = rows * size.width;
        for (uint32_t c = 0; c < colours; ++c) {
          for (uint32_t index = 0; index < count; ++index) {
            Tlg6Parts parts = ZeroImage(colours, size.width, size.height);
            parts.records.clear();  // filter types: none given, so all 0
            for (uint32_t r0 = 0; r0 < size.height; r0 += 8) {
              const uint32_t n = std::min(8u, size.height - r0) * size.width;
              for (uint32_t cc = 0; cc < colours; ++cc) {
                AppendColourRecord(parts.records,
                                   r0 == y0 && cc == c ? OneValue(n, index, 9) : ZeroValues(n));
              }
            }
            RowCollector got;
            ASSERT_EQ(DecodeTlg6Bytes(AssembleTlg6(parts), got), 0);
            const uint32_t alpha = colours == 3 ? 0xFF000000 : 0;
            uint32_t first = 0;
            while (got.pixels[first] == alpha) ++first;
            const Place place = PlaceOf(index, size.width, y0, rows);
            ASSERT_EQ(first, place.y * size.width + place.x)
                << size.width << "x" << size.height << " colours " << int{colours} << " colour " << c
                << " block row at " << y0 << " index " << index;
            ASSERT_EQ(got.pixels[first], alpha | 5u << (8 * c));  // code 9 is +5
          }
        }
      }
    }
  }
}

TEST(Tlg6Decoder, FilterSectionBounds) {
  const TestImage image = MakeTestImage(ImagePattern::kNoise, 32, 8, 1, true);
  Tlg6EncodeOptions options;
  options.filterType = 1;
  const Tlg6Parts encoded = SplitTlg6(EncodeTlg6(image.pixels.data(), 32, 8, options));
  ASSERT_EQ(encoded.section, (std::vector<uint8_t>{0, 1, 1, 1, 1}));
  const auto decode = [&](const std::vector<uint8_t>& section, RowCollector& rows) {
    Tlg6Parts parts = encoded;
    parts.section = section;
    return DecodeTlg6Bytes(AssembleTlg6(parts), rows);
  };
  // A match into the dictionary's pattern: slot 12 holds 01 01 01 01.
  RowCollector matched;
  EXPECT_EQ(decode({0x01, 12, 0x10}, matched), 0);
  EXPECT_EQ(matched.pixels, image.pixels);
  // One byte too many, either way.
  RowCollector tooMany;
  EXPECT_EQ(decode({0x00, 1, 1, 1, 1, 1}, tooMany), -1);
  RowCollector tooLong;
  EXPECT_EQ(decode({0x01, 12, 0x20}, tooLong), -1);
  // Cut inside a match.
  RowCollector cut;
  EXPECT_EQ(decode({0x01, 12}, cut), -1);
  EXPECT_EQ(cut.sizeCalls, 1);
  EXPECT_TRUE(cut.rowCalls.empty());
  // Longer than any section for 4 filter types could be, claimed but absent.
  Tlg6Parts huge = encoded;
  huge.section.clear();
  huge.records.clear();
  std::vector<uint8_t> bytes = AssembleTlg6(huge);
  bytes[16] = bytes[17] = bytes[18] = bytes[19] = 0xFF;
  RowCollector claimed;
  EXPECT_EQ(DecodeTlg6Bytes(bytes, claimed), -1);
  // Fewer bytes than blocks: the rest are filter type 0.
  Tlg6Parts zeros = encoded;
  options.filterType = 0;
  const Tlg6Parts filter0 = SplitTlg6(EncodeTlg6(image.pixels.data(), 32, 8, options));
  zeros.records = filter0.records;
  zeros.section = {0x00, 0};
  RowCollector rest;
  EXPECT_EQ(DecodeTlg6Bytes(AssembleTlg6(zeros), rest), 0);
  EXPECT_EQ(rest.pixels, image.pixels);
}

TEST(Tlg6Decoder, ColourRecordChecks) {
  const TestImage image = MakeTestImage(ImagePattern::kGradient, 12, 20, 4, false);
  const Tlg6Parts encoded = SplitTlg6(EncodeTlg6(image.pixels.data(), 12, 20));
  ASSERT_EQ(encoded.colours, 4);
  // Method bits in the last colour of the last block row: the first two
  // block rows are delivered, and the coded bytes are consumed.
  for (uint32_t method = 1; method < 4; ++method) {
    Tlg6Parts parts = encoded;
    parts.records.clear();
    std::vector<uint8_t> bytes = AssembleTlg6(parts);
    const size_t recordsAt = bytes.size();
    bytes.insert(bytes.end(), encoded.records.begin(), encoded.records.end());
    // Walk to the last colour header.
    size_t at = recordsAt, last = at;
    while (at < bytes.size()) {
      last = at;
      const uint32_t bits = bytes[at] | bytes[at + 1] << 8 | bytes[at + 2] << 16 | (bytes[at + 3] & 0x3F) << 24;
      at += 4 + (bits + 7) / 8;
    }
    ASSERT_EQ(at, bytes.size());
    bytes[last + 3] |= static_cast<uint8_t>(method << 6);
    RowCollector rows;
    tMemDataStream stream(bytes.data(), static_cast<uint32_t>(bytes.size()));
    EXPECT_EQ(DecodeTlg6(&rows, CollectSize, CollectRow, stream), -1);
    EXPECT_EQ(Tell(stream), bytes.size());
    EXPECT_EQ(rows.rowCalls, CompleteRowCalls(16));
    EXPECT_EQ(rows.Pixel(11, 15), image.pixels[15 * 12 + 11]);
  }
  // The maximum bit length bounds every colour; a huge one is harmless.
  uint32_t longest = 0;
  for (size_t at = 0; at < encoded.records.size();) {
    const uint32_t bits = encoded.records[at] | encoded.records[at + 1] << 8 | encoded.records[at + 2] << 16 |
                          static_cast<uint32_t>(encoded.records[at + 3]) << 24;
    longest = std::max(longest, bits);
    at += 4 + (bits + 7) / 8;
  }
  EXPECT_EQ(encoded.maxBitLength, longest);
  Tlg6Parts parts = encoded;
  parts.maxBitLength = longest - 1;
  RowCollector tooSmall;
  EXPECT_EQ(DecodeTlg6Bytes(AssembleTlg6(parts), tooSmall), -1);
  parts.maxBitLength = 0xFFFFFFFF;
  RowCollector huge;
  EXPECT_EQ(DecodeTlg6Bytes(AssembleTlg6(parts), huge), 0);
  EXPECT_EQ(huge.pixels, image.pixels);
}

TEST(Tlg6Decoder, BitLengthBeyondWhatAColourCanTakeFails) {
  // Width 1: a block row's colour holds at most 8 values, so no more than
  // 8 x 99 + 8 bits, whatever the header allows.
  Tlg6Parts parts = ZeroImage(1, 1, 8);
  parts.maxBitLength = 0xFFFFFFFF;
  parts.records.clear();
  TestBits padded = ZeroValues(8);
  padded.Zeros(8 * 99 + 8 - padded.size());
  AppendColourRecord(parts.records, padded);
  RowCollector fits;
  EXPECT_EQ(DecodeTlg6Bytes(AssembleTlg6(parts), fits), 0);
  parts.records.clear();
  padded.Bit(0);
  AppendColourRecord(parts.records, padded);
  RowCollector over;
  EXPECT_EQ(DecodeTlg6Bytes(AssembleTlg6(parts), over), -1);
  EXPECT_TRUE(over.rowCalls.empty());
  // No coded bytes at all for values that are needed.
  parts.records.clear();
  AppendColourRecord(parts.records, TestBits());
  RowCollector empty;
  EXPECT_EQ(DecodeTlg6Bytes(AssembleTlg6(parts), empty), -1);
}

TEST(Tlg6Decoder, EveryTruncationFails) {
  const TestImage image = MakeTestImage(ImagePattern::kSprite, 13, 10, 2, false);
  const std::vector<uint8_t> full = EncodeTlg6(image.pixels.data(), 13, 10);
  const std::vector<uint8_t> body(full.begin() + 11, full.end());
  for (size_t length = 0; length < body.size(); ++length) {
    RowCollector rows;
    ASSERT_EQ(DecodeTlg6Bytes(std::vector<uint8_t>(body.begin(), body.begin() + length), rows), -1)
        << length;
  }
  RowCollector rows;
  EXPECT_EQ(DecodeTlg6Bytes(body, rows), 0);
}

// Damaged images decode or fail, staying inside every buffer (the
// sanitizer build checks that) and keeping the callback order.
TEST(Tlg6Decoder, DamagedImagesNeverEscapeTheirBuffers) {
  std::mt19937 random(21);
  for (int trial = 0; trial < 400; ++trial) {
    const uint32_t width = 1 + random() % 30, height = 1 + random() % 20;
    const TestImage image = MakeTestImage(AllImagePatterns()[trial % 6], width, height, trial, trial % 3 == 0);
    Tlg6EncodeOptions options;
    options.colours = trial % 4 == 1 ? 1 : 0;
    std::vector<uint8_t> bytes = EncodeTlg6(image.pixels.data(), width, height, options);
    bytes.erase(bytes.begin(), bytes.begin() + 11);
    const int damage = 1 + static_cast<int>(random() % 4);
    for (int i = 0; i < damage; ++i) {
      // Past the width, height and maximum bit length, which only scale the work.
      const size_t at = 16 + random() % (bytes.size() - 16);
      bytes[at] = static_cast<uint8_t>(random() % 3 == 0 ? bytes[at] ^ (1u << (random() % 8)) : random());
    }
    RowCollector rows;
    const int result = DecodeTlg6Bytes(bytes, rows);
    ASSERT_TRUE(result == 0 || result == -1) << trial;
    const size_t delivered = rows.rowCalls.size() / 2;
    EXPECT_EQ(rows.rowCalls, CompleteRowCalls(static_cast<uint32_t>(delivered)));
    if (result == 0) {
      EXPECT_EQ(delivered, height);
    }
  }
}

}  // namespace
