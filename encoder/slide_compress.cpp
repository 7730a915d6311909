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
constexpr uint32_t kHashBits = 13;
constexpr uint32_t kHashSize = 1u << kHashBits;
// Strings of 6 bytes or more are looked for along chains of strings that
// share their first 6 bytes, then of 4, then of 3, each only so far back.
// Longer chains found no smaller files; shorter ones gave larger files.
constexpr size_t kLongMatch = 6;
constexpr size_t kMiddleMatch = 4;
constexpr int kLongChainSteps = 64;
constexpr int kMiddleChainSteps = 32;
constexpr int kShortChainSteps = 4;
constexpr size_t kGoodEnough = 64;  // stop searching a chain at a match this long
constexpr size_t kLazyBelow = 32;
// Inside a match longer than this, only the strings at its first and last
// few bytes go into the chains.
constexpr size_t kSkipAbove = 32;
constexpr size_t kKeepAtStart = 8;
constexpr size_t kKeepAtEnd = 16;
// A chain entry that reads as far past the window for the first 2^31 bytes.
// Positions count modulo 2^32: an entry that wraps into the window much
// later only offers bytes that are checked before they are used.
constexpr uint32_t kNone = 0x80000000u;
// History kept before the oldest bytes go (all but the ring's): small, so
// that the chains stay in the cache.
constexpr size_t kHistoryLimit = size_t{1} << 17;

uint32_t Load32(const uint8_t* p) {
  uint32_t v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

uint64_t Load64(const uint8_t* p) {
  uint64_t v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

// How many bytes from `from` and `target` agree, up to `limit`.
size_t MatchLength(const uint8_t* from, const uint8_t* target, size_t limit) {
  size_t length = 0;
  for (; length + 8 <= limit; length += 8) {
    const uint64_t difference = Load64(from + length) ^ Load64(target + length);
    if (difference != 0) return length + (static_cast<size_t>(__builtin_ctzll(difference)) >> 3);
  }
  while (length < limit && from[length] == target[length]) ++length;
  return length;
}

// Builds groups of one flag byte and up to eight items into a buffer with
// room for them all.
class ItemWriter {
 public:
  explicit ItemWriter(uint8_t* out) : start_(out), out_(out) {}

  void Literal(uint8_t value) {
    StartItem(false);
    *out_++ = value;
  }

  void Match(uint32_t slot, size_t length) {
    StartItem(true);
    *out_++ = static_cast<uint8_t>(slot);
    const auto slotHigh = static_cast<uint8_t>((slot >> 8) & 0x0F);
    if (length <= kMaxShortMatch) {
      *out_++ = static_cast<uint8_t>(slotHigh | (length - kMinMatch) << 4);
    } else {
      *out_++ = static_cast<uint8_t>(slotHigh | kLongMatchNibble);
      *out_++ = static_cast<uint8_t>(length - (kMaxShortMatch + 1));
    }
  }

  size_t size() const { return static_cast<size_t>(out_ - start_); }

 private:
  void StartItem(bool isMatch) {
    if (itemsInGroup_ == kItemsPerFlag) itemsInGroup_ = 0;
    if (itemsInGroup_ == 0) {
      flag_ = out_++;
      *flag_ = 0;
    }
    if (isMatch) *flag_ |= static_cast<uint8_t>(1u << itemsInGroup_);
    ++itemsInGroup_;
  }

  uint8_t* start_;
  uint8_t* out_;
  uint8_t* flag_ = nullptr;
  int itemsInGroup_ = 0;
};

// Hashes of the first 3, 4 and 6 bytes at p; 6 bytes must be there (the
// strings of the last 3 bytes are looked up only while 6 are).
uint32_t Hash3Of(uint32_t v) { return (v * 2654435761u) >> (32 - kHashBits); }
uint32_t Hash3(const uint8_t* p) { return Hash3Of(Load32(p) & 0xFFFFFF); }
// The same where only 3 bytes are there.
uint32_t Hash3Of3(const uint8_t* p) {
  return Hash3Of(p[0] | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16);
}
uint32_t Hash4(const uint8_t* p) { return (Load32(p) * 2654435761u) >> (32 - kHashBits); }
uint32_t Hash6(const uint8_t* p) {
  uint64_t v = 0;
  std::memcpy(&v, p, kLongMatch);
  return static_cast<uint32_t>((v * 0x9E3779B97F4A7C15ull) >> (64 - kHashBits));
}

}  // namespace

SlideCompressor::SlideCompressor() : history_(kWindow, 0), rewindSize_(kWindow) {}

SlideCompressor::SlideCompressor(const uint8_t (&initialDictionary)[kDictionarySize])
    : history_(initialDictionary, initialDictionary + kDictionarySize), rewindSize_(kWindow) {}

SlideCompressor::Chains::Chains() : head(kHashSize, kNone) {}

uint32_t SlideCompressor::position() const {
  return static_cast<uint32_t>((base_ + history_.size()) & kMask);
}

std::array<uint8_t, SlideCompressor::kDictionarySize> SlideCompressor::dictionary() const {
  std::array<uint8_t, kDictionarySize> ring;
  const size_t first = history_.size() - kWindow;
  for (size_t i = first; i < history_.size(); ++i) ring[(base_ + i) & kMask] = history_[i];
  return ring;
}

// Enters the string at `inserted_`; its 6 bytes must be there.
inline __attribute__((always_inline)) void SlideCompressor::InsertNext() {
  const auto position = static_cast<uint32_t>(base_ + inserted_);
  const uint8_t* p = history_.data() + inserted_;
  const uint32_t h3 = Hash3(p), h4 = Hash4(p), h6 = Hash6(p);
  chains3_.previous[inserted_] = chains3_.head[h3];
  chains3_.head[h3] = position;
  chains4_.previous[inserted_] = chains4_.head[h4];
  chains4_.head[h4] = position;
  chains6_.previous[inserted_] = chains6_.head[h6];
  chains6_.head[h6] = position;
}

// Enters the strings at the history indices below `end` into their chains,
// in order, each once, as far as their 6 bytes are known. Those below
// `skipFrom` .. `skipTo` are passed over: inside a long match they only make
// the chains longer with strings much like their neighbours. A passed-over
// index is marked with its own position, which no chain entry can hold.
void SlideCompressor::InsertUpTo(size_t end, size_t skipFrom, size_t skipTo) {
  end = std::min(end, history_.size() < kLongMatch ? 0 : history_.size() - kLongMatch + 1);
  if (skipFrom < skipTo && inserted_ < skipTo && end > skipFrom) {
    InsertUpTo(skipFrom);
    for (; inserted_ < std::min(skipTo, end); ++inserted_) {
      chains3_.previous[inserted_] = static_cast<uint32_t>(base_ + inserted_);
    }
  }
  for (; inserted_ < end; ++inserted_) InsertNext();
}

// Drops all history but the ring; chain entries are positions, not indices,
// and stay as they are.
void SlideCompressor::Compact() {
  const size_t shift = history_.size() - kWindow;
  for (Chains* chains : {&chains3_, &chains4_, &chains6_}) {
    std::copy(chains->previous.begin() + static_cast<ptrdiff_t>(shift),
              chains->previous.begin() + static_cast<ptrdiff_t>(history_.size()),
              chains->previous.begin());
  }
  history_.erase(history_.begin(), history_.begin() + static_cast<ptrdiff_t>(shift));
  base_ += shift;
  inserted_ -= shift;
}

// The longest match for the bytes at `index` along a chain, among strings at
// most one window back, stopping at `enough` bytes; the nearest of equally
// long ones.
inline __attribute__((always_inline)) SlideCompressor::Match SlideCompressor::Follow(const Chains& chains, uint32_t hash, size_t index,
                                               size_t limit, size_t enough, int steps,
                                               Match best) const {
  const uint8_t* target = history_.data() + index;
  const auto position = static_cast<uint32_t>(base_ + index);
  // Nothing beats a match that reaches the limit, and the test below reads
  // one byte past the best so far.
  for (uint32_t candidate = chains.head[hash]; steps-- > 0 && best.length < limit;) {
    const uint32_t distance = position - candidate;
    if (distance - 1 >= kWindow) break;
    const size_t source = index - distance;
    const uint8_t* from = history_.data() + source;
    candidate = chains.previous[source];
    // Only a string that agrees up to one byte past the best so far can beat it.
    const size_t check = best.length >= 4 ? best.length - 3 : 0;
    if (Load32(from + check) != Load32(target + check)) continue;
    const size_t length = MatchLength(from, target, limit);
    if (length > best.length) {
      best = Match{length, source};
      if (length >= enough) break;
    }
  }
  return best;
}

// The match to take at `index`: the longest that the chains find. A string
// from history index s is exactly what the decompressor repeats from ring
// slot (base + s) mod 4096 for any distance from 1 to 4096, overlapping the
// bytes it is writing included.
inline __attribute__((always_inline)) SlideCompressor::Match SlideCompressor::Find(
    size_t index) const {
  Match best;
  const size_t limit = std::min(kMaxMatch, history_.size() - index);
  if (limit < kMinMatch) return best;
  const uint8_t* target = history_.data() + index;
  if (limit >= kLongMatch) {
    best = Follow(chains6_, Hash6(target), index, limit, std::min(limit, kGoodEnough),
                  kLongChainSteps, best);
    if (best.length >= kLongMatch) return best;
  }
  if (limit >= kMiddleMatch) {
    // No string of 6 bytes so far back: one of 5 is as good as it gets.
    best = Follow(chains4_, Hash4(target), index, limit, kLongMatch - 1, kMiddleChainSteps, best);
    if (best.length >= kMiddleMatch) return best;
  }
  const auto position = static_cast<uint32_t>(base_ + index);
  int steps = kShortChainSteps;
  for (uint32_t candidate = chains3_.head[Hash3Of3(target)]; steps-- > 0;) {
    const uint32_t distance = position - candidate;
    if (distance - 1 >= kWindow) break;
    const size_t source = index - distance;
    const uint8_t* from = history_.data() + source;
    if (from[0] == target[0] && from[1] == target[1] && from[2] == target[2]) {
      return Match{kMinMatch, source};
    }
    candidate = chains3_.previous[source];
  }
  return Match{};
}

std::vector<uint8_t> SlideCompressor::Compress(const uint8_t* data, size_t size) {
  rewindSize_ = history_.size();
  rewindInserted_ = inserted_;
  std::vector<uint8_t> out;
  if (size == 0) return out;
  // The chains hold 32-bit history indices.
  if (size > static_cast<size_t>(std::numeric_limits<int32_t>::max()) - kWindow) {
    throw std::length_error("SlideCompressor: input too large");
  }
  if (history_.size() > kWindow && history_.size() + size > kHistoryLimit) Compact();
  const size_t start = history_.size();
  rewindSize_ = start;
  rewindInserted_ = inserted_;
  history_.insert(history_.end(), data, data + size);
  const size_t end = history_.size();
  for (Chains* chains : {&chains3_, &chains4_, &chains6_}) {
    if (chains->previous.size() < end) chains->previous.resize(std::max(end, 2 * chains->previous.size()));
  }
  // The ring's last strings run on into this input.
  InsertUpTo(start);

  out.resize(size + size / 8 + 2);  // all literals at worst
  ItemWriter writer(out.data());
  size_t index = start;
  Match pending = Find(index);
  while (index < end) {
    Match current = pending;
    if (inserted_ == index && index + kLongMatch <= end) {
      InsertNext();
      ++inserted_;
    } else {
      InsertUpTo(index + 1);
    }
    // One step of lazy matching: a longer match at the next byte is worth a
    // literal. Past a long match that seldom pays for the search.
    if (current.length != 0 && current.length < kLazyBelow && index + 1 < end) {
      pending = Find(index + 1);
      if (pending.length > current.length) current.length = 0;
    } else {
      pending = Match{};
    }
    if (current.length == 0) {
      writer.Literal(history_[index]);
      ++index;
      if (pending.length == 0 && index < end) pending = Find(index);
      continue;
    }
    writer.Match(static_cast<uint32_t>((base_ + current.source) & kMask), current.length);
    if (current.length > kSkipAbove) {
      InsertUpTo(index + current.length, index + kKeepAtStart, index + current.length - kKeepAtEnd);
    } else {
      InsertUpTo(index + current.length);
    }
    index += current.length;
    pending = index < end ? Find(index) : Match{};
  }
  out.resize(writer.size());
  return out;
}

void SlideCompressor::Rewind() {
  // Chains undone newest first give back each head as it was.
  while (inserted_ > rewindInserted_) {
    --inserted_;
    if (chains3_.previous[inserted_] == static_cast<uint32_t>(base_ + inserted_)) continue;
    const uint8_t* p = history_.data() + inserted_;
    chains3_.head[Hash3(p)] = chains3_.previous[inserted_];
    chains4_.head[Hash4(p)] = chains4_.previous[inserted_];
    chains6_.head[Hash6(p)] = chains6_.previous[inserted_];
  }
  history_.resize(rewindSize_);
}
