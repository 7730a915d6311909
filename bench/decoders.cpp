#include "bench/decoders.h"

#include <png.h>
#include <webp/decode.h>

#include <cstring>

#include "plugin/entry_points.h"
#include "stream/binary_stream.h"
#include "tlg/tlg6/tlg6_decoder.h"
#include "tlg/tlg6/tlg6_format.h"
#include "tlg/tlg_loader.h"

namespace {

constexpr uint32_t kBytesPerPixel = 4;
constexpr unsigned kMemoryInput = 1;

struct PlainBuffer {
  uint32_t* pixels;
  uint32_t width;
};

void* PlainRow(void* context, int32_t row) {
  auto* buffer = static_cast<PlainBuffer*>(context);
  if (row < 0) return nullptr;
  return buffer->pixels + static_cast<size_t>(row) * buffer->width;
}

// A host that shows no progress and never stops the decode.
int WINAPI KeepGoing(int, int, LONG_PTR) { return 0; }

}  // namespace

bool DecodeTlgToBuffer(const std::vector<uint8_t>& file, uint32_t* pixels, uint32_t width) {
  tMemDataStream stream(file.data(), static_cast<uint32_t>(file.size()));
  PlainBuffer buffer{pixels, width};
  return LoadTlg(&buffer, nullptr, PlainRow, nullptr, stream) == kLoadComplete;
}

bool DecodeTlg6ToBuffer(const std::vector<uint8_t>& file, uint32_t* pixels, uint32_t width,
                        Tlg6Lanes lanes) {
  if (file.size() < kTlg6SignatureSize ||
      std::memcmp(file.data(), kTlg6Signature, kTlg6SignatureSize) != 0) {
    return false;
  }
  tMemDataStream stream(file.data() + kTlg6SignatureSize,
                        static_cast<uint32_t>(file.size() - kTlg6SignatureSize));
  PlainBuffer buffer{pixels, width};
  return DecodeTlg6(&buffer, nullptr, PlainRow, stream, lanes) == kLoadComplete;
}

bool DecodeThroughPlugin(const std::vector<uint8_t>& file, uint32_t* pixels) {
  HLOCAL info = nullptr;
  HLOCAL bits = nullptr;
  const int code = GetPicture(reinterpret_cast<LPCSTR>(file.data()),
                              static_cast<LONG_PTR>(file.size()), kMemoryInput, &info, &bits,
                              KeepGoing, 0);
  if (code != 0) return false;
  if (pixels != nullptr) {
    const auto* header = static_cast<const BITMAPINFOHEADER*>(LocalLock(info));
    const auto* dib = static_cast<const uint32_t*>(LocalLock(bits));
    const auto width = static_cast<size_t>(header->biWidth);
    const auto height = static_cast<size_t>(header->biHeight);
    for (size_t y = 0; y < height; ++y) {
      std::memcpy(pixels + y * width, dib + (height - 1 - y) * width, width * kBytesPerPixel);
    }
    LocalUnlock(bits);
    LocalUnlock(info);
  }
  LocalFree(info);
  LocalFree(bits);
  return true;
}

// libpng's simplified reader, as a program that just wants pixels would use
// it. It would change 16-bit samples or apply gAMA, but the PNGs timed here
// are prepare_corpus's own (8-bit, sRGB chunk only), which it hands back as
// they are; user and corpus PNGs are read with tools/image_io's ReadPng.
bool DecodePng(const std::vector<uint8_t>& file, uint32_t* pixels, uint32_t width,
               uint32_t height) {
  png_image image;
  std::memset(&image, 0, sizeof image);
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_memory(&image, file.data(), file.size())) return false;
  image.format = PNG_FORMAT_BGRA;
  if (image.width != width || image.height != height) {
    png_image_free(&image);
    return false;
  }
  return png_image_finish_read(&image, nullptr, pixels, 0, nullptr) != 0;
}

bool DecodeWebp(const std::vector<uint8_t>& file, uint32_t* pixels, uint32_t width,
                uint32_t height) {
  const size_t stride = size_t{width} * kBytesPerPixel;
  return WebPDecodeBGRAInto(file.data(), file.size(), reinterpret_cast<uint8_t*>(pixels),
                            stride * height, static_cast<int>(stride)) != nullptr;
}
