#include "tests/support/dib_rows.h"

#include <cstring>

std::vector<uint32_t> BottomUpToTopDown(const uint8_t* bits, int32_t width, int32_t height) {
  std::vector<uint32_t> out(static_cast<size_t>(width) * height);
  for (int32_t y = 0; y < height; ++y) {
    std::memcpy(&out[static_cast<size_t>(y) * width],
                bits + static_cast<size_t>(height - 1 - y) * width * 4, static_cast<size_t>(width) * 4);
  }
  return out;
}
