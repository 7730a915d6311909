// Helpers for the TLG6 tests: hand-made bit streams and raw images.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tests/support/row_collector.h"
#include "tlg/tlg6/tlg6_decoder.h"

// A bit stream written least significant bit first, as TLG6 codes are read.
struct TestBits {
  std::vector<uint8_t> bytes;
  uint32_t size = 0;

  TestBits& Bit(uint32_t bit);
  TestBits& Pattern(const std::string& bits);  // stream order, e.g. "001"
  TestBits& ZerosUntil(uint32_t position);
  TestBits& Field(uint32_t value, uint32_t count);  // least significant bit first
  TestBits& RunLength(uint32_t length);
  TestBits& PlainValue(uint32_t code, uint32_t k);  // m zeros, a 1, k remainder bits
};

// Decodes `count` values both ways from the coded bytes followed by zeroed
// guard bytes (and nothing more). Entries and lane-1 words start as 0xA5A5A5A5.
struct UnpackedValues {
  bool ok = false;
  std::vector<uint32_t> entries;  // UnpackFirstColour
  std::vector<uint32_t> lanes;    // UnpackColour into lane 1
};
UnpackedValues UnpackBothWays(const std::vector<uint8_t>& code, uint32_t count);

// A raw image after its signature.
struct Tlg6Parts {
  uint8_t colours = 3;
  uint32_t width = 0, height = 0, maxBitLength = 0;
  std::vector<uint8_t> section, records;
};
std::vector<uint8_t> AssembleTlg6(const Tlg6Parts& parts);
Tlg6Parts SplitTlg6(const std::vector<uint8_t>& image);  // an encoder result, signature first
void AppendColourRecord(std::vector<uint8_t>& records, const TestBits& bits,
                        uint32_t methodBits = 0);
std::vector<uint32_t> ColourBitLengths(const std::vector<uint8_t>& records);

int DecodeTlg6Bytes(const std::vector<uint8_t>& afterSignature, RowCollector& rows,
                    Tlg6Lanes lanes = FastestTlg6Lanes());
// Every way of decoding the streams that this processor has, kNone first.
std::vector<Tlg6Lanes> LanesOfThisProcessor();

// What a round trip gives back for these pixels and colour count.
std::vector<uint32_t> DecodedForm(const std::vector<uint32_t>& pixels, uint32_t colours);
