#include "tests/desktop/pictures.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <random>
#include <stdexcept>

#include "tests/support/libtlg_encode.h"
Rgba MakeRgba(size_t width, size_t height, bool alpha, uint32_t seed) {
  std::mt19937 random(seed);
  Rgba picture{width, height, Bytes(width * height * 4)};
  uint8_t* p = picture.pixels.data();
  for (size_t y = 0; y < height; y++) {
    for (size_t x = 0; x < width; x++, p += 4) {
      const uint32_t noise = random() % 8;
      p[0] = uint8_t(x * 255 / (width > 1 ? width - 1 : 1) ^ noise);
      p[1] = uint8_t(y * 255 / (height > 1 ? height - 1 : 1) + noise);
      p[2] = uint8_t((x + y) * 3 + seed);
      p[3] = alpha ? uint8_t((x * 7 + y * 3) & 0xFF) : 255;
    }
  }
  return picture;
}

Bytes Encode(const Rgba& picture, tlg_kind kind, bool wrap, const Tags& tags) {
  std::vector<tlg_tag> entries;
  for (const auto& [key, value] : tags)
    entries.push_back({key.c_str(), key.size(), value.c_str(), value.size()});
  Bytes file = EncodeRgba8(picture.pixels, picture.width, picture.height, kind, wrap, entries.data(),
                           entries.size());
  if (file.empty())
    throw std::runtime_error("tlg_encode failed");
  return file;
}

Bytes ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in)
    throw std::runtime_error("cannot read " + path);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteFile(const std::string& path, const Bytes& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
  if (!out)
    throw std::runtime_error("cannot write " + path);
}

std::string MakeTempDir(const std::string& name) {
  const std::string dir = name + ".tmp";
  std::system(("rm -rf '" + dir + "'").c_str());
  if (mkdir(dir.c_str(), 0755) != 0)
    throw std::runtime_error("cannot make " + dir);
  return dir;
}

bool ToolDecode(const std::string& tlg_file, Rgba* out) {
  // A name of this process's own: test programs that run side by side decode
  // the same samples.
  char reserved[] = "/tmp/tlg-decode-XXXXXX";
  const int fd = mkstemp(reserved);
  if (fd < 0)
    return false;
  close(fd);
  const std::string pam = std::string(reserved) + ".pam";
  const std::string command = "'" TLG_TOOL "' decode '" + tlg_file + "' -o '" + pam + "' >/dev/null";
  const bool decoded = std::system(command.c_str()) == 0;
  const Bytes file = decoded ? ReadFile(pam) : Bytes();
  std::remove(pam.c_str());
  std::remove(reserved);
  if (!decoded)
    return false;
  // P7 header: lines of "NAME value" up to ENDHDR; the tool writes RGB_ALPHA.
  const std::string text(file.begin(), file.end());
  const size_t end = text.find("ENDHDR\n");
  size_t width = 0, height = 0, depth = 0;
  if (text.compare(0, 3, "P7\n") != 0 || end == std::string::npos ||
      std::sscanf(text.c_str(), "P7 WIDTH %zu HEIGHT %zu DEPTH %zu", &width, &height, &depth) != 3 ||
      depth != 4)
    return false;
  const size_t start = end + 7;
  if (file.size() - start != width * height * 4)
    return false;
  *out = Rgba{width, height, Bytes(file.begin() + long(start), file.end())};
  return true;
}

std::vector<TestFile> TestFiles(const std::string& dir) {
  std::vector<TestFile> files = {
      {"badge-tlg6", TLG_SOURCE_DIR "/samples/badge-tlg6.tlg", 4},
      {"dusk-tlg5", TLG_SOURCE_DIR "/samples/dusk-tlg5.tlg", 3},
      {"tiles-wrapped", TLG_SOURCE_DIR "/samples/tiles-wrapped.tlg", 3},
  };
  struct Made {
    const char* name;
    tlg_kind kind;
    bool wrap;
    size_t width, height;
    bool alpha;
  };
  // Odd sizes, a single row and a single column among them.
  const Made made[] = {
      {"tlg5-alpha", TLG_KIND_TLG5, false, 37, 23, true},
      {"tlg6-alpha", TLG_KIND_TLG6, false, 41, 29, true},
      {"tlg6-opaque", TLG_KIND_TLG6, false, 70, 1, false},
      {"wrapped-tlg5-alpha", TLG_KIND_TLG5, true, 1, 19, true},
  };
  uint32_t seed = 1;
  for (const Made& m : made) {
    const std::string path = dir + "/" + m.name + ".tlg";
    WriteFile(path, Encode(MakeRgba(m.width, m.height, m.alpha, seed++), m.kind, m.wrap));
    files.push_back({m.name, path, m.alpha ? 4u : 3u});
  }
  return files;
}

Bytes Truncated(const Bytes& file, size_t length) {
  return Bytes(file.begin(), file.begin() + long(std::min(length, file.size())));
}

Bytes Tlg5WithWidth(const Bytes& file, uint32_t width) {
  Bytes patched = file;
  for (int i = 0; i < 4; i++)  // after the signature and the colour count
    patched.at(12 + i) = uint8_t(width >> (8 * i));
  return patched;
}
