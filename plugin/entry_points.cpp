#include "plugin/entry_points.h"

#include <memory>
#include <new>

#include "plugin/dib_output.h"
#include "stream/binary_stream.h"
#include "tlg/tlg_loader.h"

namespace {

const char* const kPluginInfo[] = {
    "00IN",               // interface version: a picture import filter
    "DEREZUVE TLG FILE",  // description
    "*.tlg",              // file pattern
    "TLG file(*.TLG)",    // file type name
};
constexpr int kPluginInfoCount = sizeof(kPluginInfo) / sizeof(kPluginInfo[0]);

// The picture exports' input: a named file (the offset in `length` is not
// used: images are read from the file's start) or the whole file in memory.
std::unique_ptr<tZURBinaryStream> OpenInput(LPCSTR buffer, LONG_PTR length, unsigned flags) {
  if ((flags & kInputKindMask) == kInputFromFile) {
    return std::unique_ptr<tZURBinaryStream>(new (std::nothrow) tHandleStream(buffer, GENERIC_READ));
  }
  const auto size = static_cast<uint32_t>(length);
  return std::unique_ptr<tZURBinaryStream>(
      new (std::nothrow) tMemDataStream(reinterpret_cast<const uint8_t*>(buffer), size));
}

}  // namespace

extern "C" {

int WINAPI GetPluginInfo(int index, LPSTR buffer, int bufferLength) {
  if (index < 0 || index >= kPluginInfoCount) return 0;
  lstrcpynA(buffer, kPluginInfo[index], bufferLength);
  return lstrlenA(buffer);
}

int WINAPI IsSupported(LPCSTR /*fileName*/, ULONG_PTR data) {
  try {
    std::unique_ptr<tZURBinaryStream> stream;
    if (data > kLargestHandleValue) {
      stream.reset(new (std::nothrow)
                       tMemDataStream(reinterpret_cast<const uint8_t*>(data), kSupportedHeadSize));
    } else {
      stream.reset(new (std::nothrow) tHandleStream(reinterpret_cast<HANDLE>(data)));
    }
    return stream != nullptr && HasTlgSignature(*stream) ? 1 : 0;
  } catch (...) {
    return 0;
  }
}

int WINAPI GetPictureInfo(LPCSTR buffer, LONG_PTR length, unsigned int flags, PictureInfo* info) {
  try {
    const auto stream = OpenInput(buffer, length, flags);
    uint32_t width = 0, height = 0;
    if (stream == nullptr || !ReadImageSize(*stream, &width, &height)) return kSpiUnknownFormat;
    *info = PictureInfo{};
    info->width = static_cast<int32_t>(width);
    info->height = static_cast<int32_t>(height);
    info->colourDepth = 32;
    info->text = nullptr;
    return kSpiSuccess;
  } catch (...) {
    return kSpiUnknownFormat;
  }
}

int WINAPI GetPicture(LPCSTR buffer, LONG_PTR length, unsigned int flags, HLOCAL* infoOut,
                      HLOCAL* pixelsOut, ProgressCallback progress, LONG_PTR progressData) {
  DibOutput dib = MakeDibOutput(progress, progressData);
  int code = kSpiDecodeFailed;
  try {
    const auto stream = OpenInput(buffer, length, flags);
    if (stream != nullptr) {
      const int result = LoadTlg(&dib, DibSizeCallback, DibScanLineCallback, nullptr, *stream);
      if (result == kLoadComplete) {
        HandOverDib(dib, infoOut, pixelsOut);
        code = kSpiSuccess;
      } else if (result == kLoadStopped) {
        code = kSpiStopped;
      }
    }
  } catch (...) {
    code = kSpiDecodeFailed;
  }
  ReleaseDib(dib);
  return code;
}

int WINAPI GetPreview(LPCSTR, LONG_PTR, unsigned int, HLOCAL*, HLOCAL*, ProgressCallback,
                      LONG_PTR) {
  return kSpiNotImplemented;
}

}  // extern "C"
