// The fuzz targets' picture memory: what a caller of the loader provides.
#pragma once

#include <cstdint>
#include <vector>

#include "fuzz/fuzz_limits.h"

struct FuzzCanvas {
  uint32_t width = 0;
  std::vector<uint32_t> pixels;
};

// Size callback: refuses pictures beyond the fuzz budget, as a host refuses
// memory it does not have.
inline bool AllocateFuzzCanvas(void* context, uint32_t width, uint32_t height) {
  auto& canvas = *static_cast<FuzzCanvas*>(context);
  if (!FitsFuzzBudget(width, height)) return false;
  canvas.width = width;
  canvas.pixels.assign(static_cast<size_t>(width) * height, 0);
  return true;
}

inline void* FuzzCanvasRow(void* context, int32_t row) {
  auto& canvas = *static_cast<FuzzCanvas*>(context);
  static uint32_t noPixels;  // a row of width 0 still needs an address
  if (row < 0) return nullptr;
  if (canvas.width == 0) return &noPixels;
  return canvas.pixels.data() + static_cast<size_t>(row) * canvas.width;
}
