// The C interface's decodes over any input, with a small pixel limit: the
// three forms of decoding must agree with each other and with the
// description, in both byte orders, and fail only with a decoder's errors;
// the tags of a picture that decodes can be read.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "tlg/tlg.h"

namespace {

constexpr uint64_t kPixelLimit = 1 << 18;

struct Rows {
  std::vector<uint8_t> pixels;
};

int AppendRow(void* user, size_t, const void* pixels, size_t width) {
  auto& rows = *static_cast<Rows*>(user);
  const auto* bytes = static_cast<const uint8_t*>(pixels);
  rows.pixels.insert(rows.pixels.end(), bytes, bytes + width * 4);
  return 0;
}

bool IsDecodeError(tlg_error error) {
  return error == TLG_ERROR_NOT_TLG || error == TLG_ERROR_TRUNCATED || error == TLG_ERROR_CORRUPT ||
         error == TLG_ERROR_TOO_LARGE;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  tlg_options options;
  tlg_options_init(&options);
  options.max_pixels = kPixelLimit;

  void* pixels = nullptr;
  tlg_info info;
  const tlg_error error = tlg_decode_alloc(data, size, TLG_RGBA8, &options, &pixels, &info);
  if (error != TLG_OK) {
    if (!IsDecodeError(error) || pixels != nullptr) __builtin_trap();
  } else {
    tlg_info described;
    if (tlg_read_info(data, size, &described) != TLG_OK || described.width != info.width ||
        described.height != info.height || described.kind != info.kind) {
      __builtin_trap();
    }
    const size_t bytes = info.width * info.height * 4;
    // Row by row, the other byte order, into rows that are neither aligned nor packed.
    Rows rows;
    if (tlg_decode_rows(data, size, TLG_BGRA8, nullptr, AppendRow, &rows, &options) != TLG_OK ||
        rows.pixels.size() != bytes) {
      __builtin_trap();
    }
    const size_t stride = info.width * 4 + 3;
    std::vector<uint8_t> buffer(1 + stride * info.height);
    if (tlg_decode(data, size, TLG_RGBA8, buffer.data() + 1, stride, buffer.size() - 1, &options) != TLG_OK) {
      __builtin_trap();
    }
    const auto* rgba = static_cast<const uint8_t*>(pixels);
    for (size_t i = 0; i < bytes; i += 4) {
      const uint8_t* padded = buffer.data() + 1 + (i / 4 / info.width) * stride + (i / 4 % info.width) * 4;
      if (std::memcmp(padded, rgba + i, 4) != 0) __builtin_trap();
      const uint8_t* bgra = rows.pixels.data() + i;
      if (bgra[0] != rgba[i + 2] || bgra[1] != rgba[i + 1] || bgra[2] != rgba[i] || bgra[3] != rgba[i + 3]) {
        __builtin_trap();
      }
    }
  }
  tlg_free(pixels);

  tlg_tag* tags = nullptr;
  size_t count = 0;
  const tlg_error tagsError = tlg_read_tags(data, size, &tags, &count);
  if (tagsError != TLG_OK && (!IsDecodeError(tagsError) || tags != nullptr || count != 0)) __builtin_trap();
  // Whatever follows a picture that decodes, its tags can be read.
  if (error == TLG_OK && tagsError != TLG_OK) __builtin_trap();
  for (size_t i = 0; i < count; ++i) {
    if (tags[i].key[tags[i].key_size] != '\0' || tags[i].value[tags[i].value_size] != '\0') __builtin_trap();
  }
  tlg_free(tags);
  return 0;
}
