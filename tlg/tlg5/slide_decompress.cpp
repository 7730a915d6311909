#include "tlg/tlg5/slide_decompress.h"

#include <cstring>

namespace {

constexpr uint32_t kFlagByteMarker = 0xFF00;  // high byte set: bits of the flag byte remain
constexpr uint32_t kFlagBytesLeft = 0x100;
constexpr uint32_t kMinMatchLength = 3;
constexpr uint32_t kLongMatchNibble = 15;
constexpr uint32_t kLongMatchBase = 18;
constexpr uint32_t kItemsPerFlagByte = 8;

// Copies a match of `length` bytes from `source` to `position` in the ring
// and to `out`, with the result of copying byte by byte.
inline void CopyMatch(uint8_t* out, uint8_t* dictionary, uint32_t source, uint32_t position,
                      uint32_t length) {
  const uint32_t behind = (position - source) & kSlideDictionaryMask;
  const bool wraps = source + length > kSlideDictionarySize || position + length > kSlideDictionarySize;
  if (!wraps && (behind == 0 || behind >= length)) {
    // No byte of the match is read after this match wrote it: two block copies.
    std::memcpy(out, dictionary + source, length);
    std::memcpy(dictionary + position, out, length);
    return;
  }
  // Byte by byte: a source just behind the position repeats what this match wrote.
  for (uint32_t i = 0; i < length; ++i) {
    const uint8_t value = dictionary[source];
    dictionary[position] = value;
    out[i] = value;
    source = (source + 1) & kSlideDictionaryMask;
    position = (position + 1) & kSlideDictionaryMask;
  }
}

}  // namespace

SlideResult SlideDecompress(uint8_t* output, uint32_t outputCapacity, const uint8_t* input,
                            uint32_t inputLength, uint8_t* dictionary, uint32_t position) {
  const uint8_t* in = input;
  const uint8_t* const inEnd = input + inputLength;
  uint8_t* out = output;
  uint8_t* const outEnd = output + outputCapacity;
  uint32_t flags = 0;
  position &= kSlideDictionaryMask;
  bool complete = true;

  while (in < inEnd) {
    flags >>= 1;
    if ((flags & kFlagBytesLeft) == 0) {
      // A flag byte of eight literals, all present, with room in the output
      // and the ring: one block copy.
      if (*in == 0 && inEnd - in > kItemsPerFlagByte &&
          static_cast<uint32_t>(outEnd - out) >= kItemsPerFlagByte &&
          position + kItemsPerFlagByte <= kSlideDictionarySize) {
        std::memcpy(out, in + 1, kItemsPerFlagByte);
        std::memcpy(dictionary + position, in + 1, kItemsPerFlagByte);
        out += kItemsPerFlagByte;
        in += kItemsPerFlagByte + 1;
        position = (position + kItemsPerFlagByte) & kSlideDictionaryMask;
        flags = 0;
        continue;
      }
      flags = kFlagByteMarker | *in++;
      if (in == inEnd) {  // a flag byte with no item after it
        complete = false;
        break;
      }
    }
    if ((flags & 1) == 0) {
      if (out == outEnd) {
        complete = false;
        break;
      }
      const uint8_t literal = *in++;
      *out++ = literal;
      dictionary[position] = literal;
      position = (position + 1) & kSlideDictionaryMask;
      continue;
    }

    if (inEnd - in < 2) {
      complete = false;
      break;
    }
    uint32_t source = in[0] | (static_cast<uint32_t>(in[1] & 0x0F) << 8);
    uint32_t length = (in[1] >> 4) + kMinMatchLength;
    in += 2;
    if (length == kLongMatchNibble + kMinMatchLength) {
      if (in == inEnd) {
        complete = false;
        break;
      }
      length = *in++ + kLongMatchBase;
    }
    if (static_cast<uint32_t>(outEnd - out) < length) {
      complete = false;
      break;
    }
    CopyMatch(out, dictionary, source, position, length);
    out += length;
    position = (position + length) & kSlideDictionaryMask;
  }
  return SlideResult{position, static_cast<uint32_t>(out - output), complete};
}
