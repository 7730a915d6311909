// Registered with ThreadingModel "Both": decoders on many threads at once,
// and many threads copying from one frame, all equal to one thread's answer.
#include <gtest/gtest.h>

#include <thread>

#include "tests/wic/wic_support.h"

namespace {

TEST(WicThreads, EightDecodersAtOnceMatchOneThread) {
  std::vector<std::vector<uint8_t>> files;
  const TestImage photo = MakeTestImage(ImagePattern::kGradient, 160, 120, 4, true);
  const TestImage sprite = MakeTestImage(ImagePattern::kSprite, 90, 70, 6, false);
  files.push_back(EncodeTlg(photo, TLG_KIND_TLG6, false));
  files.push_back(EncodeTlg(sprite, TLG_KIND_TLG5, true));
  files.push_back(std::vector<uint8_t>(files[0].begin(), files[0].begin() + files[0].size() / 2));
  struct Answer {
    HRESULT hr;
    std::vector<uint8_t> pixels;
  };
  std::vector<Answer> alone;
  {
    ComScope com;
    Com<IWICImagingFactory> factory;
    ASSERT_HRESULT_SUCCEEDED(MakeFactory(&factory));
    for (const auto& file : files) {
      Answer answer;
      answer.hr = DecodeThroughFactory(factory.get(), file, &answer.pixels);
      alone.push_back(answer);
    }
  }
  ASSERT_HRESULT_SUCCEEDED(alone[0].hr);
  ASSERT_HRESULT_SUCCEEDED(alone[1].hr);
  EXPECT_EQ(alone[0].pixels, ReferenceBgra(files[0]));
  EXPECT_EQ(alone[2].hr, WINCODEC_ERR_BADIMAGE);

  constexpr int kThreads = 8;
  std::vector<int> mismatches(kThreads, 0);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      ComScope com;
      Com<IWICImagingFactory> factory;
      if (FAILED(MakeFactory(&factory))) {
        ++mismatches[t];
        return;
      }
      for (int round = 0; round < 6; ++round) {
        const size_t i = size_t(t + round) % files.size();
        std::vector<uint8_t> pixels;
        const HRESULT hr = DecodeThroughFactory(factory.get(), files[i], &pixels);
        if (hr != alone[i].hr || (SUCCEEDED(hr) && pixels != alone[i].pixels)) ++mismatches[t];
      }
    });
  }
  for (auto& thread : threads) thread.join();
  for (int t = 0; t < kThreads; ++t) EXPECT_EQ(mismatches[t], 0) << "thread " << t;
}

TEST(WicThreads, FourThreadsShareOneFrame) {
  ComScope com;
  Com<IWICImagingFactory> factory;
  ASSERT_HRESULT_SUCCEEDED(MakeFactory(&factory));
  const auto file = EncodeTlg(MakeTestImage(ImagePattern::kSprite, 257, 191, 8, false), TLG_KIND_TLG6, true);
  const auto expected = ReferenceBgra(file);
  Com<IStream> stream;
  ASSERT_HRESULT_SUCCEEDED(MakeStream(file, &stream));
  Com<IWICBitmapDecoder> decoder;
  ASSERT_HRESULT_SUCCEEDED(
      factory->CreateDecoderFromStream(stream.get(), nullptr, WICDecodeMetadataCacheOnDemand, decoder.out()));
  Com<IWICBitmapFrameDecode> frame;
  ASSERT_HRESULT_SUCCEEDED(decoder->GetFrame(0, frame.out()));
  IWICBitmapFrameDecode* shared = frame.get();

  constexpr int kThreads = 4;
  std::vector<int> mismatches(kThreads, 0);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      for (int round = 0; round < 50; ++round) {
        // Whole pictures and single rows, in turn.
        const bool whole = (round + t) % 2 == 0;
        const INT row = (round * 7 + t * 13) % 191;
        const WICRect rect = {0, whole ? 0 : row, 257, whole ? 191 : 1};
        std::vector<uint8_t> pixels(size_t(rect.Width) * rect.Height * 4);
        if (FAILED(shared->CopyPixels(&rect, 257 * 4, UINT(pixels.size()), pixels.data())) ||
            !std::equal(pixels.begin(), pixels.end(), expected.begin() + size_t(rect.Y) * 257 * 4)) {
          ++mismatches[t];
        }
      }
    });
  }
  for (auto& thread : threads) thread.join();
  for (int t = 0; t < kThreads; ++t) EXPECT_EQ(mismatches[t], 0) << "thread " << t;
}

}  // namespace
