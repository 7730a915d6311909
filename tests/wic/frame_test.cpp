// A frame's pixels: rectangles, strides, the errors that protect the
// caller's buffer, and the conversions and scaling a thumbnail goes through.
#include <gtest/gtest.h>

#include <cstring>

#include "tests/wic/wic_support.h"

namespace {

constexpr UINT kWidth = 41, kHeight = 23;

class WicFrame : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_HRESULT_SUCCEEDED(MakeFactory(&factory_));
    file_ = EncodeTlg(MakeTestImage(ImagePattern::kAlphaRamp, kWidth, kHeight, 3, false), TLG_KIND_TLG6, false);
    expected_ = ReferenceBgra(file_);
    ASSERT_HRESULT_SUCCEEDED(MakeStream(file_, &stream_));
    ASSERT_HRESULT_SUCCEEDED(factory_->CreateDecoderFromStream(stream_.get(), nullptr,
                                                               WICDecodeMetadataCacheOnLoad, decoder_.out()));
    ASSERT_HRESULT_SUCCEEDED(decoder_->GetFrame(0, frame_.out()));
  }
  const uint8_t* Pixel(UINT x, UINT y) const { return &expected_[(size_t(y) * kWidth + x) * 4]; }

  ComScope com_;
  Com<IWICImagingFactory> factory_;
  std::vector<uint8_t> file_, expected_;
  Com<IStream> stream_;
  Com<IWICBitmapDecoder> decoder_;
  Com<IWICBitmapFrameDecode> frame_;
};

TEST_F(WicFrame, CopiesRectanglesIntoPaddedRowsAndLeavesThePaddingAlone) {
  constexpr uint8_t kFill = 0xCD;
  const WICRect rect = {5, 7, 13, 9};
  const UINT stride = 13 * 4 + 11;
  std::vector<uint8_t> buffer(stride * 9 + 16, kFill);
  const UINT needed = stride * 8 + 13 * 4;
  ASSERT_HRESULT_SUCCEEDED(frame_->CopyPixels(&rect, stride, needed, buffer.data()));
  for (UINT y = 0; y < 9; ++y) {
    EXPECT_EQ(std::memcmp(&buffer[y * stride], Pixel(5, 7 + y), 13 * 4), 0) << "row " << y;
    for (UINT b = 13 * 4; b < stride; ++b) ASSERT_EQ(buffer[y * stride + b], kFill) << "row " << y;
  }

  // Each refusal writes nothing at all.
  std::vector<uint8_t> untouched(buffer.size(), kFill);
  const WICRect outside[] = {{-1, 0, 2, 2}, {0, 0, kWidth + 1, 1}, {kWidth - 2, 0, 3, 1},
                             {0, kHeight, 1, 1}, {0, 0, -1, 1}, {0x7FFFFFFF, 0, 2, 1}};
  for (const WICRect& r : outside) {
    std::fill(buffer.begin(), buffer.end(), kFill);
    EXPECT_EQ(frame_->CopyPixels(&r, stride, UINT(buffer.size()), buffer.data()), E_INVALIDARG)
        << r.X << "," << r.Y << " " << r.Width << "x" << r.Height;
    EXPECT_EQ(buffer, untouched);
  }
  EXPECT_EQ(frame_->CopyPixels(&rect, 13 * 4 - 1, UINT(buffer.size()), buffer.data()), E_INVALIDARG);
  EXPECT_EQ(frame_->CopyPixels(&rect, stride, needed - 1, buffer.data()), WINCODEC_ERR_INSUFFICIENTBUFFER);
  EXPECT_EQ(frame_->CopyPixels(nullptr, kWidth * 4, kWidth * 4 * kHeight - 1, buffer.data()),
            WINCODEC_ERR_INSUFFICIENTBUFFER);
  EXPECT_EQ(frame_->CopyPixels(&rect, stride, needed, nullptr), E_INVALIDARG);
  EXPECT_EQ(buffer, untouched);
}

TEST_F(WicFrame, ConvertsToTheFormatsProgramsAskFor) {
  Com<IWICBitmapSource> bgr;
  ASSERT_HRESULT_SUCCEEDED(WICConvertBitmapSource(GUID_WICPixelFormat24bppBGR, frame_.get(), bgr.out()));
  std::vector<uint8_t> rows(kWidth * 3 * kHeight);
  ASSERT_HRESULT_SUCCEEDED(bgr->CopyPixels(nullptr, kWidth * 3, UINT(rows.size()), rows.data()));
  Com<IWICBitmapSource> premultiplied;
  ASSERT_HRESULT_SUCCEEDED(
      WICConvertBitmapSource(GUID_WICPixelFormat32bppPBGRA, frame_.get(), premultiplied.out()));
  std::vector<uint8_t> pbgra(kWidth * 4 * kHeight);
  ASSERT_HRESULT_SUCCEEDED(premultiplied->CopyPixels(nullptr, kWidth * 4, UINT(pbgra.size()), pbgra.data()));
  int wrongBgr = 0, wrongPremultiplied = 0;
  for (UINT i = 0; i < kWidth * kHeight; ++i) {
    const uint8_t* p = &expected_[i * 4];
    if (std::memcmp(&rows[i * 3], p, 3) != 0) ++wrongBgr;
    for (int c = 0; c < 3; ++c) {
      if (std::abs(int(pbgra[i * 4 + c]) - int(p[c]) * p[3] / 255) > 1) ++wrongPremultiplied;
    }
    if (pbgra[i * 4 + 3] != p[3]) ++wrongPremultiplied;
  }
  EXPECT_EQ(wrongBgr, 0);
  EXPECT_EQ(wrongPremultiplied, 0);
}

TEST(WicScaler, ScalesToAThumbnailOfTheRightColours) {
  // Four flat quarters: any way of scaling keeps each corner's colour.
  constexpr UINT kSide = 600, kHalf = kSide / 2;
  const uint32_t kQuarters[4] = {0xFF2040C0, 0xFFE0A020, 0xFF10C060, 0xFF7F7F7F};
  TestImage image;
  image.width = kSide;
  image.height = kHalf;
  for (UINT y = 0; y < kHalf; ++y) {
    for (UINT x = 0; x < kSide; ++x) image.pixels.push_back(kQuarters[(y >= kHalf / 2) * 2 + (x >= kHalf)]);
  }
  ComScope com;
  Com<IWICImagingFactory> factory;
  ASSERT_HRESULT_SUCCEEDED(MakeFactory(&factory));
  Com<IStream> stream;
  ASSERT_HRESULT_SUCCEEDED(MakeStream(EncodeTlg(image, TLG_KIND_TLG5, false), &stream));
  Com<IWICBitmapDecoder> decoder;
  ASSERT_HRESULT_SUCCEEDED(
      factory->CreateDecoderFromStream(stream.get(), nullptr, WICDecodeMetadataCacheOnDemand, decoder.out()));
  Com<IWICBitmapFrameDecode> frame;
  ASSERT_HRESULT_SUCCEEDED(decoder->GetFrame(0, frame.out()));
  Com<IWICBitmapScaler> scaler;
  ASSERT_HRESULT_SUCCEEDED(factory->CreateBitmapScaler(scaler.out()));
  ASSERT_HRESULT_SUCCEEDED(scaler->Initialize(frame.get(), 256, 128, WICBitmapInterpolationModeFant));
  UINT width = 0, height = 0;
  std::vector<uint8_t> thumbnail;
  ASSERT_HRESULT_SUCCEEDED(CopyWhole(scaler.get(), &width, &height, &thumbnail));
  ASSERT_EQ(width, 256u);
  ASSERT_EQ(height, 128u);
  const UINT corners[4][2] = {{0, 0}, {255, 0}, {0, 127}, {255, 127}};
  for (int q = 0; q < 4; ++q) {
    uint32_t pixel;
    std::memcpy(&pixel, &thumbnail[(corners[q][1] * 256 + corners[q][0]) * 4], 4);
    EXPECT_EQ(pixel, kQuarters[q]) << "corner " << q;
  }
}

}  // namespace
