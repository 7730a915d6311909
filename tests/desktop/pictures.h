// Pictures for the desktop integration tests: made by libtlg's encoder, with
// the pixels the tlg tool decodes as the reference.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "tlg/tlg.h"

typedef std::vector<uint8_t> Bytes;

// Bytes R, G, B, A per pixel, top row first.
struct Rgba {
  size_t width = 0;
  size_t height = 0;
  Bytes pixels;
};

// Smooth ramps under a little noise; with alpha, a ramp from clear to opaque.
Rgba MakeRgba(size_t width, size_t height, bool alpha, uint32_t seed);

// Tags (key, value), written in this order, imply a wrapper.
typedef std::vector<std::pair<std::string, std::string>> Tags;
Bytes Encode(const Rgba& picture, tlg_kind kind, bool wrap, const Tags& tags = {});

Bytes ReadFile(const std::string& path);
void WriteFile(const std::string& path, const Bytes& bytes);

// A fresh folder under the test's working folder.
std::string MakeTempDir(const std::string& name);

// What `tlg decode FILE -o OUT.pam` writes, read back; false when the tool fails.
bool ToolDecode(const std::string& tlg_file, Rgba* out);

// A set of TLG files to read: the bundled samples and encoder-made pictures
// of each kind, with and without alpha, written into dir.
struct TestFile {
  std::string name;
  std::string path;
  unsigned colours;
};
std::vector<TestFile> TestFiles(const std::string& dir);

// The file cut at length; a raw TLG5 file with its header's width set.
Bytes Truncated(const Bytes& file, size_t length);
Bytes Tlg5WithWidth(const Bytes& file, uint32_t width);
