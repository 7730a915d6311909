#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <random>
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

// Item by item, one byte at a time through the ring, stopping at the first
// item that does not fit the output or is cut short by the end of the input.
SlideResult ReferenceExpand(uint8_t* out, uint32_t capacity, const std::vector<uint8_t>& in,
                            uint8_t* dictionary, uint32_t position) {
  size_t at = 0;
  uint32_t written = 0;
  position &= 0xFFF;
  while (at < in.size()) {
    const uint32_t flags = in[at++];
    if (at == in.size()) return {position, written, false};  // a flag byte without items
    for (int item = 0; item < 8 && at < in.size(); ++item) {
      if (((flags >> item) & 1) == 0) {
        if (written == capacity) return {position, written, false};
        out[written++] = dictionary[position] = in[at++];
        position = (position + 1) & 0xFFF;
        continue;
      }
      if (in.size() - at < 2) return {position, written, false};
      uint32_t source = in[at] | (in[at + 1] & 0x0F) << 8;
      uint32_t length = (in[at + 1] >> 4) + 3;
      at += 2;
      if (length == 18) {
        if (at == in.size()) return {position, written, false};
        length = in[at++] + 18u;
      }
      if (capacity - written < length) return {position, written, false};
      for (uint32_t i = 0; i < length; ++i) {
        out[written++] = dictionary[position] = dictionary[source];
        source = (source + 1) & 0xFFF;
        position = (position + 1) & 0xFFF;
      }
    }
  }
  return {position, written, true};
}

struct RandomStream {
  std::vector<uint8_t> input;
  uint32_t start;     // the ring position before it
  uint32_t capacity;  // of the output
  Dictionary dictionary;
};

// Long random streams, whose matches often start just behind the position
// or wrap around the ring, cut anywhere now and then, into outputs that may
// be too small.
RandomStream MakeRandomStream(std::mt19937& random) {
  const uint32_t nearBehind[] = {0, 1, 2, 3, 5, 8, 15, 16, 17, 18, 40, 300, 4095};
  RandomStream s;
  uint32_t position = random() & 0xFFF;
  s.start = position;
  const int groups = 1 + random() % 600;
  const uint32_t literalOdds = random() % 4;  // from all matches to mostly literals
  for (int g = 0; g < groups; ++g) {
    uint8_t flags = 0;
    std::vector<uint8_t> items;
    for (int item = 0; item < 8; ++item) {
      if (random() % 4 < literalOdds) {
        items.push_back(static_cast<uint8_t>(random()));
        ++position;
        continue;
      }
      flags |= 1 << item;
      const uint32_t behind = random() % 2 ? nearBehind[random() % 13] : random();
      const uint32_t source = (position - behind) & 0xFFF;
      const uint32_t nibble = random() % 16;
      items.push_back(static_cast<uint8_t>(source));
      items.push_back(static_cast<uint8_t>(nibble << 4 | source >> 8));
      uint32_t length = nibble + 3;
      if (nibble == 15) {
        const uint8_t extra = static_cast<uint8_t>(random());
        items.push_back(extra);
        length = extra + 18u;
      }
      position += length;
    }
    s.input.push_back(flags);
    s.input.insert(s.input.end(), items.begin(), items.end());
  }
  if (random() % 3 == 0) s.input.resize(random() % (s.input.size() + 1));  // cut anywhere
  s.capacity = random() % 2 ? 1u << 20 : random() % 20000;
  for (auto& byte : s.dictionary) byte = static_cast<uint8_t>(random());
  return s;
}

// Against the reference: the same output, bytes after it untouched, the
// same dictionary, position and completeness.
TEST(SlideDecompress, MatchesAByteByByteReferenceOnRandomStreams) {
  std::mt19937 random(7);
  for (int trial = 0; trial < 400; ++trial) {
    RandomStream s = MakeRandomStream(random);
    const uint32_t capacity = s.capacity;
    Dictionary& dictionary = s.dictionary;
    Dictionary referenceDictionary = dictionary;
    std::vector<uint8_t> got(capacity, 0xCD), expected(capacity, 0xCD);
    const SlideResult r = SlideDecompress(got.data(), capacity, s.input.data(),
                                          static_cast<uint32_t>(s.input.size()), dictionary.data(),
                                          s.start);
    const SlideResult e =
        ReferenceExpand(expected.data(), capacity, s.input, referenceDictionary.data(), s.start);
    ASSERT_EQ(r.written, e.written) << "trial " << trial;
    ASSERT_EQ(r.position, e.position) << "trial " << trial;
    ASSERT_EQ(r.complete, e.complete) << "trial " << trial;
    ASSERT_EQ(got, expected) << "trial " << trial;
    ASSERT_EQ(dictionary, referenceDictionary) << "trial " << trial;
  }
}

// The linear form on the same streams: the ring's bytes laid out oldest
// first before the output. It must accept exactly what the reference
// accepts, write the same bytes, and leave as its last 4096 bytes the
// reference's ring.
TEST(SlideDecompress, LinearFormMatchesTheReferenceOnRandomStreams) {
  std::mt19937 random(11);
  for (int trial = 0; trial < 400; ++trial) {
    RandomStream s = MakeRandomStream(random);
    // Exactly the bytes the linear form may touch: reads or writes past them show under ASan.
    std::vector<uint8_t> window(kSlideDictionarySize + s.capacity + kSlideLinearSlack, 0xCD);
    for (uint32_t i = 0; i < kSlideDictionarySize; ++i) {
      window[i] = s.dictionary[(s.start + i) & 0xFFF];
    }
    uint8_t* const output = window.data() + kSlideDictionarySize;
    const SlideResult r = SlideDecompressLinear(output, s.capacity, s.input.data(),
                                                static_cast<uint32_t>(s.input.size()), s.start);
    std::vector<uint8_t> expected(s.capacity, 0xCD);
    const SlideResult e =
        ReferenceExpand(expected.data(), s.capacity, s.input, s.dictionary.data(), s.start);
    ASSERT_EQ(r.complete, e.complete) << "trial " << trial;
    ASSERT_LE(r.written, s.capacity) << "trial " << trial;
    if (!e.complete) continue;
    ASSERT_EQ(r.written, e.written) << "trial " << trial;
    ASSERT_EQ(r.position, e.position) << "trial " << trial;
    ASSERT_TRUE(std::equal(output, output + r.written, expected.begin())) << "trial " << trial;
    for (uint32_t i = 0; i < kSlideDictionarySize; ++i) {
      ASSERT_EQ(output[static_cast<int64_t>(r.written) - kSlideDictionarySize + i],
                s.dictionary[(r.position + i) & 0xFFF])
          << "trial " << trial << " ring byte " << i;
    }
  }
}

}  // namespace
