// Decoding a raw TLG6 image into rows that the caller supplies.
#pragma once

#include <cstdint>

#include "stream/binary_stream.h"
#include "tlg/decoder_contract.h"

// How the colour streams of the block rows are decoded: side by side in
// vector lanes where the processor can, or strictly one after the other.
// Both give the same rows and results.
enum class Tlg6StreamOrder { kSideBySideWherePossible, kOneAfterTheOther };

// Reads from just after the raw signature. Returns a loader result.
int DecodeTlg6(void* context, SizeCallback sizeCallback, ScanLineCallback scanLineCallback,
               tZURBinaryStream& stream,
               Tlg6StreamOrder order = Tlg6StreamOrder::kSideBySideWherePossible);

// Stores `value` into `count` consecutive words; nothing when count <= 0.
void FillUInt32(uint32_t* destination, int32_t count, uint32_t value);
