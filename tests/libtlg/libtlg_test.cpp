// The C interface as a program that links the shared library sees it.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/damaged_tags.h"
#include "tests/support/temp_file.h"
#include "tests/support/tlg_samples.h"
#include "tlg/tlg.h"

namespace {

typedef std::vector<uint8_t> Bytes;

const TestImage& Opaque() {
  static const TestImage image = MakeTestImage(ImagePattern::kGradient, 29, 19, 3, true);
  return image;
}
const TestImage& Sprite() {
  static const TestImage image = MakeTestImage(ImagePattern::kSprite, 23, 17, 5, false);
  return image;
}

// The picture's pixels as bytes in the given order.
Bytes Expected(const TestImage& image, tlg_pixel_format format) {
  Bytes bytes;
  for (uint32_t p : image.pixels) {
    const uint8_t b = p & 0xFF, g = (p >> 8) & 0xFF, r = (p >> 16) & 0xFF, a = p >> 24;
    const uint8_t pixel[2][4] = {{r, g, b, a}, {b, g, r, a}};
    bytes.insert(bytes.end(), pixel[format], pixel[format] + 4);
  }
  return bytes;
}

struct Sample {
  const char* name;
  Bytes file;
  const TestImage* image;
  tlg_kind kind;
  tlg_kind raster;
  unsigned colours;
};

std::vector<Sample> Samples() {
  const TagList tags = {{"title", "Sprite"}};
  return {
      {"tlg5 opaque", EncodeTestImage(TlgKind::kTlg5, Opaque()), &Opaque(), TLG_KIND_TLG5, TLG_KIND_TLG5, 3},
      {"tlg6 alpha", EncodeTestImage(TlgKind::kTlg6, Sprite()), &Sprite(), TLG_KIND_TLG6, TLG_KIND_TLG6, 4},
      {"wrapped tlg6", WrappedSample(TlgKind::kTlg6, Opaque(), tags), &Opaque(), TLG_KIND_WRAPPED,
       TLG_KIND_TLG6, 3},
      {"wrapped tlg5", WrappedSample(TlgKind::kTlg5, Sprite(), tags), &Sprite(), TLG_KIND_WRAPPED,
       TLG_KIND_TLG5, 4},
  };
}

Bytes DecodeAlloc(const Bytes& file, tlg_pixel_format format, tlg_error* error,
                  const tlg_options* options = nullptr) {
  void* pixels = reinterpret_cast<void*>(1);
  tlg_info info;
  *error = tlg_decode_alloc(file.data(), file.size(), format, options, &pixels, &info);
  if (*error != TLG_OK) {
    EXPECT_EQ(pixels, nullptr);
    return {};
  }
  const auto* bytes = static_cast<const uint8_t*>(pixels);
  Bytes out(bytes, bytes + info.width * info.height * 4);
  tlg_free(pixels);
  return out;
}

TEST(LibTlg, DescribesWithoutDecoding) {
  for (const Sample& s : Samples()) {
    SCOPED_TRACE(s.name);
    EXPECT_EQ(tlg_probe(s.file.data(), s.file.size()), s.kind);
    tlg_info info;
    ASSERT_EQ(tlg_read_info(s.file.data(), s.file.size(), &info), TLG_OK);
    EXPECT_EQ(info.kind, s.kind);
    EXPECT_EQ(info.raster, s.raster);
    EXPECT_EQ(info.colours, s.colours);
    EXPECT_EQ(info.width, s.image->width);
    EXPECT_EQ(info.height, s.image->height);
    EXPECT_EQ(info.has_tags, s.kind == TLG_KIND_WRAPPED);
    EXPECT_EQ(tlg_probe(s.file.data(), 10), TLG_KIND_NONE);
    // A description needs the headers only: a cut in the pixels does not matter.
    const Bytes cut(s.file.begin(), s.file.begin() + 60);
    EXPECT_EQ(tlg_read_info(cut.data(), cut.size(), &info), TLG_OK);
    EXPECT_EQ(tlg_read_info(s.file.data(), 20, &info), TLG_ERROR_TRUNCATED);
    EXPECT_EQ(tlg_read_info(s.file.data(), 5, &info), TLG_ERROR_TRUNCATED);
  }
  tlg_info info;
  const Bytes junk = {'P', 'N', 'G', 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
  EXPECT_EQ(tlg_probe(junk.data(), junk.size()), TLG_KIND_NONE);
  EXPECT_EQ(tlg_read_info(junk.data(), junk.size(), &info), TLG_ERROR_NOT_TLG);
  EXPECT_EQ(tlg_read_info(junk.data(), 0, &info), TLG_ERROR_NOT_TLG);
  Bytes wrappedJunk = WrapTlg0(junk, {});
  EXPECT_EQ(tlg_read_info(wrappedJunk.data(), wrappedJunk.size(), &info), TLG_ERROR_CORRUPT);
  EXPECT_EQ(tlg_read_info(nullptr, 10, &info), TLG_ERROR_INVALID_ARGUMENT);
  EXPECT_EQ(tlg_read_info(junk.data(), junk.size(), nullptr), TLG_ERROR_INVALID_ARGUMENT);
  EXPECT_EQ(tlg_probe(nullptr, 100), TLG_KIND_NONE);
}

TEST(LibTlg, DecodesIntoEveryKindOfBuffer) {
  for (const Sample& s : Samples()) {
    SCOPED_TRACE(s.name);
    const size_t width = s.image->width, height = s.image->height;
    for (tlg_pixel_format format : {TLG_RGBA8, TLG_BGRA8}) {
      const Bytes expected = Expected(*s.image, format);
      tlg_error error;
      EXPECT_EQ(DecodeAlloc(s.file, format, &error), expected);
      EXPECT_EQ(error, TLG_OK);
      // Padded rows, aligned and not: the padding stays as it was.
      for (size_t offset : {0, 1}) {
        const size_t stride = width * 4 + 6;
        Bytes buffer(offset + stride * height, 0xEE);
        ASSERT_EQ(tlg_decode(s.file.data(), s.file.size(), format, buffer.data() + offset, stride,
                             buffer.size() - offset, nullptr),
                  TLG_OK);
        for (size_t y = 0; y < height; ++y) {
          const uint8_t* row = buffer.data() + offset + y * stride;
          ASSERT_EQ(Bytes(row, row + width * 4), Bytes(&expected[y * width * 4], &expected[(y + 1) * width * 4]))
              << y;
          ASSERT_EQ(Bytes(row + width * 4, row + stride), Bytes(6, 0xEE)) << y;
        }
      }
    }
    Bytes buffer(width * 4 * height);
    EXPECT_EQ(tlg_decode(s.file.data(), s.file.size(), TLG_RGBA8, buffer.data(), width * 4 - 1,
                         buffer.size(), nullptr), TLG_ERROR_INVALID_ARGUMENT);
    EXPECT_EQ(tlg_decode(s.file.data(), s.file.size(), TLG_RGBA8, buffer.data(), width * 4,
                         buffer.size() - 1, nullptr), TLG_ERROR_INVALID_ARGUMENT);
    EXPECT_EQ(tlg_decode(s.file.data(), s.file.size(), 2,
                         buffer.data(), width * 4, buffer.size(), nullptr), TLG_ERROR_INVALID_ARGUMENT);
    EXPECT_EQ(tlg_decode(s.file.data(), s.file.size(), TLG_RGBA8, nullptr, width * 4, buffer.size(),
                         nullptr), TLG_ERROR_INVALID_ARGUMENT);
  }
}

TEST(LibTlg, PixelLimit) {
  const Bytes file = EncodeTestImage(TlgKind::kTlg6, Opaque());
  const uint64_t pixels = uint64_t{Opaque().width} * Opaque().height;
  tlg_options options;
  tlg_options_init(&options);
  EXPECT_EQ(options.max_pixels, TLG_DEFAULT_MAX_PIXELS);
  EXPECT_EQ(TLG_DEFAULT_MAX_PIXELS, uint64_t{1} << 28);
  tlg_error error;
  options.max_pixels = pixels;
  EXPECT_FALSE(DecodeAlloc(file, TLG_RGBA8, &error, &options).empty());
  options.max_pixels = pixels - 1;
  DecodeAlloc(file, TLG_RGBA8, &error, &options);
  EXPECT_EQ(error, TLG_ERROR_TOO_LARGE);
  // A header of a few bytes claiming far more than the default allows.
  const TestImage wide = MakeTestImage(ImagePattern::kFlat, 1 << 15, 1, 1, true);
  Bytes huge = EncodeTestImage(TlgKind::kTlg5, wide);
  const uint32_t height = 1 << 14;  // 2^29 pixels
  std::memcpy(&huge[16], &height, 4);
  DecodeAlloc(huge, TLG_RGBA8, &error);
  EXPECT_EQ(error, TLG_ERROR_TOO_LARGE);
  options.struct_size = 0;
  DecodeAlloc(file, TLG_RGBA8, &error, &options);
  EXPECT_EQ(error, TLG_ERROR_INVALID_ARGUMENT);
}

struct RowLog {
  size_t stopAfter = SIZE_MAX;
  size_t width = 0;
  Bytes pixels;
  std::vector<size_t> rows;
};

int LogInfo(void* user, const tlg_info* info) {
  static_cast<RowLog*>(user)->width = info->width;
  return 0;
}
int LogRow(void* user, size_t row, const void* pixels, size_t width) {
  auto& log = *static_cast<RowLog*>(user);
  EXPECT_EQ(width, log.width);
  const auto* bytes = static_cast<const uint8_t*>(pixels);
  log.pixels.insert(log.pixels.end(), bytes, bytes + width * 4);
  log.rows.push_back(row);
  return log.rows.size() >= log.stopAfter ? 1 : 0;
}
int RefuseInfo(void*, const tlg_info*) { return 1; }

TEST(LibTlg, DecodesRowByRowAndStops) {
  for (const Sample& s : Samples()) {
    SCOPED_TRACE(s.name);
    for (tlg_pixel_format format : {TLG_RGBA8, TLG_BGRA8}) {
      RowLog log;
      ASSERT_EQ(tlg_decode_rows(s.file.data(), s.file.size(), format, LogInfo, LogRow, &log, nullptr),
                TLG_OK);
      EXPECT_EQ(log.pixels, Expected(*s.image, format));
      for (size_t i = 0; i < log.rows.size(); ++i) ASSERT_EQ(log.rows[i], i);
    }
    for (size_t stop : {size_t{1}, size_t{2}, size_t{s.image->height}}) {
      RowLog log;
      log.stopAfter = stop;
      EXPECT_EQ(tlg_decode_rows(s.file.data(), s.file.size(), TLG_RGBA8, LogInfo, LogRow, &log, nullptr),
                TLG_ERROR_STOPPED);
      EXPECT_EQ(log.rows.size(), stop);
    }
    RowLog log;
    EXPECT_EQ(tlg_decode_rows(s.file.data(), s.file.size(), TLG_RGBA8, RefuseInfo, LogRow, &log, nullptr),
              TLG_ERROR_STOPPED);
    EXPECT_TRUE(log.rows.empty());
    EXPECT_EQ(tlg_decode_rows(s.file.data(), s.file.size(), TLG_RGBA8, nullptr, nullptr, &log, nullptr),
              TLG_ERROR_INVALID_ARGUMENT);
  }
}

TEST(LibTlg, DamagedInputsFailCleanly) {
  for (const Sample& s : Samples()) {
    SCOPED_TRACE(s.name);
    tlg_error error;
    // Cut anywhere within the image: cut short. Wrapped files end in chunks,
    // which an image decode does not need.
    size_t imageEnd = s.file.size();
    if (s.kind == TLG_KIND_WRAPPED) {
      uint32_t rawLength;
      std::memcpy(&rawLength, &s.file[11], 4);
      imageEnd = 15 + rawLength;
    }
    for (size_t length = 1; length < imageEnd; length += length < 64 ? 1 : 13) {
      DecodeAlloc(Bytes(s.file.begin(), s.file.begin() + length), TLG_BGRA8, &error);
      ASSERT_EQ(error, TLG_ERROR_TRUNCATED) << length;
    }
    tlg_options small;  // a damaged size may claim a large picture
    tlg_options_init(&small);
    small.max_pixels = 1 << 16;
    // Every byte of the headers, then a sample of the data.
    for (size_t at = 0; at < s.file.size(); at += at < 64 ? 1 : 5) {
      Bytes damaged = s.file;
      damaged[at] ^= 0x5A;
      DecodeAlloc(damaged, TLG_RGBA8, &error, &small);
      ASSERT_TRUE(error == TLG_OK || error == TLG_ERROR_CORRUPT || error == TLG_ERROR_TRUNCATED ||
                  error == TLG_ERROR_NOT_TLG || error == TLG_ERROR_TOO_LARGE)
          << at << " " << error;
    }
  }
}

Bytes Encode(const TestImage& image, tlg_pixel_format format, const tlg_encode_options* options,
             tlg_error* error) {
  const Bytes pixels = Expected(image, format);
  void* out = nullptr;
  size_t size = 0;
  *error = tlg_encode(pixels.data(), image.width, image.height, image.width * 4, format, options,
                      &out, &size);
  const Bytes file(static_cast<uint8_t*>(out), static_cast<uint8_t*>(out) + size);
  tlg_free(out);
  return file;
}

TEST(LibTlg, EncodesAndReadsTags) {
  const std::string binaryKey("k\0=,:", 5);
  const std::string value(3, '\0');
  const tlg_tag tags[] = {{binaryKey.data(), binaryKey.size(), value.data(), value.size()},
                          {"title", 5, "Sprite", 6}};
  for (tlg_kind kind : {TLG_KIND_TLG5, TLG_KIND_TLG6}) {
    for (tlg_pixel_format format : {TLG_RGBA8, TLG_BGRA8}) {
      tlg_encode_options options;
      tlg_encode_options_init(&options);
      options.kind = kind;
      options.tags = tags;
      options.tag_count = 2;
      tlg_error error;
      const Bytes file = Encode(Sprite(), format, &options, &error);
      ASSERT_EQ(error, TLG_OK);
      EXPECT_EQ(tlg_probe(file.data(), file.size()), TLG_KIND_WRAPPED);
      EXPECT_EQ(DecodeAlloc(file, format, &error), Expected(Sprite(), format));
      tlg_tag* read = nullptr;
      size_t count = 0;
      ASSERT_EQ(tlg_read_tags(file.data(), file.size(), &read, &count), TLG_OK);
      ASSERT_EQ(count, 2u);
      EXPECT_EQ(std::string(read[0].key, read[0].key_size), binaryKey);
      EXPECT_EQ(std::string(read[0].value, read[0].value_size), value);
      EXPECT_STREQ(read[1].value, "Sprite");
      tlg_free(read);
    }
  }
  tlg_error error;
  const Bytes raw = Encode(Opaque(), TLG_RGBA8, nullptr, &error);
  EXPECT_EQ(tlg_probe(raw.data(), raw.size()), TLG_KIND_TLG6);
  tlg_tag* read = reinterpret_cast<tlg_tag*>(1);
  size_t count = 7;
  EXPECT_EQ(tlg_read_tags(raw.data(), raw.size(), &read, &count), TLG_OK);
  EXPECT_EQ(read, nullptr);
  EXPECT_EQ(count, 0u);

  tlg_encode_options bad;
  tlg_encode_options_init(&bad);
  bad.kind = TLG_KIND_WRAPPED;
  Encode(Opaque(), TLG_RGBA8, &bad, &error);
  EXPECT_EQ(error, TLG_ERROR_INVALID_ARGUMENT);
  tlg_encode_options_init(&bad);
  bad.tag_count = 1;
  Encode(Opaque(), TLG_RGBA8, &bad, &error);
  EXPECT_EQ(error, TLG_ERROR_INVALID_ARGUMENT);
  void* out = nullptr;
  size_t size = 0;
  const Bytes pixels(16, 0);
  EXPECT_EQ(tlg_encode(pixels.data(), 2, 2, 7, TLG_RGBA8, nullptr, &out, &size), TLG_ERROR_INVALID_ARGUMENT);
  EXPECT_EQ(tlg_encode(nullptr, 2, 2, 8, TLG_RGBA8, nullptr, &out, &size), TLG_ERROR_INVALID_ARGUMENT);
  EXPECT_EQ(tlg_encode(pixels.data(), 2, 2, 8, TLG_RGBA8, nullptr, nullptr, &size), TLG_ERROR_INVALID_ARGUMENT);
}

TEST(LibTlg, DamagedTagsKeepTheEntriesBeforeTheDamage) {
  const auto pairs = TagsToDamage();
  std::vector<tlg_tag> tags;
  for (const auto& [key, value] : pairs) tags.push_back({key.c_str(), key.size(), value.c_str(), value.size()});
  tlg_encode_options options;
  tlg_encode_options_init(&options);
  options.tags = tags.data();
  options.tag_count = tags.size();
  tlg_error error;
  const auto damaged = DamagedTagsFiles(Encode(Sprite(), TLG_RGBA8, &options, &error));
  ASSERT_EQ(damaged.size(), 4u);
  for (const DamagedTagsFile& file : damaged) {
    SCOPED_TRACE(file.what);
    tlg_info info;
    ASSERT_EQ(tlg_read_info(file.bytes.data(), file.bytes.size(), &info), TLG_OK);
    EXPECT_EQ(info.has_tags, 1);
    EXPECT_EQ(DecodeAlloc(file.bytes, TLG_RGBA8, &error), Expected(Sprite(), TLG_RGBA8));
    EXPECT_EQ(error, TLG_OK);
    tlg_tag* read = nullptr;
    size_t count = 0;
    ASSERT_EQ(tlg_read_tags(file.bytes.data(), file.bytes.size(), &read, &count), TLG_OK);
    ASSERT_EQ(count, 1u);
    EXPECT_STREQ(read[0].key, kKeptTagKey);
    EXPECT_STREQ(read[0].value, kKeptTagValue);
    tlg_free(read);
  }
}

TEST(LibTlg, Files) {
  const Sample sample = Samples()[2];
  TempFile file(sample.file, "-\xE7\x94\xBB.tlg");  // a name outside any Western code page
  const std::string path = std::filesystem::path(file.widePath()).u8string();
#ifdef _WIN32
  const auto* widePath = reinterpret_cast<const wchar_t*>(file.widePath().c_str());
  tlg_info wideInfo;
  ASSERT_EQ(tlg_read_info_file_w(widePath, &wideInfo), TLG_OK);
  EXPECT_EQ(wideInfo.width, sample.image->width);
#endif
  tlg_info info;
  ASSERT_EQ(tlg_read_info_file(path.c_str(), &info), TLG_OK);
  EXPECT_EQ(info.kind, TLG_KIND_WRAPPED);
  void* pixels = nullptr;
  ASSERT_EQ(tlg_decode_file_alloc(path.c_str(), TLG_BGRA8, nullptr, &pixels, &info), TLG_OK);
  const auto* bytes = static_cast<const uint8_t*>(pixels);
  EXPECT_EQ(Bytes(bytes, bytes + info.width * info.height * 4), Expected(*sample.image, TLG_BGRA8));
  tlg_free(pixels);
  tlg_tag* tags = nullptr;
  size_t count = 0;
  ASSERT_EQ(tlg_read_tags_file(path.c_str(), &tags, &count), TLG_OK);
  EXPECT_EQ(count, 1u);
  tlg_free(tags);
  EXPECT_EQ(tlg_decode_file_alloc((path + ".missing").c_str(), TLG_BGRA8, nullptr, &pixels, &info),
            TLG_ERROR_IO);
  EXPECT_EQ(pixels, nullptr);
  EXPECT_EQ(tlg_read_info_file(nullptr, &info), TLG_ERROR_INVALID_ARGUMENT);

  // Written whole or not at all; an existing file is replaced.
  const Bytes pixelsIn = Expected(Sprite(), TLG_RGBA8);
  TempFile target(Bytes{1, 2, 3});
  ASSERT_EQ(tlg_encode_file(target.path().c_str(), pixelsIn.data(), Sprite().width, Sprite().height,
                            Sprite().width * 4, TLG_RGBA8, nullptr), TLG_OK);
  tlg_error error;
  EXPECT_EQ(DecodeAlloc(ReadWholeFile(target.path()), TLG_RGBA8, &error), pixelsIn);
  const std::string nowhere = target.path() + ".missing-folder/picture.tlg";
  EXPECT_EQ(tlg_encode_file(nowhere.c_str(), pixelsIn.data(), Sprite().width, Sprite().height,
                            Sprite().width * 4, TLG_RGBA8, nullptr), TLG_ERROR_IO);
  // A failed encode leaves the old file and no temporary one.
  EXPECT_EQ(tlg_encode_file(target.path().c_str(), pixelsIn.data(), Sprite().width, Sprite().height,
                            1, TLG_RGBA8, nullptr), TLG_ERROR_INVALID_ARGUMENT);
  EXPECT_EQ(DecodeAlloc(ReadWholeFile(target.path()), TLG_RGBA8, &error), pixelsIn);
}

}  // namespace
