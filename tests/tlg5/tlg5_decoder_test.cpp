#include <gtest/gtest.h>

#include <vector>

#include "stream/binary_stream.h"
#include "tests/support/row_collector.h"
#include "tlg/tlg5/tlg5_decoder.h"
#include "tlg/tlg5/tlg5_format.h"

namespace {

using Bytes = std::vector<uint8_t>;

struct Record {
  uint8_t mark;
  Bytes data;
};
Record Stored(Bytes data) { return {kTlg5Stored, std::move(data)}; }
Record Packed(Bytes data) { return {kTlg5Compressed, std::move(data)}; }

void PutUInt32(Bytes& out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

// What follows the signature: header, a table of `tableEntries` dummies, records.
Bytes Image(uint8_t colours, uint32_t width, uint32_t height, uint32_t blockHeight,
            uint32_t tableEntries, const std::vector<Record>& records) {
  Bytes out{colours};
  PutUInt32(out, width);
  PutUInt32(out, height);
  PutUInt32(out, blockHeight);
  for (uint32_t i = 0; i < tableEntries; ++i) PutUInt32(out, 0xA5A5A5A5);
  for (const auto& r : records) {
    out.push_back(r.mark);
    PutUInt32(out, static_cast<uint32_t>(r.data.size()));
    out.insert(out.end(), r.data.begin(), r.data.end());
  }
  return out;
}

struct Decoded {
  int result;
  RowCollector rows;
  uint64_t consumed;
};

// The collector's rows, and a valid address for rows of width 0, which must stay unwritten.
uint32_t noPixels = kUnwrittenPixel;
void* CollectAnyRow(void* context, int32_t row) {
  void* destination = CollectRow(context, row);
  const auto& rows = *static_cast<RowCollector*>(context);
  if (destination == nullptr && row >= 0 && row != rows.stopAtRow && rows.width == 0) {
    return &noPixels;
  }
  return destination;
}

Decoded Decode(const Bytes& bytes, RowCollector rows = {}, bool withSizeCallback = true) {
  tMemDataStream stream(bytes.data(), static_cast<uint32_t>(bytes.size()));
  Decoded d{0, std::move(rows), 0};
  d.result = DecodeTlg5(&d.rows, withSizeCallback ? CollectSize : nullptr, CollectAnyRow, stream);
  d.consumed = Tell(stream);
  return d;
}

uint32_t Pixel(uint32_t b, uint32_t g, uint32_t r, uint32_t a) {
  return b | g << 8 | r << 16 | a << 24;
}

const std::vector<Record> kExampleRecords = {
    Stored({1, 2, 3, 4}), Stored({10, 20, 30, 40}), Stored({5, 6, 7, 8})};
const std::vector<uint32_t> kExamplePixels = {
    Pixel(11, 10, 15, 255), Pixel(33, 30, 41, 255), Pixel(44, 40, 52, 255),
    Pixel(110, 100, 126, 255)};

TEST(Tlg5Decoder, WorkedExample) {
  const auto d = Decode(Image(3, 2, 2, 2, 1, kExampleRecords));
  ASSERT_EQ(d.result, kLoadComplete);
  EXPECT_EQ(d.rows.sizeCalls, 1);
  EXPECT_EQ(d.rows.pixels, kExamplePixels);
  EXPECT_EQ(d.rows.rowCalls, CompleteRowCalls(2));
}

TEST(Tlg5Decoder, BlockTallerThanTheImageWithoutSizeCallback) {
  // The buffers follow the image's rows, not the claimed block height.
  RowCollector rows;
  rows.width = 2;
  rows.pixels.assign(4, kUnwrittenPixel);
  const auto d = Decode(Image(3, 2, 2, 0x7FFFFFF0, 1, kExampleRecords), rows, false);
  ASSERT_EQ(d.result, kLoadComplete);
  EXPECT_EQ(d.rows.pixels, kExamplePixels);
}

TEST(Tlg5Decoder, CompressedRecordsShareOneDictionaryThatStoredRecordsLeaveAlone) {
  // 3 planes, 4 x 2, one row per block. Position after each compressed record: 4, 8, 12, 16.
  const std::vector<Record> records = {
      Packed({0x00, 1, 2, 3, 4}),     // blue: literals into slots 0-3
      Stored({10, 20, 30, 40}),       // green: not in the dictionary
      Packed({0x02, 5, 0x04, 0x00}),  // red: literal 5 at slot 4, then 3 from slot 4
      Stored({9, 9, 9, 9}),           // blue of block 1: not in the dictionary either
      Packed({0x01, 0x08, 0x10}),     // green: 4 from slot 8 = the position, still zeros
      Packed({0x01, 0x00, 0x10}),     // red: 4 from slot 0, blue of block 0
  };
  const std::vector<Record> expanded = {
      Stored({1, 2, 3, 4}), Stored({10, 20, 30, 40}), Stored({5, 5, 5, 5}),
      Stored({9, 9, 9, 9}), Stored({0, 0, 0, 0}),     Stored({1, 2, 3, 4})};
  const auto d = Decode(Image(3, 4, 2, 1, 2, records));
  ASSERT_EQ(d.result, kLoadComplete);
  EXPECT_EQ(d.rows.pixels, Decode(Image(3, 4, 2, 1, 2, expanded)).rows.pixels);
}

TEST(Tlg5Decoder, RecordsShorterThanTheBlockLeaveZerosOrThePreviousBlock) {
  // Block 0 leaves blue empty and red one byte short; block 1 writes only one green byte.
  const std::vector<Record> shortRecords = {Stored({}),     Stored({1, 2}), Stored({3}),
                                            Stored({4, 4}), Stored({5}),    Stored({6, 6})};
  const std::vector<Record> fullRecords = {Stored({0, 0}), Stored({1, 2}), Stored({3, 0}),
                                           Stored({4, 4}), Stored({5, 2}), Stored({6, 6})};
  const auto d = Decode(Image(3, 2, 2, 1, 2, shortRecords));
  ASSERT_EQ(d.result, kLoadComplete);
  EXPECT_EQ(d.rows.pixels, Decode(Image(3, 2, 2, 1, 2, fullRecords)).rows.pixels);
}

TEST(Tlg5Decoder, RejectsHeadersBeforeTheSizeCallback) {
  const Bytes good = Image(3, 2, 2, 2, 1, kExampleRecords);
  for (uint8_t colours : {0, 1, 2, 5, 255}) {
    Bytes bad = good;
    bad[0] = colours;
    const auto d = Decode(bad);
    EXPECT_EQ(d.result, kLoadFailed) << int(colours);
    EXPECT_EQ(d.rows.sizeCalls, 0);
  }
  const Bytes rejected[] = {
      Image(3, 2, 2, 0, 1, kExampleRecords),            // block height 0
      Image(4, 0x10000, 1, 0x10000, 1, {}),             // block buffers past 32 bits
      Image(3, 0xFFFFFFF6, 1, 1, 1, {}),                // one row past 32 bits with its slack
      Image(3, 0, 0x80000000u, 1, 1, {}),               // rows past the signed 32-bit numbers
  };
  for (const auto& bytes : rejected) {
    const auto d = Decode(bytes);
    EXPECT_EQ(d.result, kLoadFailed);
    EXPECT_EQ(d.rows.sizeCalls, 0);
  }
  for (size_t length = 0; length < 13; ++length) {
    const auto d = Decode(Bytes(good.begin(), good.begin() + length));
    EXPECT_EQ(d.result, kLoadFailed) << length;
    EXPECT_EQ(d.rows.sizeCalls, 0);
  }
}

TEST(Tlg5Decoder, EmptyImagesStillFollowTheContract) {
  // Height 0: the size is reported, nothing more is read or asked for.
  auto d = Decode(Image(3, 5, 0, 4, 0, {}));
  EXPECT_EQ(d.result, kLoadComplete);
  EXPECT_EQ(d.rows.sizeCalls, 1);
  EXPECT_TRUE(d.rows.rowCalls.empty());

  // Width 0: every record of both blocks is read and every row is asked for.
  std::vector<Record> empty(6, Stored({}));
  const Bytes image = Image(3, 0, 3, 2, 2, empty);
  d = Decode(image);
  EXPECT_EQ(d.result, kLoadComplete);
  EXPECT_EQ(d.consumed, image.size());
  EXPECT_EQ(d.rows.rowCalls, CompleteRowCalls(3));
  EXPECT_EQ(noPixels, kUnwrittenPixel);
  EXPECT_EQ(Decode(Bytes(image.begin(), image.end() - 1)).result, kLoadFailed);
}

TEST(Tlg5Decoder, CallbacksCanStopTheDecode) {
  const Bytes image = Image(3, 2, 2, 1, 2,
                            {Stored({1, 2}), Stored({10, 20}), Stored({5, 6}), Stored({3, 4}),
                             Stored({30, 40}), Stored({7, 8})});
  RowCollector refuse;
  refuse.acceptSize = false;
  auto d = Decode(image, refuse);
  EXPECT_EQ(d.result, kLoadStopped);
  EXPECT_TRUE(d.rows.rowCalls.empty());
  EXPECT_EQ(d.consumed, 13u) << "the block index table is not skipped";

  for (int32_t stop : {0, 1}) {
    RowCollector rows;
    rows.stopAtRow = stop;
    d = Decode(image, rows);
    EXPECT_EQ(d.result, kLoadStopped);
    std::vector<int32_t> expected = CompleteRowCalls(stop);
    expected.push_back(stop);  // no end-of-row call for the refused row
    EXPECT_EQ(d.rows.rowCalls, expected);
  }
}

TEST(Tlg5Decoder, RejectsRecordsThatDoNotFitTheBuffers) {
  // 1 x 1 in one block: buffers of 1 + 10 bytes.
  const Record green = Stored({0}), red = Stored({0});
  const Record expandsToBuffer = Packed({0x01, 0x00, 0x80});  // 11 zeros
  EXPECT_EQ(Decode(Image(3, 1, 1, 1, 1, {expandsToBuffer, green, red})).result, kLoadComplete);

  const Record failing[] = {
      Stored(Bytes(12, 0)),        // larger than the buffers
      Packed({0x01, 0x00, 0x90}),  // expands to 12
      Packed({0x01, 0x00}),        // match cut short
      Packed(Bytes(12, 0)),        // larger than the scratch buffer
  };
  for (const auto& bad : failing) {
    const auto d = Decode(Image(3, 1, 1, 1, 1, {bad, green, red}));
    EXPECT_EQ(d.result, kLoadFailed);
    EXPECT_TRUE(d.rows.rowCalls.empty());
  }
  // A failure in block 1 leaves block 0's rows delivered.
  const auto d = Decode(Image(3, 1, 2, 1, 2, {green, green, red, Stored(Bytes(12, 0)), green, red}));
  EXPECT_EQ(d.result, kLoadFailed);
  EXPECT_EQ(d.rows.rowCalls, CompleteRowCalls(1));
}

TEST(Tlg5Compose, LanesWrapApartAndThreePlanesIgnoreTheAlphaAbove) {
  const uint8_t blue[] = {0x80, 0x00}, green[] = {0x01, 0x00}, red[] = {0x7F, 0x00},
                alpha[] = {0x01, 0x01};
  uint32_t row[] = {0xFF80FF80, 0x00000000};
  ComposeTlg5Row4(row, row, blue, green, red, alpha, 2);
  EXPECT_EQ(row[0], Pixel(0x01, 0x00, 0x00, 0x00));
  EXPECT_EQ(row[1], Pixel(0x81, 0x01, 0x80, 0x02));
  const uint32_t above[] = {0x00010203, 0x7F000000};
  ComposeTlg5Row3(row, above, blue, green, red, 2);
  EXPECT_EQ(row[0], Pixel(0x84, 0x03, 0x81, 0xFF));
  EXPECT_EQ(row[1], Pixel(0x81, 0x01, 0x80, 0xFF));
}

}  // namespace
