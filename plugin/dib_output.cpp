#include "plugin/dib_output.h"

#include <climits>
#include <cstring>

namespace {

void WriteInfoHeader(BITMAPINFOHEADER& header, int32_t width, int32_t height) {
  header.biSize = sizeof(BITMAPINFOHEADER);
  header.biWidth = width;
  header.biHeight = height;  // positive: rows bottom-up
  header.biPlanes = 1;
  header.biBitCount = 32;
  header.biCompression = BI_RGB;
  header.biSizeImage = 0;
  header.biXPelsPerMeter = 0;
  header.biYPelsPerMeter = 0;
  header.biClrUsed = 0;
  header.biClrImportant = 0;
}

// The pixel block's size, or false when the header's fields or a 32-bit size
// cannot hold the image.
bool PixelBlockSize(uint32_t width, uint32_t height, uint32_t& size) {
  if (width > INT32_MAX || height > INT32_MAX) return false;
  const uint64_t bytes = uint64_t{width} * kDibBytesPerPixel * height;
  if (bytes > UINT32_MAX) return false;
  size = static_cast<uint32_t>(bytes);
  return true;
}

// Clears image rows `first` to `last` (top down), which lie together bottom-up.
void ClearRows(DibOutput& dib, int32_t first, int32_t last) {
  if (last < first) return;
  const size_t start = static_cast<size_t>(dib.height - 1 - last) * dib.stride;
  std::memset(dib.lockedPixels + start, 0, static_cast<size_t>(last - first + 1) * dib.stride);
}

void AnswerRowsThrough(DibOutput& dib, int32_t row) {
  if (row < dib.rowsAnswered) return;
  ClearRows(dib, dib.rowsAnswered, row - 1);  // rows skipped on the way to `row`
  dib.rowsAnswered = row + 1;
}

}  // namespace

DibOutput MakeDibOutput(ProgressCallback progress, LONG_PTR progressData) {
  return DibOutput{0, 0, 0, nullptr, nullptr, progress, progressData, nullptr, 0};
}

bool DibSizeCallback(void* context, uint32_t width, uint32_t height) {
  return AllocateDib(*static_cast<DibOutput*>(context), width, height);
}

bool AllocateDib(DibOutput& dib, uint32_t width, uint32_t height) {
  uint32_t pixelBytes = 0;
  if (!PixelBlockSize(width, height, pixelBytes)) return false;
  dib.width = static_cast<int32_t>(width);
  dib.height = static_cast<int32_t>(height);

  dib.infoHandle = LocalAlloc(LMEM_MOVEABLE, sizeof(BITMAPINFOHEADER));
  if (dib.infoHandle == nullptr) return false;
  auto* header = static_cast<BITMAPINFOHEADER*>(LocalLock(dib.infoHandle));
  if (header == nullptr) {
    LocalFree(dib.infoHandle);
    dib.infoHandle = nullptr;
    return false;
  }
  WriteInfoHeader(*header, dib.width, dib.height);
  LocalUnlock(dib.infoHandle);

  dib.stride = static_cast<int32_t>(width * kDibBytesPerPixel);
  // Not zeroed: the decoders write every row they get, and the rows they do
  // not get are cleared on the way.
  dib.pixelHandle = LocalAlloc(LMEM_MOVEABLE, pixelBytes);
  if (dib.pixelHandle == nullptr) {
    LocalFree(dib.infoHandle);
    dib.infoHandle = nullptr;
    return false;
  }
  dib.lockedPixels = static_cast<uint8_t*>(LocalLock(dib.pixelHandle));
  if (dib.lockedPixels == nullptr) {
    ReleaseDib(dib);
    return false;
  }
  return true;
}

void* DibScanLineCallback(void* context, int32_t row) {
  auto& dib = *static_cast<DibOutput*>(context);
  if (row < 0 || row >= dib.height) return nullptr;  // the end-of-row notice, or no such row
  if (dib.lockedPixels == nullptr) return nullptr;
  if (dib.progress != nullptr && dib.progress(row, dib.height, dib.progressData) != 0) {
    return nullptr;
  }
  AnswerRowsThrough(dib, row);
  return dib.lockedPixels + static_cast<size_t>(dib.height - row - 1) * dib.stride;
}

void HandOverDib(DibOutput& dib, HLOCAL* infoOut, HLOCAL* pixelsOut) {
  if (dib.lockedPixels != nullptr) {
    ClearRows(dib, dib.rowsAnswered, dib.height - 1);
    LocalUnlock(dib.pixelHandle);
    dib.lockedPixels = nullptr;
  }
  *infoOut = dib.infoHandle;
  dib.infoHandle = nullptr;
  *pixelsOut = dib.pixelHandle;
  dib.pixelHandle = nullptr;
}

void ReleaseDib(DibOutput& dib) {
  if (dib.lockedPixels != nullptr) {
    LocalUnlock(dib.pixelHandle);
    dib.lockedPixels = nullptr;
  }
  if (dib.infoHandle != nullptr) {
    LocalFree(dib.infoHandle);
    dib.infoHandle = nullptr;
  }
  if (dib.pixelHandle != nullptr) {
    LocalFree(dib.pixelHandle);
    dib.pixelHandle = nullptr;
  }
}
