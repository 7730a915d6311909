// A plain per-lane model of TLG6 reconstruction, written from the rules
// rather than the packed arithmetic, to check the real code against.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>

namespace lane_model {

inline uint32_t Lane(uint32_t p, int c) { return (p >> (8 * c)) & 0xFF; }
inline uint32_t Pack(uint32_t b, uint32_t g, uint32_t r, uint32_t a) {
  return (b & 0xFF) | (g & 0xFF) << 8 | (r & 0xFF) << 16 | (a & 0xFF) << 24;
}
template <class F>
uint32_t PerLane(F f) {
  return Pack(f(0), f(1), f(2), f(3));
}

inline uint32_t Sum(uint32_t x, uint32_t y) {
  return PerLane([&](int c) { return Lane(x, c) + Lane(y, c); });
}
inline uint32_t Difference(uint32_t x, uint32_t y) {
  return PerLane([&](int c) { return Lane(x, c) - Lane(y, c); });
}
inline uint32_t Average(uint32_t x, uint32_t y) {
  return PerLane([&](int c) { return (Lane(x, c) + Lane(y, c) + 1) / 2; });
}
inline uint32_t Median(uint32_t above, uint32_t left, uint32_t upperLeft) {
  return PerLane([&](int c) {
    const uint32_t a = Lane(above, c), b = Lane(left, c), u = Lane(upperLeft, c);
    if (u >= std::max(a, b)) return std::min(a, b);
    if (u <= std::min(a, b)) return std::max(a, b);
    return a + b - u;
  });
}

// Transformed blue, green and red as sums of the residual lanes.
inline uint32_t Transform(uint32_t k, uint32_t e) {
  const uint32_t b = Lane(e, 0), g = Lane(e, 1), r = Lane(e, 2), a = Lane(e, 3);
  // clang-format off
  const uint32_t table[16][3] = {
      {b, g, r}, {b + g, g, r + g}, {b, b + g, b + g + r}, {b + g + r, g + r, r},
      {b + r, b + g + r, b + g + 2 * r}, {b + r, b + g + r, r}, {b + g, g, r}, {b, b + g, r},
      {b, g, g + r}, {2 * b + g + r, b + g + r, b + r}, {b + r, g + r, r}, {b, b + g, b + r},
      {b, b + g + r, b + r}, {b + g, b + 2 * g + r, b + g + r}, {b + g + r, g + r, b + g + 2 * r},
      {b, 2 * b + g, 2 * b + r}};
  // clang-format on
  return Pack(table[k][0], table[k][1], table[k][2], a);
}

inline void ReconstructLine(const uint32_t* previous, uint32_t* current, int width, int startBlock,
                            int endBlock, const uint8_t* filterTypes, int blockStride,
                            const uint32_t* residuals, uint32_t initial, int oddOffset,
                            uint32_t direction) {
  uint32_t left = initial, upperLeft = initial;
  if (startBlock != 0) {
    left = current[8 * startBlock - 1];
    upperLeft = previous[8 * startBlock - 1];
  }
  for (int b = startBlock; b < endBlock; ++b) {
    const int w = std::min(8, width - 8 * b);
    const uint8_t f = filterTypes[b];
    if (f >= 32) return;
    const uint32_t* rowStart =
        residuals + static_cast<ptrdiff_t>(b) * blockStride + (b % 2 ? oddOffset * w : 0);
    for (int i = 0; i < w; ++i) {
      const int x = 8 * b + i;
      const uint32_t entry = (direction & 1) ? rowStart[i] : rowStart[w - 1 - i];
      const uint32_t prediction =
          f % 2 ? Average(previous[x], left) : Median(previous[x], left, upperLeft);
      current[x] = left = Sum(prediction, Transform(f / 2, entry));
      upperLeft = previous[x];
    }
  }
}

}  // namespace lane_model
