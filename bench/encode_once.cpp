// Encodes each PNG file once with one of our encoders and prints the pixel
// count, encoded size and encoding time (CPU seconds of this thread) of each
// and of all: a small program for callgrind (instructions of EncodeOnce)
// and for comparing file sizes.
// Usage: encode_once tlg5|tlg6 [-j THREADS] [--clear-transparent] FILE.png...
#include <cstdio>
#include <ctime>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "encoder/tlg5_encoder.h"
#include "encoder/tlg6_encoder.h"
#include "tools/image_io.h"

// Callgrind counts the instructions of this function alone.
__attribute__((noinline)) size_t EncodeOnce(bool tlg5, const Picture& picture,
                                            const Tlg5EncodeOptions& options5,
                                            const Tlg6EncodeOptions& options6) {
  return tlg5 ? EncodeTlg5(picture.pixels.data(), picture.width, picture.height, options5).size()
              : EncodeTlg6(picture.pixels.data(), picture.width, picture.height, options6).size();
}

int main(int argc, char** argv) {
  if (argc < 2 || (std::strcmp(argv[1], "tlg5") != 0 && std::strcmp(argv[1], "tlg6") != 0)) {
    std::fprintf(stderr, "usage: encode_once tlg5|tlg6 [-j THREADS] [--clear-transparent] FILE.png...\n");
    return 2;
  }
  const bool tlg5 = std::strcmp(argv[1], "tlg5") == 0;
  Tlg5EncodeOptions options5;
  Tlg6EncodeOptions options6;
  unsigned long long pixels = 0, bytes = 0;
  double seconds = 0;
  for (int i = 2; i < argc; ++i) {
    if (std::strcmp(argv[i], "-j") == 0 && i + 1 < argc) {
      options6.threads = static_cast<unsigned>(std::atoi(argv[++i]));
      continue;
    }
    if (std::strcmp(argv[i], "--clear-transparent") == 0) {
      options5.clearTransparent = options6.clearTransparent = true;
      continue;
    }
    Picture picture;
    std::string error;
    if (!ReadPng(argv[i], picture, error)) {
      std::fprintf(stderr, "encode_once: %s: %s\n", argv[i], error.c_str());
      return 1;
    }
    timespec start{}, end{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &start);
    const size_t size = EncodeOnce(tlg5, picture, options5, options6);
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &end);
    const double taken = double(end.tv_sec - start.tv_sec) + 1e-9 * double(end.tv_nsec - start.tv_nsec);
    seconds += taken;
    std::printf("%s\t%zu\t%zu\t%.4f\n", argv[i], picture.pixels.size(), size, taken);
    pixels += picture.pixels.size();
    bytes += size;
  }
  std::printf("total\t%llu\t%llu\t%.4f\n", pixels, bytes, seconds);
  return 0;
}
