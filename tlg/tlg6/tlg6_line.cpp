#include "tlg/tlg6/tlg6_line.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <utility>

#include "tlg/tlg6/tlg6_format.h"
#include "tlg/tlg6/tlg6_pixel_ops.h"
#include "tlg/tlg6/tlg6_pixel_ops_sse2.h"

namespace {

// Four lanes in one 32-bit word, for any processor.
struct PortablePixelOps {
  using Pixel = uint32_t;
  static constexpr bool kTransformsBlocks = false;

  static Pixel Load(uint32_t value) { return value; }
  static uint32_t Store(Pixel pixel) { return pixel; }
  static Pixel Sum(Pixel x, Pixel y) { return LaneSum(x, y); }
  static Pixel Average(Pixel x, Pixel y) { return LaneAverage(x, y); }
  static Pixel Median(Pixel above, Pixel left, Pixel upperLeft) {
    return LaneMedian(above, left, upperLeft);
  }
};

struct Neighbours {
  uint32_t left;
  uint32_t upperLeft;
};

// One block of one row for one filter-type byte: its entries are taken from
// `row` at `first`, `first + step`, ... (step +1 or -1).
template <class Ops, uint32_t kFilterType>
inline void ReconstructPixels(const uint32_t* above, uint32_t* out, int32_t width,
                              const uint32_t* row, ptrdiff_t first, ptrdiff_t step,
                              Neighbours& n) {
  using Pixel = typename Ops::Pixel;
  constexpr bool kAverage = (kFilterType & kAverageFilterBit) != 0;
  constexpr int kTransform = static_cast<int>(kFilterType >> 1);
  Pixel left = Ops::Load(n.left);
  uint32_t upperLeft = n.upperLeft;
  ptrdiff_t j = first;
  for (int32_t i = 0; i < width; ++i, j += step) {
    const uint32_t up = above[i];
    const Pixel a = Ops::Load(up);
    const Pixel prediction =
        kAverage ? Ops::Average(a, left) : Ops::Median(a, left, Ops::Load(upperLeft));
    left = Ops::Sum(prediction, Ops::Load(ApplyColourTransform<kTransform>(row[j])));
    out[i] = Ops::Store(left);
    upperLeft = up;
  }
  n.left = Ops::Store(left);
  n.upperLeft = upperLeft;
}

// Above a block and to its left, one colour: with nothing coded for the
// block, every filter predicts that colour for all its pixels (the median of
// two equal neighbours and any third is theirs).
inline bool IsFlatAround(const uint32_t* above, const Neighbours& n) {
  uint32_t differ = 0;
  for (uint32_t i = 0; i < kTlg6BlockSize; ++i) differ |= above[i] ^ n.left;
  return differ == 0;
}

// The colour transform of a whole block, chosen by its number, and whether
// nothing was coded for the block.
template <class Ops, int... kTransforms>
inline bool TransformWholeBlock(uint32_t transform, const uint32_t* row, bool backwards,
                                uint32_t* out, std::integer_sequence<int, kTransforms...>) {
  bool uncoded = false;
  ((transform == kTransforms &&
    (uncoded = Ops::template TransformBlock<kTransforms>(row, backwards, out), true)) ||
   ...);
  return uncoded;
}

// A whole block where the colour transform is done for the whole block at
// once: the pixel loop then takes transformed entries in pixel order.
template <class Ops>
inline void ReconstructTransformedBlock(uint32_t filterType, const uint32_t* above, uint32_t* out,
                                        const uint32_t* row, bool backwards, Neighbours& n) {
  constexpr int32_t kBlockSize = static_cast<int32_t>(kTlg6BlockSize);
  alignas(16) uint32_t transformed[kTlg6BlockSize];
  const bool uncoded =
      TransformWholeBlock<Ops>(filterType >> 1, row, backwards, transformed,
                               std::make_integer_sequence<int, kTlg6FilterTypeCount / 2>{});
  if (uncoded && IsFlatAround(above, n)) {
    // Transparent or single-colour areas of sprites, mostly.
    std::fill_n(out, kBlockSize, n.left);
    n.upperLeft = n.left;
    return;
  }
  if (filterType & kAverageFilterBit) {
    ReconstructPixels<Ops, kAverageFilterBit>(above, out, kBlockSize, transformed, 0, 1, n);
  } else {
    ReconstructPixels<Ops, 0>(above, out, kBlockSize, transformed, 0, 1, n);
  }
}

// Whole blocks get loops of fixed length and direction, which unroll; where
// the pixel operations transform whole blocks, ReconstructRows takes those
// itself, and only part blocks come here.
template <class Ops, uint32_t kFilterType>
void ReconstructBlock(const uint32_t* above, uint32_t* out, int32_t width, const uint32_t* row,
                      ptrdiff_t first, ptrdiff_t step, Neighbours& n) {
  constexpr int32_t kBlockSize = static_cast<int32_t>(kTlg6BlockSize);
  if constexpr (!Ops::kTransformsBlocks) {
    if (width == kBlockSize && step == 1) {
      ReconstructPixels<Ops, kFilterType>(above, out, kBlockSize, row, 0, 1, n);
      return;
    }
    if (width == kBlockSize) {
      ReconstructPixels<Ops, kFilterType>(above, out, kBlockSize, row, kBlockSize - 1, -1, n);
      return;
    }
  }
  ReconstructPixels<Ops, kFilterType>(above, out, width, row, first, step, n);
}

using BlockLoop = void (*)(const uint32_t*, uint32_t*, int32_t, const uint32_t*, ptrdiff_t,
                           ptrdiff_t, Neighbours&);

template <class Ops, size_t... kFilterTypes>
constexpr std::array<BlockLoop, sizeof...(kFilterTypes)> MakeBlockLoops(
    std::index_sequence<kFilterTypes...>) {
  return {&ReconstructBlock<Ops, kFilterTypes>...};
}

// Rows of one block row, each right below the one before, block by block in
// turn: each row's pixels form one long chain of dependent steps, and going
// round the rows lets the processor work on all of them at once.
template <class Ops, int kRows>
void ReconstructRows(const uint32_t* previousLine, const Tlg6Row* rows, int32_t width,
                     int32_t startBlock, int32_t endBlock, const uint8_t* filterTypes,
                     int32_t blockStride, uint32_t initialPixel) {
  constexpr std::array<BlockLoop, kTlg6FilterTypeCount> kBlockLoops =
      MakeBlockLoops<Ops>(std::make_index_sequence<kTlg6FilterTypeCount>{});
  constexpr int32_t kBlockSize = static_cast<int32_t>(kTlg6BlockSize);

  if (startBlock >= endBlock) return;
  const uint32_t* above[kRows];
  bool forwards[kRows];
  Neighbours n[kRows];
  for (int i = 0; i < kRows; ++i) {
    above[i] = i == 0 ? previousLine : rows[i - 1].line;
    forwards[i] = (rows[i].rowDirection & 1) != 0;
    n[i] = Neighbours{initialPixel, initialPixel};
    if (startBlock > 0) {
      // Carry on from the last pixel of the block before, written by an earlier call.
      const ptrdiff_t x = static_cast<ptrdiff_t>(startBlock) * kBlockSize - 1;
      n[i] = Neighbours{rows[i].line[x], above[i][x]};
    }
  }
  for (int32_t b = startBlock; b < endBlock; ++b) {
    const uint8_t filterType = filterTypes[b];
    if (filterType >= kTlg6FilterTypeCount) return;
    const ptrdiff_t x = static_cast<ptrdiff_t>(b) * kBlockSize;
    const int32_t w = std::min<int32_t>(kBlockSize, width - static_cast<int32_t>(x));
#pragma GCC unroll 2
    for (int i = 0; i < kRows; ++i) {
      const Tlg6Row& r = rows[i];
      const uint32_t* row = r.residuals + static_cast<ptrdiff_t>(b) * blockStride;
      // Odd blocks store their rows bottom to top.
      if (b & 1) row += static_cast<ptrdiff_t>(r.oddBlockRowOffset) * w;
      if constexpr (Ops::kTransformsBlocks) {
        // Chosen here rather than through a call, so that each row's
        // neighbours stay in registers from block to block.
        if (w == kBlockSize) {
          ReconstructTransformedBlock<Ops>(filterType, above[i] + x, r.line + x, row,
                                           !forwards[i], n[i]);
          continue;
        }
      }
      kBlockLoops[filterType](above[i] + x, r.line + x, w, row, forwards[i] ? 0 : w - 1,
                              forwards[i] ? 1 : -1, n[i]);
    }
  }
}

template <class Ops>
void ReconstructLine(const uint32_t* previousLine, uint32_t* currentLine, int32_t width,
                     int32_t startBlock, int32_t endBlock, const uint8_t* filterTypes,
                     int32_t blockStride, const uint32_t* residuals, uint32_t initialPixel,
                     int32_t oddBlockRowOffset, uint32_t rowDirection) {
  const Tlg6Row row{currentLine, residuals, oddBlockRowOffset, rowDirection};
  ReconstructRows<Ops, 1>(previousLine, &row, width, startBlock, endBlock, filterTypes,
                          blockStride, initialPixel);
}

}  // namespace

void ReconstructTlg6LinePortable(const uint32_t* previousLine, uint32_t* currentLine,
                                 int32_t width, int32_t startBlock, int32_t endBlock,
                                 const uint8_t* filterTypes, int32_t blockStride,
                                 const uint32_t* residuals, uint32_t initialPixel,
                                 int32_t oddBlockRowOffset, uint32_t rowDirection) {
  ReconstructLine<PortablePixelOps>(previousLine, currentLine, width, startBlock, endBlock,
                                    filterTypes, blockStride, residuals, initialPixel,
                                    oddBlockRowOffset, rowDirection);
}

void ReconstructTlg6Line(const uint32_t* previousLine, uint32_t* currentLine, int32_t width,
                         int32_t startBlock, int32_t endBlock, const uint8_t* filterTypes,
                         int32_t blockStride, const uint32_t* residuals, uint32_t initialPixel,
                         int32_t oddBlockRowOffset, uint32_t rowDirection) {
#if defined(__SSE2__)
  ReconstructLine<Sse2PixelOps>(previousLine, currentLine, width, startBlock, endBlock,
                                filterTypes, blockStride, residuals, initialPixel,
                                oddBlockRowOffset, rowDirection);
#else
  ReconstructTlg6LinePortable(previousLine, currentLine, width, startBlock, endBlock, filterTypes,
                              blockStride, residuals, initialPixel, oddBlockRowOffset,
                              rowDirection);
#endif
}

void ReconstructTlg6Line(const uint32_t* previousLine, uint32_t* currentLine, int32_t width,
                         int32_t endBlock, const uint8_t* filterTypes, int32_t blockStride,
                         const uint32_t* residuals, uint32_t initialPixel,
                         int32_t oddBlockRowOffset, uint32_t rowDirection) {
  ReconstructTlg6Line(previousLine, currentLine, width, 0, endBlock, filterTypes, blockStride,
                      residuals, initialPixel, oddBlockRowOffset, rowDirection);
}

void ReconstructTlg6Rows(const uint32_t* previousLine, const Tlg6Row* rows, int32_t rowCount,
                         int32_t width, int32_t startBlock, int32_t endBlock,
                         const uint8_t* filterTypes, int32_t blockStride, uint32_t initialPixel) {
#if defined(__SSE2__)
  using Ops = Sse2PixelOps;
#else
  using Ops = PortablePixelOps;
#endif
  static_assert(kTlg6MaxRowsTogether == 2, "one loop for each row count");
  const auto reconstruct = rowCount >= 2 ? ReconstructRows<Ops, 2> : ReconstructRows<Ops, 1>;
  reconstruct(previousLine, rows, width, startBlock, endBlock, filterTypes, blockStride,
              initialPixel);
}
