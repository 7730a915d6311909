// The plane bytes of TLG5 blocks: what the decoder's running sums undo.
#pragma once

#include <cstdint>

// Rows [first, end) of `width` x ... pixels 0xAARRGGBB into planes[0..3]
// (blue, green, red, alpha; alpha may be null), (end - first) x width bytes
// each: each channel's value minus its left and upper neighbours plus the
// upper-left one, blue and red then less green's byte, all modulo 256.
void SplitTlg5Rows(const uint32_t* pixels, uint32_t width, uint32_t first, uint32_t end,
                   uint8_t* const planes[4]);
void SplitTlg5RowsPortable(const uint32_t* pixels, uint32_t width, uint32_t first, uint32_t end,
                           uint8_t* const planes[4]);
