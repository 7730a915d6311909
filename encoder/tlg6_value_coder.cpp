#include "encoder/tlg6_value_coder.h"

#include <algorithm>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#include <stdexcept>
#include <utility>

namespace {

constexpr size_t kCodesPerReserve = 256;

// Bits go into the bytes least significant first, through a 64-bit word
// that is written out 32 bits at a time.
class BitWriter {
 public:
  explicit BitWriter(size_t values) : bytes_(values + kSlack) {}

  // At most 32 bits at a time.
  void Put(uint32_t value, uint32_t count) {
    pending_ |= static_cast<uint64_t>(value) << pendingCount_;
    pendingCount_ += count;
    if (pendingCount_ >= 32) {
      const uint8_t word[4] = {static_cast<uint8_t>(pending_), static_cast<uint8_t>(pending_ >> 8),
                               static_cast<uint8_t>(pending_ >> 16),
                               static_cast<uint8_t>(pending_ >> 24)};
      std::memcpy(bytes_.data() + used_, word, 4);
      used_ += 4;
      pending_ >>= 32;
      pendingCount_ -= 32;
    }
  }
  void PutZeros(uint32_t count) {
    for (; count > 32; count -= 32) Put(0, 32);
    Put(0, count);
  }
  uint64_t Bits() const { return uint64_t{used_} * 8 + pendingCount_; }
  uint32_t BitOffset() const { return pendingCount_ & 7; }
  // Room for the next `codes` values or run lengths, each at most 64 bits.
  void Reserve(size_t codes) {
    const size_t needed = codes * 8 + kSlack;
    if (bytes_.size() - used_ < needed) bytes_.resize(std::max(bytes_.size() * 2, used_ + needed));
  }
  std::vector<uint8_t> Finish() {
    for (; pendingCount_ > 0; pendingCount_ -= std::min(pendingCount_, 8u), pending_ >>= 8) {
      bytes_[used_++] = static_cast<uint8_t>(pending_);
    }
    bytes_.resize(used_);
    return std::move(bytes_);
  }

 private:
  static constexpr size_t kSlack = 16;
  std::vector<uint8_t> bytes_;
  size_t used_ = 0;
  uint64_t pending_ = 0;
  uint32_t pendingCount_ = 0;
};

// For n of 1 or more.
uint32_t HighestBit(uint32_t n) { return 31 - static_cast<uint32_t>(__builtin_clz(n)); }

// Elias gamma: as many zeros as the length has bits below its top one, the
// top one, then those bits.
void PutRunLength(BitWriter& out, uint32_t length) {
  const uint32_t bits = HighestBit(length);
  if (bits > kTlg6MaxRunLengthBits) throw std::length_error("TLG6 run too long");
  out.Put(1u << bits, bits + 1);
  out.Put(length & ((1u << bits) - 1), bits);
}

void PutValue(BitWriter& out, uint32_t code, uint32_t k) {
  const uint32_t quotient = code >> k;
  const uint32_t offset = out.BitOffset();
  const uint32_t remainder = code & ((1u << k) - 1);
  if (quotient + 1 + k < 32) {
    // The usual case, in one go (the plain form always fits the window here).
    if (quotient < kTlg6WindowBits - offset) {
      out.Put(1u << quotient | remainder << (quotient + 1), quotient + 1 + k);
      return;
    }
  }
  if (quotient < kTlg6WindowBits - offset) {
    out.Put(1u << quotient, quotient + 1);
  } else {
    // The decoder's window would be all zero: escape to a quotient byte.
    out.PutZeros(kTlg6WindowBits - offset);
    out.Put(quotient, 8);
  }
  out.Put(remainder, k);
}

// Estimated bits of one value code; the exact form depends on the bit
// offset, which is not known until the run lengths before it are.
uint32_t ValueBits(uint32_t code, uint32_t k) {
  constexpr uint32_t kTypicalEscapeBits = kTlg6WindowBits - 4 + 8;
  const uint32_t quotient = code >> k;
  return (quotient < kTlg6WindowBits - 4 ? quotient + 1 : kTypicalEscapeBits) + k;
}

}  // namespace

Tlg6RiceTable BuildTlg6RiceTable() {
  Tlg6RiceTable table;
  for (uint32_t n = 0; n < kTlg6RiceCountdowns; ++n) {
    size_t sum = 0;
    for (uint32_t k = 0; k < kTlg6RiceParameters; ++k) {
      for (int32_t c = 0; c < RiceParameterCounts[n][k]; ++c, ++sum) {
        table.parameters[sum * kTlg6RiceCountdowns + n] = static_cast<uint8_t>(k);
      }
    }
  }
  return table;
}

namespace {

// Bit i of word i / 64 is set where value i is not 0.
// `words` holds count / 64 + 1 words.
void MarkNonZero(const uint8_t* values, size_t count, uint64_t* words) {
  std::fill(words, words + count / 64 + 1, 0);
  size_t i = 0;
#if defined(__SSE2__)
  const __m128i zero = _mm_setzero_si128();
  for (; i + 16 <= count; i += 16) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(values + i));
    const auto zeros = static_cast<uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, zero)));
    words[i / 64] |= static_cast<uint64_t>(~zeros & 0xFFFF) << (i % 64);
  }
#endif
  for (; i < count; ++i) words[i / 64] |= static_cast<uint64_t>(values[i] != 0) << (i % 64);
}

// Where the run that starts at `start` ends: the first index from there
// whose value is (not) 0 when the run's are not (are), or `count`.
size_t LongRunEnd(const uint64_t* words, size_t count, size_t start, bool nonZero) {
  for (size_t word = start / 64 + 1; word * 64 < count; ++word) {
    const uint64_t bits = nonZero ? ~words[word] : words[word];
    if (bits != 0) return std::min(count, word * 64 + static_cast<size_t>(__builtin_ctzll(bits)));
  }
  return count;
}

inline __attribute__((always_inline)) size_t RunEnd(const uint64_t* words, size_t count,
                                                    size_t start, bool nonZero) {
  const uint64_t word = words[start / 64];
  const uint64_t bits = (nonZero ? ~word : word) >> (start % 64);
  if (bits != 0) return std::min(count, start + static_cast<size_t>(__builtin_ctzll(bits)));
  return LongRunEnd(words, count, start, nonZero);
}

}  // namespace

Tlg6CodedColour EncodeTlg6Values(const uint8_t* values, size_t count, const Tlg6RiceTable& table) {
  BitWriter out(count);
  if (count > 0) {
    std::vector<uint64_t> marks(count / 64 + 1);
    const uint64_t* nonZero = marks.data();
    MarkNonZero(values, count, marks.data());
    int32_t sum = 0;
    int32_t countdown = kTlg6RiceCountdownStart;
    bool valueRun = values[0] != 0;
    out.Put(valueRun ? 1 : 0, 1);
    for (size_t i = 0; i < count;) {
      const size_t end = RunEnd(nonZero, count, i, valueRun);
      if (end - i > UINT32_MAX) throw std::length_error("TLG6 run too long");
      out.Reserve(1);
      PutRunLength(out, static_cast<uint32_t>(end - i));
      // Room for a long run is made a piece at a time: its worst case is
      // far above what it takes.
      while (valueRun && i < end) {
        const size_t pieceEnd = std::min(end, i + kCodesPerReserve);
        out.Reserve(pieceEnd - i);
        for (; i < pieceEnd; ++i) {
          const uint32_t code = Tlg6ValueCode(values[i]);
          PutValue(out, code, table.At(sum, countdown));
          sum += static_cast<int32_t>(code >> 1);
          if (--countdown < 0) {
            sum >>= 1;
            countdown = kTlg6RiceCountdownStart;
          }
        }
      }
      i = end;
      valueRun = !valueRun;
    }
  }
  const uint64_t bits = out.Bits();
  if (bits > kTlg6BitLengthMask) throw std::length_error("TLG6 colour too long");
  return Tlg6CodedColour{out.Finish(), static_cast<uint32_t>(bits)};
}

uint64_t AppendTlg6Cost(Tlg6CostState& state, const uint8_t* values, size_t count,
                        const Tlg6RiceTable& table) {
  if (count == 0) return 0;
  uint64_t bits = 0;
  if (!state.started) {
    state.started = true;
    state.valueRun = values[0] != 0;
    bits += 1;  // which kind of run comes first
  }
  // A block's values take one word; longer calls take a vector.
  uint64_t word[2];
  std::vector<uint64_t> words;
  uint64_t* nonZero = word;
  if (count / 64 + 1 > 2) {
    words.resize(count / 64 + 1);
    nonZero = words.data();
  }
  MarkNonZero(values, count, nonZero);
  int32_t sum = state.rice.sum;
  int32_t countdown = state.rice.countdown;
  // Runs alternate: only the first may go on from the values before.
  bool valueRun = values[0] != 0;
  if (valueRun != state.valueRun) {
    state.valueRun = valueRun;
    state.runLength = 0;
  }
  for (size_t i = 0; i < count; valueRun = !valueRun) {
    if (i > 0) {
      state.valueRun = valueRun;
      state.runLength = 0;
    }
    const size_t end = RunEnd(nonZero, count, i, valueRun);
    if (valueRun) {
      for (size_t j = i; j < end; ++j) {
        const uint32_t code = Tlg6ValueCode(values[j]);
        bits += ValueBits(code, table.At(sum, countdown));
        sum += static_cast<int32_t>(code >> 1);
        if (--countdown < 0) {
          sum >>= 1;
          countdown = kTlg6RiceCountdownStart;
        }
      }
    }
    // A run-length code takes 1 bit, plus 2 for every bit of the length
    // above its top one; a run that goes on grows its code from there.
    const uint32_t before = state.runLength;
    state.runLength += static_cast<uint32_t>(end - i);
    bits += before == 0 ? 1 + 2 * HighestBit(state.runLength)
                        : 2 * (HighestBit(state.runLength) - HighestBit(before));
    i = end;
  }
  state.rice.sum = sum;
  state.rice.countdown = countdown;
  return bits;
}
