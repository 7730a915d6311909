// The filter-type section of a TLG6 image: one byte per block, LZSS-coded.
#pragma once

#include <cstdint>
#include <vector>

// A stream that expands to `types` through the TLG6 filter dictionary.
std::vector<uint8_t> CompressFilterTypes(const std::vector<uint8_t>& types);
