// Writes seed inputs for the fuzz targets, made by our own encoders:
//   make_seeds DIR   ->  DIR/tlg, DIR/slide, DIR/tags, DIR/pixels, DIR/values
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "encoder/slide_compress.h"
#include "encoder/tlg0_writer.h"
#include "encoder/tlg5_encoder.h"
#include "encoder/tlg6_encoder.h"
#include "encoder/tlg6_value_coder.h"

namespace fs = std::filesystem;

namespace {

void Write(const fs::path& path, const std::vector<uint8_t>& bytes) {
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

std::vector<uint32_t> Picture(uint32_t width, uint32_t height, bool opaque, uint32_t seed) {
  std::vector<uint32_t> pixels(static_cast<size_t>(width) * height);
  uint32_t state = seed * 2654435761u + 1;
  for (uint32_t y = 0; y < height; ++y) {
    for (uint32_t x = 0; x < width; ++x) {
      state = state * 1664525u + 1013904223u;
      const uint32_t smooth = (x * 9 + y * 5) & 0xFF;
      uint32_t p = smooth | ((smooth + (state >> 28)) & 0xFF) << 8 | ((x * y) & 0xFF) << 16 | ((x * 16) & 0xFF) << 24;
      if (opaque) p |= 0xFF000000u;
      pixels[static_cast<size_t>(y) * width + x] = p;
    }
  }
  return pixels;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_seeds DIR\n");
    return 2;
  }
  const fs::path dir = argv[1];
  for (const char* sub : {"tlg", "slide", "tags", "pixels", "values"}) fs::create_directories(dir / sub);

  const uint32_t sizes[][2] = {{1, 1}, {7, 3}, {8, 8}, {13, 9}, {24, 17}};
  int n = 0;
  for (const auto& size : sizes) {
    for (bool opaque : {true, false}) {
      const auto pixels = Picture(size[0], size[1], opaque, static_cast<uint32_t>(n));
      Tlg5EncodeOptions five;
      five.blockHeight = 1 + n % 5;
      const auto tlg5 = EncodeTlg5(pixels.data(), size[0], size[1], five);
      const auto tlg6 = EncodeTlg6(pixels.data(), size[0], size[1]);
      Tlg6EncodeOptions grey;
      grey.colours = 1;
      const auto tlg6grey = EncodeTlg6(pixels.data(), size[0], size[1], grey);
      const std::string stem = std::to_string(n++);
      Write(dir / "tlg" / (stem + "-5.tlg"), tlg5);
      Write(dir / "tlg" / (stem + "-6.tlg"), tlg6);
      Write(dir / "tlg" / (stem + "-6grey.tlg"), tlg6grey);
      Write(dir / "tlg" / (stem + "-wrapped.tlg"),
            WrapTlg0(tlg6, {{"tags", MakeTagsChunkData({{"title", "seed"}, {"k", "v"}})}, {"misc", {1, 2}}}));
      std::vector<uint8_t> raw(reinterpret_cast<const uint8_t*>(pixels.data()),
                               reinterpret_cast<const uint8_t*>(pixels.data() + pixels.size()));
      std::vector<uint8_t> pixelSeed = {static_cast<uint8_t>(size[0] - 1), static_cast<uint8_t>(n)};
      pixelSeed.insert(pixelSeed.end(), raw.begin(), raw.end());
      Write(dir / "pixels" / stem, pixelSeed);
      SlideCompressor compressor;
      std::vector<uint8_t> slide = {0xFF, 0x0F, 0x00};  // capacity 4095, position 0
      const auto packed = compressor.Compress(raw.data(), raw.size());
      slide.insert(slide.end(), packed.begin(), packed.end());
      Write(dir / "slide" / stem, slide);
      // Residual-like bytes: mostly small, some zero runs, a few large.
      std::vector<uint8_t> residuals(raw.size() % 4000 + 1);
      for (size_t i = 0; i < residuals.size(); ++i) {
        residuals[i] = static_cast<uint8_t>(i % 7 == 0 ? 0 : (raw[i % raw.size()] % 9) - 4 + (i % 97 == 0) * 120);
      }
      const auto coded = EncodeTlg6Values(residuals.data(), residuals.size(), BuildTlg6RiceTable());
      std::vector<uint8_t> values = {static_cast<uint8_t>(residuals.size()),
                                     static_cast<uint8_t>(residuals.size() >> 8)};
      values.insert(values.end(), coded.bytes.begin(), coded.bytes.end());
      Write(dir / "values" / stem, values);
    }
  }
  const auto tags = MakeTagsChunkData({{"name", "hello"}, {"x=y", "z"}, {"", ""}});
  Write(dir / "tags" / "0", tags);
  return 0;
}
