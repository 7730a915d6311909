// Picture files for the command-line tool: PNG (through libpng) and PAM.
#pragma once

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

bool IsOpaque(const Picture& picture);

// Opens a file for reading; on failure, null and "cannot open (reason)".
std::FILE* OpenForReading(const std::string& path, std::string& error);

// Each returns false with a one-line reason in `error`.
bool ReadPng(const std::string& path, Picture& picture, std::string& error);
// RGB when every alpha is 0xFF, RGBA otherwise.
bool WritePng(const std::string& path, const Picture& picture, std::string& error);
// Netpbm PAM, RGB_ALPHA, MAXVAL 255.
bool WritePam(const std::string& path, const Picture& picture, std::string& error);
