// Writes the TLG0 wrapper around an encoded raw TLG5 or TLG6 image.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

struct TlgChunk {
  std::string name;           // exactly 4 bytes
  std::vector<uint8_t> data;
};

typedef std::vector<std::pair<std::string, std::string>> TagList;

// The data of a "tags" chunk holding `tags`, in order.
std::vector<uint8_t> MakeTagsChunkData(const TagList& tags);

// Signature, raw length, the raw image, then each chunk as name, size, data.
// Throws std::invalid_argument for a chunk name that is not 4 bytes, or sizes
// that do not fit in 32 bits.
std::vector<uint8_t> WrapTlg0(const std::vector<uint8_t>& rawImage,
                              const std::vector<TlgChunk>& chunks);
