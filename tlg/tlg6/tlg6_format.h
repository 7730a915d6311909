// TLG6 raster format: what the decoder and the encoder agree on.
#pragma once

#include <cstdint>

// The raw image signature "TLG6.0\0raw\x1a"; the decoder starts right after it.
constexpr uint32_t kTlg6SignatureSize = 11;
inline constexpr uint8_t kTlg6Signature[kTlg6SignatureSize] = {'T', 'L', 'G', '6', '.', '0',
                                                               0,   'r', 'a', 'w', 0x1A};

// Header after the signature: colour count, three reserved zero bytes, then
// width, height, maximum bit length and filter-section length (32-bit LE).
constexpr uint32_t kTlg6HeaderLeadBytes = 4;

// Blocks are 8 x 8 pixels.
constexpr uint32_t kTlg6BlockShift = 3;
constexpr uint32_t kTlg6BlockSize = 1u << kTlg6BlockShift;
constexpr uint32_t kTlg6PartialBlockMask = kTlg6BlockSize - 1;

// Pixel value above row 0 and left of column 0. Three-colour images carry no
// alpha, so theirs starts (and stays) opaque.
constexpr uint32_t kTlg6OpaqueInitialPixel = 0xFF000000;
constexpr uint32_t kTlg6InitialPixel = 0;

constexpr uint32_t Tlg6InitialPixel(uint32_t colours) {
  return colours == 3 ? kTlg6OpaqueInitialPixel : kTlg6InitialPixel;
}

constexpr bool IsTlg6ColourCount(uint32_t colours) {
  return colours == 1 || colours == 3 || colours == 4;
}

// Colour header of a block-row record: bit length in the low 30 bits, two
// method bits above them that must be 0.
constexpr uint32_t kTlg6BitLengthMask = 0x3FFFFFFF;
constexpr uint32_t kTlg6MethodShift = 30;

// Filter-type bytes: bit 0 picks the predictor, bits 1-4 the colour transform.
constexpr uint32_t kTlg6FilterTypeCount = 32;
constexpr uint32_t kTlg6TransformCount = 16;

// The filter-type section expands through a dictionary pre-filled with a
// pattern of 512 groups of 8 bytes, so that common runs of filter-type bytes
// have a match from the start: group g holds g >> 4 four times, then g & 15
// four times.
constexpr uint32_t kTlg6DictionarySize = 4096;

inline void FillTlg6FilterDictionary(uint8_t* dictionary) {
  constexpr uint32_t kGroupBytes = 8;
  for (uint32_t g = 0; g < kTlg6DictionarySize / kGroupBytes; ++g) {
    uint8_t* group = dictionary + g * kGroupBytes;
    for (uint32_t i = 0; i < 4; ++i) {
      group[i] = static_cast<uint8_t>(g >> 4);
      group[4 + i] = static_cast<uint8_t>(g & 15);
    }
  }
}

// Golomb-Rice coding of residuals. The Rice parameter k for running sum S and
// countdown n: the first count[n][0] sums get k = 0, the next count[n][1] get
// k = 1, and so on.
constexpr uint32_t kTlg6RiceCountdownStart = 3;
constexpr uint32_t kTlg6RiceCountdowns = 4;
constexpr uint32_t kTlg6RiceParameters = 9;
constexpr int32_t kTlg6RunningSumLimit = 1024;  // sums at a lookup stay below this

inline constexpr int16_t RiceParameterCounts[kTlg6RiceCountdowns][kTlg6RiceParameters] = {
    {3, 7, 15, 27, 63, 108, 223, 448, 130},
    {3, 5, 13, 24, 51, 95, 192, 384, 257},
    {2, 5, 12, 21, 39, 86, 155, 320, 384},
    {2, 3, 9, 18, 33, 61, 129, 258, 511},
};

constexpr bool RiceParameterCountsCoverEverySum() {
  for (const auto& row : RiceParameterCounts) {
    int32_t sum = 0;
    for (int16_t count : row) {
      if (count < 0) return false;
      sum += count;
    }
    if (sum != kTlg6RunningSumLimit) return false;
  }
  return true;
}
static_assert(RiceParameterCountsCoverEverySum(), "every running sum needs a Rice parameter");

// A run-length code carries at most this many bits after its leading 1,
// since they are read from one 32-bit window at any bit offset.
constexpr uint32_t kTlg6MaxRunLengthBits = 25;
// A value whose quotient does not fit the 32-bit window is escaped: zeros to
// the end of the window's fourth byte, then the quotient as a byte.
constexpr uint32_t kTlg6WindowBits = 32;
constexpr uint32_t kTlg6EscapeQuotientByte = 4;  // bytes after the value's first byte
