#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "encoder/tlg0_writer.h"
#include "stream/binary_stream.h"
#include "tests/support/row_collector.h"
#include "tests/support/tlg_samples.h"
#include "tlg/tlg_format.h"
#include "tlg/tlg_loader.h"

namespace {

std::vector<uint8_t> Bytes(const std::string& text) { return {text.begin(), text.end()}; }

// A literal's bytes, NULs included.
template <size_t N>
std::vector<uint8_t> Literal(const char (&text)[N]) {
  return std::vector<uint8_t>(text, text + N - 1);
}

const TestImage& Sprite() {
  static const TestImage image = MakeTestImage(ImagePattern::kSprite, 21, 13, 5, false);
  return image;
}

struct Loaded {
  int result;
  RowCollector collector;
  TagDictionary tags;
};

Loaded Load(const std::vector<uint8_t>& file, bool withTags = true) {
  Loaded loaded;
  tMemDataStream stream(file.data(), static_cast<uint32_t>(file.size()));
  loaded.result = LoadTlg(&loaded.collector, CollectSize, CollectRow,
                          withTags ? &loaded.tags : nullptr, stream);
  return loaded;
}

std::vector<uint8_t> WrapWithChunks(const std::vector<TlgChunk>& chunks) {
  return WrapTlg0(EncodeTestImage(TlgKind::kTlg6, Sprite()), chunks);
}

TlgChunk Tags(const std::string& text) { return {"tags", Bytes(text)}; }

TEST(LoadTlg, ShortOrUnknownStartsFail) {
  EXPECT_EQ(Load(std::vector<uint8_t>(10, 'T')).result, kLoadFailed);
  EXPECT_EQ(Load(Literal("TLG7.0\0raw\x1a")).result, kLoadFailed);
  EXPECT_EQ(Load(Bytes("not an image at all")).result, kLoadFailed);
}

TEST(LoadTlg, BareImagesDecodeAndTrailingBytesAreIgnored) {
  for (TlgKind kind : {TlgKind::kTlg5, TlgKind::kTlg6}) {
    auto file = EncodeTestImage(kind, Sprite());
    file.insert(file.end(), 100, 0xEE);
    const auto loaded = Load(file);
    EXPECT_EQ(loaded.result, kLoadComplete);
    EXPECT_EQ(loaded.collector.pixels, Sprite().pixels);
    EXPECT_EQ(loaded.collector.rowCalls, CompleteRowCalls(Sprite().height));
  }
}

TEST(LoadTlg, WrapperDecodesItsImageAndReadsTags) {
  for (TlgKind kind : {TlgKind::kTlg5, TlgKind::kTlg6}) {
    const auto file = WrappedSample(kind, Sprite(), {{"title", "sprite"}, {"author", "us"}});
    const auto loaded = Load(file);
    EXPECT_EQ(loaded.result, kLoadComplete);
    EXPECT_EQ(loaded.collector.pixels, Sprite().pixels);
    EXPECT_EQ(loaded.tags.size(), 2u);
    EXPECT_EQ(loaded.tags.at("title"), "sprite");
    EXPECT_EQ(loaded.tags.at("author"), "us");
  }
}

TEST(LoadTlg, WrapperEmbeddedImageMustBeRaw) {
  const auto raw = EncodeTestImage(TlgKind::kTlg5, Sprite());
  auto wrapped = WrapTlg0(raw, {});
  EXPECT_EQ(Load(wrapped).result, kLoadComplete) << "no chunks at all";
  // The wrapper header followed by only 2 bytes.
  std::vector<uint8_t> cut(wrapped.begin(), wrapped.begin() + kTlg0HeaderSize + 2);
  EXPECT_EQ(Load(cut).result, kLoadFailed);
  // Wrappers do not nest.
  EXPECT_EQ(Load(WrapTlg0(wrapped, {})).result, kLoadFailed);
}

TEST(LoadTlg, ChunkWalkSkipsOtherChunksAndEndsQuietly) {
  // A huge chunk that reaches past the end: the next name read comes up short.
  auto file = WrapWithChunks({Tags("1:a=1:b,")});
  const uint8_t huge[] = {'b', 'i', 'g', ' ', 0xFF, 0xFF, 0xFF, 0x7F};
  file.insert(file.end(), huge, huge + sizeof huge);
  auto loaded = Load(file);
  EXPECT_EQ(loaded.result, kLoadComplete);
  EXPECT_EQ(loaded.tags.at("a"), "b");

  loaded = Load(WrapWithChunks({{"misc", {9, 9, 9}}, Tags("1:k=1:v,"), {"zzzz", {}}}));
  EXPECT_EQ(loaded.result, kLoadComplete);
  EXPECT_EQ(loaded.tags.at("k"), "v");
}

TEST(LoadTlg, LaterTagsWinAcrossChunksAndASyntaxErrorEndsTheWalk) {
  auto loaded = Load(WrapWithChunks({Tags("1:k=1:a,"), Tags("1:k=1:b,1:j=1:c,")}));
  EXPECT_EQ(loaded.result, kLoadComplete);
  EXPECT_EQ(loaded.tags.at("k"), "b");
  EXPECT_EQ(loaded.tags.at("j"), "c");

  loaded = Load(WrapWithChunks({Tags("4:name=5:hello,3:abc"), Tags("1:k=1:v,")}));
  EXPECT_EQ(loaded.result, kLoadComplete);
  EXPECT_EQ(loaded.tags.size(), 1u);
  EXPECT_EQ(loaded.tags.at("name"), "hello");
}

TEST(LoadTlg, TagsChunkCutShortOrClaimingGigabytesEndsTheWalk) {
  auto file = WrapWithChunks({Tags("1:a=1:b,")});
  const uint8_t claim[] = {'t', 'a', 'g', 's', 0xFF, 0xFF, 0xFF, 0xFF, '1', ':'};
  file.insert(file.end(), claim, claim + sizeof claim);
  const auto loaded = Load(file);
  EXPECT_EQ(loaded.result, kLoadComplete);
  EXPECT_EQ(loaded.tags.size(), 1u);

  // The input ending inside a chunk: that chunk gives nothing, earlier ones stay.
  const auto whole = WrapWithChunks({Tags("1:a=1:b,"), Tags("1:c=1:d,")});
  const auto cut = Load(std::vector<uint8_t>(whole.begin(), whole.end() - 3));
  EXPECT_EQ(cut.result, kLoadComplete);
  EXPECT_EQ(cut.tags, (TagDictionary{{"a", "b"}}));
}

TEST(LoadTlg, ChunkSkipThatWouldWrapDoesNotLoop) {
  // Size 2^32 - 8 brings a 32-bit position back to the same chunk.
  auto file = WrapWithChunks({});
  const uint8_t loop[] = {'l', 'o', 'o', 'p', 0xF8, 0xFF, 0xFF, 0xFF};
  file.insert(file.end(), loop, loop + sizeof loop);
  EXPECT_EQ(Load(file).result, kLoadComplete);
  EXPECT_EQ(Load(file, false).result, kLoadComplete);
}

TEST(LoadTlg, EveryTruncationOfAWrappedFileFailsOrCompletes) {
  const auto file = WrappedSample(TlgKind::kTlg6, Sprite(), {{"k", "v"}});
  const auto raw = EncodeTestImage(TlgKind::kTlg6, Sprite());
  const size_t imageEnd = kTlg0HeaderSize + raw.size();
  for (size_t size = 0; size < file.size(); ++size) {
    const std::vector<uint8_t> cut(file.begin(), file.begin() + size);
    const auto loaded = Load(cut);
    EXPECT_EQ(loaded.result, size < imageEnd ? kLoadFailed : kLoadComplete) << size;
  }
}

TEST(LoadTlg, StopsComeBackAsOne) {
  const auto file = WrappedSample(TlgKind::kTlg5, Sprite(), {});
  Loaded refused;
  refused.collector.acceptSize = false;
  tMemDataStream stream(file.data(), static_cast<uint32_t>(file.size()));
  EXPECT_EQ(LoadTlg(&refused.collector, CollectSize, CollectRow, nullptr, stream), kLoadStopped);
  EXPECT_TRUE(refused.collector.rowCalls.empty());

  RowCollector stopper;
  stopper.stopAtRow = 1;
  EXPECT_EQ(LoadTlg(&stopper, CollectSize, CollectRow, nullptr, stream), kLoadStopped);
  EXPECT_EQ(stopper.rowCalls, (std::vector<int32_t>{0, kEndOfRow, 1}));
}

TEST(HasTlgSignature, LooksAtElevenBytesOnly) {
  const auto wrapperOnly = std::vector<uint8_t>(kTlg0Signature, kTlg0Signature + kTlgSignatureSize);
  tMemDataStream wrapper(wrapperOnly.data(), kTlgSignatureSize);
  EXPECT_TRUE(HasTlgSignature(wrapper));
  uint32_t width = 7, height = 7;
  EXPECT_FALSE(ReadImageSize(wrapper, &width, &height));
  EXPECT_EQ(width, 7u);
  EXPECT_EQ(height, 7u);

  for (TlgKind kind : {TlgKind::kTlg5, TlgKind::kTlg6}) {
    const auto raw = EncodeTestImage(kind, Sprite());
    tMemDataStream head(raw.data(), kTlgSignatureSize);
    EXPECT_TRUE(HasTlgSignature(head));
  }
  const auto other = Literal("TLG6.0\0raw\x1b");
  tMemDataStream wrong(other.data(), static_cast<uint32_t>(other.size()));
  EXPECT_FALSE(HasTlgSignature(wrong));
  tMemDataStream shortStream(other.data(), 10);
  EXPECT_FALSE(HasTlgSignature(shortStream));
}

TEST(ReadImageSize, ReadsTheHeaderAndNoRow) {
  for (TlgKind kind : {TlgKind::kTlg5, TlgKind::kTlg6}) {
    for (const auto& file :
         {EncodeTestImage(kind, Sprite()), WrappedSample(kind, Sprite(), {{"a", "b"}})}) {
      tMemDataStream stream(file.data(), static_cast<uint32_t>(file.size()));
      uint32_t width = 0, height = 0;
      ASSERT_TRUE(ReadImageSize(stream, &width, &height));
      EXPECT_EQ(width, Sprite().width);
      EXPECT_EQ(height, Sprite().height);
      EXPECT_TRUE(ReadImageSize(stream, nullptr, nullptr));
    }
  }
}

}  // namespace
