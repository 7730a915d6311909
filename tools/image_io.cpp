#include "tools/image_io.h"

#include <png.h>
#include <zlib.h>

#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
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
constexpr size_t kMessageSize = 160;
// Text chunks are unpacked up to this much in all, so that a small file
// cannot demand any amount of memory.
constexpr size_t kMostTextBytes = size_t{1} << 30;
// Texts at least this long are written compressed.
constexpr size_t kCompressedTextSize = 1024;
// The largest width and height libpng is allowed; memory is checked by us.
constexpr png_uint_32 kMostSide = 0x7FFFFFFF;

// ---------------------------------------------------------------------------
// Reading. libpng reports errors by longjmp, which skips C++ destructors: the
// functions that call setjmp, and the callbacks libpng calls, touch only the
// plain data below, and everything that must be released is released by the
// caller, whichever way they return.

struct PngReadState {
  png_structp png;
  png_infop info;
  std::FILE* file;
  PngTextFilter keepText;
  // The kept text chunks: for each, its 4-byte type, its length as a size_t
  // in host order, then its data. malloc'd.
  unsigned char* chunks;
  size_t chunksSize;
  size_t chunksCapacity;
  bool cameShort;
  bool readFailed;
  int readErrno;
  bool outOfMemory;
  char message[kMessageSize];
};

// libpng's error callback for either state: keeps the message, then unwinds
// to the setjmp of the call that failed.
template <typename State>
void OnPngError(png_structp png, png_const_charp message) {
  auto* state = static_cast<State*>(png_get_error_ptr(png));
  std::snprintf(state->message, sizeof state->message, "%s", message);
  png_longjmp(png, 1);
}

void OnWarning(png_structp, png_const_charp) {}

void ReadData(png_structp png, png_bytep data, size_t length) {
  auto* state = static_cast<PngReadState*>(png_get_io_ptr(png));
  if (std::fread(data, 1, length, state->file) == length) return;
  if (std::ferror(state->file)) {
    state->readFailed = true;
    state->readErrno = errno;
  } else {
    state->cameShort = true;
  }
  png_error(png, "cut short");
}

bool IsTextChunk(const png_byte* name) {
  return std::memcmp(name, "tEXt", 4) == 0 || std::memcmp(name, "zTXt", 4) == 0 ||
         std::memcmp(name, "iTXt", 4) == 0;
}

// Every ancillary chunk but tRNS comes here (libpng is told to leave them
// alone): kept text chunks are copied out, the rest dropped. Unknown
// critical chunks go back to libpng, which stops on them.
int OnChunk(png_structp png, png_unknown_chunkp chunk) {
  auto* state = static_cast<PngReadState*>(png_get_user_chunk_ptr(png));
  if ((chunk->name[0] & 0x20) == 0) return 0;
  if (state->keepText == nullptr || !IsTextChunk(chunk->name) || chunk->size == 0) return 1;
  const void* end = std::memchr(chunk->data, 0, chunk->size);
  if (end == nullptr) return 1;  // no keyword: not a text chunk any reader takes
  const size_t keywordLength = static_cast<size_t>(static_cast<const png_byte*>(end) - chunk->data);
  if (!state->keepText(reinterpret_cast<const char*>(chunk->data), keywordLength)) return 1;

  const size_t need = 4 + sizeof(size_t) + chunk->size;
  if (state->chunksCapacity - state->chunksSize < need) {
    size_t capacity = state->chunksCapacity < 4096 ? 4096 : state->chunksCapacity;
    while (capacity - state->chunksSize < need) capacity *= 2;
    void* grown = std::realloc(state->chunks, capacity);
    if (grown == nullptr) {
      state->outOfMemory = true;
      return -1;
    }
    state->chunks = static_cast<unsigned char*>(grown);
    state->chunksCapacity = capacity;
  }
  unsigned char* out = state->chunks + state->chunksSize;
  std::memcpy(out, chunk->name, 4);
  std::memcpy(out + 4, &chunk->size, sizeof(size_t));
  std::memcpy(out + 4 + sizeof(size_t), chunk->data, chunk->size);
  state->chunksSize += need;
  return 1;
}

// Reads up to the image data and sets up the change to 8-bit BGRA rows.
bool ReadPngHeader(PngReadState& state, png_uint_32& width, png_uint_32& height, int& passes) {
  if (setjmp(png_jmpbuf(state.png))) return false;
  png_structp png = state.png;
  png_infop info = state.info;
  png_set_read_fn(png, &state, ReadData);
  png_set_sig_bytes(png, static_cast<int>(kPngSignatureSize));
  png_set_user_limits(png, kMostSide, kMostSide);
  png_set_chunk_malloc_max(png, 0);  // chunks as large as PNG allows (2 GiB)
  png_set_chunk_cache_max(png, 0);
  // A damaged chunk of any kind makes the file corrupt: none is dropped
  // quietly, least of all a text chunk that holds a tag.
  png_set_crc_action(png, PNG_CRC_ERROR_QUIT, PNG_CRC_ERROR_QUIT);
  // Ancillary chunks other than tRNS (gAMA, cHRM, sRGB, iCCP, sBIT, bKGD,
  // the text chunks, ...) go to OnChunk: none of them changes a pixel.
  png_set_keep_unknown_chunks(png, PNG_HANDLE_CHUNK_NEVER, nullptr, -1);
  png_set_read_user_chunk_fn(png, &state, OnChunk);
  png_read_info(png, info);

  png_set_expand(png);      // palette to RGB, 1/2/4-bit grey to 8, tRNS to alpha
  png_set_scale_16(png);    // (v * 255 + 32767) / 65535
  png_set_gray_to_rgb(png);
  png_set_add_alpha(png, 0xFF, PNG_FILLER_AFTER);  // only where there is none
  png_set_bgr(png);         // BGRA bytes are our little-endian 0xAARRGGBB
  passes = png_set_interlace_handling(png);
  png_read_update_info(png, info);
  if (png_get_bit_depth(png, info) != 8 || png_get_channels(png, info) != 4) {
    png_error(png, "unexpected sample layout");
  }
  width = png_get_image_width(png, info);
  height = png_get_image_height(png, info);
  return true;
}

bool ReadPngRows(PngReadState& state, png_bytep pixels, size_t stride, png_uint_32 height, int passes) {
  if (setjmp(png_jmpbuf(state.png))) return false;
  for (int pass = 0; pass < passes; ++pass) {
    for (png_uint_32 y = 0; y < height; ++y) png_read_row(state.png, pixels + y * stride, nullptr);
  }
  png_read_end(state.png, state.info);
  return true;
}

// Releases what reading holds, on every path out of ReadPng.
struct PngReadRelease {
  PngReadState& state;
  ~PngReadRelease() {
    png_destroy_read_struct(&state.png, state.info != nullptr ? &state.info : nullptr, nullptr);
    std::free(state.chunks);
  }
};

std::string ReadFailure(const PngReadState& state) {
  if (state.outOfMemory) return "too large to hold in memory";
  if (state.readFailed) return "cannot read (" + std::generic_category().message(state.readErrno) + ")";
  if (state.cameShort) return "cut short";
  const std::string message = state.message;
  if (message.find("memory") != std::string::npos) return "too large to hold in memory";
  return "corrupt (" + message + ")";
}

// Unpacks a zlib stream; false when it is damaged or unpacks to too much.
bool Inflate(const unsigned char* data, size_t size, std::string& out, size_t& budget) {
  z_stream stream;
  std::memset(&stream, 0, sizeof stream);
  if (inflateInit(&stream) != Z_OK) throw std::bad_alloc();
  struct End {
    z_stream& stream;
    ~End() { inflateEnd(&stream); }
  } end{stream};
  out.clear();
  stream.next_in = const_cast<unsigned char*>(data);
  unsigned char piece[16384];
  int status = Z_OK;
  while (status != Z_STREAM_END) {
    const size_t left = size - static_cast<size_t>(stream.next_in - data);
    stream.avail_in = static_cast<uInt>(left < (1u << 30) ? left : (1u << 30));
    stream.next_out = piece;
    stream.avail_out = sizeof piece;
    status = inflate(&stream, Z_NO_FLUSH);
    if (status == Z_MEM_ERROR) throw std::bad_alloc();
    if (status != Z_OK && status != Z_STREAM_END) return false;
    const size_t got = sizeof piece - stream.avail_out;
    if (got > budget) {
      budget = 0;
      return false;
    }
    budget -= got;
    out.append(reinterpret_cast<const char*>(piece), got);
    if (status == Z_OK && got == 0 && stream.avail_in == 0) return false;  // ends early
  }
  return true;
}

// One kept chunk's data as a text; false when it is malformed.
bool ParseText(const png_byte* type, const unsigned char* data, size_t size, PngText& text, size_t& budget) {
  const auto* end = static_cast<const unsigned char*>(std::memchr(data, 0, size));
  text.keyword.assign(reinterpret_cast<const char*>(data), static_cast<size_t>(end - data));
  const unsigned char* p = end + 1;
  const unsigned char* const last = data + size;
  if (std::memcmp(type, "tEXt", 4) == 0) {
    text.utf8 = false;
    text.text.assign(reinterpret_cast<const char*>(p), static_cast<size_t>(last - p));
    return true;
  }
  if (std::memcmp(type, "zTXt", 4) == 0) {
    text.utf8 = false;
    return p < last && *p == 0 && Inflate(p + 1, static_cast<size_t>(last - p - 1), text.text, budget);
  }
  // iTXt: compression flag, method, language\0, translated keyword\0, text.
  if (last - p < 2) return false;
  const unsigned char compressed = p[0], method = p[1];
  p += 2;
  const auto* languageEnd = static_cast<const unsigned char*>(std::memchr(p, 0, static_cast<size_t>(last - p)));
  if (languageEnd == nullptr) return false;
  p = languageEnd + 1;
  const auto* translatedEnd = static_cast<const unsigned char*>(std::memchr(p, 0, static_cast<size_t>(last - p)));
  if (translatedEnd == nullptr) return false;
  text.translatedKeyword.assign(reinterpret_cast<const char*>(p), static_cast<size_t>(translatedEnd - p));
  p = translatedEnd + 1;
  text.utf8 = true;
  if (compressed == 0) {
    text.text.assign(reinterpret_cast<const char*>(p), static_cast<size_t>(last - p));
    return true;
  }
  return compressed == 1 && method == 0 && Inflate(p, static_cast<size_t>(last - p), text.text, budget);
}

bool ParseTexts(const PngReadState& state, std::vector<PngText>& texts, std::string& error) {
  size_t budget = kMostTextBytes;
  for (size_t at = 0; at < state.chunksSize;) {
    const unsigned char* type = state.chunks + at;
    size_t size;
    std::memcpy(&size, type + 4, sizeof size);
    const unsigned char* data = type + 4 + sizeof size;
    at += 4 + sizeof size + size;
    PngText text;
    if (!ParseText(type, data, size, text, budget)) {
      error = "corrupt (" + std::string(reinterpret_cast<const char*>(type), 4) + " chunk \"" +
              std::string(reinterpret_cast<const char*>(data)) + "\" cannot be read" +
              (budget == 0 ? ", or unpacks to over 1 GiB)" : ")");
      return false;
    }
    texts.push_back(std::move(text));
  }
  return true;
}

// ---------------------------------------------------------------------------
// Writing, under the same rules as reading.

struct PngWriteState {
  png_structp png;
  png_infop info;
  std::FILE* file;
  bool writeFailed;
  int writeErrno;
  char message[kMessageSize];
};

void WriteData(png_structp png, png_bytep data, size_t length) {
  auto* state = static_cast<PngWriteState*>(png_get_io_ptr(png));
  if (std::fwrite(data, 1, length, state->file) == length) return;
  state->writeFailed = true;
  state->writeErrno = errno;
  png_error(png, "write failed");
}

void FlushData(png_structp) {}

bool WritePngFile(PngWriteState& state, const uint32_t* pixels, uint32_t width, uint32_t height, bool opaque,
                  png_textp texts, int textCount) {
  if (setjmp(png_jmpbuf(state.png))) return false;
  png_structp png = state.png;
  png_infop info = state.info;
  png_set_write_fn(png, &state, WriteData, FlushData);
  png_set_IHDR(png, info, width, height, 8, opaque ? PNG_COLOR_TYPE_RGB : PNG_COLOR_TYPE_RGB_ALPHA,
               PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_set_sRGB(png, info, PNG_sRGB_INTENT_PERCEPTUAL);
  if (textCount > 0) png_set_text(png, info, texts, textCount);
  png_write_info(png, info);
  png_set_bgr(png);
  if (opaque) png_set_filler(png, 0, PNG_FILLER_AFTER);  // drops the alpha byte
  for (uint32_t y = 0; y < height; ++y) {
    png_write_row(png, reinterpret_cast<png_const_bytep>(pixels + static_cast<size_t>(y) * width));
  }
  png_write_end(png, nullptr);
  return true;
}

struct PngWriteRelease {
  PngWriteState& state;
  ~PngWriteRelease() { png_destroy_write_struct(&state.png, state.info != nullptr ? &state.info : nullptr); }
};

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

bool ReadPng(const std::string& path, Picture& picture, std::string& error, std::vector<PngText>* texts,
             PngTextFilter keep) {
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

  PngReadState state;
  std::memset(&state, 0, sizeof state);
  state.file = file.get();
  state.keepText = texts != nullptr ? keep : nullptr;
  PngReadRelease release{state};
  state.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &state, OnPngError<PngReadState>, OnWarning);
  if (state.png != nullptr) state.info = png_create_info_struct(state.png);
  if (state.info == nullptr) {
    error = "too large to hold in memory";
    return false;
  }
  png_uint_32 width = 0, height = 0;
  int passes = 1;
  if (!ReadPngHeader(state, width, height, passes)) {
    error = ReadFailure(state);
    return false;
  }
  if (static_cast<uint64_t>(width) * height > SIZE_MAX / 8) {
    error = "too large to hold in memory";
    return false;
  }
  picture.width = width;
  picture.height = height;
  picture.pixels.assign(static_cast<size_t>(width) * height, 0);  // std::bad_alloc goes to the caller
  if (!ReadPngRows(state, reinterpret_cast<png_bytep>(picture.pixels.data()), static_cast<size_t>(width) * 4,
                   height, passes)) {
    error = ReadFailure(state);
    return false;
  }
  if (texts != nullptr) {
    texts->clear();
    if (!ParseTexts(state, *texts, error)) return false;
  }
  return true;
}

bool WritePng(const std::string& path, const Picture& picture, std::string& error, const std::vector<PngText>& texts) {
  if (picture.width == 0 || picture.height == 0) {
    error = "PNG cannot hold an empty picture (" + std::to_string(picture.width) + " x " +
            std::to_string(picture.height) + "); write PAM instead (-o NAME.pam)";
    return false;
  }
  std::vector<png_text> chunks(texts.size());
  for (size_t i = 0; i < texts.size(); ++i) {
    png_text& chunk = chunks[i];
    std::memset(&chunk, 0, sizeof chunk);
    chunk.compression =
        texts[i].text.size() >= kCompressedTextSize ? PNG_ITXT_COMPRESSION_zTXt : PNG_ITXT_COMPRESSION_NONE;
    chunk.key = const_cast<char*>(texts[i].keyword.c_str());
    chunk.text = const_cast<char*>(texts[i].text.c_str());
    chunk.lang = const_cast<char*>("");
    chunk.lang_key = const_cast<char*>(texts[i].translatedKeyword.c_str());
  }
  File file(OpenFile(path, "wb"));
  if (!file) {
    error = "cannot write " + SystemReason();
    return false;
  }
  PngWriteState state;
  std::memset(&state, 0, sizeof state);
  state.file = file.get();
  PngWriteRelease release{state};
  state.png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &state, OnPngError<PngWriteState>, OnWarning);
  if (state.png != nullptr) state.info = png_create_info_struct(state.png);
  if (state.info == nullptr) {
    error = "too large to hold in memory";
    return false;
  }
  if (!WritePngFile(state, picture.pixels.data(), picture.width, picture.height, IsOpaque(picture), chunks.data(),
                    static_cast<int>(chunks.size()))) {
    if (state.writeFailed) {
      error = "cannot write (" + std::generic_category().message(state.writeErrno) + ")";
    } else {
      error = std::string("cannot write (") + state.message + ")";
    }
    return false;
  }
  if (std::fflush(file.get()) != 0) {
    error = "cannot write " + SystemReason();
    return false;
  }
  return true;
}

bool WritePam(const std::string& path, const Picture& picture, std::string& error) {
  File file(OpenFile(path, "wb"));
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
