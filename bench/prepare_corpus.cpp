// Converts each source picture SOURCE/SET/NAME.png once into the files the
// benchmark decodes: OUT/SET/NAME.webp (libwebp lossless, simple API), then,
// from the pixels that file decodes to, NAME.png (libpng, default settings),
// NAME.tlg5 and NAME.tlg6 (our encoders, default options). Lossless WebP may
// recolour fully transparent pixels; starting every other file from its
// output keeps all four files holding exactly the same pixels.
#include <webp/encode.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "bench/decoders.h"
#include "encoder/tlg5_encoder.h"
#include "encoder/tlg6_encoder.h"
#include "tools/image_io.h"

namespace fs = std::filesystem;

namespace {

constexpr int kBytesPerPixel = 4;

void WriteFile(const fs::path& path, const uint8_t* data, size_t size) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  if (!out) throw std::runtime_error("cannot write " + path.string());
}

void Convert(const fs::path& source, const fs::path& base) {
  Picture picture;
  std::string error;
  if (!ReadPng(source.string(), picture, error)) throw std::runtime_error(source.string() + ": " + error);

  uint8_t* webp = nullptr;
  const size_t webpSize = WebPEncodeLosslessBGRA(
      reinterpret_cast<const uint8_t*>(picture.pixels.data()), static_cast<int>(picture.width),
      static_cast<int>(picture.height), static_cast<int>(picture.width) * kBytesPerPixel, &webp);
  if (webpSize == 0) throw std::runtime_error(source.string() + ": WebP encoding failed");
  const std::vector<uint8_t> webpFile(webp, webp + webpSize);
  WebPFree(webp);
  if (!DecodeWebp(webpFile, picture.pixels.data(), picture.width, picture.height)) {
    throw std::runtime_error(source.string() + ": WebP decoding failed");
  }

  WriteFile(fs::path(base).replace_extension(".webp"), webpFile.data(), webpFile.size());
  if (!WritePng(fs::path(base).replace_extension(".png").string(), picture, error)) {
    throw std::runtime_error(source.string() + ": " + error);
  }
  const auto tlg5 = EncodeTlg5(picture.pixels.data(), picture.width, picture.height);
  WriteFile(fs::path(base).replace_extension(".tlg5"), tlg5.data(), tlg5.size());
  const auto tlg6 = EncodeTlg6(picture.pixels.data(), picture.width, picture.height);
  WriteFile(fs::path(base).replace_extension(".tlg6"), tlg6.data(), tlg6.size());
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: prepare_corpus SOURCE_DIR OUT_DIR\n");
    return 2;
  }
  try {
    for (const auto& entry : fs::recursive_directory_iterator(argv[1])) {
      if (entry.path().extension() != ".png") continue;
      const fs::path set = entry.path().parent_path().filename();
      const fs::path base = fs::path(argv[2]) / set / entry.path().stem();
      if (fs::exists(fs::path(base).replace_extension(".tlg6"))) continue;  // converted before
      fs::create_directories(base.parent_path());
      std::printf("prepare_corpus: %s/%s\n", set.string().c_str(), base.stem().string().c_str());
      std::fflush(stdout);
      Convert(entry.path(), base);
    }
  } catch (const std::exception& e) {
    std::fprintf(stderr, "prepare_corpus: %s\n", e.what());
    return 1;
  }
  return 0;
}
