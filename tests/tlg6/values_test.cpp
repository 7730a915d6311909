#include <gtest/gtest.h>

#include <vector>

#include "tests/tlg6/tlg6_test_support.h"
#include "tlg/tlg6/tlg6_tables.h"
#include "tlg/tlg6/tlg6_values.h"

namespace {

uint8_t ValueOf(uint32_t code) {
  return static_cast<uint8_t>((code & 1) ? (code >> 1) + 1 : ~(code >> 1));
}

// Both decoders give `expected`: whole entries, and lane 1 with the other
// bytes untouched. Zero bytes after the code change nothing but how far the
// end is, so the same holds with enough of them for the wide reads.
void ExpectValues(const TestBits& bits, const std::vector<uint8_t>& expected) {
  constexpr size_t kPastWideReads = 16;
  const std::vector<uint8_t> padded = [&] {
    std::vector<uint8_t> bytes(bits.bytes);
    bytes.resize(bytes.size() + kPastWideReads, 0);
    return bytes;
  }();
  for (const std::vector<uint8_t>* code : {&bits.bytes, &padded}) {
    const UnpackedValues got = UnpackBothWays(*code, static_cast<uint32_t>(expected.size()));
    ASSERT_TRUE(got.ok) << code->size() << " bytes";
    for (size_t i = 0; i < expected.size(); ++i) {
      ASSERT_EQ(got.entries[i], expected[i]) << i << ", " << code->size() << " bytes";
      ASSERT_EQ(got.lanes[i], 0xA5A500A5u | uint32_t{expected[i]} << 8) << i;
    }
  }
}

TEST(Tlg6Values, Tables) {
  EXPECT_EQ(FirstSetBitTable[0], 0);
  for (uint32_t i = 1; i < kFirstSetBitTableSize; ++i) {
    const uint32_t t = FirstSetBitTable[i];  // the lowest set bit, counted from 1
    ASSERT_EQ(i & ((2u << (t - 1)) - 1), 1u << (t - 1)) << i;
  }
  // Where each countdown's parameter steps up: [countdown, parameter, first sum].
  const uint32_t steps[][3] = {{0, 1, 3},   {0, 4, 52}, {0, 8, 894}, {1, 2, 8},
                               {1, 7, 383}, {2, 3, 19}, {3, 1, 2},   {3, 8, 513}};
  for (const auto& [n, k, first] : steps) {
    EXPECT_EQ(RiceParameterTable[first][n], k);
    EXPECT_EQ(RiceParameterTable[first - 1][n], k - 1);
  }
  for (uint32_t n = 0; n < 4; ++n) EXPECT_EQ(RiceParameterTable[1023][n], 8) << n;
}

TEST(Tlg6Values, WorkedExampleAndRunLengthCodes) {
  TestBits example;
  example.Pattern("0010010011");
  EXPECT_EQ(example.bytes, (std::vector<uint8_t>{0x24, 0x03}));
  ExpectValues(example, {0x00, 0x00, 0x01, 0xFF});
  // Zero runs of each code, then +1 to mark their end.
  const std::pair<const char*, uint32_t> codes[] = {
      {"1", 1}, {"010", 2}, {"011", 3}, {"00100", 4}, {"00110", 5}};
  for (const auto& [code, length] : codes) {
    std::vector<uint8_t> expected(length, 0);
    expected.push_back(1);
    ExpectValues(TestBits().Bit(0).Pattern(code).RunLength(1).PlainValue(1, 0), expected);
  }
  // Long zero runs, their codes crossing 12-bit lookups at every bit offset:
  // a first value with code c puts the run length at bit c + 3.
  for (uint32_t length : {12u, 4095u, 8191u}) {
    for (uint32_t c = 0; c < 8; ++c) {
      TestBits bits;
      bits.Bit(1).RunLength(1).PlainValue(c, 0);
      bits.RunLength(length).RunLength(1).PlainValue(1, c >= 4 ? 1 : 0);  // k 1 once S reaches 2
      std::vector<uint8_t> expected = {ValueOf(c)};
      expected.resize(length + 1, 0);
      expected.push_back(1);
      ExpectValues(bits, expected);
    }
  }
}

// Each value is coded with the parameter the running sum and countdown give.
TEST(Tlg6Values, ParameterAdaptsAcrossRuns) {
  TestBits bits;
  bits.Bit(1).RunLength(3).PlainValue(20, 0);  // S 10, n 2 after
  bits.PlainValue(9, 2).PlainValue(30, 2);     // S 29, n 0 after
  bits.RunLength(3).RunLength(2);              // zeros leave S and n alone
  bits.PlainValue(40, 3);                      // S 49, halved to 24, n 3 after
  bits.PlainValue(5, 3);                       // k 3, where 49 would give 4
  ExpectValues(bits, {ValueOf(20), ValueOf(9), ValueOf(30), 0, 0, 0, ValueOf(40), ValueOf(5)});
}

TEST(Tlg6Values, EscapedQuotients) {
  // At bit offset 3: zeros to the end of byte 3, the quotient byte, no remainder (k 0).
  ExpectValues(TestBits().Pattern("011").ZerosUntil(32).Field(200, 8), {0x00, ValueOf(200)});
  // k 2, escaped at offset 1: the remainder follows the quotient byte.
  ExpectValues(
      TestBits().Bit(1).RunLength(2).PlainValue(20, 0).ZerosUntil(56).Field(100, 8).Field(3, 2),
      {ValueOf(20), ValueOf(403)});
  // Not an escape: 29 zeros at offset 2 cross two lookups, yet fit the window.
  ExpectValues(TestBits().Pattern("11").PlainValue(29, 0), {ValueOf(29)});
  // +128 and -128 are both 0x80.
  ExpectValues(TestBits().Pattern("11").ZerosUntil(32).Field(254, 8), {0x80});
  ExpectValues(TestBits().Pattern("11").ZerosUntil(32).Field(255, 8), {0x80});
}

TEST(Tlg6Values, MalformedStreamsFail) {
  // A running sum past the table is fine until a lookup needs it.
  const auto bigSum = [](uint32_t run) {
    TestBits bits;
    bits.Bit(1).RunLength(run).ZerosUntil(32).Field(255, 8);  // k 0, e 255: S 127, n 2
    return bits.ZerosUntil(72).Field(255, 8).Field(29, 5).PlainValue(1, 0);  // k 5: S 4221
  };
  ExpectValues(bigSum(2), {0x80, ValueOf(255 * 32 + 29)});
  const std::pair<TestBits, uint32_t> cases[] = {
      {TestBits().Bit(0).RunLength(5), 4},                 // zero run past the count
      {TestBits().Bit(1).RunLength(3).Pattern("111"), 2},  // value run past the count
      {TestBits().ZerosUntil(40), 10},                     // no 1 bit to end a run length
      {TestBits().Pattern("01").ZerosUntil(8), 2},         // ... or only in the guard bytes
      {TestBits().Bit(1).RunLength(9), 9},                 // values past the coded bytes
      {TestBits().Pattern("11").ZerosUntil(32), 1},        // escape without its quotient byte
      {bigSum(3), 3},                                      // running sum 1024 or more
  };
  for (const auto& [bits, count] : cases) {
    const UnpackedValues got = UnpackBothWays(bits.bytes, count);
    EXPECT_FALSE(got.ok) << count;
    EXPECT_EQ(got.entries.back(), 0xA5A5A5A5u) << count;  // a failing run stores nothing
  }
  // A run length of 26 bits: accepted, its 2^26 values would land far outside the lane.
  TestBits bits;
  bits.Bit(0).ZerosUntil(27).Bit(1).Field(0, 26).Bit(1);
  bits.bytes.resize(bits.bytes.size() + kTlg6CodeGuardBytes);
  uint8_t lane[16] = {};
  EXPECT_FALSE(
      UnpackColour(lane, 0xFFFFFFFF, bits.bytes.data(), bits.bytes.data() + bits.bytes.size() - 4));
  EXPECT_EQ(lane[0], 0);
}

}  // namespace
