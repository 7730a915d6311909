// Picture files for the command-line tool: PNG (through libpng) and PAM.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

// 32-bit pixels 0xAARRGGBB, top row first.
struct Picture {
  uint32_t width = 0;
  uint32_t height = 0;
  std::vector<uint32_t> pixels;
};

// A text chunk of a PNG file.
struct PngText {
  std::string keyword;            // Latin-1, 1 to 79 bytes
  std::string translatedKeyword;  // iTXt only (UTF-8)
  std::string text;               // UTF-8 for iTXt, Latin-1 for tEXt and zTXt
  bool utf8 = true;               // an iTXt chunk (written: always)
};

// Which text chunks ReadPng keeps, by keyword (not NUL-terminated).
typedef bool (*PngTextFilter)(const char* keyword, size_t length);

bool IsOpaque(const Picture& picture);

// Opens a file for reading; on failure, null and "cannot open (reason)".
std::FILE* OpenForReading(const std::string& path, std::string& error);

// Each returns false with a one-line reason in `error`.
//
// Any PNG is read, and its samples are taken as they are: no gamma, colour
// space or ICC profile changes them. Palettes, tRNS, grey and 1, 2 and 4-bit
// samples are expanded exactly; a 16-bit sample v becomes the 8-bit
// (v * 255 + 32767) / 65535, the nearest. The text chunks (tEXt, zTXt,
// iTXt) whose keyword `keep` accepts go into `texts`, in file order.
bool ReadPng(const std::string& path, Picture& picture, std::string& error,
             std::vector<PngText>* texts = nullptr, PngTextFilter keep = nullptr);
// RGB when every alpha is 0xFF, RGBA otherwise, 8 bits, marked sRGB; each of
// `texts` as an iTXt chunk before the image data (keywords must be valid).
bool WritePng(const std::string& path, const Picture& picture, std::string& error,
              const std::vector<PngText>& texts = {});
// Netpbm PAM, RGB_ALPHA, MAXVAL 255.
bool WritePam(const std::string& path, const Picture& picture, std::string& error);
