// The platform calls the plug-in relies on; natively these test our stand-in,
// under Wine the real thing, with the same expectations.
#include <gtest/gtest.h>

#include <cstring>

#include "platform/platform.h"

namespace {

TEST(Platform, StringCopyTruncatesAndAlwaysTerminates) {
  char buffer[8];
  std::memset(buffer, 'x', sizeof buffer);
  lstrcpynA(buffer, "*.tlg", 3);
  EXPECT_STREQ(buffer, "*.");
  EXPECT_EQ(lstrlenA(buffer), 2);
  lstrcpynA(buffer, "00IN", 8);
  EXPECT_STREQ(buffer, "00IN");
  std::memset(buffer, 'x', sizeof buffer);
  lstrcpynA(buffer, "abc", 1);
  EXPECT_EQ(buffer[0], '\0');
  EXPECT_EQ(buffer[1], 'x');
}

TEST(Platform, MovableMemoryLocksToItsBytes) {
  HLOCAL block = LocalAlloc(LMEM_MOVEABLE | LMEM_ZEROINIT, 64);
  ASSERT_NE(block, nullptr);
  auto* bytes = static_cast<unsigned char*>(LocalLock(block));
  ASSERT_NE(bytes, nullptr);
  for (int i = 0; i < 64; ++i) EXPECT_EQ(bytes[i], 0) << i;
  bytes[63] = 9;
  LocalUnlock(block);
  auto* again = static_cast<unsigned char*>(LocalLock(block));
  ASSERT_NE(again, nullptr);
  EXPECT_EQ(again[63], 9);
  LocalUnlock(block);
  EXPECT_EQ(LocalFree(block), nullptr);
}

TEST(Platform, ZeroByteMovableBlockCannotBeLocked) {
  HLOCAL block = LocalAlloc(LMEM_MOVEABLE, 0);
  ASSERT_NE(block, nullptr);
  EXPECT_EQ(LocalLock(block), nullptr);
  EXPECT_EQ(LocalFree(block), nullptr);
}

}  // namespace
