// A decoder's caller for tests: keeps the image in memory, records every
// callback, and can stop the decode at a chosen row.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "tlg/decoder_contract.h"

struct RowCollector {
  bool acceptSize = true;       // what the size callback answers
  int32_t stopAtRow = -1;       // the row callback answers null for this row; -1: never
  int sizeCalls = 0;
  uint32_t width = 0;
  uint32_t height = 0;
  std::vector<int32_t> rowCalls;  // every row argument, end-of-row notices included
  std::vector<uint32_t> pixels;   // height rows of width pixels, top row first

  uint32_t Pixel(uint32_t x, uint32_t y) const { return pixels[static_cast<size_t>(y) * width + x]; }
};

// The callbacks; the context is a RowCollector. Fresh rows are filled with
// a marker so that unwritten pixels show.
bool CollectSize(void* context, uint32_t width, uint32_t height);
void* CollectRow(void* context, int32_t row);

constexpr uint32_t kUnwrittenPixel = 0xDEADBEEF;

// The row sequence of a complete decode: 0, -1, 1, -1, ... height-1, -1.
std::vector<int32_t> CompleteRowCalls(uint32_t height);
