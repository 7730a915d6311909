// LZSS expansion of any bytes, into an output of a fuzz-chosen size.
#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "tlg/tlg5/slide_decompress.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 3) return 0;
  const uint32_t capacity = (data[0] | data[1] << 8) % 8192;
  const uint32_t position = data[2] * 16u;
  std::array<uint8_t, kSlideDictionarySize> dictionary{};
  std::vector<uint8_t> output(capacity);
  const auto input = std::vector<uint8_t>(data + 3, data + size);  // exact size: reads past it show
  const SlideResult result = SlideDecompress(output.data(), capacity, input.data(),
                                             static_cast<uint32_t>(input.size()), dictionary.data(), position);
  if (result.written > capacity || result.position >= kSlideDictionarySize) __builtin_trap();
  return 0;
}
