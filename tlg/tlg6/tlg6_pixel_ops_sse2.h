// The pixel arithmetic of line reconstruction on one pixel held in the low
// 32 bits of an SSE2 register: each lane is one byte lane of the vector, so
// the unsigned byte instructions give the per-lane results directly.
#pragma once

#if defined(__SSE2__)
#include <emmintrin.h>

#include <cstdint>

struct Sse2PixelOps {
  using Pixel = __m128i;
  static constexpr bool kTransformsBlocks = true;

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

  // Colour transform K on the eight entries of a whole block at once, in the
  // order the block's pixels take them (reversed when reading backwards).
  // True when every entry is 0, so that nothing was coded for the block.
  template <int K>
  static bool TransformBlock(const uint32_t* row, bool backwards, uint32_t* out) {
    __m128i first = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row));
    __m128i second = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row + 4));
    if (backwards) {
      const __m128i reversed = _mm_shuffle_epi32(second, _MM_SHUFFLE(0, 1, 2, 3));
      second = _mm_shuffle_epi32(first, _MM_SHUFFLE(0, 1, 2, 3));
      first = reversed;
    }
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), ApplyTransform<K>(first));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 4), ApplyTransform<K>(second));
    const __m128i zero = _mm_cmpeq_epi32(_mm_or_si128(first, second), _mm_setzero_si128());
    return _mm_movemask_epi8(zero) == 0xFFFF;
  }

 private:
  // Adds lane kFrom of every entry to its lane kTo (0 blue, 1 green, 2 red).
  template <int kFrom, int kTo>
  static __m128i AddLane(__m128i v) {
    const __m128i mask = _mm_set1_epi32(0xFF << (8 * kTo));
    const __m128i moved = kTo > kFrom ? _mm_slli_epi32(v, 8 * (kTo - kFrom))
                                      : _mm_srli_epi32(v, 8 * (kFrom - kTo));
    return _mm_add_epi8(v, _mm_and_si128(moved, mask));
  }

  // The same steps as ApplyColourTransform, in the same order.
  template <int K>
  static __m128i ApplyTransform(__m128i v) {
    constexpr int B = 0, G = 1, R = 2;
    // clang-format off
    if constexpr (K == 1) { v = AddLane<G, B>(v); v = AddLane<G, R>(v); }
    if constexpr (K == 2) { v = AddLane<B, G>(v); v = AddLane<G, R>(v); }
    if constexpr (K == 3) { v = AddLane<R, G>(v); v = AddLane<G, B>(v); }
    if constexpr (K == 4) { v = AddLane<R, B>(v); v = AddLane<B, G>(v); v = AddLane<G, R>(v); }
    if constexpr (K == 5) { v = AddLane<R, B>(v); v = AddLane<B, G>(v); }
    if constexpr (K == 6) { v = AddLane<G, B>(v); }
    if constexpr (K == 7) { v = AddLane<B, G>(v); }
    if constexpr (K == 8) { v = AddLane<G, R>(v); }
    if constexpr (K == 9) { v = AddLane<B, R>(v); v = AddLane<R, G>(v); v = AddLane<G, B>(v); }
    if constexpr (K == 10) { v = AddLane<R, B>(v); v = AddLane<R, G>(v); }
    if constexpr (K == 11) { v = AddLane<B, G>(v); v = AddLane<B, R>(v); }
    if constexpr (K == 12) { v = AddLane<B, R>(v); v = AddLane<R, G>(v); }
    if constexpr (K == 13) { v = AddLane<G, B>(v); v = AddLane<B, R>(v); v = AddLane<R, G>(v); }
    if constexpr (K == 14) { v = AddLane<R, G>(v); v = AddLane<G, B>(v); v = AddLane<B, R>(v); }
    if constexpr (K == 15) {
      v = AddLane<B, G>(v); v = AddLane<B, G>(v); v = AddLane<B, R>(v); v = AddLane<B, R>(v);
    }
    // clang-format on
    return v;
  }
};

#endif
