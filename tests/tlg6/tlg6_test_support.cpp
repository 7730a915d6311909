#include "tests/tlg6/tlg6_test_support.h"

#include <gtest/gtest.h>

#include "stream/binary_stream.h"
#include "tlg/tlg6/tlg6_decoder.h"
#include "tlg/tlg6/tlg6_format.h"
#include "tlg/tlg6/tlg6_tables.h"
#include "tlg/tlg6/tlg6_values.h"

TestBits& TestBits::Bit(uint32_t bit) {
  if (size % 8 == 0) bytes.push_back(0);
  bytes.back() |= static_cast<uint8_t>((bit & 1) << (size++ % 8));
  return *this;
}

TestBits& TestBits::Pattern(const std::string& bits) {
  for (char c : bits) Bit(c == '1');
  return *this;
}

TestBits& TestBits::ZerosUntil(uint32_t position) {
  while (size < position) Bit(0);
  return *this;
}

TestBits& TestBits::Field(uint32_t value, uint32_t count) {
  for (uint32_t i = 0; i < count; ++i) Bit(value >> i);
  return *this;
}

TestBits& TestBits::RunLength(uint32_t length) {
  uint32_t top = 0;
  while ((length >> top) > 1) ++top;
  return ZerosUntil(size + top).Bit(1).Field(length, top);
}

TestBits& TestBits::PlainValue(uint32_t code, uint32_t k) {
  return ZerosUntil(size + (code >> k)).Bit(1).Field(code, k);
}

UnpackedValues UnpackBothWays(const std::vector<uint8_t>& code, uint32_t count) {
  std::vector<uint8_t> buffer(code);
  buffer.resize(code.size() + kTlg6CodeGuardBytes, 0);
  const uint8_t* end = buffer.data() + code.size();
  UnpackedValues out;
  out.entries.assign(count, 0xA5A5A5A5);
  out.lanes.assign(count, 0xA5A5A5A5);
  const bool first = UnpackFirstColour(out.entries.data(), count, buffer.data(), end);
  const bool lane =
      UnpackColour(reinterpret_cast<uint8_t*>(out.lanes.data()) + 1, count, buffer.data(), end);
  EXPECT_EQ(first, lane) << "the two decoders disagree";
  out.ok = first && lane;
  return out;
}

namespace {

void AppendUInt32LE(std::vector<uint8_t>& out, uint32_t value) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

uint32_t UInt32At(const std::vector<uint8_t>& bytes, size_t at) {
  return bytes[at] | bytes[at + 1] << 8 | bytes[at + 2] << 16 |
         static_cast<uint32_t>(bytes[at + 3]) << 24;
}

}  // namespace

std::vector<uint8_t> AssembleTlg6(const Tlg6Parts& parts) {
  std::vector<uint8_t> out = {parts.colours, 0, 0, 0};
  for (uint32_t v : {parts.width, parts.height, parts.maxBitLength}) AppendUInt32LE(out, v);
  AppendUInt32LE(out, static_cast<uint32_t>(parts.section.size()));
  out.insert(out.end(), parts.section.begin(), parts.section.end());
  out.insert(out.end(), parts.records.begin(), parts.records.end());
  return out;
}

Tlg6Parts SplitTlg6(const std::vector<uint8_t>& image) {
  const size_t at = kTlg6SignatureSize, length = UInt32At(image, at + 16);
  Tlg6Parts parts;
  parts.colours = image.at(at);
  parts.width = UInt32At(image, at + 4);
  parts.height = UInt32At(image, at + 8);
  parts.maxBitLength = UInt32At(image, at + 12);
  parts.section.assign(image.begin() + at + 20, image.begin() + at + 20 + length);
  parts.records.assign(image.begin() + at + 20 + length, image.end());
  return parts;
}

void AppendColourRecord(std::vector<uint8_t>& records, const TestBits& bits, uint32_t methodBits) {
  AppendUInt32LE(records, bits.size | methodBits << kTlg6MethodShift);
  records.insert(records.end(), bits.bytes.begin(), bits.bytes.end());
}

std::vector<uint32_t> ColourBitLengths(const std::vector<uint8_t>& records) {
  std::vector<uint32_t> lengths;
  for (size_t at = 0; at < records.size(); at += 4 + (lengths.back() + 7) / 8) {
    lengths.push_back(UInt32At(records, at) & kTlg6BitLengthMask);
  }
  return lengths;
}

int DecodeTlg6Bytes(const std::vector<uint8_t>& afterSignature, RowCollector& rows,
                    Tlg6Lanes lanes) {
  tMemDataStream stream(afterSignature.data(), static_cast<uint32_t>(afterSignature.size()));
  return DecodeTlg6(&rows, CollectSize, CollectRow, stream, lanes);
}

std::vector<Tlg6Lanes> LanesOfThisProcessor() {
  std::vector<Tlg6Lanes> lanes;
  for (const Tlg6Lanes l : kEveryTlg6Lanes) {
    if (HasTlg6Lanes(l)) lanes.push_back(l);
  }
  return lanes;
}

std::vector<uint32_t> DecodedForm(const std::vector<uint32_t>& pixels, uint32_t colours) {
  std::vector<uint32_t> out(pixels);
  for (uint32_t& p : out) p = colours == 3 ? p | 0xFF000000u : colours == 1 ? p & 0xFFu : p;
  return out;
}
