#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

#include "encoder/tlg5_encoder.h"
#include "encoder/tlg5_planes.h"
#include "stream/binary_stream.h"
#include "tests/support/row_collector.h"
#include "tests/support/test_images.h"
#include "tlg/tlg5/tlg5_decoder.h"
#include "tlg/tlg5/tlg5_format.h"

namespace {

using Bytes = std::vector<uint8_t>;

// Decodes an encoder's output: the signature is checked here, as the loader
// would, and the decoder starts after it.
int DecodeFile(const Bytes& file, RowCollector& rows) {
  if (file.size() < kTlg5SignatureSize ||
      !std::equal(kTlg5Signature, kTlg5Signature + kTlg5SignatureSize, file.begin())) {
    return kLoadFailed;
  }
  tMemDataStream stream(file.data() + kTlg5SignatureSize,
                        static_cast<uint32_t>(file.size() - kTlg5SignatureSize));
  return DecodeTlg5(&rows, CollectSize, CollectRow, stream);
}

uint32_t ReadUInt32(const Bytes& file, size_t offset) {
  return file[offset] | file[offset + 1] << 8 | file[offset + 2] << 16 |
         static_cast<uint32_t>(file[offset + 3]) << 24;
}

struct Layout {
  uint8_t colours = 0;
  std::vector<uint32_t> tableEntries;
  std::vector<uint32_t> blockLengths;
  std::vector<uint8_t> marks;
  size_t end = 0;
};

// Walks the blocks by their records alone, without the table.
Layout Walk(const Bytes& file) {
  Layout layout;
  layout.colours = file[11];
  const uint32_t height = ReadUInt32(file, 16), blockHeight = ReadUInt32(file, 20);
  const uint32_t blocks = height == 0 ? 0 : (height - 1) / blockHeight + 1;
  size_t at = 24;
  for (uint32_t b = 0; b < blocks; ++b) layout.tableEntries.push_back(ReadUInt32(file, 24 + 4 * b));
  at += 4 * blocks;
  for (uint32_t b = 0; b < blocks; ++b) {
    const size_t start = at;
    for (int c = 0; c < layout.colours; ++c) {
      layout.marks.push_back(file[at]);
      at += 5 + ReadUInt32(file, at + 1);
    }
    layout.blockLengths.push_back(static_cast<uint32_t>(at - start));
  }
  layout.end = at;
  return layout;
}

// Alpha as the decoder gives it back for 3 planes.
std::vector<uint32_t> Opaque(std::vector<uint32_t> pixels) {
  for (auto& p : pixels) p |= 0xFF000000;
  return pixels;
}

TEST(Tlg5RoundTrip, DecodesEveryPatternAndSizeExactly) {
  const std::pair<uint32_t, uint32_t> sizes[] = {
      {1, 1}, {1, 9}, {9, 1}, {2, 3}, {4, 4}, {5, 7}, {16, 8}, {17, 9}, {31, 33}, {64, 65}, {300, 13}};
  for (const auto pattern : AllImagePatterns()) {
    for (const auto& [width, height] : sizes) {
      for (const uint32_t blockHeight : {1u, 3u, 4u, 8u, 100u}) {
        for (const int colours : {0, 3, 4}) {
          const TestImage image =
              MakeTestImage(pattern, width, height, width * 31 + height, colours == 3);
          const Bytes file =
              EncodeTlg5(image.pixels.data(), width, height, Tlg5EncodeOptions{colours, blockHeight});
          RowCollector rows;
          ASSERT_EQ(DecodeFile(file, rows), kLoadComplete);
          ASSERT_EQ(rows.pixels, image.pixels)
              << PatternName(pattern) << " " << width << "x" << height << " blocks of "
              << blockHeight << ", colours " << colours;
        }
      }
    }
  }
}

// Enough expanded bytes to refill the decoder's window many times, and rows
// so wide that every compressed record needs a fresh window: matches still
// reach the 4096 bytes before each record.
TEST(Tlg5RoundTrip, RecordsThatOutgrowTheExpansionWindow) {
  const std::pair<uint32_t, uint32_t> sizes[] = {{256, 200}, {9001, 10}};
  for (const auto pattern : AllImagePatterns()) {
    for (const auto& [width, height] : sizes) {
      const TestImage image = MakeTestImage(pattern, width, height, width + height, false);
      const Bytes file = EncodeTlg5(image.pixels.data(), width, height, Tlg5EncodeOptions{4, 4});
      RowCollector rows;
      ASSERT_EQ(DecodeFile(file, rows), kLoadComplete);
      ASSERT_EQ(rows.pixels, image.pixels) << PatternName(pattern) << " " << width << "x" << height;
    }
  }
}

TEST(Tlg5RoundTrip, ChoosesPlanesAndDropsAlphaOnlyWhenAsked) {
  const TestImage opaque = MakeTestImage(ImagePattern::kGradient, 10, 6, 1, true);
  const TestImage sprite = MakeTestImage(ImagePattern::kSprite, 10, 6, 1, false);
  EXPECT_EQ(EncodeTlg5(opaque.pixels.data(), 10, 6)[11], 3);
  EXPECT_EQ(EncodeTlg5(sprite.pixels.data(), 10, 6)[11], 4);

  const Bytes file = EncodeTlg5(sprite.pixels.data(), 10, 6, Tlg5EncodeOptions{3, 4});
  EXPECT_EQ(file[11], 3);
  RowCollector rows;
  ASSERT_EQ(DecodeFile(file, rows), kLoadComplete);
  EXPECT_EQ(rows.pixels, Opaque(sprite.pixels));

  EXPECT_THROW(EncodeTlg5(opaque.pixels.data(), 10, 6, Tlg5EncodeOptions{2, 4}),
               std::invalid_argument);
  EXPECT_THROW(EncodeTlg5(opaque.pixels.data(), 10, 6, Tlg5EncodeOptions{0, 0}),
               std::invalid_argument);
}

// Asked to, the encoder stores fully transparent pixels as 0 and nothing else
// changes; by default their colours come back.
TEST(Tlg5RoundTrip, ClearTransparentZeroesOnlyFullyTransparentPixels) {
  TestImage image = MakeTestImage(ImagePattern::kSprite, 37, 21, 4, false);
  const TestImage cleared = RecolourTransparent(image, 3);
  ASSERT_NE(image.pixels, cleared.pixels);
  Tlg5EncodeOptions options;
  options.clearTransparent = true;
  EXPECT_EQ(EncodeTlg5(image.pixels.data(), 37, 21, options),
            EncodeTlg5(cleared.pixels.data(), 37, 21));
  RowCollector rows;
  ASSERT_EQ(DecodeFile(EncodeTlg5(image.pixels.data(), 37, 21), rows), kLoadComplete);
  EXPECT_EQ(rows.pixels, image.pixels);
}

TEST(Tlg5RoundTrip, LayoutHasATrueTableAndStoresWhatDoesNotCompress) {
  const TestImage flat = MakeTestImage(ImagePattern::kFlat, 200, 50, 3, false);
  const TestImage noise = MakeTestImage(ImagePattern::kNoise, 200, 50, 3, false);
  const Bytes flatFile = EncodeTlg5(flat.pixels.data(), 200, 50, Tlg5EncodeOptions{0, 16});
  const Bytes noiseFile = EncodeTlg5(noise.pixels.data(), 200, 50, Tlg5EncodeOptions{0, 16});

  for (const Bytes* file : {&flatFile, &noiseFile}) {
    const Layout layout = Walk(*file);
    EXPECT_EQ(layout.end, file->size());
    EXPECT_EQ(layout.tableEntries, layout.blockLengths);
    EXPECT_EQ(layout.blockLengths.size(), 4u);
  }
  for (uint8_t mark : Walk(flatFile).marks) EXPECT_EQ(mark, kTlg5Compressed);
  for (uint8_t mark : Walk(noiseFile).marks) EXPECT_NE(mark, kTlg5Compressed);
  EXPECT_LT(flatFile.size(), 200u * 50 * 4 / 20);

  // No blocks at all for height 0.
  const Bytes empty = EncodeTlg5(nullptr, 7, 0);
  EXPECT_EQ(empty.size(), 24u);
  RowCollector rows;
  EXPECT_EQ(DecodeFile(empty, rows), kLoadComplete);
  EXPECT_EQ(rows.sizeCalls, 1);
}

// Delivered rows are a prefix of a complete decode, each with its end-of-row call.
bool RowCallsArePrefix(const std::vector<int32_t>& calls, uint32_t height) {
  const auto complete = CompleteRowCalls(height);
  if (calls.size() > complete.size()) return false;
  return std::equal(calls.begin(), calls.end(), complete.begin());
}

TEST(Tlg5RoundTrip, DamagedFilesFailWithoutLeavingTheBuffers) {
  const TestImage image = MakeTestImage(ImagePattern::kAlphaRamp, 23, 11, 5, false);
  const Bytes file = EncodeTlg5(image.pixels.data(), 23, 11, Tlg5EncodeOptions{0, 4});
  for (size_t length = 0; length < file.size(); ++length) {
    RowCollector rows;
    ASSERT_EQ(DecodeFile(Bytes(file.begin(), file.begin() + length), rows), kLoadFailed)
        << length;
    EXPECT_TRUE(RowCallsArePrefix(rows.rowCalls, 11)) << length;
  }
  // Corrupted bytes anywhere after the image size: any result, but only within
  // the contract (and the sanitizers watch the buffers).
  constexpr size_t kBlockHeightOffset = 20;
  std::mt19937 random(9);
  for (int trial = 0; trial < 2000; ++trial) {
    Bytes damaged = file;
    for (int flips = 1 + trial % 3; flips > 0; --flips) {
      const size_t at = kBlockHeightOffset + random() % (file.size() - kBlockHeightOffset);
      damaged[trial % 50 == 0 ? kTlg5SignatureSize : at] ^= static_cast<uint8_t>(1 + random() % 255);
    }
    RowCollector rows;
    const int result = DecodeFile(damaged, rows);
    if (result == kLoadComplete) {
      EXPECT_EQ(rows.rowCalls, CompleteRowCalls(11)) << trial;
    } else {
      EXPECT_EQ(result, kLoadFailed) << trial;
      EXPECT_TRUE(RowCallsArePrefix(rows.rowCalls, 11)) << trial;
    }
  }
}

}  // namespace

namespace {

TEST(Tlg5Planes, VectorSplitMatchesThePortableOne) {
  // Widths around the 16-pixel steps, a first row and a later one.
  std::mt19937 random(5);
  for (uint32_t width : {1u, 15u, 16u, 17u, 33u, 70u}) {
    std::vector<uint32_t> pixels(width * 3);
    for (auto& p : pixels) p = static_cast<uint32_t>(random());
    for (uint32_t first : {0u, 1u}) {
      const size_t count = static_cast<size_t>(3 - first) * width;
      Bytes vector[4], portable[4];
      uint8_t* vectorPlanes[4];
      uint8_t* portablePlanes[4];
      for (int c = 0; c < 4; ++c) {
        vector[c].assign(count, 0);
        portable[c].assign(count, 1);
        vectorPlanes[c] = vector[c].data();
        portablePlanes[c] = portable[c].data();
      }
      SplitTlg5Rows(pixels.data(), width, first, 3, vectorPlanes);
      SplitTlg5RowsPortable(pixels.data(), width, first, 3, portablePlanes);
      for (int c = 0; c < 4; ++c) {
        EXPECT_EQ(vector[c], portable[c]) << width << " " << first << " " << c;
      }
    }
  }
}

}  // namespace
