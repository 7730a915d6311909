// Row composition of the TLG5 decoder for the top image row, which has no
// row above it (the rows below use ComposeTlg5Row3 and ComposeTlg5Row4).
#pragma once

#include <cstdint>

// `planes` holds `colours` (3 or 4) plane row pointers: blue, green, red, alpha.
void ComposeTlg5FirstRow(uint32_t* destination, const uint8_t* const* planes, uint32_t colours,
                         uint32_t width);
