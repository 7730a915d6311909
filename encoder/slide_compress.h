// LZSS compression into the stream that SlideDecompress expands: groups of a
// flag byte and up to eight items (literals, or matches of 3 to 273 bytes
// from an absolute slot of a 4096-byte ring dictionary).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

class SlideCompressor {
 public:
  static constexpr uint32_t kDictionarySize = 4096;

  // A zero-filled dictionary, position 0.
  SlideCompressor();
  // A dictionary that the decompressing side fills identically, position 0.
  explicit SlideCompressor(const uint8_t (&initialDictionary)[kDictionarySize]);

  // Compresses `size` bytes into one stream. The dictionary and its position
  // carry on into the next call, as they do for the decompressing side; each
  // stream still starts with its own flag byte. An empty input gives an empty
  // stream.
  std::vector<uint8_t> Compress(const uint8_t* data, size_t size);

  uint32_t position() const { return position_; }
  const std::array<uint8_t, kDictionarySize>& dictionary() const { return dictionary_; }

 private:
  std::array<uint8_t, kDictionarySize> dictionary_;
  uint32_t position_ = 0;
};
