// Rebuilding one image row from its residual entries, the filter-type bytes
// of its block row and the row above.
#pragma once

#include <cstdint>

// Reconstructs blocks [startBlock, endBlock) of the current line, left to
// right. `residuals` is where block 0's entries for this row would start;
// block b's start `blockStride` entries after block b - 1's, moved on by
// `oddBlockRowOffset` stored rows in odd blocks. Bit 0 of `rowDirection`
// set: a block's entries are read forwards, else backwards. At column 0 the
// left and upper-left pixels are `initialPixel`. A filter-type byte of 32 or
// more stops the call at its block, leaving the rest unwritten.
void ReconstructTlg6Line(const uint32_t* previousLine, uint32_t* currentLine, int32_t width,
                         int32_t startBlock, int32_t endBlock, const uint8_t* filterTypes,
                         int32_t blockStride, const uint32_t* residuals, uint32_t initialPixel,
                         int32_t oddBlockRowOffset, uint32_t rowDirection);

// The same without vector instructions; ReconstructTlg6Line uses it where
// SSE2 is not available. Both give identical pixels.
void ReconstructTlg6LinePortable(const uint32_t* previousLine, uint32_t* currentLine,
                                 int32_t width, int32_t startBlock, int32_t endBlock,
                                 const uint8_t* filterTypes, int32_t blockStride,
                                 const uint32_t* residuals, uint32_t initialPixel,
                                 int32_t oddBlockRowOffset, uint32_t rowDirection);

// The same from block 0.
void ReconstructTlg6Line(const uint32_t* previousLine, uint32_t* currentLine, int32_t width,
                         int32_t endBlock, const uint8_t* filterTypes, int32_t blockStride,
                         const uint32_t* residuals, uint32_t initialPixel,
                         int32_t oddBlockRowOffset, uint32_t rowDirection);

// A row to reconstruct: its line, and its residuals, odd-block row offset
// and row direction as above.
struct Tlg6Row {
  uint32_t* line;
  const uint32_t* residuals;
  int32_t oddBlockRowOffset;
  uint32_t rowDirection;
};

constexpr int32_t kTlg6MaxRowsTogether = 2;

// Up to kTlg6MaxRowsTogether rows of the same block row at once, each right
// below the one before: the same pixels as reconstructing each in turn on the
// row above it, the first on `previousLine`. An invalid filter type stops
// every row at its block.
void ReconstructTlg6Rows(const uint32_t* previousLine, const Tlg6Row* rows, int32_t rowCount,
                         int32_t width, int32_t startBlock, int32_t endBlock,
                         const uint8_t* filterTypes, int32_t blockStride, uint32_t initialPixel);
