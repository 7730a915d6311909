// Pixel arithmetic of TLG6 line reconstruction: four byte lanes in one 32-bit
// word (blue in the low byte, then green, red, alpha), each lane modulo 256
// with no carry into the next.
#pragma once

#include <cstdint>

constexpr uint32_t kLaneLowBits = 0x01010101;
constexpr uint32_t kLaneHighBits = 0x80808080;
constexpr uint32_t kLaneLow7Bits = 0x7F7F7F7F;

// x + y per lane: the 32-bit sum minus the carries it passed out of lanes 0-2.
inline uint32_t LaneSum(uint32_t x, uint32_t y) {
  return (x + y) - ((((x ^ y) & 0x00FEFEFE) + 2 * (x & y)) & 0x01010100);
}

// x - y per lane (the encoder's inverse of LaneSum).
inline uint32_t LaneDifference(uint32_t x, uint32_t y) {
  return ((x | kLaneHighBits) - (y & ~kLaneHighBits)) ^ ((x ^ ~y) & kLaneHighBits);
}

// (x + y + 1) / 2 per lane, without overflow.
inline uint32_t LaneAverage(uint32_t x, uint32_t y) {
  return (x & y) + (((x ^ y) >> 1) & kLaneLow7Bits) + ((x ^ y) & kLaneLowBits);
}

// 0xFF in each lane where y > x, 0 elsewhere: bit 7 of the halved lane sum of
// ~x and y is set exactly there.
inline uint32_t LaneGreaterMask(uint32_t x, uint32_t y) {
  const uint32_t halfSum = (~x & y) + (((~x ^ y) >> 1) & kLaneLow7Bits);
  return (((halfSum >> 7) & kLaneLowBits) + kLaneLow7Bits) ^ kLaneLow7Bits;
}

// Median of above, left and upper-left per lane: the smaller of above and
// left when upper-left is at or over both, the larger when it is at or below
// both, else above + left - upper-left.
inline uint32_t LaneMedian(uint32_t above, uint32_t left, uint32_t upperLeft) {
  const uint32_t swap = LaneGreaterMask(above, left) & (above ^ left);
  const uint32_t high = above ^ swap;
  const uint32_t low = left ^ swap;
  const uint32_t over = LaneGreaterMask(high, upperLeft);
  const uint32_t under = LaneGreaterMask(upperLeft, low);
  const uint32_t between = ~(over | under);
  return ((between & high) - (between & upperLeft) + (between & low)) | (under & high) |
         (over & low);
}

// Bit 0 of a filter-type byte: the average predictor instead of the median.
constexpr uint32_t kAverageFilterBit = 1;

inline uint32_t Tlg6Prediction(bool average, uint32_t above, uint32_t left, uint32_t upperLeft) {
  return average ? LaneAverage(above, left) : LaneMedian(above, left, upperLeft);
}

// Colour transform K (filter-type byte >> 1) turns a residual entry into
// per-lane differences: a few lane additions in a fixed order, alpha as is.
template <int K>
inline uint32_t ApplyColourTransform(uint32_t entry) {
  static_assert(K >= 0 && K < 16, "sixteen colour transforms");
  uint32_t b = entry & 0xFF;
  uint32_t g = (entry >> 8) & 0xFF;
  uint32_t r = (entry >> 16) & 0xFF;
  // clang-format off
  if constexpr (K == 1) { b += g; r += g; }
  if constexpr (K == 2) { g += b; r += g; }
  if constexpr (K == 3) { g += r; b += g; }
  if constexpr (K == 4) { b += r; g += b; r += g; }
  if constexpr (K == 5) { b += r; g += b; }
  if constexpr (K == 6) { b += g; }
  if constexpr (K == 7) { g += b; }
  if constexpr (K == 8) { r += g; }
  if constexpr (K == 9) { r += b; g += r; b += g; }
  if constexpr (K == 10) { b += r; g += r; }
  if constexpr (K == 11) { g += b; r += b; }
  if constexpr (K == 12) { r += b; g += r; }
  if constexpr (K == 13) { b += g; r += b; g += r; }
  if constexpr (K == 14) { g += r; b += g; r += b; }
  if constexpr (K == 15) { g += 2 * b; r += 2 * b; }
  // clang-format on
  return (b & 0xFF) | (g & 0xFF) << 8 | (r & 0xFF) << 16 | (entry & 0xFF000000);
}
