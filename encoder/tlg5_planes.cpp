#include "encoder/tlg5_planes.h"

#include <cstddef>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

// x - y in each byte lane, with no borrow between lanes.
uint32_t LaneDifference(uint32_t x, uint32_t y) {
  constexpr uint32_t kHigh = 0x80808080;
  return ((x | kHigh) - (y & ~kHigh)) ^ ((x ^ ~y) & kHigh);
}

// The plane bytes of one pixel from its own and its upper neighbour's, given
// the vertical differences of the pixel to its left; updates those.
uint32_t PlanarPixel(uint32_t pixel, uint32_t above, uint32_t& left) {
  const uint32_t vertical = LaneDifference(pixel, above);
  const uint32_t delta = LaneDifference(vertical, left);
  left = vertical;
  const uint32_t g = (delta >> 8) & 0xFF;
  return LaneDifference(delta, g | g << 16);
}

void PutPlanar(uint32_t planar, uint8_t* const planes[4], size_t at) {
  planes[0][at] = static_cast<uint8_t>(planar);
  planes[1][at] = static_cast<uint8_t>(planar >> 8);
  planes[2][at] = static_cast<uint8_t>(planar >> 16);
  if (planes[3] != nullptr) planes[3][at] = static_cast<uint8_t>(planar >> 24);
}

// Pixels [x, width) of one row, one by one.
void SplitTail(const uint32_t* row, const uint32_t* above, uint32_t x, uint32_t width,
               uint32_t left, uint8_t* const planes[4], size_t out) {
  for (; x < width; ++x, ++out) {
    PutPlanar(PlanarPixel(row[x], above == nullptr ? 0 : above[x], left), planes, out);
  }
}

#if defined(__SSE2__)
constexpr uint32_t kBlockPixels = 16;

// Byte `lane` of each of the 16 words in v[0..3], in order.
__m128i PackLane(const __m128i (&v)[4], int lane) {
  const __m128i low = _mm_set1_epi32(0xFF);
  __m128i w[4];
  for (int i = 0; i < 4; ++i) {
    w[i] = _mm_and_si128(_mm_srl_epi32(v[i], _mm_cvtsi32_si128(8 * lane)), low);
  }
  return _mm_packus_epi16(_mm_packs_epi32(w[0], w[1]), _mm_packs_epi32(w[2], w[3]));
}

void SplitRow(const uint32_t* row, const uint32_t* above, uint32_t width,
              uint8_t* const planes[4], size_t out) {
  const __m128i lowByte = _mm_set1_epi32(0xFF);
  // Vertical differences; the last lane is the left pixel's.
  __m128i previous = _mm_setzero_si128();
  uint32_t x = 0;
  for (; x + kBlockPixels <= width; x += kBlockPixels, out += kBlockPixels) {
    __m128i planar[4];
    for (int i = 0; i < 4; ++i) {
      const __m128i pixel = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row + x + 4 * i));
      const __m128i up = above == nullptr
                             ? _mm_setzero_si128()
                             : _mm_loadu_si128(reinterpret_cast<const __m128i*>(above + x + 4 * i));
      const __m128i vertical = _mm_sub_epi8(pixel, up);
      const __m128i left = _mm_or_si128(_mm_slli_si128(vertical, 4), _mm_srli_si128(previous, 12));
      previous = vertical;
      const __m128i delta = _mm_sub_epi8(vertical, left);
      const __m128i g = _mm_and_si128(_mm_srli_epi32(delta, 8), lowByte);
      planar[i] = _mm_sub_epi8(delta, _mm_or_si128(g, _mm_slli_epi32(g, 16)));
    }
    for (int c = 0; c < 4; ++c) {
      if (planes[c] == nullptr) continue;
      _mm_storeu_si128(reinterpret_cast<__m128i*>(planes[c] + out), PackLane(planar, c));
    }
  }
  const auto left = static_cast<uint32_t>(_mm_cvtsi128_si32(_mm_srli_si128(previous, 12)));
  SplitTail(row, above, x, width, left, planes, out);
}
#endif

}  // namespace

void SplitTlg5RowsPortable(const uint32_t* pixels, uint32_t width, uint32_t first, uint32_t end,
                           uint8_t* const planes[4]) {
  size_t out = 0;
  for (uint32_t y = first; y < end; ++y, out += width) {
    const uint32_t* row = pixels + static_cast<size_t>(y) * width;
    SplitTail(row, y == 0 ? nullptr : row - width, 0, width, 0, planes, out);
  }
}

void SplitTlg5Rows(const uint32_t* pixels, uint32_t width, uint32_t first, uint32_t end,
                   uint8_t* const planes[4]) {
#if defined(__SSE2__)
  size_t out = 0;
  for (uint32_t y = first; y < end; ++y, out += width) {
    const uint32_t* row = pixels + static_cast<size_t>(y) * width;
    SplitRow(row, y == 0 ? nullptr : row - width, width, planes, out);
  }
#else
  SplitTlg5RowsPortable(pixels, width, first, end, planes);
#endif
}
