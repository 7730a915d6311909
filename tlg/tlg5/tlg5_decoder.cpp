#include "tlg/tlg5/tlg5_decoder.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "tlg/tlg5/slide_decompress.h"
#include "tlg/tlg5/tlg5_compose.h"
#include "tlg/tlg5/tlg5_format.h"

namespace {

constexpr uint32_t kBlockIndexEntrySize = 4;
constexpr uint64_t kMaxBufferSize = 0xFFFFFFFFu;

struct Tlg5Header {
  uint8_t colours = 0;
  uint32_t width = 0;
  uint32_t height = 0;
  uint32_t blockHeight = 0;
  uint32_t bufferSize = 0;  // bytes of the scratch buffer and of each block buffer
};

// Reads and checks the header; false for a short read or a header that we
// cannot decode without leaving our buffers.
bool ReadHeader(tZURBinaryStream& stream, Tlg5Header& header) {
  if (!ReadExact(stream, &header.colours, 1) || !ReadUInt32LE(stream, header.width) ||
      !ReadUInt32LE(stream, header.height) || !ReadUInt32LE(stream, header.blockHeight)) {
    return false;
  }
  if (header.colours != kTlg5OpaqueColours && header.colours != kTlg5AlphaColours) return false;
  if (header.blockHeight == 0) return false;
  // Rows are numbered with signed 32-bit values in the row callback, where -1
  // means the end of a row.
  if (header.height > static_cast<uint32_t>(std::numeric_limits<int32_t>::max())) return false;
  const uint64_t width = header.width;
  if (header.blockHeight * width + kTlg5BufferSlack > kMaxBufferSize) return false;
  // A block never holds more rows than the image has, whatever the header claims.
  const uint32_t blockRows = header.blockHeight < header.height ? header.blockHeight : header.height;
  header.bufferSize = static_cast<uint32_t>(blockRows * width + kTlg5BufferSlack);
  return true;
}

// Working memory of one decode. Block buffers start zeroed so that a record
// shorter than its block can only leave zeros or the previous block's bytes.
//
// Compressed records expand into `window`, one after another, so that the
// dictionary is always the 4096 bytes right before the next record; their
// bytes are then copied to the block buffers. When the window is full its
// last 4096 bytes move to the front.
struct Tlg5Buffers {
  static constexpr uint32_t kMinWindowSpan = 32768;

  uint8_t* window = nullptr;
  uint8_t* windowCursor = nullptr;  // where the next record expands
  uint8_t* windowEnd = nullptr;     // a record's capacity must end by here; the slack follows
  uint8_t* scratch = nullptr;
  uint8_t* planes[kTlg5MaxColours] = {};

  bool Allocate(uint32_t colours, uint32_t size) {
    const uint32_t span = size > kMinWindowSpan ? size : kMinWindowSpan;
    const uint64_t windowSize = uint64_t{kSlideDictionarySize} + span + kSlideLinearSlack;
    if (windowSize > SIZE_MAX) return false;  // a 32-bit address space
    window = static_cast<uint8_t*>(std::calloc(static_cast<size_t>(windowSize), 1));
    if (window == nullptr) return false;
    windowCursor = window + kSlideDictionarySize;
    windowEnd = windowCursor + span;
    scratch = static_cast<uint8_t*>(std::malloc(size));
    if (scratch == nullptr) return false;
    for (uint32_t c = 0; c < colours; ++c) {
      planes[c] = static_cast<uint8_t*>(std::calloc(size, 1));
      if (planes[c] == nullptr) return false;
    }
    return true;
  }

  // Room for `capacity` bytes after the dictionary.
  uint8_t* WindowFor(uint32_t capacity) {
    if (static_cast<size_t>(windowEnd - windowCursor) < capacity) {
      std::memmove(window, windowCursor - kSlideDictionarySize, kSlideDictionarySize);
      windowCursor = window + kSlideDictionarySize;
    }
    return windowCursor;
  }

  void Free() {
    std::free(window);
    std::free(scratch);
    for (uint8_t*& plane : planes) {
      std::free(plane);
      plane = nullptr;
    }
    window = windowCursor = windowEnd = scratch = nullptr;
  }
};

// Reads every plane record of one block into its block buffer. The
// dictionary and its position are carried across all compressed records.
bool ReadBlock(tZURBinaryStream& stream, const Tlg5Header& header, Tlg5Buffers& buffers,
               uint32_t& dictionaryPosition) {
  for (uint32_t c = 0; c < header.colours; ++c) {
    uint8_t mark = 0;
    uint32_t size = 0;
    if (!ReadExact(stream, &mark, 1) || !ReadUInt32LE(stream, size)) return false;
    if (size > header.bufferSize) return false;
    if (mark != kTlg5Compressed) {
      if (!ReadExact(stream, buffers.planes[c], size)) return false;
      continue;
    }
    if (!ReadExact(stream, buffers.scratch, size)) return false;
    uint8_t* const expanded = buffers.WindowFor(header.bufferSize);
    const SlideResult result = SlideDecompressLinear(expanded, header.bufferSize, buffers.scratch,
                                                     size, dictionaryPosition);
    if (!result.complete) return false;
    std::memcpy(buffers.planes[c], expanded, result.written);
    buffers.windowCursor = expanded + result.written;
    dictionaryPosition = result.position;
  }
  return true;
}

// Composes the rows [first, end) of the block now in the buffers. `previous`
// is the row above `first`, or null for the top image row.
int ComposeBlock(void* context, ScanLineCallback scanLineCallback, const Tlg5Header& header,
                 const Tlg5Buffers& buffers, uint32_t first, uint32_t end, uint32_t*& previous) {
  const uint8_t* rows[kTlg5MaxColours] = {};
  for (uint32_t c = 0; c < header.colours; ++c) rows[c] = buffers.planes[c];

  for (uint32_t y = first; y < end; ++y) {
    auto* destination = static_cast<uint32_t*>(scanLineCallback(context, static_cast<int32_t>(y)));
    if (destination == nullptr) return kLoadStopped;
    if (previous != nullptr) PrefetchTlg5NextRow(destination, previous, header.width);
    if (previous == nullptr) {
      ComposeTlg5FirstRow(destination, rows, header.colours, header.width);
    } else if (header.colours == kTlg5OpaqueColours) {
      ComposeTlg5Row3(destination, previous, rows[kTlg5Blue], rows[kTlg5Green], rows[kTlg5Red],
                      header.width);
    } else {
      ComposeTlg5Row4(destination, previous, rows[kTlg5Blue], rows[kTlg5Green], rows[kTlg5Red],
                      rows[kTlg5Alpha], header.width);
    }
    for (uint32_t c = 0; c < header.colours; ++c) rows[c] += header.width;
    scanLineCallback(context, kEndOfRow);
    previous = destination;
  }
  return kLoadComplete;
}

}  // namespace

int DecodeTlg5(void* context, SizeCallback sizeCallback, ScanLineCallback scanLineCallback,
               tZURBinaryStream& stream) {
  Tlg5Header header;
  if (!ReadHeader(stream, header)) return kLoadFailed;
  if (sizeCallback != nullptr && !sizeCallback(context, header.width, header.height)) {
    return kLoadStopped;
  }

  // The table only serves random access; the blocks follow it in order. The
  // seek is not checked: a short stream fails at the first record.
  const uint32_t tableSize = kBlockIndexEntrySize * Tlg5BlockCount(header.height, header.blockHeight);
  SeekTo(stream, Tell(stream) + tableSize);

  Tlg5Buffers buffers;
  int result = kLoadComplete;
  if (!buffers.Allocate(header.colours, header.bufferSize)) {
    result = kLoadOutOfMemory;
  } else {
    uint32_t dictionaryPosition = 0;
    uint32_t* previous = nullptr;
    for (uint32_t y = 0; y < header.height && result == kLoadComplete;) {
      // Formed without overflow: y + blockHeight may not fit in 32 bits.
      const uint32_t end =
          header.height - y > header.blockHeight ? y + header.blockHeight : header.height;
      if (!ReadBlock(stream, header, buffers, dictionaryPosition)) {
        result = kLoadFailed;
      } else {
        result = ComposeBlock(context, scanLineCallback, header, buffers, y, end, previous);
      }
      y = end;
    }
  }
  buffers.Free();
  return result;
}
