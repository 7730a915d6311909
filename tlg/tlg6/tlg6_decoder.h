// Decoding a raw TLG6 image into rows that the caller supplies.
#pragma once

#include <cstdint>

#include "stream/binary_stream.h"
#include "tlg/decoder_contract.h"
#include "tlg/tlg6/tlg6_lanes.h"

// Reads from just after the raw signature. Returns a loader result.
// `lanes` says how the colour streams of the block rows are decoded: side by
// side in vector lanes, or one after the other (kNone, or where the processor
// lacks them). Every way gives the same rows and results.
int DecodeTlg6(void* context, SizeCallback sizeCallback, ScanLineCallback scanLineCallback,
               tZURBinaryStream& stream, Tlg6Lanes lanes = FastestTlg6Lanes());

// Stores `value` into `count` consecutive words; nothing when count <= 0.
void FillUInt32(uint32_t* destination, int32_t count, uint32_t value);
