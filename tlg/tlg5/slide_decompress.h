// LZSS expansion through a 4096-byte ring dictionary owned by the caller.
#pragma once

#include <cstdint>

constexpr uint32_t kSlideDictionarySize = 4096;
constexpr uint32_t kSlideDictionaryMask = kSlideDictionarySize - 1;

struct SlideResult {
  uint32_t position;  // dictionary position after the last byte stored
  uint32_t written;   // bytes written to the output
  // False when the stream wanted more than the output holds, or its last item
  // was cut short by the end of the input. Decoding stopped there.
  bool complete;
};

// Expands `inputLength` bytes of `input` into `output`, storing every byte
// into `dictionary` from `position` on. Calls may share one dictionary: pass
// the returned position to the next. Never writes more than `outputCapacity`
// bytes and never reads outside the input.
SlideResult SlideDecompress(uint8_t* output, uint32_t outputCapacity, const uint8_t* input,
                            uint32_t inputLength, uint8_t* dictionary, uint32_t position);

// Bytes past `outputCapacity` that SlideDecompressLinear may overwrite.
constexpr uint32_t kSlideLinearSlack = 8 * (255 + 18) + 16;

// The same expansion with the dictionary laid out straight: the 4096 bytes
// before `output` are the last ones stored, oldest first, and `position` is
// the ring position after them. Matches read right behind the output, so
// nothing is stored twice. The caller keeps kSlideLinearSlack writable bytes
// after the capacity; bytes there, and past `written`, may change. When the
// result is not complete, what the output holds is unspecified.
SlideResult SlideDecompressLinear(uint8_t* output, uint32_t outputCapacity, const uint8_t* input,
                                  uint32_t inputLength, uint32_t position);
