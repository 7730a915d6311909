#include <gtest/gtest.h>

#include <vector>

#include "stream/binary_stream.h"

namespace {

std::vector<uint8_t> Bytes(uint32_t size) {
  std::vector<uint8_t> bytes(size);
  for (uint32_t i = 0; i < size; ++i) bytes[i] = static_cast<uint8_t>(i);
  return bytes;
}

TEST(MemDataStream, ReadsAreCutAtTheEndAndThenReturnZero) {
  const auto data = Bytes(10);
  tMemDataStream stream(data.data(), 10);
  EXPECT_EQ(stream.Seek(8, kSeekBegin), 8u);
  uint8_t buffer[4] = {0xAA, 0xAA, 0xAA, 0xAA};
  EXPECT_EQ(stream.Read(buffer, 4), 2u);
  EXPECT_EQ(buffer[0], 8);
  EXPECT_EQ(buffer[1], 9);
  EXPECT_EQ(buffer[2], 0xAA);
  EXPECT_EQ(Tell(stream), 10u);
  EXPECT_EQ(stream.Read(buffer, 4), 0u);
}

TEST(MemDataStream, SeekOriginsWrapAndNeverClamp) {
  const auto data = Bytes(100);
  tMemDataStream stream(data.data(), 100);
  EXPECT_EQ(stream.Seek(-4, kSeekEnd), 96u);
  EXPECT_EQ(stream.Seek(5, 7), 5u) << "unknown origin counts from the start";
  EXPECT_EQ(stream.Seek(10, kSeekCurrent), 15u);
  EXPECT_EQ(stream.Seek(200, kSeekBegin), 200u);
  uint8_t byte = 0;
  EXPECT_EQ(stream.Read(&byte, 1), 0u);
  // Only the low 32 bits of an offset count, and the sum wraps modulo 2^32.
  EXPECT_EQ(stream.Seek(0x100000005LL, kSeekBegin), 5u);
  EXPECT_EQ(stream.Seek(-1, kSeekBegin), 0xFFFFFFFFu);
  EXPECT_EQ(stream.Seek(2, kSeekCurrent), 1u);
  EXPECT_EQ(stream.Read(&byte, 1), 1u);
  EXPECT_EQ(byte, 1);
}

TEST(MemDataStream, NullDataAndWritesDoNothing) {
  tMemDataStream empty(nullptr, 100);
  uint8_t buffer[4] = {};
  EXPECT_EQ(empty.Seek(5, kSeekBegin), 0u);
  EXPECT_EQ(empty.Read(buffer, 4), 0u);
  EXPECT_FALSE(ReadExact(empty, buffer, 1));

  const auto data = Bytes(8);
  tMemDataStream stream(data.data(), 8);
  const uint8_t junk[2] = {0xFF, 0xFF};
  EXPECT_EQ(stream.Write(junk, 2), 0u);
  EXPECT_EQ(Tell(stream), 0u);
  EXPECT_EQ(data[0], 0);
}

TEST(StreamHelpers, ReadUInt32IsLittleEndianAndAllOrNothing) {
  const std::vector<uint8_t> data = {0x78, 0x56, 0x34, 0x12, 0x01, 0x02, 0x03};
  tMemDataStream stream(data.data(), static_cast<uint32_t>(data.size()));
  uint32_t value = 0;
  ASSERT_TRUE(ReadUInt32LE(stream, value));
  EXPECT_EQ(value, 0x12345678u);
  EXPECT_FALSE(ReadUInt32LE(stream, value));
  EXPECT_EQ(value, 0x12345678u) << "a short read leaves the value alone";
  EXPECT_EQ(Tell(stream), 7u) << "the bytes that did arrive are consumed";
}

TEST(StreamHelpers, ReadExactCountsOnlyWholeReads) {
  const auto data = Bytes(6);
  tMemDataStream stream(data.data(), 6);
  uint8_t buffer[8] = {};
  EXPECT_TRUE(ReadExact(stream, buffer, 0));
  EXPECT_TRUE(ReadExact(stream, buffer, 4));
  EXPECT_FALSE(ReadExact(stream, buffer, 4));
  EXPECT_EQ(Tell(stream), 6u);
  EXPECT_EQ(SeekTo(stream, 2), 2u);
  EXPECT_TRUE(ReadExact(stream, buffer, 4));
  EXPECT_EQ(buffer[0], 2);
  EXPECT_EQ(buffer[3], 5);
}

}  // namespace
