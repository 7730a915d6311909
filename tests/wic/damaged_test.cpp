// Damaged, hostile and foreign files: the right HRESULT, no crash, and
// nothing left behind, through the factory and through the decoder itself.
#include <gtest/gtest.h>

#include <cstring>

#include "tests/wic/wic_support.h"
#include <psapi.h>  // after <windows.h>
#include "wic/guids.h"

namespace {

// Our decoder without the factory: Initialize, then one row of the frame (the
// pixels are decoded when first asked for).
HRESULT DecodeRowWithOurs(IWICImagingFactory* factory, const std::vector<uint8_t>& file) {
  Com<IWICBitmapDecoder> decoder;
  HRESULT hr = factory->CreateDecoder(tlg_wic::kContainerFormat, nullptr, decoder.out());
  Com<IStream> stream;
  if (SUCCEEDED(hr)) hr = MakeStream(file, &stream);
  if (SUCCEEDED(hr)) hr = decoder->Initialize(stream.get(), WICDecodeMetadataCacheOnDemand);
  Com<IWICBitmapFrameDecode> frame;
  if (SUCCEEDED(hr)) hr = decoder->GetFrame(0, frame.out());
  UINT width = 0, height = 0;
  if (SUCCEEDED(hr)) hr = frame->GetSize(&width, &height);
  std::vector<uint8_t> row(size_t(width) * 4 + 1);
  const WICRect last = {0, INT(height) - 1, INT(width), 1};
  for (int twice = 0; twice < 2 && SUCCEEDED(hr); ++twice) {
    hr = frame->CopyPixels(&last, width * 4, UINT(row.size()), row.data());
  }
  return hr;
}

HRESULT ThroughFactory(IWICImagingFactory* factory, const std::vector<uint8_t>& file) {
  std::vector<uint8_t> pixels;
  return DecodeThroughFactory(factory, file, &pixels);
}

// The header's width and height fields: the picture's own size, side by side.
size_t SizeFieldOffset(const std::vector<uint8_t>& file, uint32_t width, uint32_t height) {
  for (size_t i = 0; i + 8 <= 64 && i + 8 <= file.size(); ++i) {
    uint32_t w, h;
    std::memcpy(&w, &file[i], 4);
    std::memcpy(&h, &file[i + 4], 4);
    if (w == width && h == height) return i;
  }
  return 0;
}

// Memory committed to the process (Wine reports no PrivateUsage).
size_t CommittedBytes() {
  PROCESS_MEMORY_COUNTERS counters = {};
  GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters);
  return counters.PagefileUsage;
}

TEST(WicDamaged, EachFailureHasItsOwnHresult) {
  ComScope com;
  Com<IWICImagingFactory> factory;
  ASSERT_HRESULT_SUCCEEDED(MakeFactory(&factory));
  const TestImage image = MakeTestImage(ImagePattern::kNoise, 300, 200, 9, false);
  for (tlg_kind kind : {TLG_KIND_TLG5, TLG_KIND_TLG6}) {
    for (bool wrap : {false, true}) {
      SCOPED_TRACE(testing::Message() << "kind " << kind << (wrap ? " wrapped" : ""));
      const auto file = EncodeTlg(image, kind, wrap);
      const auto truncated = std::vector<uint8_t>(file.begin(), file.begin() + file.size() / 2);
      EXPECT_EQ(ThroughFactory(factory.get(), truncated), WINCODEC_ERR_BADIMAGE);
      EXPECT_EQ(DecodeRowWithOurs(factory.get(), truncated), WINCODEC_ERR_BADIMAGE);
      const std::vector<uint8_t> signatureOnly(file.begin(), file.begin() + 11);
      EXPECT_EQ(ThroughFactory(factory.get(), signatureOnly), WINCODEC_ERR_BADIMAGE);

      const size_t sizeAt = SizeFieldOffset(file, 300, 200);
      ASSERT_NE(sizeAt, 0u);
      auto huge = file;
      const uint32_t side = 1u << 16;  // 2^32 pixels: over the limit
      std::memcpy(&huge[sizeAt], &side, 4);
      std::memcpy(&huge[sizeAt + 4], &side, 4);
      EXPECT_EQ(ThroughFactory(factory.get(), huge), WINCODEC_ERR_IMAGESIZEOUTOFRANGE);
      auto badColours = file;
      badColours[wrap ? 11 + 4 + 11 : 11] = 2;  // the colour count: 3 or 4 only
      EXPECT_EQ(ThroughFactory(factory.get(), badColours), WINCODEC_ERR_BADHEADER);
    }
  }
  const std::vector<uint8_t> notTlg = {'T', 'L', 'G', '7', '.', '0', 0, 'r', 'a', 'w', 0x1a, 4, 1, 0, 0, 0};
  EXPECT_EQ(ThroughFactory(factory.get(), notTlg), WINCODEC_ERR_COMPONENTNOTFOUND);
  EXPECT_EQ(DecodeRowWithOurs(factory.get(), notTlg), WINCODEC_ERR_UNKNOWNIMAGEFORMAT);
  EXPECT_EQ(DecodeRowWithOurs(factory.get(), {}), WINCODEC_ERR_UNKNOWNIMAGEFORMAT);
  EXPECT_TRUE(DecoderDllHasNoObjects());
}

TEST(WicDamaged, FailuresLeakNothing) {
  ComScope com;
  Com<IWICImagingFactory> factory;
  ASSERT_HRESULT_SUCCEEDED(MakeFactory(&factory));
  const TestImage image = MakeTestImage(ImagePattern::kGradient, 1000, 1000, 2, true);
  const auto file = EncodeTlg(image, TLG_KIND_TLG6, false);
  // Cut late: the whole picture's memory is taken before the decode fails.
  const auto truncated = std::vector<uint8_t>(file.begin(), file.end() - 16);
  ASSERT_EQ(ThroughFactory(factory.get(), truncated), WINCODEC_ERR_BADIMAGE);
  const size_t before = CommittedBytes();
  constexpr int kRounds = 40;  // 4 MB of pixels each: a leak shows as 160 MB or more
  for (int i = 0; i < kRounds; ++i) {
    ASSERT_EQ(ThroughFactory(factory.get(), truncated), WINCODEC_ERR_BADIMAGE);
    ASSERT_EQ(DecodeRowWithOurs(factory.get(), truncated), WINCODEC_ERR_BADIMAGE);
  }
  EXPECT_LT(CommittedBytes(), before + (16u << 20));
  EXPECT_TRUE(DecoderDllHasNoObjects());
}

}  // namespace
