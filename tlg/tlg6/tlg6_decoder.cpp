#include "tlg/tlg6/tlg6_decoder.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "tlg/tlg5/slide_decompress.h"
#include "tlg/tlg6/tlg6_format.h"
#include "tlg/tlg6/tlg6_lanes.h"
#include "tlg/tlg6/tlg6_line.h"
#include "tlg/tlg6/tlg6_tables.h"
#include "tlg/tlg6/tlg6_values.h"

namespace {

constexpr uint32_t kEntryBytes = 4;
constexpr uint32_t kPixelBytes = 4;
// The residual buffer holds up to 8 rows of entries, plus one byte.
constexpr uint64_t kResidualBytesPerColumn = uint64_t{kTlg6BlockSize} * kEntryBytes;
constexpr uint64_t kMaxBufferBytes = std::numeric_limits<uint32_t>::max();
// Rows are numbered with signed 32-bit values in the row callback.
constexpr uint32_t kMaxHeight = std::numeric_limits<int32_t>::max();

// The most bits a well-formed stream spends on one value: an escaped value
// (up to 32 zero bits, the quotient byte, up to 8 remainder bits) plus one
// run length (25 zero bits, the 1 bit, 25 bits), since every run holds a
// value. 99 bits in all.
constexpr uint64_t kQuotientByteBits = 8;
constexpr uint64_t kMaxRiceParameter = kTlg6RiceParameters - 1;
constexpr uint64_t kMaxCodedBitsPerValue =
    (kTlg6WindowBits + kQuotientByteBits + kMaxRiceParameter) + (2 * kTlg6MaxRunLengthBits + 1);
static_assert(kMaxCodedBitsPerValue == 99, "the bound the bit buffer is sized by");
constexpr uint64_t kRunKindBits = 8;  // the first bit, rounded up to a byte
// Room after the largest coded colour for the decoders' read-ahead.
constexpr uint32_t kBitBufferSpare = 5;
static_assert(kBitBufferSpare >= kTlg6CodeGuardBytes + 1, "guard bytes after the last coded byte");

struct Header {
  uint32_t colours = 0;
  uint32_t width = 0;
  uint32_t height = 0;
  uint32_t maxBitLength = 0;
};

struct Geometry {
  uint32_t blocksPerRow = 0;  // X
  uint32_t blockRows = 0;     // Y
  uint32_t wholeBlocks = 0;   // M
  uint32_t partialWidth = 0;  // F: width of the last block when it is not whole
};

uint64_t BlockCount(uint32_t pixels) {
  return (uint64_t{pixels} + kTlg6BlockSize - 1) >> kTlg6BlockShift;
}

bool ReadHeader(tZURBinaryStream& stream, Header& header) {
  uint8_t lead[kTlg6HeaderLeadBytes];
  if (!ReadExact(stream, lead, sizeof lead)) return false;
  if (!IsTlg6ColourCount(lead[0])) return false;
  if (lead[1] != 0 || lead[2] != 0 || lead[3] != 0) return false;
  header.colours = lead[0];
  return ReadUInt32LE(stream, header.width) && ReadUInt32LE(stream, header.height) &&
         ReadUInt32LE(stream, header.maxBitLength);
}

// Every buffer size must fit 32 bits, and every row number a signed 32-bit value.
bool IsAcceptable(const Header& header) {
  if (header.height > kMaxHeight) return false;
  if (header.width * kResidualBytesPerColumn + 1 > kMaxBufferBytes) return false;
  return BlockCount(header.width) * BlockCount(header.height) <= kMaxBufferBytes;
}

Geometry MakeGeometry(const Header& header) {
  Geometry g;
  g.blocksPerRow = static_cast<uint32_t>(BlockCount(header.width));
  g.blockRows = static_cast<uint32_t>(BlockCount(header.height));
  g.wholeBlocks = header.width >> kTlg6BlockShift;
  g.partialWidth = header.width & kTlg6PartialBlockMask;
  return g;
}

// Rows of the tallest block row: working memory follows what the image can
// use, so that a header claiming a huge width over no rows costs nothing.
uint64_t TallestBlockRow(const Header& header) {
  return std::min<uint64_t>(kTlg6BlockSize, header.height);
}

// The largest bit length accepted for one colour of one block row: what the
// header allows, but never more than such a colour can take.
uint32_t BitLengthLimit(const Header& header) {
  const uint64_t longest = kMaxCodedBitsPerValue * TallestBlockRow(header) * header.width + kRunKindBits;
  return static_cast<uint32_t>(std::min<uint64_t>(header.maxBitLength, longest));
}

// The working buffers of one decode, released on every path.
struct Buffers {
  uint8_t* bits = nullptr;
  uint32_t* residuals = nullptr;
  uint8_t* filterTypes = nullptr;
  uint32_t* topLine = nullptr;
  uint32_t* laterLines = nullptr;  // rows reconstructed ahead, until the caller hands them out
  uint8_t* dictionary = nullptr;

  Buffers() = default;
  Buffers(const Buffers&) = delete;
  Buffers& operator=(const Buffers&) = delete;
  ~Buffers() {
    std::free(bits);
    std::free(residuals);
    std::free(filterTypes);
    std::free(topLine);
    std::free(laterLines);
    std::free(dictionary);
  }
  // The bit and residual buffers serve the one-by-one decoding alone.
  bool Complete(bool oneByOne) const {
    return (!oneByOne || (bits && residuals)) && filterTypes && topLine && laterLines && dictionary;
  }
};

// Never null for a size of 0, so that a failure is always an allocation failure.
void* Allocate(size_t bytes) { return std::malloc(bytes ? bytes : 1); }
void* AllocateZeroed(size_t bytes) { return std::calloc(bytes ? bytes : 1, 1); }

// Expands the filter-type section into `filterTypes`, which starts zeroed:
// a section that yields fewer bytes leaves the rest at filter type 0. A
// loader result.
int ReadFilterTypes(tZURBinaryStream& stream, uint8_t* filterTypes, uint32_t filterCount,
                    uint8_t* dictionary) {
  uint32_t length;
  if (!ReadUInt32LE(stream, length)) return kLoadFailed;
  // No well-formed section is longer than all literals, a flag byte per 8.
  const uint64_t longest = uint64_t{filterCount} + (uint64_t{filterCount} + 7) / 8;
  if (length > longest) return kLoadFailed;
  uint8_t* section = static_cast<uint8_t*>(Allocate(length));
  if (!section) return kLoadOutOfMemory;
  bool ok = ReadExact(stream, section, length);
  if (ok) ok = SlideDecompress(filterTypes, filterCount, section, length, dictionary, 0).complete;
  std::free(section);
  return ok ? kLoadComplete : kLoadFailed;
}

// Reads and decodes every colour of one block row into the residual buffer.
bool DecodeBlockRowValues(tZURBinaryStream& stream, const Header& header, uint32_t bitLimit,
                          uint32_t valueCount, Buffers& buffers) {
  for (uint32_t c = 0; c < header.colours; ++c) {
    uint32_t colourHeader;
    if (!ReadUInt32LE(stream, colourHeader)) return false;
    const uint32_t bitLength = colourHeader & kTlg6BitLengthMask;
    if (bitLength > bitLimit) return false;
    const uint32_t byteCount = (bitLength + 7) >> 3;
    if (!ReadExact(stream, buffers.bits, byteCount)) return false;
    std::memset(buffers.bits + byteCount, 0, kTlg6CodeGuardBytes);
    if ((colourHeader >> kTlg6MethodShift) != 0) return false;

    const uint8_t* code = buffers.bits;
    const uint8_t* codeEnd = code + byteCount;
    const bool ok = (c == 0 && header.colours != 1)
                        ? UnpackFirstColour(buffers.residuals, valueCount, code, codeEnd)
                        : UnpackColour(reinterpret_cast<uint8_t*>(buffers.residuals) + c,
                                       valueCount, code, codeEnd);
    if (!ok) return false;
  }
  return true;
}

// What every row of the image shares in line reconstruction.
struct RowSetting {
  uint32_t initialPixel;
  int32_t width;
  int32_t wholeBlocks;
  int32_t blocksPerRow;
  uint32_t partialWidth;
};

// Rows yy to yy + count - 1 of a block row: the first into `first`, the
// others into `laterLines`, one line each.
void ReconstructRows(const RowSetting& setting, const uint8_t* filterTypes, int32_t blockStride,
                     const uint32_t* residuals, uint32_t rows, uint32_t yy, int32_t count,
                     const uint32_t* previous, uint32_t* first, uint32_t* laterLines) {
  Tlg6Row whole[kTlg6MaxRowsTogether];
  Tlg6Row partial[kTlg6MaxRowsTogether];
  for (int32_t i = 0; i < count; ++i) {
    const uint32_t y = yy + static_cast<uint32_t>(i);
    uint32_t* line = i == 0 ? first : laterLines + static_cast<size_t>(i - 1) * setting.width;
    const int32_t oddBlockRowOffset = static_cast<int32_t>(rows - 1) - 2 * static_cast<int32_t>(y);
    const uint32_t rowDirection = (y & 1) ? 0u : 1u;  // block rows start on even rows
    whole[i] = Tlg6Row{line, residuals + y * kTlg6BlockSize, oddBlockRowOffset, rowDirection};
    partial[i] = Tlg6Row{line, residuals + y * setting.partialWidth, oddBlockRowOffset,
                         rowDirection};
  }
  if (setting.wholeBlocks > 0) {
    ReconstructTlg6Rows(previous, whole, count, setting.width, 0, setting.wholeBlocks,
                        filterTypes, blockStride, setting.initialPixel);
  }
  if (setting.wholeBlocks != setting.blocksPerRow) {
    ReconstructTlg6Rows(previous, partial, count, setting.width, setting.wholeBlocks,
                        setting.blocksPerRow, filterTypes, blockStride, setting.initialPixel);
  }
}

// Rebuilds and delivers the rows of block row k from its residuals, writing
// every pixel of each; the previous line moves on with every row. Where every
// filter type is valid, rows go together, all but the first through
// `laterLines`, since the caller hands out a row only after the one before is
// done. A loader result.
int DeliverBlockRow(void* context, ScanLineCallback scanLineCallback, const Header& header,
                    const Geometry& g, const RowSetting& setting, uint32_t k,
                    const uint32_t* residuals, const uint8_t* filterTypesOfImage,
                    uint32_t* laterLines, const uint32_t*& previous) {
  const uint32_t y0 = k << kTlg6BlockShift;
  const uint32_t rows = std::min(kTlg6BlockSize, header.height - y0);
  const uint8_t* filterTypes = filterTypesOfImage + static_cast<size_t>(k) * g.blocksPerRow;
  const int32_t blockStride = static_cast<int32_t>(rows * kTlg6BlockSize);
  // An invalid filter type stops the reconstruction of a row at its block.
  // Such rows are cleared first, so that every row handed out is written
  // whole, and go one by one: a row in `laterLines` would be copied whole.
  const bool together = std::all_of(filterTypes, filterTypes + g.blocksPerRow,
                                    [](uint8_t t) { return t < kTlg6FilterTypeCount; });
  const size_t rowBytes = size_t{header.width} * kPixelBytes;
  for (uint32_t yy = 0; yy < rows;) {
    const int32_t count =
        together ? std::min<int32_t>(kTlg6MaxRowsTogether, static_cast<int32_t>(rows - yy)) : 1;
    const int32_t y = static_cast<int32_t>(y0 + yy);
    uint32_t* row = static_cast<uint32_t*>(scanLineCallback(context, y));
    if (!row) return kLoadStopped;
    if (!together) std::memset(row, 0, rowBytes);
    ReconstructRows(setting, filterTypes, blockStride, residuals, rows, yy, count, previous, row,
                    laterLines);
    scanLineCallback(context, kEndOfRow);
    previous = row;
    for (int32_t i = 1; i < count; ++i) {
      uint32_t* below = static_cast<uint32_t*>(scanLineCallback(context, y + i));
      if (!below) return kLoadStopped;
      std::memcpy(below, laterLines + static_cast<size_t>(i - 1) * header.width, rowBytes);
      scanLineCallback(context, kEndOfRow);
      previous = below;
    }
    yy += static_cast<uint32_t>(count);
  }
  return kLoadComplete;
}

RowSetting MakeRowSetting(const Header& header, const Geometry& g) {
  return RowSetting{Tlg6InitialPixel(header.colours), static_cast<int32_t>(header.width),
                    static_cast<int32_t>(g.wholeBlocks), static_cast<int32_t>(g.blocksPerRow),
                    g.partialWidth};
}

// One block row at a time, one colour after the other.
int DecodeBlockRows(void* context, ScanLineCallback scanLineCallback, tZURBinaryStream& stream,
                    const Header& header, const Geometry& g, Buffers& buffers) {
  const uint32_t bitLimit = BitLengthLimit(header);
  const RowSetting setting = MakeRowSetting(header, g);
  const uint32_t* previous = buffers.topLine;
  for (uint32_t k = 0; k < g.blockRows; ++k) {
    const uint32_t rows = std::min(kTlg6BlockSize, header.height - (k << kTlg6BlockShift));
    if (!DecodeBlockRowValues(stream, header, bitLimit, rows * header.width, buffers)) {
      return kLoadFailed;
    }
    const int result = DeliverBlockRow(context, scanLineCallback, header, g, setting, k,
                                       buffers.residuals, buffers.filterTypes, buffers.laterLines,
                                       previous);
    if (result != kLoadComplete) return result;
  }
  return kLoadComplete;
}

// Block rows decoded side by side: enough of them that every vector lane has
// streams to take up as it finishes one.
constexpr uint32_t kStreamsPerGroup = 64;
// Entries of one block row's residuals, and a spare one.
uint64_t GroupResidualEntries(const Header& header) {
  return uint64_t{header.width} * TallestBlockRow(header) + 1;
}

struct GroupBuffers {
  uint32_t blockRows = 0;  // block rows per group
  uint8_t* code = nullptr;  // the coded bytes of a group, each stream followed by its guard
  size_t codeCapacity = 0;
  uint32_t* residuals = nullptr;  // one residual buffer per block row of a group
  Tlg6ColourStream* streams = nullptr;
  bool* ok = nullptr;
  bool outOfMemory = false;  // the code buffer could not grow

  GroupBuffers() = default;
  GroupBuffers(const GroupBuffers&) = delete;
  GroupBuffers& operator=(const GroupBuffers&) = delete;
  ~GroupBuffers() {
    std::free(code);
    std::free(residuals);
    std::free(streams);
    std::free(ok);
  }
};

constexpr size_t kInitialGroupCodeBytes = 64 * 1024;
constexpr size_t kStreamTail = kTlg6CodeGuardBytes + kTlg6LaneReadSlack;

// Fewer block rows per group for very wide images: what a group holds is
// worked on while it is in the processor's caches.
constexpr uint64_t kGroupResidualBudget = uint64_t{16} << 20;

// What became of the group buffers.
enum class GroupSetup { kReady, kTooLarge, kOutOfMemory };

GroupSetup AllocateGroupBuffers(const Header& header, const Geometry& g, GroupBuffers& group) {
  const uint64_t blockRowBytes = GroupResidualEntries(header) * kEntryBytes;
  const uint64_t fitting = std::max<uint64_t>(1, kGroupResidualBudget / blockRowBytes);
  group.blockRows = static_cast<uint32_t>(std::min<uint64_t>(
      {g.blockRows, fitting, std::max(1u, kStreamsPerGroup / header.colours)}));
  const uint64_t residualBytes = blockRowBytes * group.blockRows;
  if (residualBytes > kMaxBufferBytes) return GroupSetup::kTooLarge;
  const uint32_t streamCount = group.blockRows * header.colours;
  group.codeCapacity = kInitialGroupCodeBytes;
  group.code = static_cast<uint8_t*>(Allocate(group.codeCapacity));
  group.residuals = static_cast<uint32_t*>(Allocate(static_cast<size_t>(residualBytes)));
  group.streams = static_cast<Tlg6ColourStream*>(Allocate(streamCount * sizeof(Tlg6ColourStream)));
  group.ok = static_cast<bool*>(Allocate(streamCount * sizeof(bool)));
  const bool complete = group.code && group.residuals && group.streams && group.ok;
  return complete ? GroupSetup::kReady : GroupSetup::kOutOfMemory;
}

// Room for `more` coded bytes and the tail after them, beyond `used`.
bool ReserveGroupCode(GroupBuffers& group, size_t used, size_t more) {
  const size_t needed = used + more + kStreamTail;
  if (needed <= group.codeCapacity) return true;
  const size_t capacity = std::max(needed, group.codeCapacity * 2);
  uint8_t* code = static_cast<uint8_t*>(std::realloc(group.code, capacity));
  if (!code) {
    group.outOfMemory = true;
    return false;
  }
  group.code = code;
  group.codeCapacity = capacity;
  return true;
}

// Reads the colour records of block rows [first, first + group.blockRows)
// and sets up their streams. Returns how many block rows were read whole.
uint32_t ReadGroup(tZURBinaryStream& stream, const Header& header, const Geometry& g,
                   uint32_t bitLimit, uint32_t first, GroupBuffers& group) {
  const uint32_t last = std::min(g.blockRows, first + group.blockRows);
  const size_t residualEntries = static_cast<size_t>(GroupResidualEntries(header));
  size_t used = 0;
  for (uint32_t k = first; k < last; ++k) {
    const uint32_t rows = std::min(kTlg6BlockSize, header.height - (k << kTlg6BlockShift));
    uint32_t* residuals = group.residuals + (k - first) * residualEntries;
    for (uint32_t c = 0; c < header.colours; ++c) {
      uint32_t colourHeader;
      if (!ReadUInt32LE(stream, colourHeader)) return k - first;
      const uint32_t bitLength = colourHeader & kTlg6BitLengthMask;
      if (bitLength > bitLimit) return k - first;
      const uint32_t byteCount = (bitLength + 7) >> 3;
      if (!ReserveGroupCode(group, used, byteCount)) return k - first;
      if (!ReadExact(stream, group.code + used, byteCount)) return k - first;
      if ((colourHeader >> kTlg6MethodShift) != 0) return k - first;
      std::memset(group.code + used + byteCount, 0, kStreamTail);
      // The code address is set once the buffer has stopped moving.
      Tlg6ColourStream& s = group.streams[(k - first) * header.colours + c];
      s.code = nullptr;
      s.codeBytes = byteCount;
      s.lane = reinterpret_cast<uint8_t*>(residuals) + c;
      s.count = rows * header.width;
      used += byteCount + kTlg6CodeGuardBytes;
    }
    // Zero values are not stored, and a one-colour image leaves three lanes as they are.
    std::memset(residuals, 0, static_cast<size_t>(rows) * header.width * kEntryBytes);
  }
  return last - first;
}

int DecodeBlockRowGroups(void* context, ScanLineCallback scanLineCallback,
                         tZURBinaryStream& stream, const Header& header, const Geometry& g,
                         const Buffers& buffers, GroupBuffers& group, Tlg6Lanes lanes) {
  const uint32_t bitLimit = BitLengthLimit(header);
  const RowSetting setting = MakeRowSetting(header, g);
  const size_t residualEntries = static_cast<size_t>(GroupResidualEntries(header));
  const uint32_t* previous = buffers.topLine;
  for (uint32_t first = 0; first < g.blockRows; first += group.blockRows) {
    const uint32_t wanted = std::min(group.blockRows, g.blockRows - first);
    const uint32_t read = ReadGroup(stream, header, g, bitLimit, first, group);
    const uint32_t streamCount = read * header.colours;
    const uint8_t* code = group.code;
    for (uint32_t i = 0; i < streamCount; ++i) {
      group.streams[i].code = code;
      code += group.streams[i].codeBytes + kTlg6CodeGuardBytes;
    }
    UnpackColoursSideBySide(lanes, group.streams, streamCount, group.ok);
    for (uint32_t j = 0; j < read; ++j) {
      const bool* ok = group.ok + j * header.colours;
      if (!std::all_of(ok, ok + header.colours, [](bool b) { return b; })) return kLoadFailed;
      const int result =
          DeliverBlockRow(context, scanLineCallback, header, g, setting, first + j,
                          group.residuals + j * residualEntries, buffers.filterTypes,
                          buffers.laterLines, previous);
      if (result != kLoadComplete) return result;
    }
    if (read < wanted) return group.outOfMemory ? kLoadOutOfMemory : kLoadFailed;
  }
  return kLoadComplete;
}

}  // namespace

void FillUInt32(uint32_t* destination, int32_t count, uint32_t value) {
  for (int32_t i = 0; i < count; ++i) destination[i] = value;
}

int DecodeTlg6(void* context, SizeCallback sizeCallback, ScanLineCallback scanLineCallback,
               tZURBinaryStream& stream, Tlg6Lanes lanes) {
  Header header;
  if (!ReadHeader(stream, header) || !IsAcceptable(header)) return kLoadFailed;
  if (sizeCallback && !sizeCallback(context, header.width, header.height)) return kLoadStopped;

  const Geometry g = MakeGeometry(header);
  const size_t filterCount = static_cast<size_t>(g.blocksPerRow) * g.blockRows;
  GroupBuffers group;
  bool sideBySide = false;
  if (lanes != Tlg6Lanes::kNone && HasTlg6Lanes(lanes)) {
    // Groups too large for the lanes go one by one; memory not had ends the decode.
    const GroupSetup setup = AllocateGroupBuffers(header, g, group);
    if (setup == GroupSetup::kOutOfMemory) return kLoadOutOfMemory;
    sideBySide = setup == GroupSetup::kReady;
  }
  Buffers buffers;
  if (!sideBySide) {
    buffers.bits = static_cast<uint8_t*>(Allocate((BitLengthLimit(header) >> 3) + kBitBufferSpare));
    // Zeroed: a one-colour image only ever writes lane 0, and the line
    // reconstruction reads all four.
    buffers.residuals = static_cast<uint32_t*>(AllocateZeroed(
        static_cast<size_t>(header.width * kEntryBytes * TallestBlockRow(header) + 1)));
  }
  buffers.filterTypes = static_cast<uint8_t*>(AllocateZeroed(filterCount));
  const uint32_t topLinePixels = header.height == 0 ? 0 : header.width;
  buffers.topLine = static_cast<uint32_t*>(Allocate(size_t{topLinePixels} * kPixelBytes));
  buffers.laterLines = static_cast<uint32_t*>(
      Allocate(size_t{topLinePixels} * kPixelBytes * (kTlg6MaxRowsTogether - 1)));
  buffers.dictionary = static_cast<uint8_t*>(Allocate(kTlg6DictionarySize));
  if (!buffers.Complete(!sideBySide)) return kLoadOutOfMemory;

  FillUInt32(buffers.topLine, static_cast<int32_t>(topLinePixels), Tlg6InitialPixel(header.colours));
  FillTlg6FilterDictionary(buffers.dictionary);
  const int filterResult = ReadFilterTypes(stream, buffers.filterTypes,
                                           static_cast<uint32_t>(filterCount), buffers.dictionary);
  if (filterResult != kLoadComplete) return filterResult;
  if (sideBySide) {
    return DecodeBlockRowGroups(context, scanLineCallback, stream, header, g, buffers, group,
                                lanes);
  }
  return DecodeBlockRows(context, scanLineCallback, stream, header, g, buffers);
}
