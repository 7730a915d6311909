// Layout constants of a raw TLG5 image, shared by the decoder, the loader and
// the encoder.
#pragma once

#include <cstdint>

// "TLG5.0", 0x00, "raw", 0x1A: the 11 bytes in front of every raw TLG5 image.
constexpr uint32_t kTlg5SignatureSize = 11;
inline constexpr uint8_t kTlg5Signature[kTlg5SignatureSize] = {'T', 'L', 'G', '5', '.', '0',
                                                               0x00, 'r', 'a', 'w', 0x1A};

// Colour counts: blue, green, red; or blue, green, red, alpha.
constexpr uint8_t kTlg5OpaqueColours = 3;
constexpr uint8_t kTlg5AlphaColours = 4;
constexpr uint32_t kTlg5MaxColours = 4;

// Plane order inside a block.
enum : uint32_t { kTlg5Blue = 0, kTlg5Green = 1, kTlg5Red = 2, kTlg5Alpha = 3 };

// Record mark: 0 means the plane's bytes are LZSS-compressed, anything else
// means they are stored as they are.
constexpr uint8_t kTlg5Compressed = 0;
constexpr uint8_t kTlg5Stored = 1;

// Slack after each block's bytes in the working buffers.
constexpr uint32_t kTlg5BufferSlack = 10;

// Blocks needed to cover `height` rows, in unsigned 32-bit arithmetic as the
// format defines it (so a height of 0 wraps rather than giving 0).
constexpr uint32_t Tlg5BlockCount(uint32_t height, uint32_t blockHeight) {
  return (height - 1) / blockHeight + 1;
}
