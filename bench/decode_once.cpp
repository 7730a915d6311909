// Decodes each TLG file once into a plain buffer: a small program for
// valgrind's callgrind, which counts the instructions of LoadTlg.
#include <cstdio>
#include <vector>

#include "bench/corpus.h"
#include "bench/decoders.h"
#include "stream/binary_stream.h"
#include "tlg/tlg_loader.h"

int main(int argc, char** argv) {
  unsigned long long pixels = 0;
  for (int i = 1; i < argc; ++i) {
    const std::vector<uint8_t> file = ReadWholeFile(argv[i]);
    tMemDataStream stream(file.data(), static_cast<uint32_t>(file.size()));
    uint32_t width = 0, height = 0;
    if (!ReadImageSize(stream, &width, &height)) {
      std::fprintf(stderr, "decode_once: not a TLG file: %s\n", argv[i]);
      return 1;
    }
    std::vector<uint32_t> out(size_t{width} * height);
    if (!DecodeTlgToBuffer(file, out.data(), width)) {
      std::fprintf(stderr, "decode_once: cannot decode %s\n", argv[i]);
      return 1;
    }
    pixels += out.size();
  }
  std::printf("%llu\n", pixels);
  return 0;
}
