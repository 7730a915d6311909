// Fuzz-chosen pixels, encoded by our encoders, must decode to themselves.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "encoder/tlg5_encoder.h"
#include "encoder/tlg6_encoder.h"
#include "fuzz/fuzz_canvas.h"
#include "stream/binary_stream.h"
#include "tlg/tlg_loader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 3) return 0;
  const uint32_t width = data[0] % 40 + 1;
  const uint32_t mode = data[1];
  const uint8_t* bytes = data + 2;
  const size_t pixelCount = (size - 2) / 4;
  const uint32_t height = static_cast<uint32_t>(pixelCount / width);
  std::vector<uint32_t> pixels(static_cast<size_t>(width) * height);
  if (!pixels.empty()) std::memcpy(pixels.data(), bytes, pixels.size() * 4);
  if (mode & 1) {
    for (auto& p : pixels) p |= 0xFF000000u;  // opaque: the three-colour forms
  }

  std::vector<uint8_t> file;
  if (mode & 2) {
    Tlg5EncodeOptions options;
    options.blockHeight = (mode >> 2) % 9 + 1;
    file = EncodeTlg5(pixels.data(), width, height, options);
  } else {
    file = EncodeTlg6(pixels.data(), width, height);
  }
  FuzzCanvas canvas;
  tMemDataStream stream(file.data(), static_cast<uint32_t>(file.size()));
  if (LoadTlg(&canvas, AllocateFuzzCanvas, FuzzCanvasRow, nullptr, stream) != kLoadComplete) __builtin_trap();
  if (canvas.pixels != pixels) __builtin_trap();
  return 0;
}
