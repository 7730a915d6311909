// The TLG5 raster decoder: horizontal blocks of byte planes, each stored or
// LZSS-compressed, coded as differences against green and against the left
// and upper neighbours.
#pragma once

#include <cstdint>

#include "stream/binary_stream.h"
#include "tlg/decoder_contract.h"

// Decodes the image that follows the raw signature in `stream`, row by row,
// into the rows that `scanLineCallback` hands out. Returns kLoadComplete,
// kLoadStopped, kLoadFailed or kLoadOutOfMemory.
int DecodeTlg5(void* context, SizeCallback sizeCallback, ScanLineCallback scanLineCallback,
               tZURBinaryStream& stream);

// Compose one row that has a row above it: the running sums of the plane
// bytes, added lane by lane to `previous`. `destination` may equal `previous`.
// With 3 planes every alpha is 0xFF.
void ComposeTlg5Row3(uint32_t* destination, const uint32_t* previous, const uint8_t* blue,
                     const uint8_t* green, const uint8_t* red, uint32_t width);
void ComposeTlg5Row4(uint32_t* destination, const uint32_t* previous, const uint8_t* blue,
                     const uint8_t* green, const uint8_t* red, const uint8_t* alpha,
                     uint32_t width);
