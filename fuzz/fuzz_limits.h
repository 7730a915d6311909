// Pictures larger than this are refused by the fuzz targets' callbacks, the
// way a host refuses memory it does not have; the decoders' own working
// memory is not capped, so a file that makes them allocate out of proportion
// still shows.
#pragma once

#include <cstdint>

constexpr uint64_t kFuzzPixelBudget = 1u << 22;

// A picture of width 0 still costs a row call per row.
inline bool FitsFuzzBudget(uint32_t width, uint32_t height) {
  return uint64_t{width == 0 ? 1 : width} * height <= kFuzzPixelBudget;
}
