// Encoding pixels as TLG5 or TLG6, optionally wrapped with tags, into memory
// or a file.
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <string>

#include "encoder/tlg0_writer.h"
#include "encoder/tlg5_encoder.h"
#include "encoder/tlg6_encoder.h"
#include "libtlg/file_output.h"
#include "libtlg/internal.h"

namespace libtlg {
namespace {

// The size of the first version of the record: callers built against it
// pass no more. Fields added later are read only when struct_size covers them.
constexpr size_t kEncodeOptionsFirstSize = offsetof(tlg_encode_options, tag_count) + sizeof(size_t);

tlg_error ReadOptions(const tlg_encode_options* given, tlg_encode_options& options) {
  tlg_encode_options_init(&options);
  if (given == nullptr) return TLG_OK;
  if (given->struct_size < kEncodeOptionsFirstSize) return TLG_ERROR_INVALID_ARGUMENT;
  options.kind = given->kind;
  options.wrap = given->wrap;
  options.tags = given->tags;
  options.tag_count = given->tag_count;
  if (given->struct_size >= offsetof(tlg_encode_options, clear_transparent) + sizeof(int)) {
    options.threads = given->threads;
    options.clear_transparent = given->clear_transparent;
  }
  if (options.kind != TLG_KIND_TLG5 && options.kind != TLG_KIND_TLG6) {
    return TLG_ERROR_INVALID_ARGUMENT;
  }
  if (options.tag_count != 0 && options.tags == nullptr) return TLG_ERROR_INVALID_ARGUMENT;
  for (size_t i = 0; i < options.tag_count; ++i) {
    const tlg_tag& tag = options.tags[i];
    if ((tag.key == nullptr && tag.key_size != 0) || (tag.value == nullptr && tag.value_size != 0)) {
      return TLG_ERROR_INVALID_ARGUMENT;
    }
  }
  return TLG_OK;
}

// Into the encoders' 0xAARRGGBB words.
std::vector<uint32_t> ReadPixels(const uint8_t* pixels, size_t width, size_t height, size_t stride,
                                 int format) {
  std::vector<uint32_t> words(width * height);
  const int red = format == TLG_RGBA8 ? 0 : 2;
  const int blue = 2 - red;
  for (size_t y = 0; y < height; ++y) {
    const uint8_t* p = pixels + y * stride;
    uint32_t* out = words.data() + y * width;
    for (size_t x = 0; x < width; ++x, p += 4) {
      out[x] = uint32_t{p[3]} << 24 | uint32_t{p[red]} << 16 | uint32_t{p[1]} << 8 | p[blue];
    }
  }
  return words;
}

std::string Bytes(const char* data, size_t size) { return size == 0 ? std::string() : std::string(data, size); }

tlg_error Encode(const void* pixels, size_t width, size_t height, size_t stride,
                 int format, const tlg_encode_options* given,
                 std::vector<uint8_t>& out) {
  if (format != TLG_RGBA8 && format != TLG_BGRA8) return TLG_ERROR_INVALID_ARGUMENT;
  if (pixels == nullptr && width != 0 && height != 0) return TLG_ERROR_INVALID_ARGUMENT;
  tlg_encode_options options;
  const tlg_error error = ReadOptions(given, options);
  if (error != TLG_OK) return error;
  if (Exceeds32Bits(width) || Exceeds32Bits(height)) return TLG_ERROR_TOO_LARGE;
  if (width > SIZE_MAX / 4 || stride < width * 4) return TLG_ERROR_INVALID_ARGUMENT;
  if (height != 0 && width > SIZE_MAX / sizeof(uint32_t) / height) return TLG_ERROR_TOO_LARGE;

  const std::vector<uint32_t> words =
      ReadPixels(static_cast<const uint8_t*>(pixels), width, height, stride, format);
  const auto w = static_cast<uint32_t>(width);
  const auto h = static_cast<uint32_t>(height);
  try {
    if (options.kind == TLG_KIND_TLG5) {
      Tlg5EncodeOptions tlg5;
      tlg5.clearTransparent = options.clear_transparent != 0;
      out = EncodeTlg5(words.data(), w, h, tlg5);
    } else {
      Tlg6EncodeOptions tlg6;
      tlg6.threads = options.threads;
      tlg6.clearTransparent = options.clear_transparent != 0;
      out = EncodeTlg6(words.data(), w, h, tlg6);
    }
    if (options.wrap || options.tag_count != 0) {
      TagList tags;
      for (size_t i = 0; i < options.tag_count; ++i) {
        const tlg_tag& tag = options.tags[i];
        tags.emplace_back(Bytes(tag.key, tag.key_size), Bytes(tag.value, tag.value_size));
      }
      out = WrapTlg0(out, {TlgChunk{"tags", MakeTagsChunkData(tags)}});
    }
  } catch (const std::invalid_argument&) {
    return TLG_ERROR_TOO_LARGE;  // the arguments are checked: only sizes the format cannot hold remain
  }
  return TLG_OK;
}

template <typename Char>
tlg_error EncodeToFile(const Char* path, const void* pixels, size_t width, size_t height,
                       size_t stride, int format, const tlg_encode_options* options) {
  return Guarded([&] {
    if (path == nullptr) return TLG_ERROR_INVALID_ARGUMENT;
    std::vector<uint8_t> bytes;
    const tlg_error error = Encode(pixels, width, height, stride, format, options, bytes);
    if (error != TLG_OK) return error;
    return WriteFileAtomically(path, bytes);
  });
}

}  // namespace
}  // namespace libtlg

using namespace libtlg;

extern "C" {

tlg_error tlg_encode(const void* pixels, size_t width, size_t height, size_t stride,
                     int format, const tlg_encode_options* options, void** out,
                     size_t* out_size) {
  if (out == nullptr || out_size == nullptr) return TLG_ERROR_INVALID_ARGUMENT;
  *out = nullptr;
  *out_size = 0;
  void* block = nullptr;
  size_t size = 0;
  const tlg_error error = Guarded([&] {
    std::vector<uint8_t> bytes;
    const tlg_error result = Encode(pixels, width, height, stride, format, options, bytes);
    if (result != TLG_OK) return result;
    block = std::malloc(bytes.size());
    if (block == nullptr) return TLG_ERROR_OUT_OF_MEMORY;
    std::memcpy(block, bytes.data(), bytes.size());
    size = bytes.size();
    return TLG_OK;
  });
  if (error != TLG_OK) return error;
  *out = block;
  *out_size = size;
  return TLG_OK;
}

tlg_error tlg_encode_file(const char* path, const void* pixels, size_t width, size_t height,
                          size_t stride, int format,
                          const tlg_encode_options* options) {
  return EncodeToFile(path, pixels, width, height, stride, format, options);
}

#ifdef _WIN32
tlg_error tlg_encode_file_w(const wchar_t* path, const void* pixels, size_t width, size_t height,
                            size_t stride, int format,
                            const tlg_encode_options* options) {
  return EncodeToFile(path, pixels, width, height, stride, format, options);
}
#endif

}  // extern "C"
