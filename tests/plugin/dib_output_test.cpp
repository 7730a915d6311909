#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <vector>

#include "plugin/dib_output.h"

namespace {

struct ProgressLog {
  std::vector<std::vector<LONG_PTR>> calls;
  int stopAtRow = -1;
};


int WINAPI RecordProgress(int row, int rowCount, LONG_PTR data) {
  auto* log = reinterpret_cast<ProgressLog*>(data);
  log->calls.push_back({row, rowCount, data});
  return row == log->stopAtRow ? 1 : 0;
}

TEST(DibOutput, HeaderAndBottomUpRows) {
  ProgressLog log;
  DibOutput dib = MakeDibOutput(RecordProgress, reinterpret_cast<LONG_PTR>(&log));
  ASSERT_TRUE(DibSizeCallback(&dib, 2, 3));
  ASSERT_NE(dib.infoHandle, nullptr);
  ASSERT_NE(dib.lockedPixels, nullptr);
  EXPECT_EQ(LocalSize(dib.pixelHandle), 24u);

  const auto* header = static_cast<const BITMAPINFOHEADER*>(LocalLock(dib.infoHandle));
  ASSERT_NE(header, nullptr);
  EXPECT_EQ(header->biSize, 40u);
  EXPECT_EQ(header->biWidth, 2);
  EXPECT_EQ(header->biHeight, 3);
  EXPECT_EQ(header->biPlanes, 1);
  EXPECT_EQ(header->biBitCount, 32);
  EXPECT_EQ(header->biCompression, 0u);
  EXPECT_EQ(header->biSizeImage, 0u);
  EXPECT_EQ(header->biXPelsPerMeter, 0);
  EXPECT_EQ(header->biYPelsPerMeter, 0);
  EXPECT_EQ(header->biClrUsed, 0u);
  EXPECT_EQ(header->biClrImportant, 0u);
  LocalUnlock(dib.infoHandle);

  EXPECT_EQ(DibScanLineCallback(&dib, 0), dib.lockedPixels + 16);
  EXPECT_EQ(DibScanLineCallback(&dib, 1), dib.lockedPixels + 8);
  EXPECT_EQ(DibScanLineCallback(&dib, 2), dib.lockedPixels + 0);
  EXPECT_EQ(DibScanLineCallback(&dib, -1), nullptr);
  EXPECT_EQ(DibScanLineCallback(&dib, 3), nullptr) << "no row past the height";
  const LONG_PTR data = reinterpret_cast<LONG_PTR>(&log);
  EXPECT_EQ(log.calls, (std::vector<std::vector<LONG_PTR>>{{0, 3, data}, {1, 3, data}, {2, 3, data}}));

  HLOCAL info = nullptr, pixels = nullptr;
  HandOverDib(dib, &info, &pixels);
  EXPECT_EQ(dib.infoHandle, nullptr);
  EXPECT_EQ(dib.pixelHandle, nullptr);
  ReleaseDib(dib);  // nothing left to free
  EXPECT_EQ(LocalFree(info), nullptr);
  EXPECT_EQ(LocalFree(pixels), nullptr);
}

// The block comes from the host's heap uncleared: rows a decoder skips or
// never gets must be 0 when the host gets the block, and rows already
// written must keep their pixels.
TEST(DibOutput, RowsNeverShowOldHeap) {
  constexpr int kStride = 8, kRows = 5;
  const auto rowAt = [](const uint8_t* block, int row) {
    return std::vector<uint8_t>(block + (kRows - 1 - row) * kStride,
                                block + (kRows - row) * kStride);
  };
  const std::vector<uint8_t> cleared(kStride, 0), written(kStride, 0x11);
  DibOutput dib = MakeDibOutput(nullptr, 0);
  ASSERT_TRUE(AllocateDib(dib, 2, kRows));
  std::memset(dib.lockedPixels, 0xCD, kStride * kRows);

  auto* row0 = static_cast<uint8_t*>(DibScanLineCallback(&dib, 0));
  ASSERT_NE(row0, nullptr);
  std::memset(row0, 0x11, kStride);
  EXPECT_EQ(DibScanLineCallback(&dib, -1), nullptr);
  auto* row2 = static_cast<uint8_t*>(DibScanLineCallback(&dib, 2));  // row 1 skipped
  ASSERT_NE(row2, nullptr);
  EXPECT_EQ(rowAt(dib.lockedPixels, 0), written);
  EXPECT_EQ(rowAt(dib.lockedPixels, 1), cleared);
  std::memset(row2, 0x11, kStride);
  ASSERT_NE(DibScanLineCallback(&dib, 2), nullptr);  // asked again: kept
  EXPECT_EQ(rowAt(dib.lockedPixels, 2), written);

  HLOCAL info = nullptr, pixels = nullptr;
  HandOverDib(dib, &info, &pixels);
  const auto* block = static_cast<const uint8_t*>(LocalLock(pixels));
  ASSERT_NE(block, nullptr);
  EXPECT_EQ(rowAt(block, 0), written);
  EXPECT_EQ(rowAt(block, 2), written);
  EXPECT_EQ(rowAt(block, 3), cleared) << "rows never answered";
  EXPECT_EQ(rowAt(block, 4), cleared);
  LocalUnlock(pixels);
  EXPECT_EQ(LocalFree(info), nullptr);
  EXPECT_EQ(LocalFree(pixels), nullptr);
}

TEST(DibOutput, HostStopAndNoProgressCallback) {
  ProgressLog log;
  log.stopAtRow = 1;
  DibOutput dib = MakeDibOutput(RecordProgress, reinterpret_cast<LONG_PTR>(&log));
  ASSERT_TRUE(AllocateDib(dib, 4, 4));
  EXPECT_NE(DibScanLineCallback(&dib, 0), nullptr);
  EXPECT_EQ(DibScanLineCallback(&dib, 1), nullptr);
  ReleaseDib(dib);
  EXPECT_EQ(dib.infoHandle, nullptr);
  EXPECT_EQ(dib.pixelHandle, nullptr);
  EXPECT_EQ(dib.lockedPixels, nullptr);

  DibOutput quiet = MakeDibOutput(nullptr, 0);
  ASSERT_TRUE(AllocateDib(quiet, 4, 4));
  for (int row = 0; row < 4; ++row) EXPECT_NE(DibScanLineCallback(&quiet, row), nullptr);
  ReleaseDib(quiet);
}

TEST(DibOutput, RefusesSizesThatDoNotFit) {
  const uint32_t sizes[][2] = {
      {0x40000000, 1},   // width x 4 overflows 32 bits
      {0x10000, 0x10000},  // the block overflows 32 bits
      {0x80000000u, 0},  // width does not fit the header's signed field
      {1, 0x80000000u},
  };
  for (const auto& size : sizes) {
    DibOutput dib = MakeDibOutput(nullptr, 0);
    EXPECT_FALSE(AllocateDib(dib, size[0], size[1])) << size[0] << " x " << size[1];
    EXPECT_EQ(dib.infoHandle, nullptr);
    EXPECT_EQ(dib.pixelHandle, nullptr);
  }
  // An empty image asks for a zero-byte block, which cannot be locked.
  DibOutput empty = MakeDibOutput(nullptr, 0);
  EXPECT_FALSE(AllocateDib(empty, 0, 5));
  EXPECT_EQ(empty.infoHandle, nullptr);
  EXPECT_EQ(empty.pixelHandle, nullptr);
}

}  // namespace
