#include "tlg/tlg5/tlg5_decoder.h"

#include <cstdlib>

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
  const uint64_t width = header.width;
  if (header.blockHeight * width + kTlg5BufferSlack > kMaxBufferSize) return false;
  // A block never holds more rows than the image has, whatever the header claims.
  const uint32_t blockRows = header.blockHeight < header.height ? header.blockHeight : header.height;
  header.bufferSize = static_cast<uint32_t>(blockRows * width + kTlg5BufferSlack);
  return true;
}

// Working memory of one decode. Block buffers start zeroed so that a record
// shorter than its block can only leave zeros or the previous block's bytes.
struct Tlg5Buffers {
  uint8_t* dictionary = nullptr;
  uint8_t* scratch = nullptr;
  uint8_t* planes[kTlg5MaxColours] = {};

  bool Allocate(uint32_t colours, uint32_t size) {
    dictionary = static_cast<uint8_t*>(std::calloc(kSlideDictionarySize, 1));
    if (dictionary == nullptr) return false;
    scratch = static_cast<uint8_t*>(std::malloc(size));
    if (scratch == nullptr) return false;
    for (uint32_t c = 0; c < colours; ++c) {
      planes[c] = static_cast<uint8_t*>(std::calloc(size, 1));
      if (planes[c] == nullptr) return false;
    }
    return true;
  }

  void Free() {
    std::free(dictionary);
    std::free(scratch);
    for (uint8_t*& plane : planes) {
      std::free(plane);
      plane = nullptr;
    }
    dictionary = scratch = nullptr;
  }
};

// Reads every plane record of one block into its block buffer. The ring
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
    const SlideResult expanded = SlideDecompress(buffers.planes[c], header.bufferSize,
                                                 buffers.scratch, size, buffers.dictionary,
                                                 dictionaryPosition);
    if (!expanded.complete) return false;
    dictionaryPosition = expanded.position;
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
    result = kLoadFailed;
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
