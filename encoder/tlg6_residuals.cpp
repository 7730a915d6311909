#include "encoder/tlg6_residuals.h"

#include <algorithm>
#include <cstddef>

#include "tlg/tlg6/tlg6_format.h"
#include "tlg/tlg6/tlg6_pixel_ops.h"
#include "tlg/tlg6/tlg6_pixel_ops_sse2.h"

uint32_t InverseColourTransform(uint32_t transform, uint32_t difference) {
  // The decoder's additions undone in reverse order.
  uint32_t b = difference & 0xFF;
  uint32_t g = (difference >> 8) & 0xFF;
  uint32_t r = (difference >> 16) & 0xFF;
  // clang-format off
  switch (transform) {
    case 1: r -= g; b -= g; break;
    case 2: r -= g; g -= b; break;
    case 3: b -= g; g -= r; break;
    case 4: r -= g; g -= b; b -= r; break;
    case 5: g -= b; b -= r; break;
    case 6: b -= g; break;
    case 7: g -= b; break;
    case 8: r -= g; break;
    case 9: b -= g; g -= r; r -= b; break;
    case 10: g -= r; b -= r; break;
    case 11: r -= b; g -= b; break;
    case 12: g -= r; r -= b; break;
    case 13: g -= r; r -= b; b -= g; break;
    case 14: r -= b; b -= g; g -= r; break;
    case 15: r -= 2 * b; g -= 2 * b; break;
    default: break;
  }
  // clang-format on
  return (b & 0xFF) | (g & 0xFF) << 8 | (r & 0xFF) << 16 | (difference & 0xFF000000);
}

bool KeepsLoneBlue(uint32_t transform) {
  // Those that never add blue into green or red, nor double blue.
  return transform == 0 || transform == 1 || transform == 3 || transform == 6 || transform == 8 ||
         transform == 10;
}

namespace {

// Columns x0 .. width - 1 of one row, one pixel at a time.
void DifferencesFrom(const uint32_t* row, const uint32_t* above, uint32_t width, uint32_t x0,
                     uint32_t initialPixel, uint32_t* median, uint32_t* average) {
  uint32_t left = x0 > 0 ? row[x0 - 1] : initialPixel;
  uint32_t upperLeft = x0 > 0 && above ? above[x0 - 1] : initialPixel;
  for (uint32_t x = x0; x < width; ++x) {
    const uint32_t up = above ? above[x] : initialPixel;
    median[x] = LaneDifference(row[x], LaneMedian(up, left, upperLeft));
    average[x] = LaneDifference(row[x], LaneAverage(up, left));
    left = row[x];
    upperLeft = up;
  }
}

}  // namespace

void ComputeTlg6DifferencesPortable(const uint32_t* pixels, uint32_t width,
                                    uint32_t y0, uint32_t rows, uint32_t initialPixel,
                                    Tlg6Differences& out) {
  const size_t count = static_cast<size_t>(rows) * width;
  out.median.resize(count);
  out.average.resize(count);
  for (uint32_t yy = 0; yy < rows; ++yy) {
    const uint32_t y = y0 + yy;
    const uint32_t* row = pixels + static_cast<size_t>(y) * width;
    const size_t i = static_cast<size_t>(yy) * width;
    DifferencesFrom(row, y > 0 ? row - width : nullptr, width, 0, initialPixel,
                    out.median.data() + i, out.average.data() + i);
  }
}

void ComputeTlg6Differences(const uint32_t* pixels, uint32_t width, uint32_t y0,
                            uint32_t rows, uint32_t initialPixel, Tlg6Differences& out) {
#if defined(__SSE2__)
  using Ops = Sse2PixelOps;
  const size_t count = static_cast<size_t>(rows) * width;
  out.median.resize(count);
  out.average.resize(count);
  const __m128i initial = _mm_set1_epi32(static_cast<int>(initialPixel));
  for (uint32_t yy = 0; yy < rows; ++yy) {
    const uint32_t y = y0 + yy;
    const uint32_t* row = pixels + static_cast<size_t>(y) * width;
    const uint32_t* above = y > 0 ? row - width : nullptr;
    uint32_t* median = out.median.data() + static_cast<size_t>(yy) * width;
    uint32_t* average = out.average.data() + static_cast<size_t>(yy) * width;
    // Column 0 has no pixel to its left; four columns at a time from 1 on.
    DifferencesFrom(row, above, std::min(width, 1u), 0, initialPixel, median, average);
    uint32_t x = 1;
    for (; x + 4 <= width; x += 4) {
      const auto load = [](const uint32_t* p) {
        return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
      };
      const __m128i pixel = load(row + x);
      const __m128i left = load(row + x - 1);
      const __m128i up = above ? load(above + x) : initial;
      const __m128i upperLeft = above ? load(above + x - 1) : initial;
      _mm_storeu_si128(reinterpret_cast<__m128i*>(median + x),
                       _mm_sub_epi8(pixel, Ops::Median(up, left, upperLeft)));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(average + x),
                       _mm_sub_epi8(pixel, Ops::Average(up, left)));
    }
    DifferencesFrom(row, above, width, std::min(x, width), initialPixel, median, average);
  }
#else
  ComputeTlg6DifferencesPortable(pixels, width, y0, rows, initialPixel, out);
#endif
}

void MakeTlg6BlockEntries(const Tlg6Differences& differences, uint32_t width, uint32_t rows,
                          uint32_t block, uint32_t filterType, uint32_t* entries) {
  const std::vector<uint32_t>& source =
      (filterType & kAverageFilterBit) ? differences.average : differences.median;
  const uint32_t transform = filterType >> 1;
  const uint32_t x0 = block * kTlg6BlockSize;
  const uint32_t w = std::min(kTlg6BlockSize, width - x0);
  for (uint32_t s = 0; s < rows; ++s) {
    const uint32_t yy = (block & 1) ? rows - 1 - s : s;
    const uint32_t* row = source.data() + static_cast<size_t>(yy) * width + x0;
    for (uint32_t j = 0; j < w; ++j) {
      const uint32_t x = (yy & 1) ? w - 1 - j : j;
      *entries++ = InverseColourTransform(transform, row[x]);
    }
  }
}
