// Decodes from 8 threads at once, through the C interface and through
// GetPicture, of well-formed and damaged TLG5, TLG6 and wrapped files; every
// result must equal the one decode on a single thread gives. Built under
// ThreadSanitizer by scripts/test.sh, where any race fails the run.
#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "plugin/dib_output.h"
#include "plugin/entry_points.h"
#include "tests/support/libtlg_encode.h"
#include "tlg/tlg.h"

namespace {

typedef std::vector<uint8_t> Bytes;

Bytes Encode(tlg_kind kind, bool wrap, size_t width, size_t height, uint32_t seed) {
  Bytes pixels(width * height * 4);
  for (size_t i = 0; i < pixels.size(); ++i) {
    seed = seed * 1664525u + 1013904223u;
    pixels[i] = static_cast<uint8_t>((i / 4 % width) * 3 + (seed >> 29));  // ramps with a little noise
  }
  const Bytes file = EncodeRgba8(pixels, width, height, kind, wrap);
  EXPECT_FALSE(file.empty());
  return file;
}

// Well-formed files, and each cut short and with bytes changed here and there.
std::vector<Bytes> Inputs() {
  std::vector<Bytes> inputs;
  const Bytes sound[] = {Encode(TLG_KIND_TLG5, false, 67, 45, 1), Encode(TLG_KIND_TLG6, false, 140, 90, 2),
                         Encode(TLG_KIND_TLG6, true, 53, 31, 3), Encode(TLG_KIND_TLG5, true, 20, 70, 4)};
  for (const Bytes& file : sound) {
    inputs.push_back(file);
    inputs.emplace_back(file.begin(), file.begin() + file.size() * 2 / 3);
    for (size_t at = 11; at < file.size(); at += file.size() / 5) {
      Bytes damaged = file;
      damaged[at] ^= 0x33;
      inputs.push_back(damaged);
    }
  }
  return inputs;
}

struct Result {
  int code = 0;
  Bytes pixels;
  bool operator==(const Result& other) const { return code == other.code && pixels == other.pixels; }
};

Result DecodeThroughC(const Bytes& file) {
  tlg_options options;
  tlg_options_init(&options);
  options.max_pixels = 1 << 20;
  Result result;
  void* pixels = nullptr;
  tlg_info info;
  result.code = tlg_decode_alloc(file.data(), file.size(), TLG_RGBA8, &options, &pixels, &info);
  if (result.code == TLG_OK) {
    const auto* bytes = static_cast<const uint8_t*>(pixels);
    result.pixels.assign(bytes, bytes + info.width * info.height * 4);
  }
  tlg_free(pixels);
  return result;
}

Result DecodeThroughPlugin(const Bytes& file) {
  Result result;
  HLOCAL info = nullptr, bits = nullptr;
  result.code = GetPicture(reinterpret_cast<LPCSTR>(file.data()), static_cast<LONG_PTR>(file.size()), 1,
                           &info, &bits, nullptr, 0);
  if (result.code == kSpiSuccess) {
    const auto* pixels = static_cast<const uint8_t*>(LocalLock(bits));
    result.pixels.assign(pixels, pixels + LocalSize(bits));
    LocalUnlock(bits);
    LocalFree(info);
    LocalFree(bits);
  }
  return result;
}

TEST(Threads, DecodesMatchOneThread) {
  const std::vector<Bytes> inputs = Inputs();
  std::vector<Result> alone;
  for (const Bytes& file : inputs) {
    alone.push_back(DecodeThroughC(file));
    alone.push_back(DecodeThroughPlugin(file));
  }
  int successes = 0;
  for (const Result& r : alone) successes += r.code == 0;
  ASSERT_GE(successes, 8);  // the well-formed files at least, both ways
  ASSERT_LT(successes, static_cast<int>(alone.size()));

  constexpr int kThreads = 8;
  constexpr int kRounds = 3;
  std::vector<int> mismatches(kThreads, 0);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      for (int round = 0; round < kRounds; ++round) {
        for (size_t k = 0; k < inputs.size(); ++k) {
          const size_t i = (k + static_cast<size_t>(t) * 5) % inputs.size();  // threads out of step
          if (!(DecodeThroughC(inputs[i]) == alone[2 * i])) ++mismatches[t];
          if (!(DecodeThroughPlugin(inputs[i]) == alone[2 * i + 1])) ++mismatches[t];
        }
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  for (int t = 0; t < kThreads; ++t) EXPECT_EQ(mismatches[t], 0) << "thread " << t;
}

}  // namespace
