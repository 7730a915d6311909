// Encoding 32-bit pixels as a raw TLG6 image.
#pragma once

#include <cstdint>
#include <vector>

struct Tlg6EncodeOptions {
  // 0: 3 when every alpha is 0xFF, else 4.
  // 3: blue, green and red are stored; the image decodes with alpha 0xFF.
  // 4: all four channels are stored.
  // 1: only blue is stored; the image decodes as 0x000000BB (green, red
  //    and alpha 0).
  int colours = 0;
  // -1: each block gets the filter type that codes it smallest of those
  //     whose residual magnitudes promise the least (see the encoder).
  // 0-31: every block gets this one (for one colour, only those whose
  //       transform keeps a lone blue lane: 0-3, 6, 7, 12, 13, 16, 17, 20, 21).
  int filterType = -1;
  // Block rows are coded on this many threads (0 or 1: the calling thread
  // alone); the output is the same for every count.
  unsigned threads = 0;
  // Fully transparent pixels (alpha 0) are stored as 0, whatever their
  // colour: smaller files, but the colour no longer decodes as it was.
  bool clearTransparent = false;
};

// `pixels` are 0xAARRGGBB words, top row first. The result is the complete
// raw image, signature first. Throws std::invalid_argument for bad options
// and std::length_error for images the format cannot hold.
std::vector<uint8_t> EncodeTlg6(const uint32_t* pixels, uint32_t width, uint32_t height,
                                const Tlg6EncodeOptions& options = {});
