// The "tags" parse over any bytes.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "tlg/tag_dictionary.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::vector<uint8_t> chunk(data, data + size);  // exact size: reads past it show
  TagDictionary tags;
  ParseTags(chunk.data(), static_cast<uint32_t>(chunk.size()), tags);
  size_t stored = 0;
  for (const auto& [key, value] : tags) stored += key.size() + value.size();
  if (stored > size) __builtin_trap();
  return 0;
}
