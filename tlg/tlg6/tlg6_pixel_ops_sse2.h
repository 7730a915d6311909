// The pixel arithmetic of line reconstruction on one pixel held in the low
// 32 bits of an SSE2 register: each lane is one byte lane of the vector, so
// the unsigned byte instructions give the per-lane results directly.
#pragma once

#if defined(__SSE2__)
#include <emmintrin.h>

#include <cstdint>

struct Sse2PixelOps {
  using Pixel = __m128i;

  static Pixel Load(uint32_t value) { return _mm_cvtsi32_si128(static_cast<int>(value)); }
  static uint32_t Store(Pixel pixel) { return static_cast<uint32_t>(_mm_cvtsi128_si32(pixel)); }
  static Pixel Sum(Pixel x, Pixel y) { return _mm_add_epi8(x, y); }
  // (x + y + 1) / 2 per lane: exactly the rounded-up average.
  static Pixel Average(Pixel x, Pixel y) { return _mm_avg_epu8(x, y); }

  // above + left - upperLeft, clamped to [min, max] of above and left. The
  // sum saturates at 0 and 255, which the clamp makes harmless: only one of
  // the two differences is non-zero in a lane.
  static Pixel Median(Pixel above, Pixel left, Pixel upperLeft) {
    const __m128i rise = _mm_subs_epu8(above, upperLeft);
    const __m128i fall = _mm_subs_epu8(upperLeft, above);
    const __m128i gradient = _mm_subs_epu8(_mm_adds_epu8(left, rise), fall);
    const __m128i low = _mm_min_epu8(above, left);
    const __m128i high = _mm_max_epu8(above, left);
    return _mm_min_epu8(_mm_max_epu8(gradient, low), high);
  }
};

#endif
