#include "plugin/entry_points.h"

#include <memory>
#include <new>

#include "plugin/dib_output.h"
#include "stream/binary_stream.h"
#include "tlg/tlg_loader.h"

// One implementation serves both forms of every export: they differ only in
// the character type of file names and strings.
namespace {

const char* const kPluginInfo[] = {
    "00IN",               // interface version: a picture import filter
    "DEREZUVE TLG FILE",  // description
    "*.tlg",              // file pattern
    "TLG file(*.TLG)",    // file type name
};
constexpr int kPluginInfoCount = sizeof(kPluginInfo) / sizeof(kPluginInfo[0]);
constexpr int kLongestPluginInfo = 32;

void CopyString(LPSTR destination, LPCSTR source, int length) { lstrcpynA(destination, source, length); }
void CopyString(LPWSTR destination, LPCSTR source, int length) {
  WCHAR wide[kLongestPluginInfo];  // the strings are plain ASCII
  int i = 0;
  for (; source[i] != '\0' && i + 1 < kLongestPluginInfo; ++i) wide[i] = static_cast<WCHAR>(source[i]);
  wide[i] = 0;
  lstrcpynW(destination, wide, length);
}
int StringLength(LPCSTR text) { return lstrlenA(text); }
int StringLength(LPCWSTR text) { return lstrlenW(text); }

template <typename Char>
int CopyPluginInfo(int index, Char* buffer, int bufferLength) {
  if (index < 0 || index >= kPluginInfoCount) return 0;
  CopyString(buffer, kPluginInfo[index], bufferLength);
  return StringLength(buffer);
}

int TestSignature(ULONG_PTR data) {
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

// The picture exports' input: a named file (the offset in `length` is not
// used: images are read from the file's start) or the whole file in memory.
template <typename Char>
std::unique_ptr<tZURBinaryStream> OpenInput(const Char* buffer, LONG_PTR length, unsigned flags) {
  if ((flags & kInputKindMask) == kInputFromFile) {
    return std::unique_ptr<tZURBinaryStream>(new (std::nothrow) tHandleStream(buffer, GENERIC_READ));
  }
  return std::unique_ptr<tZURBinaryStream>(new (std::nothrow) tMemDataStream(
      reinterpret_cast<const uint8_t*>(buffer), static_cast<uint32_t>(length)));
}

template <typename Char>
int ReadPictureInfo(const Char* buffer, LONG_PTR length, unsigned flags, PictureInfo* info) {
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

template <typename Char>
int DecodePicture(const Char* buffer, LONG_PTR length, unsigned flags, HLOCAL* infoOut,
                  HLOCAL* pixelsOut, ProgressCallback progress, LONG_PTR progressData) {
  DibOutput dib = MakeDibOutput(progress, progressData);
  int code = kSpiDecodeFailed;
  try {
    const auto stream = OpenInput(buffer, length, flags);
    if (stream != nullptr) {
      // Working memory the decoder cannot have fails the decode like damage;
      // bitmap memory that cannot be had stops it.
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

}  // namespace

extern "C" {

int WINAPI GetPluginInfo(int index, LPSTR buffer, int bufferLength) {
  return CopyPluginInfo(index, buffer, bufferLength);
}

int WINAPI IsSupported(LPCSTR /*fileName*/, ULONG_PTR data) { return TestSignature(data); }

int WINAPI GetPictureInfo(LPCSTR buffer, LONG_PTR length, unsigned int flags, PictureInfo* info) {
  return ReadPictureInfo(buffer, length, flags, info);
}

int WINAPI GetPicture(LPCSTR buffer, LONG_PTR length, unsigned int flags, HLOCAL* infoOut,
                      HLOCAL* pixelsOut, ProgressCallback progress, LONG_PTR progressData) {
  return DecodePicture(buffer, length, flags, infoOut, pixelsOut, progress, progressData);
}

int WINAPI GetPreview(LPCSTR, LONG_PTR, unsigned int, HLOCAL*, HLOCAL*, ProgressCallback, LONG_PTR) {
  return kSpiNotImplemented;
}

int WINAPI GetPluginInfoW(int index, LPWSTR buffer, int bufferLength) {
  return CopyPluginInfo(index, buffer, bufferLength);
}

int WINAPI IsSupportedW(LPCWSTR /*fileName*/, ULONG_PTR data) { return TestSignature(data); }

int WINAPI GetPictureInfoW(LPCWSTR buffer, LONG_PTR length, unsigned int flags, PictureInfo* info) {
  return ReadPictureInfo(buffer, length, flags, info);
}

int WINAPI GetPictureW(LPCWSTR buffer, LONG_PTR length, unsigned int flags, HLOCAL* infoOut,
                       HLOCAL* pixelsOut, ProgressCallback progress, LONG_PTR progressData) {
  return DecodePicture(buffer, length, flags, infoOut, pixelsOut, progress, progressData);
}

int WINAPI GetPreviewW(LPCWSTR, LONG_PTR, unsigned int, HLOCAL*, HLOCAL*, ProgressCallback, LONG_PTR) {
  return kSpiNotImplemented;
}

}  // extern "C"
