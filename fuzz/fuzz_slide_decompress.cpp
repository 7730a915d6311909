// LZSS expansion of any bytes, into an output of a fuzz-chosen size, by the
// ring form and by the linear form, which must agree.
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "tlg/tlg5/slide_decompress.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 3) return 0;
  const uint32_t capacity = (data[0] | data[1] << 8) % 8192;
  const uint32_t position = data[2] * 16u;
  std::array<uint8_t, kSlideDictionarySize> dictionary{};
  for (uint32_t i = 0; i < kSlideDictionarySize; ++i) {
    dictionary[i] = static_cast<uint8_t>(i * 7 + i / 256);
  }
  // The linear form's window: the same ring laid out oldest first, then exactly
  // the output and its slack, so that any access past them shows.
  std::vector<uint8_t> window(kSlideDictionarySize + capacity + kSlideLinearSlack);
  for (uint32_t i = 0; i < kSlideDictionarySize; ++i) {
    window[i] = dictionary[(position + i) & kSlideDictionaryMask];
  }
  std::vector<uint8_t> output(capacity);
  const auto input = std::vector<uint8_t>(data + 3, data + size);  // exact size: reads past it show
  const SlideResult result = SlideDecompress(output.data(), capacity, input.data(),
                                             static_cast<uint32_t>(input.size()), dictionary.data(), position);
  if (result.written > capacity || result.position >= kSlideDictionarySize) __builtin_trap();

  uint8_t* const linear = window.data() + kSlideDictionarySize;
  const SlideResult other = SlideDecompressLinear(linear, capacity, input.data(),
                                                  static_cast<uint32_t>(input.size()), position);
  if (other.complete != result.complete || other.written > capacity) __builtin_trap();
  if (result.complete &&
      (other.written != result.written || other.position != result.position ||
       (result.written != 0 && std::memcmp(linear, output.data(), result.written) != 0))) {
    __builtin_trap();
  }
  return 0;
}
