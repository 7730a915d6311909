#include "encoder/slide_compress.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <stdexcept>

namespace {

constexpr uint32_t kMask = SlideCompressor::kDictionarySize - 1;
constexpr size_t kWindow = SlideCompressor::kDictionarySize;
constexpr size_t kMinMatch = 3;
constexpr size_t kMaxShortMatch = 17;
constexpr size_t kMaxMatch = 273;
constexpr uint8_t kLongMatchNibble = 0xF0;
constexpr int kItemsPerFlag = 8;
constexpr uint32_t kHashBits = 15;
constexpr uint32_t kHashSize = 1u << kHashBits;
constexpr int kMaxChainSteps = 256;
constexpr size_t kGoodEnough = 64;  // stop searching a chain at a match this long
constexpr int32_t kNone = -1;

struct Match {
  size_t length = 0;
  size_t source = 0;  // index into the history
};

// Hash chains over the history: the ring's bytes, oldest first, then the
// input. A match from history index s is exactly what the decompressor
// repeats from ring slot (position + s) mod 4096 for any distance from 1 to
// 4096, overlapping the bytes it is writing included.
class MatchFinder {
 public:
  explicit MatchFinder(const std::vector<uint8_t>& history)
      : history_(history), head_(kHashSize, kNone), previous_(history.size(), kNone) {}

  // Enters the 3-byte string at `index` into its chain.
  void Insert(size_t index) {
    if (index + kMinMatch > history_.size()) return;
    const uint32_t h = Hash(index);
    previous_[index] = head_[h];
    head_[h] = static_cast<int32_t>(index);
  }

  // The longest match for the bytes at `index`, among strings at most one
  // window back.
  Match Find(size_t index) const {
    Match best;
    const size_t limit = std::min(kMaxMatch, history_.size() - index);
    if (limit < kMinMatch) return best;
    const uint8_t* target = history_.data() + index;
    int steps = kMaxChainSteps;
    for (int32_t candidate = head_[Hash(index)]; candidate != kNone && steps-- > 0;
         candidate = previous_[candidate]) {
      const size_t source = static_cast<size_t>(candidate);
      if (index - source > kWindow) break;
      const uint8_t* from = history_.data() + source;
      if (from[best.length] != target[best.length]) continue;
      size_t length = 0;
      while (length < limit && from[length] == target[length]) ++length;
      if (length > best.length) {
        best = Match{length, source};
        if (length >= std::min(limit, kGoodEnough)) break;
      }
    }
    if (best.length < kMinMatch) best.length = 0;
    return best;
  }

 private:
  uint32_t Hash(size_t index) const {
    const uint8_t* p = history_.data() + index;
    const uint32_t v = p[0] | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16;
    return (v * 2654435761u) >> (32 - kHashBits);
  }

  const std::vector<uint8_t>& history_;
  std::vector<int32_t> head_;
  std::vector<int32_t> previous_;
};

// Builds groups of one flag byte and up to eight items.
class ItemWriter {
 public:
  explicit ItemWriter(std::vector<uint8_t>& out) : out_(out) {}

  void Literal(uint8_t value) {
    StartItem(false);
    out_.push_back(value);
  }

  void Match(uint32_t slot, size_t length) {
    StartItem(true);
    out_.push_back(static_cast<uint8_t>(slot));
    const auto slotHigh = static_cast<uint8_t>((slot >> 8) & 0x0F);
    if (length <= kMaxShortMatch) {
      out_.push_back(static_cast<uint8_t>(slotHigh | (length - kMinMatch) << 4));
    } else {
      out_.push_back(static_cast<uint8_t>(slotHigh | kLongMatchNibble));
      out_.push_back(static_cast<uint8_t>(length - (kMaxShortMatch + 1)));
    }
  }

 private:
  void StartItem(bool isMatch) {
    if (itemsInGroup_ == kItemsPerFlag) itemsInGroup_ = 0;
    if (itemsInGroup_ == 0) {
      flagIndex_ = out_.size();
      out_.push_back(0);
    }
    if (isMatch) out_[flagIndex_] |= static_cast<uint8_t>(1u << itemsInGroup_);
    ++itemsInGroup_;
  }

  std::vector<uint8_t>& out_;
  size_t flagIndex_ = 0;
  int itemsInGroup_ = 0;
};

}  // namespace

SlideCompressor::SlideCompressor() { dictionary_.fill(0); }

SlideCompressor::SlideCompressor(const uint8_t (&initialDictionary)[kDictionarySize]) {
  std::memcpy(dictionary_.data(), initialDictionary, kDictionarySize);
}

std::vector<uint8_t> SlideCompressor::Compress(const uint8_t* data, size_t size) {
  std::vector<uint8_t> out;
  if (size == 0) return out;
  // The chains hold 32-bit history indices.
  if (size > static_cast<size_t>(std::numeric_limits<int32_t>::max()) - kWindow) {
    throw std::length_error("SlideCompressor: input too large");
  }

  // History index i sits in ring slot (position_ + i) mod 4096: the ring's
  // oldest byte (the next one to be overwritten) comes first.
  std::vector<uint8_t> history(kWindow + size);
  for (size_t i = 0; i < kWindow; ++i) history[i] = dictionary_[(position_ + i) & kMask];
  std::memcpy(history.data() + kWindow, data, size);

  MatchFinder finder(history);
  for (size_t i = 0; i < kWindow; ++i) finder.Insert(i);

  ItemWriter writer(out);
  size_t index = kWindow;
  Match pending = finder.Find(index);
  while (index < history.size()) {
    Match current = pending;
    finder.Insert(index);
    // One step of lazy matching: a longer match at the next byte is worth a literal.
    if (current.length != 0 && current.length < kMaxMatch && index + 1 < history.size()) {
      pending = finder.Find(index + 1);
      if (pending.length > current.length) current.length = 0;
    } else {
      pending = Match{};
    }
    if (current.length == 0) {
      writer.Literal(history[index]);
      ++index;
      if (pending.length == 0 && index < history.size()) pending = finder.Find(index);
      continue;
    }
    writer.Match(static_cast<uint32_t>((position_ + current.source) & kMask), current.length);
    for (size_t i = index + 1; i < index + current.length; ++i) finder.Insert(i);
    index += current.length;
    pending = index < history.size() ? finder.Find(index) : Match{};
  }

  // The ring now ends with the last 4096 bytes of the history.
  for (size_t i = 0; i < kWindow; ++i) {
    dictionary_[(position_ + size + i) & kMask] = history[size + i];
  }
  position_ = static_cast<uint32_t>((position_ + size) & kMask);
  return out;
}
