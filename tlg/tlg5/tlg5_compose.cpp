#include "tlg/tlg5/tlg5_compose.h"

#include "tlg/tlg5/tlg5_decoder.h"

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

}  // namespace

void ComposeTlg5Row3(uint32_t* destination, const uint32_t* previous, const uint8_t* blue,
                     const uint8_t* green, const uint8_t* red, uint32_t width) {
  uint8_t sumB = 0, sumG = 0, sumR = 0;
  for (uint32_t x = 0; x < width; ++x) {
    const uint8_t g = green[x];
    sumG = static_cast<uint8_t>(sumG + g);
    sumB = static_cast<uint8_t>(sumB + blue[x] + g);
    sumR = static_cast<uint8_t>(sumR + red[x] + g);
    destination[x] = AddLanes(previous[x], Pack(sumB, sumG, sumR, 0)) | kOpaque;
  }
}

void ComposeTlg5Row4(uint32_t* destination, const uint32_t* previous, const uint8_t* blue,
                     const uint8_t* green, const uint8_t* red, const uint8_t* alpha,
                     uint32_t width) {
  uint8_t sumB = 0, sumG = 0, sumR = 0, sumA = 0;
  for (uint32_t x = 0; x < width; ++x) {
    const uint8_t g = green[x];
    sumG = static_cast<uint8_t>(sumG + g);
    sumB = static_cast<uint8_t>(sumB + blue[x] + g);
    sumR = static_cast<uint8_t>(sumR + red[x] + g);
    sumA = static_cast<uint8_t>(sumA + alpha[x]);
    destination[x] = AddLanes(previous[x], Pack(sumB, sumG, sumR, sumA));
  }
}

void ComposeTlg5FirstRow(uint32_t* destination, const uint8_t* const* planes, uint32_t colours,
                         uint32_t width) {
  const uint8_t* blue = planes[0];
  const uint8_t* green = planes[1];
  const uint8_t* red = planes[2];
  uint8_t sumB = 0, sumG = 0, sumR = 0, sumA = 0;
  if (colours == 3) {
    for (uint32_t x = 0; x < width; ++x) {
      const uint8_t g = green[x];
      sumG = static_cast<uint8_t>(sumG + g);
      sumB = static_cast<uint8_t>(sumB + blue[x] + g);
      sumR = static_cast<uint8_t>(sumR + red[x] + g);
      destination[x] = Pack(sumB, sumG, sumR, 0xFF);
    }
    return;
  }
  const uint8_t* alpha = planes[3];
  for (uint32_t x = 0; x < width; ++x) {
    const uint8_t g = green[x];
    sumG = static_cast<uint8_t>(sumG + g);
    sumB = static_cast<uint8_t>(sumB + blue[x] + g);
    sumR = static_cast<uint8_t>(sumR + red[x] + g);
    sumA = static_cast<uint8_t>(sumA + alpha[x]);
    destination[x] = Pack(sumB, sumG, sumR, sumA);
  }
}
