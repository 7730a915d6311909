#include "tlg/tlg5/slide_decompress.h"

namespace {

constexpr uint32_t kFlagByteMarker = 0xFF00;  // high byte set: bits of the flag byte remain
constexpr uint32_t kFlagBytesLeft = 0x100;
constexpr uint32_t kMinMatchLength = 3;
constexpr uint32_t kLongMatchNibble = 15;
constexpr uint32_t kLongMatchBase = 18;

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
    // Byte by byte: a source just behind the position repeats what this match wrote.
    for (uint32_t i = 0; i < length; ++i) {
      const uint8_t value = dictionary[source];
      dictionary[position] = value;
      *out++ = value;
      source = (source + 1) & kSlideDictionaryMask;
      position = (position + 1) & kSlideDictionaryMask;
    }
  }
  return SlideResult{position, static_cast<uint32_t>(out - output), complete};
}
