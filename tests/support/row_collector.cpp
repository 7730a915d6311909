#include "tests/support/row_collector.h"

bool CollectSize(void* context, uint32_t width, uint32_t height) {
  auto& c = *static_cast<RowCollector*>(context);
  ++c.sizeCalls;
  c.width = width;
  c.height = height;
  if (c.acceptSize) c.pixels.assign(static_cast<size_t>(width) * height, kUnwrittenPixel);
  return c.acceptSize;
}

void* CollectRow(void* context, int32_t row) {
  auto& c = *static_cast<RowCollector*>(context);
  c.rowCalls.push_back(row);
  if (row < 0) return nullptr;
  if (row == c.stopAtRow) return nullptr;
  static uint32_t noPixels;  // a row of width 0 still needs an address
  if (c.width == 0) return &noPixels;
  return c.pixels.data() + static_cast<size_t>(row) * c.width;
}

std::vector<int32_t> CompleteRowCalls(uint32_t height) {
  std::vector<int32_t> calls;
  for (uint32_t y = 0; y < height; ++y) {
    calls.push_back(static_cast<int32_t>(y));
    calls.push_back(kEndOfRow);
  }
  return calls;
}
