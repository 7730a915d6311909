// Runs against the real Windows API under Wine and against our stand-in
// natively, so that the two behave alike.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "stream/binary_stream.h"
#include "tests/support/temp_file.h"

namespace {

std::vector<uint8_t> Counting(uint32_t size) {
  std::vector<uint8_t> bytes(size);
  for (uint32_t i = 0; i < size; ++i) bytes[i] = static_cast<uint8_t>(i * 7);
  return bytes;
}

HANDLE OpenForReading(const std::string& path) {
  return CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                     nullptr);
}

// True when nobody holds the file open.
bool NobodyHoldsOpen(const std::string& path) {
#ifdef _WIN32
  // Opening it without sharing succeeds only when no other handle is open.
  HANDLE exclusive =
      CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  if (exclusive == INVALID_HANDLE_VALUE) return false;
  CloseHandle(exclusive);
  return true;
#else
  // The stand-in knows no sharing: look for a descriptor on the file instead.
  const auto target = std::filesystem::canonical(path);
  for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
    std::error_code error;
    const auto linked = std::filesystem::read_symlink(entry.path(), error);
    if (!error && linked == target) return false;
  }
  return true;
#endif
}

TEST(HandleStream, ReadsSeeksAndShortReads) {
  const auto data = Counting(100);
  TempFile file(data);
  tHandleStream stream(file.path().c_str(), GENERIC_READ);
  uint8_t buffer[16] = {};
  EXPECT_EQ(stream.Read(buffer, 4), 4u);
  EXPECT_EQ(buffer[3], data[3]);
  EXPECT_EQ(Tell(stream), 4u);
  EXPECT_EQ(stream.Seek(-10, kSeekEnd), 90u);
  EXPECT_EQ(stream.Read(buffer, 16), 10u) << "a read at the end comes up short";
  EXPECT_EQ(buffer[9], data[99]);
  EXPECT_EQ(stream.Read(buffer, 16), 0u);
  EXPECT_EQ(stream.Seek(3, 9), 3u) << "unknown origin counts from the start";
  EXPECT_EQ(stream.Seek(5, kSeekCurrent), 8u);
  uint32_t value = 0;
  ASSERT_TRUE(ReadUInt32LE(stream, value));
  EXPECT_EQ(value, data[8] | data[9] << 8 | data[10] << 16 | static_cast<uint32_t>(data[11]) << 24);
  EXPECT_EQ(SeekTo(stream, 98), 98u);
  EXPECT_FALSE(ReadExact(stream, buffer, 4));
  EXPECT_EQ(Tell(stream), 100u) << "the two bytes that came are consumed";
}

TEST(HandleStream, PositionsAreSixtyFourBitsWide) {
  TempFile file(Counting(16));
  tHandleStream stream(file.path().c_str(), GENERIC_READ);
  const uint64_t beyondEnd = 0x140000010ULL;  // past 4 GiB, and past the end of the file
  EXPECT_EQ(SeekTo(stream, beyondEnd), beyondEnd);
  EXPECT_EQ(Tell(stream), beyondEnd);
  uint8_t byte = 0;
  EXPECT_EQ(stream.Read(&byte, 1), 0u);
  EXPECT_EQ(SeekTo(stream, 1), 1u);
  EXPECT_EQ(stream.Seek(-5, kSeekBegin), 0u) << "a seek before the start fails";
}

TEST(HandleStream, FailedOpenGivesAnEmptyStream) {
  tHandleStream stream("no-such-dir/no-such-file.tlg", GENERIC_READ);
  uint8_t buffer[4] = {};
  uint32_t value = 77;
  EXPECT_EQ(Tell(stream), 0u);
  EXPECT_EQ(stream.Seek(10, kSeekBegin), 0u);
  EXPECT_EQ(stream.Read(buffer, 4), 0u);
  EXPECT_EQ(stream.Write(buffer, 4), 0u);
  EXPECT_FALSE(ReadExact(stream, buffer, 4));
  EXPECT_FALSE(ReadUInt32LE(stream, value));
  EXPECT_EQ(value, 77u);
}

TEST(HandleStream, ClosesOnlyTheHandlesItOpened) {
  const auto data = Counting(32);
  TempFile file(data);
  {
    tHandleStream owner(file.path().c_str(), GENERIC_READ);
    uint8_t byte = 0;
    EXPECT_EQ(owner.Read(&byte, 1), 1u);
    EXPECT_FALSE(NobodyHoldsOpen(file.path()));
  }
  EXPECT_TRUE(NobodyHoldsOpen(file.path()));

  HANDLE borrowed = OpenForReading(file.path());
  ASSERT_NE(borrowed, INVALID_HANDLE_VALUE);
  {
    tHandleStream stream(borrowed);
    uint8_t head[11];
    EXPECT_TRUE(ReadExact(stream, head, 11));
  }
  // Still open, and the position is where the stream left it.
  uint8_t next = 0;
  DWORD got = 0;
  ASSERT_TRUE(ReadFile(borrowed, &next, 1, &got, nullptr));
  EXPECT_EQ(got, 1u);
  EXPECT_EQ(next, data[11]);
  EXPECT_TRUE(CloseHandle(borrowed));
}

TEST(HandleStream, WritingCreatesAndTruncates) {
  TempFile file(Counting(50));
  {
    tHandleStream stream(file.path().c_str(), GENERIC_WRITE);
    const uint8_t bytes[3] = {1, 2, 3};
    EXPECT_EQ(stream.Write(bytes, 3), 3u);
  }
  EXPECT_EQ(ReadWholeFile(file.path()), (std::vector<uint8_t>{1, 2, 3}));
}

}  // namespace
