// Decoding a raw TLG6 image into rows that the caller supplies.
#pragma once

#include <cstdint>

#include "stream/binary_stream.h"
#include "tlg/decoder_contract.h"

// Reads from just after the raw signature. Returns a loader result.
int DecodeTlg6(void* context, SizeCallback sizeCallback, ScanLineCallback scanLineCallback,
               tZURBinaryStream& stream);

// Stores `value` into `count` consecutive words; nothing when count <= 0.
void FillUInt32(uint32_t* destination, int32_t count, uint32_t value);
