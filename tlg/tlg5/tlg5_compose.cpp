#include "tlg/tlg5/tlg5_compose.h"

#include <cstdint>
#include <cstring>

#include "tlg/tlg5/tlg5_decoder.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

constexpr uint32_t kLowSevenBits = 0x7F7F7F7F;
constexpr uint32_t kHighBits = 0x80808080;
constexpr uint32_t kOpaque = 0xFF000000;

// Four byte additions at once; the top bit of each lane is added without
// carry so that no lane spills into the next.
inline uint32_t AddLanes(uint32_t a, uint32_t b) {
  return ((a & kLowSevenBits) + (b & kLowSevenBits)) ^ ((a ^ b) & kHighBits);
}

inline uint32_t Pack(uint8_t blue, uint8_t green, uint8_t red, uint8_t alpha) {
  return static_cast<uint32_t>(blue) | static_cast<uint32_t>(green) << 8 |
         static_cast<uint32_t>(red) << 16 | static_cast<uint32_t>(alpha) << 24;
}

struct Planes {
  const uint8_t* blue;
  const uint8_t* green;
  const uint8_t* red;
  const uint8_t* alpha;  // null with 3 planes
};

// The running sums, which start at 0 in every row.
struct Sums {
  uint8_t blue = 0, green = 0, red = 0, alpha = 0;
};

// Pixels [x, width) one at a time. kAlpha: 4 planes, else alpha is 0xFF.
// kAbove: added to `previous`, else the top row.
template <bool kAlpha, bool kAbove>
void ComposePixels(uint32_t* destination, const uint32_t* previous, const Planes& p, uint32_t x,
                   uint32_t width, Sums s) {
  for (; x < width; ++x) {
    const uint8_t g = p.green[x];
    s.green = static_cast<uint8_t>(s.green + g);
    s.blue = static_cast<uint8_t>(s.blue + p.blue[x] + g);
    s.red = static_cast<uint8_t>(s.red + p.red[x] + g);
    if (kAlpha) s.alpha = static_cast<uint8_t>(s.alpha + p.alpha[x]);
    uint32_t pixel = Pack(s.blue, s.green, s.red, s.alpha);
    if (kAbove) pixel = AddLanes(previous[x], pixel);
    destination[x] = kAlpha ? pixel : pixel | kOpaque;
  }
}

#if defined(__SSE2__)

constexpr uint32_t kVectorPixels = 16;
// Destination pixels fetched ahead of the stores. Hosts that want rows
// bottom-up start every row below the last, where the processor's own
// prefetch does not look.
constexpr uint32_t kPrefetchPixels = 256;

// Running sums over the four pixels of `v`, byte lane by byte lane,
// continuing from `carry` (the pixel so far, in every pixel); `carry`
// becomes the last of them.
inline __m128i RunningPixelSum(__m128i v, __m128i& carry) {
  v = _mm_add_epi8(v, _mm_slli_si128(v, 4));
  v = _mm_add_epi8(v, _mm_slli_si128(v, 8));
  v = _mm_add_epi8(v, carry);
  carry = _mm_shuffle_epi32(v, 0xFF);
  return v;
}

// A hint only: the address may lie past the row, where nothing is read.
inline void PrefetchAddress(uintptr_t address) {
  _mm_prefetch(reinterpret_cast<const char*>(address), _MM_HINT_T0);
}

// Four pixels to destination[x]; `previous` is null for the top row.
template <bool kAlpha, bool kAbove>
inline void StorePixels(uint32_t* destination, const uint32_t* previous, uint32_t x, __m128i v) {
  if (kAbove) v = _mm_add_epi8(v, _mm_loadu_si128(reinterpret_cast<const __m128i*>(previous + x)));
  if (!kAlpha) v = _mm_or_si128(v, _mm_set1_epi32(static_cast<int>(kOpaque)));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(destination + x), v);
}

inline __m128i LoadFour(const uint8_t* bytes) {
  int32_t word;
  std::memcpy(&word, bytes, sizeof word);
  return _mm_cvtsi32_si128(word);
}

// The planes interleaved into pixels first, with green already added to blue
// and red, so that one running sum serves all four channels: 16 pixels a
// step, then 4, then the rest one at a time.
template <bool kAlpha, bool kAbove>
void Compose(uint32_t* destination, const uint32_t* previous, const Planes& p, uint32_t width) {
  __m128i carry = _mm_setzero_si128();
  uint32_t x = 0;
  for (; width - x >= kVectorPixels; x += kVectorPixels) {
    PrefetchAddress(reinterpret_cast<uintptr_t>(destination + x) + kPrefetchPixels * 4);
    const auto load = [x](const uint8_t* plane) {
      return _mm_loadu_si128(reinterpret_cast<const __m128i*>(plane + x));
    };
    const __m128i g = load(p.green);
    const __m128i b = _mm_add_epi8(load(p.blue), g);
    const __m128i r = _mm_add_epi8(load(p.red), g);
    const __m128i a = kAlpha ? load(p.alpha) : _mm_setzero_si128();
    const __m128i bgLow = _mm_unpacklo_epi8(b, g), bgHigh = _mm_unpackhi_epi8(b, g);
    const __m128i raLow = _mm_unpacklo_epi8(r, a), raHigh = _mm_unpackhi_epi8(r, a);
    const __m128i pixels[4] = {_mm_unpacklo_epi16(bgLow, raLow), _mm_unpackhi_epi16(bgLow, raLow),
                               _mm_unpacklo_epi16(bgHigh, raHigh),
                               _mm_unpackhi_epi16(bgHigh, raHigh)};
    for (uint32_t k = 0; k < 4; ++k) {
      StorePixels<kAlpha, kAbove>(destination, previous, x + 4 * k,
                                  RunningPixelSum(pixels[k], carry));
    }
  }
  for (; width - x >= 4; x += 4) {
    const __m128i g = LoadFour(p.green + x);
    const __m128i b = _mm_add_epi8(LoadFour(p.blue + x), g);
    const __m128i r = _mm_add_epi8(LoadFour(p.red + x), g);
    const __m128i a = kAlpha ? LoadFour(p.alpha + x) : _mm_setzero_si128();
    const __m128i pixels = _mm_unpacklo_epi16(_mm_unpacklo_epi8(b, g), _mm_unpacklo_epi8(r, a));
    StorePixels<kAlpha, kAbove>(destination, previous, x, RunningPixelSum(pixels, carry));
  }
  const auto last = static_cast<uint32_t>(_mm_cvtsi128_si32(carry));
  Sums s;
  s.blue = static_cast<uint8_t>(last);
  s.green = static_cast<uint8_t>(last >> 8);
  s.red = static_cast<uint8_t>(last >> 16);
  s.alpha = static_cast<uint8_t>(last >> 24);
  ComposePixels<kAlpha, kAbove>(destination, previous, p, x, width, s);
}

#else

template <bool kAlpha, bool kAbove>
void Compose(uint32_t* destination, const uint32_t* previous, const Planes& p, uint32_t width) {
  ComposePixels<kAlpha, kAbove>(destination, previous, p, 0, width, Sums{});
}

#endif

Planes FromArray(const uint8_t* const* planes, uint32_t colours) {
  return Planes{planes[0], planes[1], planes[2], colours == 4 ? planes[3] : nullptr};
}

}  // namespace

void ComposeTlg5Row3(uint32_t* destination, const uint32_t* previous, const uint8_t* blue,
                     const uint8_t* green, const uint8_t* red, uint32_t width) {
  Compose<false, true>(destination, previous, Planes{blue, green, red, nullptr}, width);
}

void ComposeTlg5Row4(uint32_t* destination, const uint32_t* previous, const uint8_t* blue,
                     const uint8_t* green, const uint8_t* red, const uint8_t* alpha,
                     uint32_t width) {
  Compose<true, true>(destination, previous, Planes{blue, green, red, alpha}, width);
}

void ComposeTlg5FirstRow(uint32_t* destination, const uint8_t* const* planes, uint32_t colours,
                         uint32_t width) {
  if (colours == 3) {
    Compose<false, false>(destination, nullptr, FromArray(planes, colours), width);
  } else {
    Compose<true, false>(destination, nullptr, FromArray(planes, colours), width);
  }
}

void PrefetchTlg5NextRow(const uint32_t* destination, const uint32_t* previous, uint32_t width) {
#if defined(__SSE2__)
  // As integers: the guess may lie outside every buffer, which a prefetch does not mind.
  const uintptr_t next =
      2 * reinterpret_cast<uintptr_t>(destination) - reinterpret_cast<uintptr_t>(previous);
  const uint32_t pixels = width < kPrefetchPixels ? width : kPrefetchPixels;
  for (uint32_t x = 0; x < pixels; x += kVectorPixels) PrefetchAddress(next + x * 4);
#else
  (void)destination, (void)previous, (void)width;
#endif
}

void ComposeTlg5Row3Portable(uint32_t* destination, const uint32_t* previous, const uint8_t* blue,
                             const uint8_t* green, const uint8_t* red, uint32_t width) {
  ComposePixels<false, true>(destination, previous, Planes{blue, green, red, nullptr}, 0, width,
                             Sums{});
}

void ComposeTlg5Row4Portable(uint32_t* destination, const uint32_t* previous, const uint8_t* blue,
                             const uint8_t* green, const uint8_t* red, const uint8_t* alpha,
                             uint32_t width) {
  ComposePixels<true, true>(destination, previous, Planes{blue, green, red, alpha}, 0, width,
                            Sums{});
}

void ComposeTlg5FirstRowPortable(uint32_t* destination, const uint8_t* const* planes,
                                 uint32_t colours, uint32_t width) {
  if (colours == 3) {
    ComposePixels<false, false>(destination, nullptr, FromArray(planes, colours), 0, width, Sums{});
  } else {
    ComposePixels<true, false>(destination, nullptr, FromArray(planes, colours), 0, width, Sums{});
  }
}
