#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "tlg/tlg5/tlg5_compose.h"
#include "tlg/tlg5/tlg5_decoder.h"

namespace {

// One composition implementation: the one the decoder uses, or the portable one.
struct Composer {
  void (*firstRow)(uint32_t*, const uint8_t* const*, uint32_t, uint32_t);
  void (*row3)(uint32_t*, const uint32_t*, const uint8_t*, const uint8_t*, const uint8_t*,
               uint32_t);
  void (*row4)(uint32_t*, const uint32_t*, const uint8_t*, const uint8_t*, const uint8_t*,
               const uint8_t*, uint32_t);
};

// Channel by channel: blue and red carry green's sum too; the row above
// (zeros for the top row) is added modulo 256; 3 planes give alpha 0xFF.
std::vector<uint32_t> ModelRow(const std::vector<uint32_t>* above,
                               const std::vector<std::vector<uint8_t>>& planes) {
  const size_t width = planes[0].size();
  std::vector<uint32_t> row(width);
  unsigned sum[4] = {0, 0, 0, 0};
  for (size_t x = 0; x < width; ++x) {
    const unsigned g = planes[1][x];
    sum[0] += planes[0][x] + g;
    sum[1] += g;
    sum[2] += planes[2][x] + g;
    if (planes.size() == 4) sum[3] += planes[3][x];
    uint32_t pixel = 0;
    for (int lane = 0; lane < 4; ++lane) {
      const unsigned up = above ? ((*above)[x] >> (8 * lane)) & 0xFF : 0;
      unsigned value = (up + sum[lane]) & 0xFF;
      if (lane == 3 && planes.size() == 3) value = 0xFF;
      pixel |= static_cast<uint32_t>(value) << (8 * lane);
    }
    row[x] = pixel;
  }
  return row;
}

// Widths around the vector step, random planes and rows above, in place too.
void ExpectModel(const Composer& c) {
  std::mt19937 random(11);
  for (uint32_t width = 0; width <= 70; ++width) {
    for (uint32_t colours : {3u, 4u}) {
      std::vector<std::vector<uint8_t>> planes(colours, std::vector<uint8_t>(width));
      for (auto& plane : planes) {
        for (auto& byte : plane) byte = static_cast<uint8_t>(random());
      }
      const uint8_t* pointers[4] = {};
      for (uint32_t i = 0; i < colours; ++i) pointers[i] = planes[i].data();
      std::vector<uint32_t> above(width);
      for (auto& pixel : above) pixel = random();

      std::vector<uint32_t> first(width, 0x12345678);
      c.firstRow(first.data(), pointers, colours, width);
      ASSERT_EQ(first, ModelRow(nullptr, planes)) << width << " " << colours;

      std::vector<uint32_t> row(above);  // destination equals previous
      if (colours == 3) {
        c.row3(row.data(), row.data(), pointers[0], pointers[1], pointers[2], width);
      } else {
        c.row4(row.data(), row.data(), pointers[0], pointers[1], pointers[2], pointers[3], width);
      }
      ASSERT_EQ(row, ModelRow(&above, planes)) << width << " " << colours;
    }
  }
}

TEST(Tlg5Compose, MatchesTheChannelModel) {
  ExpectModel(Composer{ComposeTlg5FirstRow, ComposeTlg5Row3, ComposeTlg5Row4});
}

// The path for processors without SSE2, wherever the tests run.
TEST(Tlg5Compose, PortablePathMatchesTheChannelModel) {
  ExpectModel(
      Composer{ComposeTlg5FirstRowPortable, ComposeTlg5Row3Portable, ComposeTlg5Row4Portable});
}

}  // namespace
