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
constexpr uint32_t kHashBits = 14;
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
// Lazy matching: a literal and then the match at the next byte beat the
// match here only when that one is at least 2 bytes longer (a literal costs
// 9 bits, a match 17). Past a short match the next byte seldom pays.
constexpr size_t kLazyGain = 2;
constexpr size_t kLazyBelow = 7;
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
constexpr size_t kHistoryLimit = size_t{1} << 16;
// Zero bytes kept after the history, so that 8 bytes can be read at any
// string in it.
constexpr size_t kPadding = 8;

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

// Hashes of the first 3, 4 and 6 of the 8 bytes in `v` (the history's
// padding makes 8 readable wherever a string starts).
uint32_t Hash3(uint64_t v) {
  return (static_cast<uint32_t>(v << 8) * 2654435761u) >> (32 - kHashBits);
}
uint32_t Hash4(uint64_t v) { return (static_cast<uint32_t>(v) * 2654435761u) >> (32 - kHashBits); }
uint32_t Hash6(uint64_t v) {
  return static_cast<uint32_t>(((v << 16) * 0x9E3779B97F4A7C15ull) >> (64 - kHashBits));
}

}  // namespace

SlideCompressor::SlideCompressor()
    : history_(kWindow + kPadding, 0), size_(kWindow), rewindSize_(kWindow) {}

SlideCompressor::SlideCompressor(const uint8_t (&initialDictionary)[kDictionarySize])
    : history_(kWindow + kPadding, 0), size_(kWindow), rewindSize_(kWindow) {
  std::copy(initialDictionary, initialDictionary + kDictionarySize, history_.begin());
}

SlideCompressor::Chains::Chains() : head(kHashSize, kNone) {}

uint32_t SlideCompressor::position() const {
  return static_cast<uint32_t>((base_ + size_) & kMask);
}

std::array<uint8_t, SlideCompressor::kDictionarySize> SlideCompressor::dictionary() const {
  std::array<uint8_t, kDictionarySize> ring;
  for (size_t i = size_ - kWindow; i < size_; ++i) ring[(base_ + i) & kMask] = history_[i];
  return ring;
}

// Enters the string at `inserted_`; its 6 bytes must be there.
inline __attribute__((always_inline)) void SlideCompressor::InsertNext() {
  const auto position = static_cast<uint32_t>(base_ + inserted_);
  const uint64_t v = Load64(history_.data() + inserted_);
  const uint32_t h3 = Hash3(v), h4 = Hash4(v), h6 = Hash6(v);
  chains3_.previous[inserted_] = chains3_.head[h3];
  chains3_.head[h3] = position;
  chains4_.previous[inserted_] = chains4_.head[h4];
  chains4_.head[h4] = position;
  chains6_.previous[inserted_] = chains6_.head[h6];
  chains6_.head[h6] = position;
}

// History indices below this have their 6 bytes known and can be entered.
size_t SlideCompressor::Insertable() const {
  return size_ < kLongMatch ? 0 : size_ - kLongMatch + 1;
}

// Enters the strings at the history indices below `end` (at most
// Insertable()) into their chains, in order, each once.
inline __attribute__((always_inline)) void SlideCompressor::InsertBefore(size_t end) {
  for (; inserted_ < end; ++inserted_) InsertNext();
}

// The same as far as they are insertable, but those from `skipFrom` to
// `skipTo` are passed over: inside a long match they only make the chains
// longer with strings much like their neighbours. Passed-over indices are
// noted for Rewind.
void SlideCompressor::InsertPassingOver(size_t end, size_t skipFrom, size_t skipTo) {
  const size_t insertable = Insertable();
  InsertBefore(std::min(skipFrom, insertable));
  const size_t to = std::min({skipTo, end, insertable});
  if (inserted_ < to) {
    skipped_.push_back(Span{inserted_, to});
    inserted_ = to;
  }
  InsertBefore(std::min(end, insertable));
}

// Drops all history but the ring; chain entries are positions, not indices,
// and stay as they are.
void SlideCompressor::Compact() {
  const size_t shift = size_ - kWindow;
  for (Chains* chains : {&chains3_, &chains4_, &chains6_}) {
    std::copy(chains->previous.begin() + static_cast<ptrdiff_t>(shift),
              chains->previous.begin() + static_cast<ptrdiff_t>(size_), chains->previous.begin());
  }
  std::copy(history_.begin() + static_cast<ptrdiff_t>(shift),
            history_.begin() + static_cast<ptrdiff_t>(size_ + kPadding), history_.begin());
  size_ -= shift;
  base_ += shift;
  inserted_ -= shift;
}

// The longest match for the bytes at `index` along a chain, among strings at
// most one window back, stopping at `enough` bytes; the nearest of equally
// long ones.
inline __attribute__((always_inline)) SlideCompressor::Match SlideCompressor::Follow(
    const Chains& chains, uint32_t hash, size_t index, size_t limit, size_t enough, int steps,
    Match best) const {
  // Nothing beats a match that reaches the limit.
  if (best.length >= limit) return best;
  const uint8_t* history = history_.data();
  const uint8_t* target = history + index;
  const auto position = static_cast<uint32_t>(base_ + index);
  // Only a string that agrees up to one byte past the best so far can beat
  // it: 4 bytes ending there are compared first.
  size_t check = best.length >= 4 ? best.length - 3 : 0;
  uint32_t wanted = Load32(target + check);
  for (uint32_t candidate = chains.head[hash]; steps-- > 0;) {
    const uint32_t distance = position - candidate;
    if (distance - 1 >= kWindow) break;
    const size_t source = index - distance;
    candidate = chains.previous[source];
    if (Load32(history + source + check) != wanted) continue;
    const size_t length = MatchLength(history + source, target, limit);
    if (length > best.length) {
      best = Match{length, source};
      if (length >= enough || length >= limit) break;
      check = length >= 4 ? length - 3 : 0;
      wanted = Load32(target + check);
    }
  }
  return best;
}

// The match to take at `index`: the longest that the chains find, if it is
// longer than `beat` bytes. A string from history index s is exactly what
// the decompressor repeats from ring slot (base + s) mod 4096 for any
// distance from 1 to 4096, overlapping the bytes it is writing included.
inline __attribute__((always_inline)) SlideCompressor::Match SlideCompressor::Find(
    size_t index, size_t beat) const {
  const size_t limit = std::min(kMaxMatch, size_ - index);
  if (limit <= beat) return Match{};
  const auto longer = [beat](Match m) { return m.length > beat ? m : Match{}; };
  Match best{beat, 0};
  const uint8_t* target = history_.data() + index;
  const uint64_t v = Load64(target);
  // Every chain holds the same strings, so with no string of the same first
  // 3 bytes within the window there is no match at all: the common case in
  // noise, answered with one look.
  const auto position = static_cast<uint32_t>(base_ + index);
  const uint32_t nearest3 = chains3_.head[Hash3(v)];
  if (position - nearest3 - 1 >= kWindow) return Match{};
  if (limit >= kLongMatch) {
    best = Follow(chains6_, Hash6(v), index, limit, std::min(limit, kGoodEnough), kLongChainSteps,
                  best);
    if (best.length >= kLongMatch) return longer(best);
  }
  // No string of 6 bytes so far back: one of 5 is as good as it gets.
  if (limit >= kMiddleMatch && beat < kLongMatch - 1) {
    best = Follow(chains4_, Hash4(v), index, limit, kLongMatch - 1, kMiddleChainSteps, best);
  }
  if (best.length >= kMinMatch) return longer(best);
  int steps = kShortChainSteps;
  for (uint32_t candidate = nearest3; steps-- > 0;) {
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
  std::vector<uint8_t> out;
  out.resize(Compress(data, size, out));
  return out;
}

size_t SlideCompressor::Compress(const uint8_t* data, size_t size, std::vector<uint8_t>& out) {
  rewindSize_ = size_;
  rewindInserted_ = inserted_;
  skipped_.clear();
  if (size == 0) return 0;
  // The chains hold 32-bit history indices.
  if (size > static_cast<size_t>(std::numeric_limits<int32_t>::max()) - kWindow) {
    throw std::length_error("SlideCompressor: input too large");
  }
  if (size_ > kWindow && size_ + size > kHistoryLimit) Compact();
  const size_t start = size_;
  rewindSize_ = start;
  rewindInserted_ = inserted_;
  if (history_.size() < start + size + kPadding) history_.resize(start + size + kPadding);
  std::memcpy(history_.data() + start, data, size);
  std::memset(history_.data() + start + size, 0, kPadding);
  size_ = start + size;
  const size_t end = size_;
  for (Chains* chains : {&chains3_, &chains4_, &chains6_}) {
    if (chains->previous.size() < end) {
      chains->previous.resize(std::max(end, 2 * chains->previous.size()));
    }
  }
  // The ring's last strings run on into this input.
  const size_t insertable = Insertable();
  InsertBefore(std::min(start, insertable));

  // All literals at worst; a buffer large enough already is not filled anew.
  if (out.size() < size + size / 8 + 2) out.resize(size + size / 8 + 2);
  ItemWriter writer(out.data());
  size_t index = start;
  Match pending = Find(index);
  while (index < end) {
    Match current = pending;
    // The string here enters the chains before the next byte is looked up.
    if (inserted_ == index && index < insertable) {
      InsertNext();
      ++inserted_;
    }
    // One step of lazy matching.
    if (current.length != 0 && current.length < kLazyBelow && index + 1 < end) {
      pending = Find(index + 1, current.length + kLazyGain - 1);
      if (pending.length != 0) current.length = 0;
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
      InsertPassingOver(index + current.length, index + kKeepAtStart,
                        index + current.length - kKeepAtEnd);
    } else {
      InsertBefore(std::min(index + current.length, insertable));
    }
    index += current.length;
    pending = index < end ? Find(index) : Match{};
  }
  return writer.size();
}

void SlideCompressor::Rewind() {
  // Chains undone newest first give back each head as it was.
  size_t span = skipped_.size();
  while (inserted_ > rewindInserted_) {
    if (span > 0 && skipped_[span - 1].end == inserted_) {
      inserted_ = skipped_[--span].begin;
      continue;
    }
    --inserted_;
    const uint64_t v = Load64(history_.data() + inserted_);
    chains3_.head[Hash3(v)] = chains3_.previous[inserted_];
    chains4_.head[Hash4(v)] = chains4_.previous[inserted_];
    chains6_.head[Hash6(v)] = chains6_.previous[inserted_];
  }
  size_ = rewindSize_;
  std::memset(history_.data() + size_, 0, kPadding);
}
