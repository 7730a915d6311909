// Writes raw TLG5 images. Not part of the plug-in: it exists for tests and tools.
#pragma once

#include <cstdint>
#include <vector>

struct Tlg5EncodeOptions {
  int colours = 0;           // 3 or 4 planes; 0: 3 when every alpha is 0xFF, else 4
  uint32_t blockHeight = 4;  // image rows per block, at least 1
  // Fully transparent pixels (alpha 0) are stored as 0, whatever their
  // colour: smaller files, but the colour no longer decodes as it was.
  bool clearTransparent = false;
};

// Encodes `width` x `height` pixels 0xAARRGGBB, top row first, into a complete
// raw image that starts with its signature. With 3 planes the alpha bytes are
// dropped (they decode as 0xFF). Each plane record is compressed when that
// makes it smaller and stored otherwise. Throws std::invalid_argument for a
// colour count other than 0, 3 or 4, a block height of 0, or a block too large
// for a decoder's 32-bit buffer sizes.
std::vector<uint8_t> EncodeTlg5(const uint32_t* pixels, uint32_t width, uint32_t height,
                                const Tlg5EncodeOptions& options = {});
