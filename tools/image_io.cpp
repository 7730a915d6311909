#include "tools/image_io.h"

#include <png.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <system_error>

#include "tools/file_names.h"
#include "tools/output_file.h"

namespace {

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

constexpr size_t kPngSignatureSize = 8;

}  // namespace

std::FILE* OpenForReading(const std::string& path, std::string& error) {
  std::error_code status;
  if (std::filesystem::is_directory(PathOf(path), status)) {
    error = "cannot open (" + std::make_error_code(std::errc::is_a_directory).message() + ")";
    return nullptr;
  }
  std::FILE* file = OpenFile(path, "rb");
  if (file == nullptr) error = "cannot open " + SystemReason();
  return file;
}

bool IsOpaque(const Picture& picture) {
  for (uint32_t p : picture.pixels) {
    if ((p >> 24) != 0xFF) return false;
  }
  return true;
}

bool ReadPng(const std::string& path, Picture& picture, std::string& error) {
  File file(OpenForReading(path, error));
  if (!file) return false;
  png_byte signature[kPngSignatureSize] = {};
  const size_t got = std::fread(signature, 1, sizeof signature, file.get());
  if (std::ferror(file.get())) {
    error = "cannot read " + SystemReason();
    return false;
  }
  if (got < sizeof signature || png_sig_cmp(signature, 0, sizeof signature) != 0) {
    error = "not a PNG file";
    return false;
  }
  std::rewind(file.get());

  png_image image;
  std::memset(&image, 0, sizeof image);
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_stdio(&image, file.get())) {
    error = std::string("unsupported PNG (") + image.message + ")";
    return false;
  }
  // BGRA bytes are exactly our little-endian 0xAARRGGBB words.
  image.format = PNG_FORMAT_BGRA;
  picture.width = image.width;
  picture.height = image.height;
  try {
    picture.pixels.resize(static_cast<size_t>(image.width) * image.height);
  } catch (const std::bad_alloc&) {
    png_image_free(&image);
    error = "too large to hold in memory";
    return false;
  }
  if (!png_image_finish_read(&image, nullptr, picture.pixels.data(), 0, nullptr)) {
    error = std::string("unsupported PNG (") + image.message + ")";
    png_image_free(&image);
    return false;
  }
  return true;
}

bool WritePng(const std::string& path, const Picture& picture, std::string& error) {
  if (picture.width == 0 || picture.height == 0) {
    error = "PNG cannot hold an empty picture (" + std::to_string(picture.width) + " x " +
            std::to_string(picture.height) + "); write PAM instead (-o NAME.pam)";
    return false;
  }
  png_image image;
  std::memset(&image, 0, sizeof image);
  image.version = PNG_IMAGE_VERSION;
  image.width = picture.width;
  image.height = picture.height;
  const bool opaque = IsOpaque(picture);
  image.format = opaque ? PNG_FORMAT_BGR : PNG_FORMAT_BGRA;
  std::vector<uint8_t> packed;
  const void* rows = picture.pixels.data();
  if (opaque) {  // drop the alpha byte of every pixel
    packed.resize(picture.pixels.size() * 3);
    for (size_t i = 0; i < picture.pixels.size(); ++i) {
      std::memcpy(&packed[i * 3], &picture.pixels[i], 3);
    }
    rows = packed.data();
  }
  if (!png_image_write_to_file(&image, path.c_str(), 0, rows, 0, nullptr)) {
    error = std::string("cannot write (") + image.message + ")";
    return false;
  }
  return true;
}

bool WritePam(const std::string& path, const Picture& picture, std::string& error) {
  File file(std::fopen(path.c_str(), "wb"));
  if (!file) {
    error = "cannot write " + SystemReason();
    return false;
  }
  std::fprintf(file.get(), "P7\nWIDTH %u\nHEIGHT %u\nDEPTH 4\nMAXVAL 255\nTUPLTYPE RGB_ALPHA\nENDHDR\n",
               picture.width, picture.height);
  std::vector<uint8_t> row(static_cast<size_t>(picture.width) * 4);
  for (uint32_t y = 0; y < picture.height; ++y) {
    for (uint32_t x = 0; x < picture.width; ++x) {
      const uint32_t p = picture.pixels[static_cast<size_t>(y) * picture.width + x];
      uint8_t* rgba = &row[static_cast<size_t>(x) * 4];
      rgba[0] = static_cast<uint8_t>(p >> 16);
      rgba[1] = static_cast<uint8_t>(p >> 8);
      rgba[2] = static_cast<uint8_t>(p);
      rgba[3] = static_cast<uint8_t>(p >> 24);
    }
    if (std::fwrite(row.data(), 1, row.size(), file.get()) != row.size()) {
      error = "cannot write " + SystemReason();
      return false;
    }
  }
  if (std::fflush(file.get()) != 0) {
    error = "cannot write " + SystemReason();
    return false;
  }
  return true;
}
