// Decoding through the loader into the caller's rows, a buffer of our own,
// or a row callback.
#include <algorithm>
#include <cstddef>
#include <cstdlib>
#include <cstring>

#include "libtlg/internal.h"
#include "tlg/tlg_loader.h"

namespace libtlg {
namespace {

constexpr size_t kBytesPerPixel = 4;
constexpr size_t kOptionsFirstSize = offsetof(tlg_options, max_pixels) + sizeof(uint64_t);

enum class Target { kCallerBuffer, kOwnBuffer, kRows };

// 0xAARRGGBB words are B, G, R, A in memory on the little-endian machines we
// build for; RGBA swaps the first and third byte.
// A pixel at a time as one 32-bit word, which compilers vectorise.
void SwapRedAndBlue(uint8_t* row, size_t width) {
  for (size_t x = 0; x < width; ++x) {
    uint32_t pixel;
    std::memcpy(&pixel, row + x * 4, sizeof pixel);
    pixel = (pixel & 0xFF00FF00u) | ((pixel >> 16) & 0xFFu) | ((pixel & 0xFFu) << 16);
    std::memcpy(row + x * 4, &pixel, sizeof pixel);
  }
}

void CopyRow(uint8_t* destination, const uint32_t* line, size_t width, int format) {
  std::memcpy(destination, line, width * kBytesPerPixel);
  if (format == TLG_RGBA8) SwapRedAndBlue(destination, width);
}

struct Decoding {
  Target target;
  int format;
  uint64_t maxPixels;
  tlg_info info{};
  tlg_error stop = TLG_OK;  // why a callback stopped the decode

  // The caller's buffer, or ours.
  uint8_t* base = nullptr;
  size_t stride = 0;
  size_t bufferSize = 0;
  // Rows the decoders write in place in `base`; otherwise into `lines`,
  // taking turns, since a decoder reads the row before back.
  bool inPlace = false;
  uint32_t* lines = nullptr;
  uint8_t* converted = nullptr;  // a row in RGBA order for the row callback
  int32_t current = -1;          // the row being written
  int32_t unswapped = -1;        // in place and RGBA: the finished row still to swap

  tlg_info_callback onInfo = nullptr;
  tlg_row_callback onRow = nullptr;
  void* user = nullptr;

  ~Decoding() {
    if (target == Target::kOwnBuffer) std::free(base);
    std::free(lines);
    std::free(converted);
  }

  uint32_t* Line(int32_t row) const { return lines + (row & 1) * std::max<size_t>(info.width, 1); }

  bool Begin(uint32_t width, uint32_t height) {
    info.width = width;
    info.height = height;
    // A picture of width 0 still costs a row call per row.
    if (uint64_t{width == 0 ? 1u : width} * height > maxPixels) return Stop(TLG_ERROR_TOO_LARGE);
    // The picture's bytes must fit a size_t (32 bits on some machines).
    const uint64_t rowBytesWide = uint64_t{width} * kBytesPerPixel;
    if (rowBytesWide > SIZE_MAX || (height != 0 && rowBytesWide > SIZE_MAX / height)) {
      return Stop(TLG_ERROR_TOO_LARGE);
    }
    const size_t rowBytes = static_cast<size_t>(rowBytesWide);
    if (target == Target::kCallerBuffer) {
      if (stride < rowBytes) return Stop(TLG_ERROR_INVALID_ARGUMENT);
      const size_t above = height == 0 ? 0 : height - 1;  // rows before the last
      if (height != 0 && ((above != 0 && stride > (SIZE_MAX - rowBytes) / above) ||
                          above * stride + rowBytes > bufferSize)) {
        return Stop(TLG_ERROR_INVALID_ARGUMENT);
      }
      inPlace = reinterpret_cast<uintptr_t>(base) % alignof(uint32_t) == 0 &&
                stride % alignof(uint32_t) == 0;
    } else if (target == Target::kOwnBuffer) {
      stride = rowBytes;
      base = static_cast<uint8_t*>(std::malloc(std::max<size_t>(rowBytes * height, 1)));
      if (base == nullptr) return Stop(TLG_ERROR_OUT_OF_MEMORY);
      inPlace = true;
    } else if (onInfo != nullptr && onInfo(user, &info) != 0) {
      return Stop(TLG_ERROR_STOPPED);
    }
    if (!inPlace && height != 0) {  // no rows, no lines: the width alone may be huge
      lines = static_cast<uint32_t*>(std::malloc(std::max<size_t>(rowBytes, kBytesPerPixel) * 2));
      if (lines == nullptr) return Stop(TLG_ERROR_OUT_OF_MEMORY);
      if (target == Target::kRows && format == TLG_RGBA8) {
        converted = static_cast<uint8_t*>(std::malloc(std::max<size_t>(rowBytes, 1)));
        if (converted == nullptr) return Stop(TLG_ERROR_OUT_OF_MEMORY);
      }
    }
    return true;
  }

  bool Stop(tlg_error why) {
    stop = why;
    return false;
  }

  void* Row(int32_t row) {
    if (stop != TLG_OK) return nullptr;
    current = row;
    return inPlace ? static_cast<void*>(base + static_cast<size_t>(row) * stride) : Line(row);
  }

  void EndRow() {
    const size_t width = info.width;
    if (inPlace) {
      // The row before is no longer read back once this one is written.
      if (format == TLG_RGBA8) SwapUnswapped(current);
      return;
    }
    const uint32_t* line = Line(current);
    if (target == Target::kCallerBuffer) {
      CopyRow(base + static_cast<size_t>(current) * stride, line, width, format);
      return;
    }
    const void* pixels = line;
    if (converted != nullptr) {
      CopyRow(converted, line, width, format);
      pixels = converted;
    }
    if (onRow(user, static_cast<size_t>(current), pixels, width) != 0) stop = TLG_ERROR_STOPPED;
  }

  void SwapUnswapped(int32_t next) {
    if (unswapped >= 0) SwapRedAndBlue(base + static_cast<size_t>(unswapped) * stride, info.width);
    unswapped = next;
  }
};

bool SizeCallback(void* context, uint32_t width, uint32_t height) {
  return static_cast<Decoding*>(context)->Begin(width, height);
}

void* ScanLineCallback(void* context, int32_t row) {
  auto& decoding = *static_cast<Decoding*>(context);
  if (row == kEndOfRow) {
    decoding.EndRow();
    return nullptr;
  }
  return decoding.Row(row);
}

tlg_error Run(const Source& source, Decoding& decoding, const tlg_options* options) {
  if (decoding.format != TLG_RGBA8 && decoding.format != TLG_BGRA8) return TLG_ERROR_INVALID_ARGUMENT;
  decoding.maxPixels = TLG_DEFAULT_MAX_PIXELS;
  if (options != nullptr) {
    // Records of the first version and later ones; fields added later are
    // read only where struct_size covers them.
    if (options->struct_size < kOptionsFirstSize) return TLG_ERROR_INVALID_ARGUMENT;
    if (options->max_pixels != 0) decoding.maxPixels = options->max_pixels;
  }
  std::unique_ptr<WatchedStream> stream;
  tlg_error error = OpenSource(source, stream);
  if (error == TLG_OK) error = DescribeLayout(*stream, decoding.info);
  if (error != TLG_OK) return error;

  const int result = LoadTlg(&decoding, SizeCallback, ScanLineCallback, nullptr, *stream);
  if (result == kLoadComplete) {
    if (decoding.format == TLG_RGBA8 && decoding.inPlace) decoding.SwapUnswapped(-1);
    return decoding.stop;  // a row callback may have asked to stop after the last row
  }
  if (result == kLoadStopped) return decoding.stop != TLG_OK ? decoding.stop : TLG_ERROR_CORRUPT;
  return LoadFailure(result, *stream);
}

tlg_error DecodeInto(const Source& source, int format, void* pixels, size_t stride,
                     size_t bufferSize, const tlg_options* options) {
  return Guarded([&] {
    if (pixels == nullptr) return TLG_ERROR_INVALID_ARGUMENT;
    Decoding decoding{Target::kCallerBuffer, format, 0};
    decoding.base = static_cast<uint8_t*>(pixels);
    decoding.stride = stride;
    decoding.bufferSize = bufferSize;
    return Run(source, decoding, options);
  });
}

tlg_error DecodeAllocated(const Source& source, int format, const tlg_options* options,
                          void** pixels, tlg_info* info) {
  if (pixels == nullptr) return TLG_ERROR_INVALID_ARGUMENT;
  *pixels = nullptr;
  uint8_t* block = nullptr;
  tlg_info described{};
  const tlg_error error = Guarded([&] {
    Decoding decoding{Target::kOwnBuffer, format, 0};
    const tlg_error result = Run(source, decoding, options);
    if (result == TLG_OK) {
      block = decoding.base;  // ours no more
      decoding.base = nullptr;
      described = decoding.info;
    }
    return result;
  });
  if (error != TLG_OK) return error;
  *pixels = block;
  if (info != nullptr) *info = described;
  return TLG_OK;
}

tlg_error DecodeRows(const Source& source, int format, tlg_info_callback onInfo,
                     tlg_row_callback onRow, void* user, const tlg_options* options) {
  return Guarded([&] {
    if (onRow == nullptr) return TLG_ERROR_INVALID_ARGUMENT;
    Decoding decoding{Target::kRows, format, 0};
    decoding.onInfo = onInfo;
    decoding.onRow = onRow;
    decoding.user = user;
    return Run(source, decoding, options);
  });
}

bool MissingPath(const void* path) { return path == nullptr; }

}  // namespace
}  // namespace libtlg

using namespace libtlg;

extern "C" {

tlg_error tlg_decode(const void* data, size_t size, int format, void* pixels,
                     size_t stride, size_t buffer_size, const tlg_options* options) {
  return DecodeInto(MemorySource(data, size), format, pixels, stride, buffer_size, options);
}

tlg_error tlg_decode_file(const char* path, int format, void* pixels, size_t stride,
                          size_t buffer_size, const tlg_options* options) {
  if (MissingPath(path)) return TLG_ERROR_INVALID_ARGUMENT;
  return DecodeInto(PathSource(path), format, pixels, stride, buffer_size, options);
}

tlg_error tlg_decode_alloc(const void* data, size_t size, int format,
                           const tlg_options* options, void** pixels, tlg_info* info) {
  return DecodeAllocated(MemorySource(data, size), format, options, pixels, info);
}

tlg_error tlg_decode_file_alloc(const char* path, int format,
                                const tlg_options* options, void** pixels, tlg_info* info) {
  if (MissingPath(path)) {
    if (pixels != nullptr) *pixels = nullptr;
    return TLG_ERROR_INVALID_ARGUMENT;
  }
  return DecodeAllocated(PathSource(path), format, options, pixels, info);
}

tlg_error tlg_decode_rows(const void* data, size_t size, int format,
                          tlg_info_callback on_info, tlg_row_callback on_row, void* user,
                          const tlg_options* options) {
  return DecodeRows(MemorySource(data, size), format, on_info, on_row, user, options);
}

tlg_error tlg_decode_rows_file(const char* path, int format,
                               tlg_info_callback on_info, tlg_row_callback on_row, void* user,
                               const tlg_options* options) {
  if (MissingPath(path)) return TLG_ERROR_INVALID_ARGUMENT;
  return DecodeRows(PathSource(path), format, on_info, on_row, user, options);
}

#ifdef _WIN32
tlg_error tlg_decode_file_w(const wchar_t* path, int format, void* pixels,
                            size_t stride, size_t buffer_size, const tlg_options* options) {
  if (MissingPath(path)) return TLG_ERROR_INVALID_ARGUMENT;
  return DecodeInto(WidePathSource(path), format, pixels, stride, buffer_size, options);
}

tlg_error tlg_decode_file_alloc_w(const wchar_t* path, int format,
                                  const tlg_options* options, void** pixels, tlg_info* info) {
  if (MissingPath(path)) {
    if (pixels != nullptr) *pixels = nullptr;
    return TLG_ERROR_INVALID_ARGUMENT;
  }
  return DecodeAllocated(WidePathSource(path), format, options, pixels, info);
}

tlg_error tlg_decode_rows_file_w(const wchar_t* path, int format,
                                 tlg_info_callback on_info, tlg_row_callback on_row, void* user,
                                 const tlg_options* options) {
  if (MissingPath(path)) return TLG_ERROR_INVALID_ARGUMENT;
  return DecodeRows(WidePathSource(path), format, on_info, on_row, user, options);
}
#endif

}  // extern "C"
