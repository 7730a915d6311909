// What every TLG decoder and its caller agree on: an opaque context, a size
// callback, a row callback, and a four-valued result.
#pragma once

#include <cstdint>

// Told the header's size once, before anything is allocated; false stops the
// decode. May be null, which counts as true.
typedef bool (*SizeCallback)(void* context, uint32_t width, uint32_t height);

// For row >= 0: room for width 32-bit pixels of that row, or null to stop;
// the decoder writes every pixel of it. The memory must keep the row until
// the next row has been written, since the decoders read it back. Row -1 is
// the end-of-row notice; its result is ignored.
typedef void* (*ScanLineCallback)(void* context, int32_t row);

// Results of the loader and of the decoders.
enum : int {
  kLoadComplete = 0,  // every row delivered
  kLoadStopped = 1,   // a callback asked to stop
  kLoadFailed = -1,   // short read, unknown signature, bad header or corrupt data
  kLoadOutOfMemory = -2,  // the decoder's working memory could not be had
};

// Row number of the end-of-row notice.
constexpr int32_t kEndOfRow = -1;
