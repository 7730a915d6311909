// Row composition of the TLG5 decoder: running sums of the plane bytes of one
// row, added lane by lane to the row above. ComposeTlg5Row3 and
// ComposeTlg5Row4 (declared in tlg5_decoder.h) serve the rows that have a
// row above them, ComposeTlg5FirstRow the top image row.
#pragma once

#include <cstdint>

// `planes` holds `colours` (3 or 4) plane row pointers: blue, green, red, alpha.
void ComposeTlg5FirstRow(uint32_t* destination, const uint8_t* const* planes, uint32_t colours,
                         uint32_t width);

// A hint: fetches the start of the row that likely follows `destination`,
// one row step on from `previous`, so that its first stores do not wait.
void PrefetchTlg5NextRow(const uint32_t* destination, const uint32_t* previous, uint32_t width);

// The same three operations without vector instructions; the ones above use
// them where SSE2 is not available. Both give identical pixels.
void ComposeTlg5FirstRowPortable(uint32_t* destination, const uint8_t* const* planes,
                                 uint32_t colours, uint32_t width);
void ComposeTlg5Row3Portable(uint32_t* destination, const uint32_t* previous, const uint8_t* blue,
                             const uint8_t* green, const uint8_t* red, uint32_t width);
void ComposeTlg5Row4Portable(uint32_t* destination, const uint32_t* previous, const uint8_t* blue,
                             const uint8_t* green, const uint8_t* red, const uint8_t* alpha,
                             uint32_t width);
