#include "encoder/tlg6_filter_section.h"

#include "encoder/slide_compress.h"
#include "tlg/tlg6/tlg6_format.h"

// Compressed against the patterned dictionary the decoder starts from.
std::vector<uint8_t> CompressFilterTypes(const std::vector<uint8_t>& types) {
  uint8_t dictionary[SlideCompressor::kDictionarySize];
  FillTlg6FilterDictionary(dictionary);
  SlideCompressor compressor(dictionary);
  return compressor.Compress(types.data(), types.size());
}
