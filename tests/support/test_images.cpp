#include "tests/support/test_images.h"

#include <random>

namespace {

uint32_t Pack(uint32_t b, uint32_t g, uint32_t r, uint32_t a) {
  return (b & 0xFF) | (g & 0xFF) << 8 | (r & 0xFF) << 16 | (a & 0xFF) << 24;
}

}  // namespace

TestImage MakeTestImage(ImagePattern pattern, uint32_t width, uint32_t height, uint32_t seed,
                        bool opaque) {
  TestImage image;
  image.width = width;
  image.height = height;
  image.pixels.resize(static_cast<size_t>(width) * height);
  std::mt19937 random(seed);
  const uint32_t flat = random();
  const uint32_t cx = width / 2, cy = height / 2;
  for (uint32_t y = 0; y < height; ++y) {
    for (uint32_t x = 0; x < width; ++x) {
      uint32_t p = 0;
      switch (pattern) {
        case ImagePattern::kFlat:
          p = flat;
          break;
        case ImagePattern::kGradient:
          p = Pack(x * 3 + seed, y * 2 + x, 255 - y * 5, x + y);
          break;
        case ImagePattern::kNoise:
          p = random();
          break;
        case ImagePattern::kHardEdges: {
          const uint32_t region = ((x / 5) + (y / 7) * 3 + (x > y ? 1 : 0)) % 4;
          const uint32_t colours[4] = {0xFF000000, 0xFFFFFFFF, 0x80FF4020, 0x00123456};
          p = colours[region] ^ seed;
          break;
        }
        case ImagePattern::kAlphaRamp:
          p = Pack(x * 7, y * 11, (x ^ y) * 3, (x * 255) / (width ? width : 1));
          break;
        case ImagePattern::kSprite: {
          const int64_t dx = static_cast<int64_t>(x) - cx, dy = static_cast<int64_t>(y) - cy;
          const int64_t r2 = dx * dx + dy * dy;
          const int64_t edge = static_cast<int64_t>(cx) * cx / 2 + 1;
          uint32_t alpha = r2 < edge ? 255 : (r2 < edge * 2 ? 128 : 0);
          p = alpha == 0 ? 0 : Pack(200 - y, 100 + x, 50 + (x * y) % 40, alpha);
          break;
        }
      }
      if (opaque) p |= 0xFF000000u;
      image.pixels[static_cast<size_t>(y) * width + x] = p;
    }
  }
  return image;
}

std::vector<ImagePattern> AllImagePatterns() {
  return {ImagePattern::kFlat,      ImagePattern::kGradient,  ImagePattern::kNoise,
          ImagePattern::kHardEdges, ImagePattern::kAlphaRamp, ImagePattern::kSprite};
}

std::string PatternName(ImagePattern pattern) {
  switch (pattern) {
    case ImagePattern::kFlat: return "flat";
    case ImagePattern::kGradient: return "gradient";
    case ImagePattern::kNoise: return "noise";
    case ImagePattern::kHardEdges: return "edges";
    case ImagePattern::kAlphaRamp: return "alpha-ramp";
    case ImagePattern::kSprite: return "sprite";
  }
  return "?";
}

TestImage RecolourTransparent(TestImage& image, uint32_t seed) {
  TestImage cleared = image;
  std::mt19937 random(seed);
  for (size_t i = 0; i < image.pixels.size(); ++i) {
    if (image.pixels[i] >> 24 != 0) continue;
    image.pixels[i] = random() & 0x00FFFFFF;
    cleared.pixels[i] = 0;
  }
  return cleared;
}
