// Test pictures encoded through libtlg's C interface, for the test programs
// that sit on it alone (header only: each links libtlg its own way).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "tlg/tlg.h"

// RGBA8 rows of width * 4 bytes; empty when libtlg refuses them.
inline std::vector<uint8_t> EncodeRgba8(const std::vector<uint8_t>& pixels, size_t width,
                                        size_t height, tlg_kind kind, bool wrap,
                                        const tlg_tag* tags = nullptr, size_t tagCount = 0) {
  tlg_encode_options options;
  tlg_encode_options_init(&options);
  options.kind = kind;
  options.wrap = wrap;
  options.tags = tags;
  options.tag_count = tagCount;
  void* out = nullptr;
  size_t size = 0;
  if (tlg_encode(pixels.data(), width, height, width * 4, TLG_RGBA8, &options, &out, &size) != TLG_OK) {
    return {};
  }
  const auto* bytes = static_cast<const uint8_t*>(out);
  std::vector<uint8_t> file(bytes, bytes + size);
  tlg_free(out);
  return file;
}
