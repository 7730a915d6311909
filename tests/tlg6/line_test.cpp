#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

#include "tests/tlg6/lane_model.h"
#include "tlg/tlg6/tlg6_line.h"

namespace {

using lane_model::Pack;

TEST(Tlg6Line, WorkedExamples) {
  const std::vector<uint32_t> previous(3, 0xFF000000);
  const std::vector<uint32_t> residuals = {Pack(5, 10, 20, 0), Pack(1, 2, 3, 0),
                                           Pack(250, 0, 10, 0)};
  const uint8_t average1 = 3;
  std::vector<uint32_t> row(3);
  ReconstructTlg6Line(previous.data(), row.data(), 3, 1, &average1, 8, residuals.data(), 0xFF000000,
                      0, 1);
  EXPECT_EQ(row, (std::vector<uint32_t>{Pack(15, 10, 30, 255), Pack(11, 7, 20, 255),
                                        Pack(0, 4, 20, 255)}));
  ReconstructTlg6Line(previous.data(), row.data(), 3, 1, &average1, 8, residuals.data(), 0xFF000000,
                      0, 0);
  EXPECT_EQ(row, (std::vector<uint32_t>{Pack(250, 0, 10, 255), Pack(128, 2, 10, 255),
                                        Pack(79, 11, 35, 255)}));

  // Start block 1 takes its neighbours from column 7 of both lines.
  std::vector<uint32_t> above(16), current(16), entries(16);
  above[7] = Pack(95, 40, 210, 255);
  above[8] = Pack(100, 50, 200, 255);
  current[7] = Pack(90, 60, 180, 255);
  entries[8] = Pack(1, 2, 3, 0);
  const uint8_t median4[2] = {0, 8};
  ReconstructTlg6Line(above.data(), current.data(), 16, 1, 2, median4, 8, entries.data(),
                      0x12345678, 0, 1);
  EXPECT_EQ(current[8], Pack(99, 66, 189, 255));
}

// A block of one colour with nothing coded hands the next block the pixel
// above-left of it, which the median of that block's first pixel needs: here
// it differs from the pixel to the left.
TEST(Tlg6Line, FlatBlockHandsOnItsNeighbours) {
  const uint32_t v = Pack(10, 20, 30, 255);
  std::vector<uint32_t> above(24, v), residuals(24, 0), expected(24), got(24);
  above[7] = Pack(200, 0, 0, 255);
  residuals[7] = Pack(66, 20, 30, 0);  // back to v
  above[16] = Pack(0, 0, 200, 255);
  const uint8_t median[3] = {0, 0, 0};
  lane_model::ReconstructLine(above.data(), expected.data(), 24, 0, 3, median, 8, residuals.data(),
                              v, 0, 1);
  ReconstructTlg6Line(above.data(), got.data(), 24, 3, median, 8, residuals.data(), v, 0, 1);
  EXPECT_EQ(got, expected);
}

using LineFunction = void (*)(const uint32_t*, uint32_t*, int32_t, int32_t, int32_t,
                             const uint8_t*, int32_t, const uint32_t*, uint32_t, int32_t,
                             uint32_t);

// Every filter loop, both reading directions (flags 0-3), odd and even blocks
// and rows, whole and partial blocks, later start blocks, invalid filter
// types and areas of one colour with nothing coded, in the calls the decoder
// makes, against the per-lane model.
void ExpectLaneModel(LineFunction reconstruct) {
  std::mt19937 random(5);
  std::vector<int> seen(32, 0);
  for (int trial = 0; trial < 4000; ++trial) {
    const int width = 1 + random() % 45, blocks = (width + 7) / 8, whole = width / 8,
              partial = width % 8;
    const int rows = 1 + random() % 8, yy = random() % rows;
    std::vector<uint32_t> previous(width), start(width), residuals(8 * rows * blocks);
    for (auto* v : {&previous, &start, &residuals}) {
      for (auto& p : *v) p = random();
    }
    std::vector<uint8_t> filterTypes(blocks);
    for (auto& f : filterTypes) {
      f = static_cast<uint8_t>(random() % 100 == 0 ? 32 + random() % 224 : random() % 32);
      if (f < 32) ++seen[f];
    }
    uint32_t initial = random();
    if (trial % 3 == 0) {
      // One colour above and nothing coded, but for a pixel or two at the
      // edges of blocks and perhaps an entry.
      initial = random() % 2 ? 0 : initial;
      std::fill(previous.begin(), previous.end(), initial);
      std::fill(residuals.begin(), residuals.end(), 0);
      for (int i = random() % 3; i > 0; --i) {
        previous[std::min(width - 1, 8 * static_cast<int>(random() % blocks) +
                                         (random() % 2 ? 0 : 7))] = random();
      }
      if (random() % 2) residuals[random() % residuals.size()] = random();
    }
    const uint32_t direction = random() % 4;
    std::vector<uint32_t> expected(start), got(start);
    const auto both = [&](int from, int to, const uint32_t* at) {
      lane_model::ReconstructLine(previous.data(), expected.data(), width, from, to,
                                  filterTypes.data(), 8 * rows, at, initial, rows - 1 - 2 * yy,
                                  direction);
      reconstruct(previous.data(), got.data(), width, from, to, filterTypes.data(), 8 * rows, at,
                  initial, rows - 1 - 2 * yy, direction);
    };
    if (whole > 0) both(random() % (whole + 1), whole, residuals.data() + yy * 8);
    if (partial > 0) both(whole, blocks, residuals.data() + yy * partial);
    ASSERT_EQ(got, expected) << "trial " << trial;
    // The ten-argument form starts at block 0.
    if (whole > 0) {
      std::vector<uint32_t> ten(start), model(start);
      ReconstructTlg6Line(previous.data(), ten.data(), width, whole, filterTypes.data(), 8 * rows,
                          residuals.data() + yy * 8, initial, rows - 1 - 2 * yy, direction);
      lane_model::ReconstructLine(previous.data(), model.data(), width, 0, whole,
                                  filterTypes.data(), 8 * rows, residuals.data() + yy * 8, initial,
                                  rows - 1 - 2 * yy, direction);
      ASSERT_EQ(ten, model) << "trial " << trial;
    }
  }
  for (int f = 0; f < 32; ++f) EXPECT_GT(seen[f], 100) << f;
}

TEST(Tlg6Line, MatchesTheLaneModel) {
  ExpectLaneModel(static_cast<LineFunction>(ReconstructTlg6Line));
}

// The path for processors without SSE2, wherever the tests run.
TEST(Tlg6Line, PortablePathMatchesTheLaneModel) { ExpectLaneModel(ReconstructTlg6LinePortable); }

// Two rows at once give exactly what two calls one after the other give,
// from any start block, stopping both at an invalid filter type.
TEST(Tlg6Line, PairMatchesTwoSingleRows) {
  std::mt19937 random(9);
  for (int trial = 0; trial < 3000; ++trial) {
    const int width = 1 + random() % 45, blocks = (width + 7) / 8;
    const int rows = 2 + random() % 7, yy = random() % (rows - 1);
    std::vector<uint32_t> previous(width), first(width), second(width), residuals(8 * rows * blocks);
    for (auto* v : {&previous, &first, &second, &residuals}) {
      for (auto& p : *v) p = random();
    }
    std::vector<uint8_t> filterTypes(blocks);
    for (auto& f : filterTypes) f = static_cast<uint8_t>(random() % 50 == 0 ? 32 : random() % 32);
    const int from = random() % blocks, to = from + 1 + random() % (blocks - from);
    const int partial = to == blocks && width % 8 ? width % 8 : 8;
    const uint32_t initial = random();
    const uint32_t* at = residuals.data() + yy * partial;
    const uint32_t* below = residuals.data() + (yy + 1) * partial;
    const uint32_t direction = random() % 4;

    std::vector<uint32_t> expected1(first), expected2(second);
    ReconstructTlg6Line(previous.data(), expected1.data(), width, from, to, filterTypes.data(),
                        8 * rows, at, initial, rows - 1 - 2 * yy, direction);
    ReconstructTlg6Line(expected1.data(), expected2.data(), width, from, to, filterTypes.data(),
                        8 * rows, below, initial, rows - 3 - 2 * yy, direction ^ 1);
    const Tlg6Row pair[2] = {Tlg6Row{first.data(), at, rows - 1 - 2 * yy, direction},
                             Tlg6Row{second.data(), below, rows - 3 - 2 * yy, direction ^ 1}};
    ReconstructTlg6Rows(previous.data(), pair, 2, width, from, to, filterTypes.data(), 8 * rows,
                        initial);
    ASSERT_EQ(first, expected1) << "trial " << trial;
    ASSERT_EQ(second, expected2) << "trial " << trial;
  }
}

}  // namespace
