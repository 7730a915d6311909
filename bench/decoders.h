// One decode of a whole picture by each contender, into 32-bit pixels
// 0xAARRGGBB (blue at the lowest address), rows top-down unless noted.
#pragma once

#include <cstdint>
#include <vector>

#include "tlg/tlg6/tlg6_lanes.h"

// LoadTlg into a plain buffer of width x height pixels.
bool DecodeTlgToBuffer(const std::vector<uint8_t>& file, uint32_t* pixels, uint32_t width);

// A raw TLG6 file decoded with its colour streams taken the given way, which
// the processor must have: the decoding paths measured against each other.
bool DecodeTlg6ToBuffer(const std::vector<uint8_t>& file, uint32_t* pixels, uint32_t width,
                        Tlg6Lanes lanes);

// GetPicture with memory input, as a host calls it; the bitmap is bottom-up.
// With `pixels`, the bitmap's rows are copied there top-down before it is
// freed (for checks only, not while timing).
bool DecodeThroughPlugin(const std::vector<uint8_t>& file, uint32_t* pixels = nullptr);

// libpng's simplified reader and libwebp's lossless decoder, into BGRA.
bool DecodePng(const std::vector<uint8_t>& file, uint32_t* pixels, uint32_t width,
               uint32_t height);
bool DecodeWebp(const std::vector<uint8_t>& file, uint32_t* pixels, uint32_t width,
                uint32_t height);
