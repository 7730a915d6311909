#include "bench/encoders.h"

#include <png.h>
#include <webp/encode.h>

#include <algorithm>
#include <cstring>

std::vector<uint8_t> EncodePng(const uint32_t* pixels, uint32_t width, uint32_t height) {
  const size_t count = size_t{width} * height;
  const bool opaque = std::all_of(pixels, pixels + count, [](uint32_t p) { return p >> 24 == 0xFF; });
  png_image image;
  std::memset(&image, 0, sizeof image);
  image.version = PNG_IMAGE_VERSION;
  image.width = width;
  image.height = height;
  image.format = opaque ? PNG_FORMAT_BGR : PNG_FORMAT_BGRA;
  std::vector<uint8_t> packed;
  const void* rows = pixels;
  if (opaque) {  // drop the alpha byte of every pixel
    packed.resize(count * 3);
    for (size_t i = 0; i < count; ++i) std::memcpy(&packed[i * 3], &pixels[i], 3);
    rows = packed.data();
  }
  // Room for the worst case up front: asked for its size first, libpng
  // would compress twice.
  std::vector<uint8_t> out(count * 4 + count / 8 + 65536);
  png_alloc_size_t size = out.size();
  if (!png_image_write_to_memory(&image, out.data(), &size, 0, rows, 0, nullptr)) return {};
  out.resize(size);
  return out;
}

std::vector<uint8_t> EncodeWebp(const uint32_t* pixels, uint32_t width, uint32_t height) {
  uint8_t* webp = nullptr;
  const size_t size = WebPEncodeLosslessBGRA(reinterpret_cast<const uint8_t*>(pixels),
                                             static_cast<int>(width), static_cast<int>(height),
                                             static_cast<int>(width) * 4, &webp);
  std::vector<uint8_t> out(webp, webp + size);
  WebPFree(webp);
  return out;
}
