// One encode of a whole picture by libpng and libwebp, each with its
// default settings, from 32-bit pixels 0xAARRGGBB, rows top-down.
#pragma once

#include <cstdint>
#include <vector>

// libpng's simplified writer, as the tool writes PNG: RGB when every alpha
// is 0xFF, RGBA otherwise. Empty on failure.
std::vector<uint8_t> EncodePng(const uint32_t* pixels, uint32_t width, uint32_t height);

// libwebp's lossless encoder through its simple API. Empty on failure.
std::vector<uint8_t> EncodeWebp(const uint32_t* pixels, uint32_t width, uint32_t height);
