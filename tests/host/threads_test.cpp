// The real plug-in DLL asked for pictures from several threads at once, as a
// viewer making thumbnails does: every answer must equal the one-thread one.
#include <gtest/gtest.h>
#include <windows.h>

#include <thread>
#include <vector>

#include "plugin/plugin_api.h"
#include "tests/support/tlg_samples.h"

namespace {

typedef int(WINAPI* GetPictureFn)(LPCSTR, LONG_PTR, unsigned, HLOCAL*, HLOCAL*, ProgressCallback,
                                  LONG_PTR);

struct Answer {
  int code = -99;
  std::vector<uint8_t> pixels;
  bool operator==(const Answer& other) const { return code == other.code && pixels == other.pixels; }
};

Answer Ask(GetPictureFn getPicture, const std::vector<uint8_t>& file) {
  Answer answer;
  HLOCAL info = nullptr, bits = nullptr;
  answer.code = getPicture(reinterpret_cast<LPCSTR>(file.data()), static_cast<LONG_PTR>(file.size()), 1,
                           &info, &bits, nullptr, 0);
  if (answer.code == 0) {
    const auto* pixels = static_cast<const uint8_t*>(LocalLock(bits));
    answer.pixels.assign(pixels, pixels + LocalSize(bits));
    LocalUnlock(bits);
    LocalFree(info);
    LocalFree(bits);
  }
  return answer;
}

TEST(PluginThreads, AnswersMatchOneThread) {
  HMODULE module = LoadLibraryA(TLG_PLUGIN_NAME);
  ASSERT_NE(module, nullptr);
  const auto getPicture =
      reinterpret_cast<GetPictureFn>(reinterpret_cast<void*>(GetProcAddress(module, "GetPicture")));
  ASSERT_NE(getPicture, nullptr);

  std::vector<std::vector<uint8_t>> files;
  const TestImage photo = MakeTestImage(ImagePattern::kGradient, 160, 120, 4, true);
  const TestImage sprite = MakeTestImage(ImagePattern::kSprite, 90, 70, 6, false);
  for (const auto& file : {EncodeTestImage(TlgKind::kTlg5, sprite), EncodeTestImage(TlgKind::kTlg6, photo),
                           WrappedSample(TlgKind::kTlg6, sprite, {{"title", "Sprite"}})}) {
    files.push_back(file);
    std::vector<uint8_t> damaged = file;
    damaged[damaged.size() / 2] ^= 0x5A;
    files.push_back(damaged);
    files.emplace_back(file.begin(), file.begin() + file.size() / 2);
  }
  std::vector<Answer> alone;
  for (const auto& file : files) alone.push_back(Ask(getPicture, file));
  EXPECT_EQ(alone[0].code, 0);
  EXPECT_EQ(alone[3].code, 0);
  EXPECT_EQ(alone[6].code, 0);

  constexpr int kThreads = 6;
  std::vector<int> mismatches(kThreads, 0);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      for (int round = 0; round < 4; ++round) {
        for (size_t k = 0; k < files.size(); ++k) {
          const size_t i = (k + static_cast<size_t>(t)) % files.size();
          if (!(Ask(getPicture, files[i]) == alone[i])) ++mismatches[t];
        }
      }
    });
  }
  for (auto& thread : threads) thread.join();
  for (int t = 0; t < kThreads; ++t) EXPECT_EQ(mismatches[t], 0) << "thread " << t;
  FreeLibrary(module);
}

}  // namespace
