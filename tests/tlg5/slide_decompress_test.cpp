#include <gtest/gtest.h>

#include <array>
#include <vector>

#include "tlg/tlg5/slide_decompress.h"

namespace {

using Dictionary = std::array<uint8_t, kSlideDictionarySize>;

struct Expanded {
  std::vector<uint8_t> bytes;
  SlideResult result;
};

Expanded Expand(const std::vector<uint8_t>& input, Dictionary& dictionary, uint32_t position,
                uint32_t capacity = 4096) {
  Expanded e;
  e.bytes.assign(capacity, 0xCD);
  e.result = SlideDecompress(e.bytes.data(), capacity, input.data(),
                             static_cast<uint32_t>(input.size()), dictionary.data(), position);
  e.bytes.resize(e.result.written);
  return e;
}

Dictionary Zeros() {
  Dictionary d;
  d.fill(0);
  return d;
}

TEST(SlideDecompress, WorkedExampleRepeatsTheLiteral) {
  auto dictionary = Zeros();
  const auto e = Expand({0x02, 0x41, 0x00, 0x20}, dictionary, 0);
  EXPECT_EQ(e.bytes, std::vector<uint8_t>(6, 0x41));
  EXPECT_EQ(e.result.position, 6u);
  EXPECT_TRUE(e.result.complete);
  for (int i = 0; i < 6; ++i) EXPECT_EQ(dictionary[i], 0x41);
  EXPECT_EQ(dictionary[6], 0);
}

TEST(SlideDecompress, EmptyInputChangesNothing) {
  auto dictionary = Zeros();
  const auto e = Expand({}, dictionary, 1234);
  EXPECT_TRUE(e.bytes.empty());
  EXPECT_EQ(e.result.position, 1234u);
  EXPECT_TRUE(e.result.complete);
  EXPECT_EQ(dictionary, Zeros());
}

TEST(SlideDecompress, EachFlagByteServesEightItems) {
  auto dictionary = Zeros();
  // Eight literals, then a new flag byte whose first item is a literal.
  const auto e = Expand({0x00, 1, 2, 3, 4, 5, 6, 7, 8, 0x00, 9}, dictionary, 0);
  EXPECT_EQ(e.bytes, (std::vector<uint8_t>{1, 2, 3, 4, 5, 6, 7, 8, 9}));
  // Eight matches of slot 0 with length 3, then the stream ends with flag bits to spare.
  std::vector<uint8_t> matches = {0xFF};
  for (int i = 0; i < 8; ++i) {
    matches.push_back(0x00);
    matches.push_back(0x00);
  }
  matches.push_back(0x01);  // a flag byte whose only item is a match
  matches.push_back(0x05);
  matches.push_back(0x10);
  auto other = Zeros();
  other[0] = 0x77;
  other[5] = 0x55;
  const auto m = Expand(matches, other, 1);
  ASSERT_EQ(m.bytes.size(), 8u * 3 + 4);
  EXPECT_TRUE(m.result.complete);
  EXPECT_EQ(m.bytes[0], 0x77) << "slot 0, then the bytes this match just wrote";
  EXPECT_EQ(m.bytes[23], 0x77);
  EXPECT_EQ(m.bytes[24], 0x77) << "slot 5 was overwritten by the first match";
}

TEST(SlideDecompress, MatchLengthsSpanThreeTo273) {
  const struct {
    std::vector<uint8_t> input;
    uint32_t length;
  } cases[] = {
      {{0x01, 0x00, 0x00}, 3},
      {{0x01, 0x00, 0xE0}, 17},
      {{0x01, 0x00, 0xF0, 0x00}, 18},
      {{0x01, 0x00, 0xF0, 0xFF}, 273},
  };
  for (const auto& c : cases) {
    auto dictionary = Zeros();
    const auto e = Expand(c.input, dictionary, 100);
    EXPECT_EQ(e.bytes.size(), c.length);
    EXPECT_EQ(e.result.position, 100 + c.length);
    EXPECT_TRUE(e.result.complete);
  }
}

TEST(SlideDecompress, MatchOneBehindRepeatsAndMatchAtPositionCopiesInPlace) {
  auto dictionary = Zeros();
  // Literal 9 at slot 10, then a match from slot 10 (one behind) of length 5.
  auto e = Expand({0x02, 0x09, 0x0A, 0x20}, dictionary, 10);
  EXPECT_EQ(e.bytes, std::vector<uint8_t>(6, 9));

  for (int i = 0; i < 4; ++i) dictionary[200 + i] = static_cast<uint8_t>(40 + i);
  const Dictionary before = dictionary;
  e = Expand({0x01, 0xC8, 0x10}, dictionary, 200);  // source 200 == position, length 4
  EXPECT_EQ(e.bytes, (std::vector<uint8_t>{40, 41, 42, 43}));
  EXPECT_EQ(dictionary, before);
}

TEST(SlideDecompress, SourceAndPositionWrapAroundTheRing) {
  auto dictionary = Zeros();
  dictionary[4094] = 1;
  dictionary[4095] = 2;
  dictionary[0] = 3;
  dictionary[1] = 4;
  // Source 4094, length 4, stored from position 4090: the source wraps.
  auto e = Expand({0x01, 0xFE, 0x1F}, dictionary, 4090);
  EXPECT_EQ(e.bytes, (std::vector<uint8_t>{1, 2, 3, 4}));
  EXPECT_EQ(e.result.position, 4094u);

  // Source 10, length 4, stored from position 4094: the position wraps.
  for (int i = 0; i < 4; ++i) dictionary[10 + i] = static_cast<uint8_t>(5 + i);
  e = Expand({0x01, 0x0A, 0x10}, dictionary, 4094);
  EXPECT_EQ(e.bytes, (std::vector<uint8_t>{5, 6, 7, 8}));
  EXPECT_EQ(e.result.position, 2u);
  EXPECT_EQ(dictionary[4094], 5);
  EXPECT_EQ(dictionary[4095], 6);
  EXPECT_EQ(dictionary[0], 7);
  EXPECT_EQ(dictionary[1], 8);
}

TEST(SlideDecompress, CallsShareTheDictionaryButNotFlagBits) {
  auto dictionary = Zeros();
  // First call: flag byte 0x00 and one literal; seven flag bits are left unused.
  const auto first = Expand({0x00, 0x5A}, dictionary, 0);
  ASSERT_EQ(first.result.position, 1u);
  // Second call starts with its own flag byte: 0x01 makes its first item a
  // match, which copies the byte the first call stored at slot 0.
  const auto second = Expand({0x01, 0x00, 0x00}, dictionary, first.result.position);
  EXPECT_EQ(second.bytes, (std::vector<uint8_t>{0x5A, 0x5A, 0x5A}));
  EXPECT_EQ(second.result.position, 4u);
}

TEST(SlideDecompress, StopsAtTheOutputCapacity) {
  auto dictionary = Zeros();
  auto e = Expand({0x02, 0x41, 0x00, 0x20}, dictionary, 0, 4);
  EXPECT_FALSE(e.result.complete);
  EXPECT_LE(e.result.written, 4u);
  auto exact = Zeros();
  e = Expand({0x02, 0x41, 0x00, 0x20}, exact, 0, 6);
  EXPECT_TRUE(e.result.complete);
  EXPECT_EQ(e.result.written, 6u);
  auto literals = Zeros();
  e = Expand({0x00, 1, 2, 3}, literals, 0, 2);
  EXPECT_FALSE(e.result.complete);
  EXPECT_EQ(e.bytes, (std::vector<uint8_t>{1, 2}));
}

TEST(SlideDecompress, ItemsCutShortByTheInputEndAreNotCompleted) {
  const std::vector<std::vector<uint8_t>> cut = {
      {0x00},              // flag byte alone
      {0x01, 0x10},        // match missing its second byte
      {0x01, 0x10, 0xF0},  // long match missing its length byte
      {0x00, 7, 7, 7, 7, 7, 7, 7, 7, 0xFF},
  };
  for (const auto& input : cut) {
    auto dictionary = Zeros();
    // The vector holds exactly the input: a read past it is caught by the sanitizers.
    const auto e = Expand(input, dictionary, 0);
    EXPECT_FALSE(e.result.complete) << input.size();
  }
}

}  // namespace
