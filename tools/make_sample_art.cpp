// Draws the pictures behind the bundled samples, so that everything we ship
// is our own: a landscape at dusk, a round badge on a transparent ground, and
// a tiled pattern with sharp edges.
//
//   make_sample_art DIR     writes DIR/dusk.png, DIR/badge.png, DIR/tiles.png
#include <cmath>
#include <cstdio>
#include <string>

#include "tools/image_io.h"

namespace {

uint32_t Pack(double b, double g, double r, double a = 255) {
  auto byte = [](double v) { return static_cast<uint32_t>(v < 0 ? 0 : v > 255 ? 255 : std::lround(v)); };
  return byte(b) | byte(g) << 8 | byte(r) << 16 | byte(a) << 24;
}

Picture Dusk(uint32_t width, uint32_t height) {
  Picture p{width, height, std::vector<uint32_t>(static_cast<size_t>(width) * height)};
  for (uint32_t y = 0; y < height; ++y) {
    for (uint32_t x = 0; x < width; ++x) {
      const double u = static_cast<double>(x) / width, v = static_cast<double>(y) / height;
      const double hill = 0.62 + 0.08 * std::sin(u * 9.0) + 0.05 * std::sin(u * 23.0 + 1.0);
      const double sun = std::hypot(u - 0.7, v - 0.45);
      uint32_t colour;
      if (v > hill) {
        const double shade = 40 + 30 * std::sin(u * 40 + v * 30);
        colour = Pack(30 + shade * 0.3, 60 + shade, 25 + shade * 0.2);
      } else if (sun < 0.08) {
        colour = Pack(120, 220, 255);
      } else {
        const double glow = std::exp(-sun * 6) * 120;
        colour = Pack(160 - v * 120 + glow * 0.3, 80 + v * 60 + glow * 0.8, 60 + v * 150 + glow);
      }
      p.pixels[static_cast<size_t>(y) * width + x] = colour;
    }
  }
  return p;
}

Picture Badge(uint32_t size) {
  Picture p{size, size, std::vector<uint32_t>(static_cast<size_t>(size) * size)};
  const double centre = (size - 1) / 2.0, radius = size * 0.45;
  for (uint32_t y = 0; y < size; ++y) {
    for (uint32_t x = 0; x < size; ++x) {
      const double d = std::hypot(x - centre, y - centre);
      const double alpha = std::min(1.0, std::max(0.0, radius - d)) * 255;
      const double ring = d > radius * 0.8 ? 1.0 : 0.0;
      const double star = std::cos(5 * std::atan2(y - centre, x - centre)) * radius * 0.25 + radius * 0.45;
      const bool inStar = d < star;
      p.pixels[static_cast<size_t>(y) * size + x] =
          alpha == 0 ? 0
                     : Pack(inStar ? 40 : 200 - ring * 120, inStar ? 200 : 120 + ring * 60,
                            inStar ? 250 : 40 + ring * 160, alpha);
    }
  }
  return p;
}

Picture Tiles(uint32_t width, uint32_t height) {
  Picture p{width, height, std::vector<uint32_t>(static_cast<size_t>(width) * height)};
  const uint32_t palette[] = {0xFF2E4057, 0xFF66A182, 0xFFCAFFB9, 0xFFD1495B, 0xFFEDAE49};
  for (uint32_t y = 0; y < height; ++y) {
    for (uint32_t x = 0; x < width; ++x) {
      const uint32_t tile = (x / 12 + (y / 12) * 3 + ((x % 12) > (y % 12) ? 1 : 0)) % 5;
      p.pixels[static_cast<size_t>(y) * width + x] = palette[tile];
    }
  }
  return p;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_sample_art DIR\n");
    return 2;
  }
  const std::string dir = argv[1];
  const struct {
    const char* name;
    Picture picture;
  } art[] = {{"dusk.png", Dusk(240, 160)}, {"badge.png", Badge(96)}, {"tiles.png", Tiles(120, 84)}};
  for (const auto& a : art) {
    std::string error;
    if (!WritePng(dir + "/" + a.name, a.picture, error)) {
      std::fprintf(stderr, "%s: %s\n", a.name, error.c_str());
      return 1;
    }
  }
  return 0;
}
