#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "tests/tlg6/lane_model.h"
#include "tlg/tlg6/tlg6_line.h"

namespace {

using lane_model::Pack;

constexpr uint32_t kOpaque = 0xFF000000;

TEST(Tlg6Line, WorkedExampleBothDirections) {
  const std::vector<uint32_t> previous(3, kOpaque);
  const std::vector<uint32_t> residuals = {Pack(5, 10, 20, 0), Pack(1, 2, 3, 0), Pack(250, 0, 10, 0)};
  const uint8_t filterType = 3;  // average predictor, transform 1
  std::vector<uint32_t> row(3, 0);
  ReconstructTlg6Line(previous.data(), row.data(), 3, 1, &filterType, 8, residuals.data(), kOpaque,
                      0, 1);
  EXPECT_EQ(row, (std::vector<uint32_t>{Pack(15, 10, 30, 255), Pack(11, 7, 20, 255),
                                        Pack(0, 4, 20, 255)}));
  ReconstructTlg6Line(previous.data(), row.data(), 3, 1, &filterType, 8, residuals.data(), kOpaque,
                      0, 0);
  EXPECT_EQ(row, (std::vector<uint32_t>{Pack(250, 0, 10, 255), Pack(128, 2, 10, 255),
                                        Pack(79, 11, 35, 255)}));
}

TEST(Tlg6Line, LaterStartBlockCarriesOnFromTheColumnBefore) {
  std::vector<uint32_t> previous(16, 0), current(16, 0), residuals(16, 0);
  previous[7] = Pack(95, 40, 210, 255);  // upper-left
  previous[8] = Pack(100, 50, 200, 255);  // above
  current[7] = Pack(90, 60, 180, 255);    // left
  residuals[8] = Pack(1, 2, 3, 0);
  const uint8_t filterTypes[2] = {0, 8};  // block 1: median, transform 4
  ReconstructTlg6Line(previous.data(), current.data(), 16, 1, 2, filterTypes, 8, residuals.data(),
                      0x12345678, 0, 1);
  EXPECT_EQ(current[8], Pack(99, 66, 189, 255));
  EXPECT_EQ(current[7], Pack(90, 60, 180, 255));
}

TEST(Tlg6Line, InvalidFilterTypeLeavesTheRestUnwritten) {
  const std::vector<uint32_t> previous(16, 0), residuals(16, 0x01010101);
  std::vector<uint32_t> current(16, 0xDEADBEEF);
  const uint8_t filterTypes[2] = {0, 32};
  ReconstructTlg6Line(previous.data(), current.data(), 16, 2, filterTypes, 8, residuals.data(), 0,
                      0, 1);
  for (int x = 0; x < 8; ++x) EXPECT_NE(current[x], 0xDEADBEEF) << x;
  for (int x = 8; x < 16; ++x) EXPECT_EQ(current[x], 0xDEADBEEF) << x;
  // Nothing at all when start block is not below end block.
  std::vector<uint32_t> untouched(16, 0xDEADBEEF);
  ReconstructTlg6Line(previous.data(), untouched.data(), 16, 1, 1, filterTypes, 8, residuals.data(),
                      0, 0, 1);
  EXPECT_EQ(untouched, std::vector<uint32_t>(16, 0xDEADBEEF));
}

TEST(Tlg6Line, ZeroAlphaResidualsKeepAnOpaqueImageOpaque) {
  std::mt19937 random(3);
  const int width = 37, blocks = 5;
  std::vector<uint32_t> previous(width, kOpaque), current(width);
  std::vector<uint8_t> filterTypes(blocks);
  std::vector<uint32_t> residuals(8 * 8 * blocks);
  for (int y = 0; y < 16; ++y) {
    for (auto& f : filterTypes) f = static_cast<uint8_t>(random() % 32);
    for (auto& r : residuals) r = random() & 0x00FFFFFF;
    ReconstructTlg6Line(previous.data(), current.data(), width, 0, 4, filterTypes.data(), 64,
                        residuals.data() + (y % 8) * 8, kOpaque, 7 - 2 * (y % 8), ~y & 1);
    ReconstructTlg6Line(previous.data(), current.data(), width, 4, 5, filterTypes.data(), 64,
                        residuals.data() + (y % 8) * 5, kOpaque, 7 - 2 * (y % 8), ~y & 1);
    for (int x = 0; x < width; ++x) ASSERT_EQ(current[x] >> 24, 0xFFu) << x << "," << y;
    previous.swap(current);
  }
}

// Every filter loop, both reading directions, odd and even blocks and rows,
// whole and partial blocks, later start blocks and invalid filter types,
// against the per-lane model.
TEST(Tlg6Line, MatchesTheLaneModel) {
  std::mt19937 random(5);
  std::vector<int> seen(32, 0);
  for (int trial = 0; trial < 4000; ++trial) {
    const int width = 1 + static_cast<int>(random() % 45);
    const int blocks = (width + 7) / 8, whole = width / 8, partial = width % 8;
    const int rows = 1 + static_cast<int>(random() % 8);
    const int yy = static_cast<int>(random() % rows);
    std::vector<uint32_t> previous(width), start(width), residuals(8 * rows * blocks);
    for (auto& p : previous) p = random();
    for (auto& p : start) p = random();
    for (auto& r : residuals) r = random();
    std::vector<uint8_t> filterTypes(blocks);
    for (auto& f : filterTypes) {
      f = static_cast<uint8_t>(random() % 100 == 0 ? 32 + random() % 224 : random() % 32);
      if (f < 32) ++seen[f];
    }
    const uint32_t initial = random();
    const uint32_t direction = random() % 4;
    const int oddOffset = rows - 1 - 2 * yy;
    const int firstBlock = whole > 0 ? static_cast<int>(random() % (whole + 1)) : 0;

    std::vector<uint32_t> expected(start), got(start);
    const auto both = [&](int from, int to, const uint32_t* residualStart) {
      lane_model::ReconstructLine(previous.data(), expected.data(), width, from, to,
                                  filterTypes.data(), 8 * rows, residualStart, initial, oddOffset,
                                  direction);
      ReconstructTlg6Line(previous.data(), got.data(), width, from, to, filterTypes.data(),
                          8 * rows, residualStart, initial, oddOffset, direction);
    };
    if (whole > 0) both(firstBlock, whole, residuals.data() + yy * 8);
    if (partial > 0) both(whole, blocks, residuals.data() + yy * partial);
    ASSERT_EQ(got, expected) << "trial " << trial << " width " << width << " rows " << rows
                             << " yy " << yy << " direction " << direction;
  }
  for (int f = 0; f < 32; ++f) EXPECT_GT(seen[f], 100) << f;
}

TEST(Tlg6Line, TenArgumentFormStartsAtBlockZero) {
  std::mt19937 random(8);
  std::vector<uint32_t> previous(20), residuals(8 * 8 * 3);
  for (auto& p : previous) p = random();
  for (auto& r : residuals) r = random();
  const uint8_t filterTypes[3] = {5, 18, 31};
  std::vector<uint32_t> eleven(20, 0), ten(20, 0);
  ReconstructTlg6Line(previous.data(), eleven.data(), 20, 0, 2, filterTypes, 64,
                      residuals.data() + 24, 0xFF000000, -1, 0);
  ReconstructTlg6Line(previous.data(), ten.data(), 20, 2, filterTypes, 64, residuals.data() + 24,
                      0xFF000000, -1, 0);
  EXPECT_EQ(ten, eleven);
  EXPECT_NE(ten[0], 0u);
}

}  // namespace
