#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "encoder/tlg6_value_coder.h"
#include "tests/tlg6/tlg6_test_support.h"
#include "tlg/tlg6/tlg6_tables.h"
#include "tlg/tlg6/tlg6_values.h"

namespace {

constexpr uint32_t kPreset = 0xA5A5A5A5;

// The byte a code number stands for.
uint8_t ValueOf(uint32_t code) {
  return static_cast<uint8_t>((code & 1) ? (code >> 1) + 1 : ~(code >> 1));
}

// Both decoders must give `expected`, the first as whole entries and the
// second in lane 1 with the other bytes untouched.
void ExpectValues(const TestBits& bits, const std::vector<uint8_t>& expected) {
  const UnpackedValues got = UnpackBothWays(bits.bytes(), static_cast<uint32_t>(expected.size()));
  ASSERT_TRUE(got.ok);
  for (size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(got.entries[i], expected[i]) << "entry " << i;
    EXPECT_EQ(got.lanes[i], (kPreset & 0xFFFF00FF) | uint32_t{expected[i]} << 8) << "lane " << i;
  }
}

void ExpectMalformed(const TestBits& bits, uint32_t count) {
  const UnpackedValues got = UnpackBothWays(bits.bytes(), count);
  EXPECT_FALSE(got.ok);
}

TEST(Tlg6Values, WorkedExample) {
  TestBits bits;
  bits.Pattern("0 0 1 0 0 1 0 0 1 1");
  ASSERT_EQ(bits.bytes(), (std::vector<uint8_t>{0x24, 0x03}));
  ExpectValues(bits, {0x00, 0x00, 0x01, 0xFF});
}

TEST(Tlg6Values, CountZeroReadsAndStoresNothing) {
  BuildTlg6Tables();
  uint32_t entry = kPreset;
  EXPECT_TRUE(UnpackFirstColour(&entry, 0, nullptr, nullptr));
  EXPECT_TRUE(UnpackColour(reinterpret_cast<uint8_t*>(&entry), 0, nullptr, nullptr));
  EXPECT_EQ(entry, kPreset);
}

// A zero run of the coded length, then the value +1 to mark where it ends.
TEST(Tlg6Values, RunLengthCodes) {
  const struct {
    const char* code;
    uint32_t length;
  } cases[] = {{"1", 1}, {"0 1 0", 2}, {"0 1 1", 3}, {"0 0 1 0 0", 4}, {"0 0 1 1 0", 5}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.code);
    TestBits bits;
    bits.Bit(0).Pattern(c.code).RunLength(1).PlainValue(1, 0);
    std::vector<uint8_t> expected(c.length, 0);
    expected.push_back(0x01);
    ExpectValues(bits, expected);
  }
  // Zero runs whose codes cross one or two 12-bit lookups, at every bit
  // offset: a first value with code c (c + 1 bits at k 0) puts the run
  // length at bit c + 3.
  for (uint32_t length : {12u, 13u, 4095u, 4096u, 5000u, 8191u, 8192u}) {
    for (uint32_t c = 0; c < 8; ++c) {
      SCOPED_TRACE(testing::Message() << length << " at offset " << (c + 3) % 8);
      TestBits bits;
      bits.Bit(1).RunLength(1).PlainValue(c, 0);
      // Then S is c / 2 and n 2, which gives k 1 from S 2 on.
      bits.RunLength(length).RunLength(1).PlainValue(1, c >= 4 ? 1 : 0);
      std::vector<uint8_t> expected = {ValueOf(c)};
      expected.insert(expected.end(), length, 0);
      expected.push_back(0x01);
      ExpectValues(bits, expected);
    }
  }
  // The longest run a test can afford: 20 bits after the 1.
  TestBits big;
  const uint32_t length = (1u << 20) + 12345;
  big.Bit(0).RunLength(length).RunLength(1).PlainValue(1, 0);
  const UnpackedValues got = UnpackBothWays(big.bytes(), length + 1);
  ASSERT_TRUE(got.ok);
  EXPECT_EQ(got.entries[length - 1], 0u);
  EXPECT_EQ(got.entries[length], 1u);
}

TEST(Tlg6Values, FirstValueIsUnaryAndLongQuotientsCrossLookups) {
  for (uint32_t code : {0u, 1u, 11u, 12u, 13u, 20u, 24u, 25u, 29u}) {
    SCOPED_TRACE(code);
    TestBits bits;
    bits.Bit(1).RunLength(1).PlainValue(code, 0);  // starts at bit 2: up to 29 zeros fit
    ExpectValues(bits, {ValueOf(code)});
  }
}

// The parameter follows the running sum and countdown; each value below is
// coded with the parameter it must be decoded with.
TEST(Tlg6Values, ParameterAdaptsAndSurvivesZeroRuns) {
  TestBits bits;
  bits.Bit(1).RunLength(3);
  bits.PlainValue(20, 0);  // S 0, n 3: k 0; then S 10, n 2
  bits.PlainValue(9, 2);   // S 10, n 2: k 2; then S 14, n 1
  bits.PlainValue(30, 2);  // S 14, n 1: k 2; then S 29, n 0
  bits.RunLength(3);       // zeros leave S and n alone
  bits.RunLength(2);
  bits.PlainValue(40, 3);  // S 29, n 0: k 3; then S 49, halved to 24, n 3
  bits.PlainValue(5, 3);   // S 24, n 3: k 3 (it would be 4 without the halving)
  ExpectValues(bits, {ValueOf(20), ValueOf(9), ValueOf(30), 0, 0, 0, ValueOf(40), ValueOf(5)});
}

TEST(Tlg6Values, EscapedQuotients) {
  // At bit offset 3: zeros to the end of byte 3, the quotient byte, no remainder (k 0).
  {
    TestBits bits;
    bits.Bit(0).RunLength(1).RunLength(1);
    ASSERT_EQ(bits.size(), 3u);
    bits.ZerosUntil(32).Field(200, 8);
    ExpectValues(bits, {0x00, ValueOf(200)});
  }
  // With a remainder: k is 2 for the second value, which is escaped at offset 1.
  {
    TestBits bits;
    bits.Bit(1).RunLength(2).PlainValue(20, 0);
    const uint32_t start = bits.size();
    ASSERT_EQ(start % 8, 1u);
    bits.ZerosUntil(start / 8 * 8 + 32).Field(100, 8).Field(3, 2);
    ExpectValues(bits, {ValueOf(20), ValueOf(100 * 4 + 3)});
  }
  // Both +128 and -128 come out as 0x80.
  for (uint32_t code : {254u, 255u}) {
    TestBits bits;
    bits.Bit(1).RunLength(1).ZerosUntil(32).Field(code, 8);
    ExpectValues(bits, {0x80});
  }
}

TEST(Tlg6Values, RunsPastTheCountFail) {
  TestBits zeros;
  zeros.Bit(0).RunLength(5);
  ExpectMalformed(zeros, 4);
  const UnpackedValues untouched = UnpackBothWays(zeros.bytes(), 4);
  EXPECT_EQ(untouched.entries, std::vector<uint32_t>(4, kPreset));

  TestBits values;
  values.Bit(1).RunLength(3).PlainValue(1, 0).PlainValue(1, 0).PlainValue(1, 0);
  ExpectMalformed(values, 2);
}

TEST(Tlg6Values, CodesRunningOutOfBytesFail) {
  // A run length whose 1 bit never comes.
  ExpectMalformed(TestBits().Zeros(40), 10);
  ExpectMalformed(TestBits().Bit(0).Zeros(4), 3);
  // A value run longer than the bytes: the bytes end exactly before value 1.
  TestBits shortRun;
  shortRun.Bit(1).RunLength(9);
  ASSERT_EQ(shortRun.size(), 8u);
  ExpectMalformed(shortRun, 9);
  // An escape whose quotient byte would be past the coded bytes.
  TestBits escape;
  escape.Bit(1).RunLength(1).ZerosUntil(32);
  ExpectMalformed(escape, 1);
  // The zero run ends in the guard bytes rather than the coded ones.
  TestBits late;
  late.Bit(0).RunLength(1).Zeros(6);
  ExpectMalformed(late, 2);
}

TEST(Tlg6Values, RunLengthWithMoreThan25BitsFails) {
  BuildTlg6Tables();
  TestBits bits;
  bits.Bit(0).Zeros(26).Bit(1).Field(0, 26);
  std::vector<uint8_t> code(bits.bytes());
  code.resize(code.size() + kTlg6CodeGuardBytes, 0);
  // Were it accepted, 2^26 values would land far outside this lane.
  uint8_t lane[16] = {};
  EXPECT_FALSE(UnpackColour(lane, 0xFFFFFFFF, code.data(), code.data() + bits.bytes().size()));
  for (uint8_t b : lane) EXPECT_EQ(b, 0);
}

TEST(Tlg6Values, RunningSumOf1024AtALookupFails) {
  const auto make = [](uint32_t run) {
    TestBits bits;
    bits.Bit(1).RunLength(run).ZerosUntil(32).Field(255, 8);  // k 0: S becomes 127, n 2
    // k 5 (S 127, n 2), escaped: e = 255 * 32 + 29, S becomes 4221.
    bits.ZerosUntil(bits.size() + 32).Field(255, 8).Field(29, 5);
    bits.PlainValue(1, 0);
    return bits;
  };
  ExpectValues(make(2), {0x80, ValueOf(255 * 32 + 29)});  // no lookup after the big one
  ExpectMalformed(make(3), 3);
}

// The encoder's bit writer against the decoders, on value mixes that bring
// escapes at every bit offset, long zero runs and every parameter.
TEST(Tlg6Values, EncodedValuesDecodeExactly) {
  const Tlg6RiceTable table = BuildTlg6RiceTable();
  std::mt19937 random(7);
  for (int trial = 0; trial < 200; ++trial) {
    const uint32_t count = 1 + random() % 600;
    const uint32_t zeroChance = random() % 100;
    const uint32_t spread = 1 + random() % 255;
    std::vector<uint8_t> values(count);
    for (uint8_t& v : values) {
      if (random() % 100 < zeroChance) {
        v = 0;
      } else if (random() % 8 == 0) {
        v = static_cast<uint8_t>(0x80 + random() % 3 - 1);  // the longest codes
      } else {
        v = static_cast<uint8_t>(random() % spread - spread / 2);
      }
    }
    const Tlg6CodedColour coded = EncodeTlg6Values(values.data(), count, table);
    ASSERT_EQ(coded.bytes.size(), (coded.bitLength + 7) / 8u);
    const UnpackedValues got = UnpackBothWays(coded.bytes, count);
    ASSERT_TRUE(got.ok) << "trial " << trial;
    for (uint32_t i = 0; i < count; ++i) ASSERT_EQ(got.entries[i], values[i]) << trial << "/" << i;
  }
}

TEST(Tlg6Values, ShortestCodeNumbers) {
  EXPECT_EQ(Tlg6ValueCode(0x01), 1u);
  EXPECT_EQ(Tlg6ValueCode(0xFF), 0u);
  EXPECT_EQ(Tlg6ValueCode(0x7F), 253u);
  EXPECT_EQ(Tlg6ValueCode(0x80), 254u);
  for (uint32_t v = 1; v < 256; ++v) EXPECT_EQ(ValueOf(Tlg6ValueCode(static_cast<uint8_t>(v))), v);
}

}  // namespace
