// Damaged files as a viewer meets them: every cut of representative files,
// through memory and through a named file.
#include <gtest/gtest.h>

#include <vector>

#include "plugin/entry_points.h"
#include "tests/support/temp_file.h"
#include "tests/support/tlg_samples.h"
#include "tlg/tlg_format.h"

namespace {

const HLOCAL kUntouched = reinterpret_cast<HLOCAL>(static_cast<intptr_t>(0x7A7A));

struct Sample {
  const char* name;
  std::vector<uint8_t> file;
  size_t imageEnd;  // where the image ends: cuts at or after it still complete
};

std::vector<Sample> Samples() {
  const auto sprite = MakeTestImage(ImagePattern::kSprite, 13, 11, 4, false);
  const auto opaque = MakeTestImage(ImagePattern::kGradient, 9, 10, 2, true);
  const auto tlg5 = EncodeTestImage(TlgKind::kTlg5, sprite);
  const auto tlg6 = EncodeTestImage(TlgKind::kTlg6, opaque);
  return {
      {"tlg5", tlg5, tlg5.size()},
      {"tlg6", tlg6, tlg6.size()},
      {"wrapped", WrappedSample(TlgKind::kTlg6, sprite, {{"title", "x"}}),
       kTlg0HeaderSize + EncodeTestImage(TlgKind::kTlg6, sprite).size()},
  };
}

int Decode(const std::vector<uint8_t>& bytes, bool fromFile, HLOCAL& info, HLOCAL& pixels) {
  if (!fromFile) {
    return GetPicture(reinterpret_cast<LPCSTR>(bytes.data()), static_cast<LONG_PTR>(bytes.size()), 1,
                      &info, &pixels, nullptr, 0);
  }
  TempFile temp(bytes);
  return GetPicture(temp.path().c_str(), 0, 0, &info, &pixels, nullptr, 0);
}

TEST(MalformedFiles, EveryCutFailsCleanlyOrCompletesTheImage) {
  for (const auto& sample : Samples()) {
    for (bool fromFile : {false, true}) {
      for (size_t size = 0; size < sample.file.size(); ++size) {
        const std::vector<uint8_t> cut(sample.file.begin(), sample.file.begin() + size);
        HLOCAL info = kUntouched, pixels = kUntouched;
        const int code = Decode(cut, fromFile, info, pixels);
        SCOPED_TRACE(std::string(sample.name) + (fromFile ? " file" : " memory") + " cut at " +
                     std::to_string(size));
        if (size < sample.imageEnd) {
          ASSERT_EQ(code, kSpiDecodeFailed);
          EXPECT_EQ(info, kUntouched);
          EXPECT_EQ(pixels, kUntouched);
        } else {
          ASSERT_EQ(code, kSpiSuccess) << "only the chunks were cut";
          LocalFree(info);
          LocalFree(pixels);
        }
      }
    }
  }
}

TEST(MalformedFiles, EveryByteFlippedStaysWithinTheContract) {
  for (const auto& sample : Samples()) {
    for (size_t at = 0; at < sample.file.size(); ++at) {
      auto damaged = sample.file;
      damaged[at] ^= 0xA5;
      HLOCAL info = kUntouched, pixels = kUntouched;
      const int code = Decode(damaged, false, info, pixels);
      if (code == kSpiSuccess) {
        EXPECT_NE(info, kUntouched);
        LocalFree(info);
        LocalFree(pixels);
      } else {
        EXPECT_TRUE(code == kSpiDecodeFailed || code == kSpiStopped) << code;
        EXPECT_EQ(info, kUntouched);
        EXPECT_EQ(pixels, kUntouched);
      }
    }
  }
}

TEST(MalformedFiles, AnEmptyImageCannotBeHandedOver) {
  // A zero-byte pixel block cannot be locked, which counts as memory not had.
  const auto empty = MakeTestImage(ImagePattern::kFlat, 0, 5, 1, true);
  for (TlgKind kind : {TlgKind::kTlg5, TlgKind::kTlg6}) {
    const auto file = EncodeTestImage(kind, empty);
    HLOCAL info = kUntouched, pixels = kUntouched;
    EXPECT_EQ(Decode(file, false, info, pixels), kSpiStopped);
    EXPECT_EQ(info, kUntouched);
    PictureInfo picture;
    EXPECT_EQ(GetPictureInfo(reinterpret_cast<LPCSTR>(file.data()), static_cast<LONG_PTR>(file.size()), 1,
                             &picture), kSpiSuccess);
    EXPECT_EQ(picture.width, 0);
    EXPECT_EQ(picture.height, 5);
  }
}

}  // namespace
