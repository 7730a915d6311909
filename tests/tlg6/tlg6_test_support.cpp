#include "tests/tlg6/tlg6_test_support.h"

#include <gtest/gtest.h>

#include <cstring>

#include "stream/binary_stream.h"
#include "tlg/tlg6/tlg6_decoder.h"
#include "tlg/tlg6/tlg6_format.h"
#include "tlg/tlg6/tlg6_tables.h"
#include "tlg/tlg6/tlg6_values.h"

TestBits& TestBits::Bit(uint32_t bit) {
  if (bits_ % 8 == 0) bytes_.push_back(0);
  if (bit & 1) bytes_.back() |= static_cast<uint8_t>(1u << (bits_ % 8));
  ++bits_;
  return *this;
}

TestBits& TestBits::Pattern(const std::string& bits) {
  for (char c : bits) {
    if (c == '0' || c == '1') Bit(c == '1');
  }
  return *this;
}

TestBits& TestBits::Zeros(uint32_t count) {
  for (uint32_t i = 0; i < count; ++i) Bit(0);
  return *this;
}

TestBits& TestBits::Field(uint32_t value, uint32_t count) {
  for (uint32_t i = 0; i < count; ++i) Bit((value >> i) & 1);
  return *this;
}

TestBits& TestBits::ZerosUntil(uint32_t position) {
  while (bits_ < position) Bit(0);
  return *this;
}

TestBits& TestBits::RunLength(uint32_t length) {
  uint32_t top = 0;
  while ((length >> top) > 1) ++top;
  return Zeros(top).Bit(1).Field(length, top);
}

TestBits& TestBits::PlainValue(uint32_t code, uint32_t k) {
  return Zeros(code >> k).Bit(1).Field(code, k);
}

UnpackedValues UnpackBothWays(const std::vector<uint8_t>& code, uint32_t count) {
  BuildTlg6Tables();
  // Exactly the coded bytes and the guard, so that reading further shows up.
  std::vector<uint8_t> buffer(code);
  buffer.resize(code.size() + kTlg6CodeGuardBytes, 0);
  const uint8_t* end = buffer.data() + code.size();

  UnpackedValues out;
  out.entries.assign(count, 0xA5A5A5A5);
  out.lanes.assign(count, 0xA5A5A5A5);
  const bool first = UnpackFirstColour(out.entries.data(), count, buffer.data(), end);
  const bool lane = UnpackColour(reinterpret_cast<uint8_t*>(out.lanes.data()) + 1, count,
                                 buffer.data(), end);
  EXPECT_EQ(first, lane) << "the two decoders disagree";
  out.ok = first && lane;
  return out;
}

void AppendUInt32LE(std::vector<uint8_t>& out, uint32_t value) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

std::vector<uint8_t> AssembleTlg6(const Tlg6Parts& parts) {
  std::vector<uint8_t> out = {parts.colours, 0, 0, 0};
  AppendUInt32LE(out, parts.width);
  AppendUInt32LE(out, parts.height);
  AppendUInt32LE(out, parts.maxBitLength);
  AppendUInt32LE(out, static_cast<uint32_t>(parts.section.size()));
  out.insert(out.end(), parts.section.begin(), parts.section.end());
  out.insert(out.end(), parts.records.begin(), parts.records.end());
  return out;
}

namespace {

uint32_t UInt32At(const std::vector<uint8_t>& bytes, size_t at) {
  return bytes[at] | bytes[at + 1] << 8 | bytes[at + 2] << 16 | static_cast<uint32_t>(bytes[at + 3]) << 24;
}

}  // namespace

Tlg6Parts SplitTlg6(const std::vector<uint8_t>& image) {
  Tlg6Parts parts;
  size_t at = kTlg6SignatureSize;
  parts.colours = image.at(at);
  parts.width = UInt32At(image, at + 4);
  parts.height = UInt32At(image, at + 8);
  parts.maxBitLength = UInt32At(image, at + 12);
  const uint32_t length = UInt32At(image, at + 16);
  at += 20;
  parts.section.assign(image.begin() + at, image.begin() + at + length);
  parts.records.assign(image.begin() + at + length, image.end());
  return parts;
}

void AppendColourRecord(std::vector<uint8_t>& records, const TestBits& bits, uint32_t methodBits) {
  AppendUInt32LE(records, bits.size() | methodBits << kTlg6MethodShift);
  records.insert(records.end(), bits.bytes().begin(), bits.bytes().end());
}

int DecodeTlg6Bytes(const std::vector<uint8_t>& afterSignature, RowCollector& rows) {
  tMemDataStream stream(afterSignature.data(), static_cast<uint32_t>(afterSignature.size()));
  return DecodeTlg6(&rows, CollectSize, CollectRow, stream);
}

int DecodeTlg6Image(const std::vector<uint8_t>& image, RowCollector& rows) {
  EXPECT_GE(image.size(), kTlg6SignatureSize);
  EXPECT_EQ(0, std::memcmp(image.data(), kTlg6Signature, kTlg6SignatureSize));
  return DecodeTlg6Bytes(std::vector<uint8_t>(image.begin() + kTlg6SignatureSize, image.end()),
                         rows);
}

std::vector<uint32_t> DecodedForm(const std::vector<uint32_t>& pixels, uint32_t colours) {
  std::vector<uint32_t> out(pixels);
  for (uint32_t& p : out) {
    if (colours == 3) p |= 0xFF000000u;
    if (colours == 1) p &= 0xFFu;
  }
  return out;
}
