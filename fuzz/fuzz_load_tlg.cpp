// Whole decodes through the loader, with a tags dictionary, over memory.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "fuzz/fuzz_canvas.h"
#include "stream/binary_stream.h"
#include "tlg/tlg_loader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzCanvas canvas;
  TagDictionary tags;
  tMemDataStream stream(data, static_cast<uint32_t>(size));
  const int result = LoadTlg(&canvas, AllocateFuzzCanvas, FuzzCanvasRow, &tags, stream);
  if (result != kLoadComplete && result != kLoadStopped && result != kLoadFailed &&
      result != kLoadOutOfMemory) __builtin_trap();
  uint32_t width = 0, height = 0;
  ReadImageSize(stream, &width, &height);
  HasTlgSignature(stream);
  return 0;
}
