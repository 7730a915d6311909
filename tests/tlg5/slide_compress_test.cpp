#include <gtest/gtest.h>

#include <array>
#include <random>
#include <vector>

#include "encoder/slide_compress.h"
#include "tlg/tlg5/slide_decompress.h"

namespace {

using Bytes = std::vector<uint8_t>;

// Compresses each chunk in turn and checks that the decompressor, keeping its
// dictionary and position across the calls, gives every chunk back and ends
// in the compressor's state. Returns the compressed size of the last chunk.
size_t RoundTrip(SlideCompressor& compressor, const std::vector<Bytes>& chunks) {
  std::array<uint8_t, kSlideDictionarySize> dictionary = compressor.dictionary();
  uint32_t position = compressor.position();
  size_t packedSize = 0;
  for (const auto& chunk : chunks) {
    const Bytes packed = compressor.Compress(chunk.data(), chunk.size());
    Bytes out(chunk.size());  // a stream that expands further shows as incomplete
    const SlideResult r = SlideDecompress(out.data(), static_cast<uint32_t>(out.size()), packed.data(),
                                          static_cast<uint32_t>(packed.size()), dictionary.data(),
                                          position);
    EXPECT_TRUE(r.complete);
    EXPECT_EQ(out, chunk);
    position = r.position;
    EXPECT_EQ(position, compressor.position());
    EXPECT_EQ(dictionary, compressor.dictionary());
    packedSize = packed.size();
  }
  return packedSize;
}

Bytes Random(size_t size, uint32_t seed, int alphabet = 256) {
  std::mt19937 random(seed);
  Bytes out(size);
  for (auto& b : out) b = static_cast<uint8_t>(random() % alphabet);
  return out;
}

TEST(SlideCompress, ConsecutiveCallsRoundTripThroughOneDictionary) {
  // Sizes around a flag group, the match lengths and the ring; few symbols, noise and runs.
  std::vector<Bytes> chunks;
  for (size_t size : {0, 1, 2, 3, 8, 9, 17, 18, 273, 274, 1000, 4095, 4096, 4097, 10000}) {
    chunks.push_back(Random(size, static_cast<uint32_t>(size), 4));
    chunks.push_back(Random(size, static_cast<uint32_t>(size) + 1));
    chunks.push_back(Bytes(size, static_cast<uint8_t>(size)));
  }
  SlideCompressor compressor;
  RoundTrip(compressor, chunks);
}

TEST(SlideCompress, MatchesReachEveryByteOfTheRing) {
  // The caller's initial contents, and zeros in the default dictionary.
  uint8_t initial[SlideCompressor::kDictionarySize];
  const Bytes pattern = Random(sizeof initial, 7);
  std::copy(pattern.begin(), pattern.end(), initial);
  SlideCompressor prefilled(initial);
  EXPECT_LT(RoundTrip(prefilled, {Bytes(pattern.begin() + 100, pattern.begin() + 3000)}), 60u);
  SlideCompressor zeros;
  EXPECT_LE(RoundTrip(zeros, {Bytes(546, 0)}), 7u);

  // Runs and short periods overlap the bytes being written.
  Bytes period;
  for (int i = 0; i < 3000; ++i) period.push_back(static_cast<uint8_t>("abcdefg"[i % 7]));
  EXPECT_LE(RoundTrip(zeros, {Bytes(2000, 0x41), period}), 50u);

  // Noise repeated exactly 4096 bytes later matches from the slot being written,
  // within one call and across calls.
  const Bytes noise = Random(4096, 11);
  Bytes twice = noise;
  twice.insert(twice.end(), noise.begin(), noise.end());
  EXPECT_LT(RoundTrip(zeros, {twice}), noise.size() + noise.size() / 8 + 200);
  EXPECT_LT(RoundTrip(zeros, {noise}), 100u);
}

// A call taken back leaves no trace: the compressor goes on exactly as one
// that never saw it, also after its history has been cut back to the ring
// many times over.
TEST(SlideCompress, RewindForgetsTheLastCall) {
  SlideCompressor compressor, unaware;
  compressor.Rewind();  // nothing to take back yet
  std::array<uint8_t, kSlideDictionarySize> dictionary = compressor.dictionary();
  uint32_t position = 0;
  for (uint32_t i = 0; i < 120; ++i) {
    if (i % 4 == 1) {
      const Bytes dropped = Random(2000 + i, 1000 + i, 3);
      compressor.Compress(dropped.data(), dropped.size());
      compressor.Rewind();
      ASSERT_EQ(compressor.position(), position);
    }
    const Bytes chunk =
        i % 3 == 2 ? Bytes(3000 + i, static_cast<uint8_t>(i)) : Random(3000 + 37 * i, i, 2 + i % 5);
    const Bytes packed = compressor.Compress(chunk.data(), chunk.size());
    ASSERT_EQ(packed, unaware.Compress(chunk.data(), chunk.size())) << i;
    Bytes out(chunk.size());
    const SlideResult r = SlideDecompress(out.data(), static_cast<uint32_t>(out.size()), packed.data(),
                                          static_cast<uint32_t>(packed.size()), dictionary.data(),
                                          position);
    ASSERT_TRUE(r.complete);
    ASSERT_EQ(out, chunk) << i;
    position = r.position;
  }
  EXPECT_EQ(dictionary, compressor.dictionary());
}

}  // namespace
