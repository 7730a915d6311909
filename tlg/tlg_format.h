// The TLG0 wrapper: signature, raw length, the raw image, then chunks.
#pragma once

#include <cstdint>

constexpr uint32_t kTlgSignatureSize = 11;
constexpr uint8_t kTlg0Signature[kTlgSignatureSize] = {'T', 'L', 'G', '0', '.', '0', 0,
                                                       's', 'd', 's', 0x1A};
// Signature plus the 32-bit raw length: where the embedded raw image starts.
constexpr uint32_t kTlg0HeaderSize = kTlgSignatureSize + 4;

constexpr uint32_t kChunkNameSize = 4;
constexpr uint8_t kTagsChunkName[kChunkNameSize] = {'t', 'a', 'g', 's'};
