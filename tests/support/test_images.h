// Images for round trips: 32-bit pixels 0xAARRGGBB, top row first.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

enum class ImagePattern {
  kFlat,        // one colour
  kGradient,    // smooth ramps in every channel
  kNoise,       // independent random bytes
  kHardEdges,   // large flat regions with sharp borders
  kAlphaRamp,   // colour gradient under an alpha ramp
  kSprite,      // opaque figure on a transparent ground, soft border
};

struct TestImage {
  uint32_t width = 0;
  uint32_t height = 0;
  std::vector<uint32_t> pixels;
};

// opaque: every alpha 0xFF (patterns with alpha of their own lose it).
TestImage MakeTestImage(ImagePattern pattern, uint32_t width, uint32_t height, uint32_t seed,
                        bool opaque);

// Gives every fully transparent pixel of `image` a random colour, and
// returns the image as it is with those pixels all 0.
TestImage RecolourTransparent(TestImage& image, uint32_t seed);

std::vector<ImagePattern> AllImagePatterns();
std::string PatternName(ImagePattern pattern);
