// The bitmap handed to the host: a BITMAPINFOHEADER block and a pixel block,
// both movable local memory, rows bottom-up, 32 bits per pixel.
#pragma once

#include <cstdint>

#include "platform/platform.h"
#include "plugin/plugin_api.h"

struct DibOutput {
  int32_t width;
  int32_t height;
  int32_t stride;
  HLOCAL infoHandle;   // null when none is held
  HLOCAL pixelHandle;  // null when none is held
  ProgressCallback progress;
  LONG_PTR progressData;
  uint8_t* lockedPixels;  // the pixel block while it is locked
  int32_t rowsAnswered;   // rows 0 to rowsAnswered - 1 (top down) have been handed out
};

DibOutput MakeDibOutput(ProgressCallback progress, LONG_PTR progressData);

// Size callback of GetPicture: allocates both blocks and locks the pixels.
bool DibSizeCallback(void* context, uint32_t width, uint32_t height);
// True when both blocks exist and the pixel block is locked; on false the
// record holds nothing.
bool AllocateDib(DibOutput& dib, uint32_t width, uint32_t height);
// Row callback: reports progress, lets the host stop, and answers the row's
// address in the bottom-up block. Decoders write every pixel of each row they
// get; rows a decoder skips are cleared, so that none shows the host's old
// heap.
void* DibScanLineCallback(void* context, int32_t row);
// Gives both blocks to the host, with every row never answered cleared; the
// record holds nothing afterwards.
void HandOverDib(DibOutput& dib, HLOCAL* infoOut, HLOCAL* pixelsOut);
// Unlocks and frees whatever the record still holds.
void ReleaseDib(DibOutput& dib);

constexpr uint32_t kDibBytesPerPixel = 4;
