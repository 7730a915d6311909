// Bitmaps as the host receives them: rows stored bottom-up.
#pragma once

#include <cstdint>
#include <vector>

// The pixels of a bottom-up 32-bit bitmap, top row first.
std::vector<uint32_t> BottomUpToTopDown(const uint8_t* bits, int32_t width, int32_t height);
