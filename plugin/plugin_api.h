// The host interface: records, callback and return codes shared by the
// exports and the bitmap output.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/platform.h"

// The host's progress report: (row, row count, its own data). Nonzero stops.
typedef int(WINAPI* ProgressCallback)(int row, int rowCount, LONG_PTR data);

// What GetPictureInfo fills: packed, 26 bytes with 32-bit handles; 64-bit
// hosts keep two padding bytes before the handle.
#pragma pack(push, 1)
struct PictureInfo {
  int32_t left;
  int32_t top;
  int32_t width;
  int32_t height;
  uint16_t xDensity;
  uint16_t yDensity;
  int16_t colourDepth;
#if UINTPTR_MAX > 0xFFFFFFFFu
  uint8_t padding[2];
#endif
  HLOCAL text;
};
#pragma pack(pop)
static_assert(sizeof(PictureInfo) == (sizeof(void*) == 4 ? 26 : 32), "host record layout");
static_assert(offsetof(PictureInfo, colourDepth) == 20, "host record layout");

// Return codes of the picture exports.
enum : int {
  kSpiSuccess = 0,
  kSpiStopped = 1,          // the host asked to stop, or the bitmap memory could not be had
  kSpiUnknownFormat = 2,    // no size could be obtained
  kSpiDecodeFailed = 6,     // unreadable, unknown, short or corrupt input
  kSpiNotImplemented = -1,
};

// Flags AND kInputKindMask: 0 names a file, anything else is memory.
constexpr unsigned kInputKindMask = 7;
constexpr unsigned kInputFromFile = 0;

// IsSupported's data: a value above this is a pointer to the file's head.
constexpr ULONG_PTR kLargestHandleValue = 0xFFFF;
constexpr uint32_t kSupportedHeadSize = 2048;
