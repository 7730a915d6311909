#include "encoder/tlg6_value_coder.h"

#include <algorithm>
#include <stdexcept>
#include <utility>

namespace {

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
      const auto word = static_cast<uint32_t>(pending_);
      for (int i = 0; i < 4; ++i) bytes_[used_ + i] = static_cast<uint8_t>(word >> (8 * i));
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
  // Room for the next value or run length, each at most 64 bits.
  void Reserve() {
    if (bytes_.size() - used_ < kSlack) bytes_.resize(bytes_.size() * 2);
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

uint32_t HighestBit(uint32_t n) {
  return n == 0 ? 0 : 31 - static_cast<uint32_t>(__builtin_clz(n));
}

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
  if (quotient < kTlg6WindowBits - offset) {
    out.Put(1u << quotient, quotient + 1);
  } else {
    // The decoder's window would be all zero: escape to a quotient byte.
    out.PutZeros(kTlg6WindowBits - offset);
    out.Put(quotient, 8);
  }
  out.Put(code & ((1u << k) - 1), k);
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

Tlg6CodedColour EncodeTlg6Values(const uint8_t* values, size_t count, const Tlg6RiceTable& table) {
  BitWriter out(count);
  if (count > 0) {
    Tlg6RiceState state;
    bool valueRun = values[0] != 0;
    out.Put(valueRun ? 1 : 0, 1);
    for (size_t i = 0; i < count;) {
      size_t end = i;
      while (end < count && (values[end] != 0) == valueRun) ++end;
      if (end - i > UINT32_MAX) throw std::length_error("TLG6 run too long");
      out.Reserve();
      PutRunLength(out, static_cast<uint32_t>(end - i));
      if (valueRun) {
        for (; i < end; ++i) {
          const uint32_t code = Tlg6ValueCode(values[i]);
          out.Reserve();
          PutValue(out, code, table.At(state.sum, state.countdown));
          AdvanceRiceState(state, code);
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
  Tlg6RiceState rice = state.rice;
  for (size_t i = 0; i < count;) {
    const bool nonZero = values[i] != 0;
    if (nonZero != state.valueRun) {
      state.valueRun = nonZero;
      state.runLength = 0;
    }
    size_t end = i;
    if (nonZero) {
      int32_t sum = rice.sum;
      int32_t countdown = rice.countdown;
      for (; end < count && values[end] != 0; ++end) {
        const uint32_t code = Tlg6ValueCode(values[end]);
        bits += ValueBits(code, table.At(sum, countdown));
        sum += static_cast<int32_t>(code >> 1);
        if (--countdown < 0) {
          sum >>= 1;
          countdown = kTlg6RiceCountdownStart;
        }
      }
      rice.sum = sum;
      rice.countdown = countdown;
    } else {
      while (end < count && values[end] == 0) ++end;
    }
    // A run-length code takes 1 bit, plus 2 for every bit of the length
    // above its top one; a run that goes on grows its code from there.
    const uint32_t before = state.runLength;
    state.runLength += static_cast<uint32_t>(end - i);
    bits += before == 0 ? 1 + 2 * HighestBit(state.runLength)
                        : 2 * (HighestBit(state.runLength) - HighestBit(before));
    i = end;
  }
  state.rice = rice;
  return bits;
}
