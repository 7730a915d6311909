// Helpers for the TLG6 tests: hand-made bit streams and raw images, and
// decoding from memory.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tests/support/row_collector.h"

// A bit stream written least significant bit first, as TLG6 codes are read.
class TestBits {
 public:
  TestBits& Bit(uint32_t bit);
  // Bits in stream order, e.g. "0 0 1"; spaces are ignored.
  TestBits& Pattern(const std::string& bits);
  TestBits& Zeros(uint32_t count);
  // `count` bits of `value`, least significant first.
  TestBits& Field(uint32_t value, uint32_t count);
  // Zero bits up to stream bit `position`.
  TestBits& ZerosUntil(uint32_t position);
  // A run length: as many zeros as it has bits below its top 1, the 1, then those bits.
  TestBits& RunLength(uint32_t length);
  // A value with Rice parameter k in its plain form.
  TestBits& PlainValue(uint32_t code, uint32_t k);

  uint32_t size() const { return bits_; }
  const std::vector<uint8_t>& bytes() const { return bytes_; }

 private:
  std::vector<uint8_t> bytes_;
  uint32_t bits_ = 0;
};

// The values of one colour decoded both ways from `code` (with zeroed guard
// bytes after it). `ok` is what both decoders answered; they must agree.
struct UnpackedValues {
  bool ok = false;
  std::vector<uint32_t> entries;  // UnpackFirstColour, preset to 0xA5A5A5A5
  std::vector<uint32_t> lanes;    // UnpackColour into lane 1, preset to 0xA5A5A5A5
};
UnpackedValues UnpackBothWays(const std::vector<uint8_t>& code, uint32_t count);

// A raw image after its signature: header, filter section, block-row records.
struct Tlg6Parts {
  uint8_t colours = 3;
  uint32_t width = 0;
  uint32_t height = 0;
  uint32_t maxBitLength = 0;
  std::vector<uint8_t> section;
  std::vector<uint8_t> records;
};
std::vector<uint8_t> AssembleTlg6(const Tlg6Parts& parts);
// Splits what EncodeTlg6 returned (signature included).
Tlg6Parts SplitTlg6(const std::vector<uint8_t>& image);
void AppendColourRecord(std::vector<uint8_t>& records, const TestBits& bits, uint32_t methodBits = 0);
void AppendUInt32LE(std::vector<uint8_t>& out, uint32_t value);

// DecodeTlg6 over `afterSignature`, the collector as context.
int DecodeTlg6Bytes(const std::vector<uint8_t>& afterSignature, RowCollector& rows);
// The same for a complete raw image; the signature must be there.
int DecodeTlg6Image(const std::vector<uint8_t>& image, RowCollector& rows);

// What a round trip gives back for these pixels and colour count.
std::vector<uint32_t> DecodedForm(const std::vector<uint32_t>& pixels, uint32_t colours);
