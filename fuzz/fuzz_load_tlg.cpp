// Whole decodes through the loader, with a tags dictionary, over memory.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "fuzz/fuzz_limits.h"
#include "stream/binary_stream.h"
#include "tlg/tlg_loader.h"

namespace {

struct Canvas {
  uint32_t width = 0;
  std::vector<uint32_t> pixels;
};

bool Allocate(void* context, uint32_t width, uint32_t height) {
  auto& canvas = *static_cast<Canvas*>(context);
  if (!FitsFuzzBudget(width, height)) return false;
  canvas.width = width;
  canvas.pixels.assign(static_cast<size_t>(width) * height + 1, 0);
  return true;
}

void* Row(void* context, int32_t row) {
  auto& canvas = *static_cast<Canvas*>(context);
  if (row < 0) return nullptr;
  return canvas.pixels.data() + static_cast<size_t>(row) * canvas.width;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Canvas canvas;
  TagDictionary tags;
  tMemDataStream stream(data, static_cast<uint32_t>(size));
  const int result = LoadTlg(&canvas, Allocate, Row, &tags, stream);
  if (result != kLoadComplete && result != kLoadStopped && result != kLoadFailed) __builtin_trap();
  uint32_t width = 0, height = 0;
  ReadImageSize(stream, &width, &height);
  HasTlgSignature(stream);
  return 0;
}
