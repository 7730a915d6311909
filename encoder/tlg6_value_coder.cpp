#include "encoder/tlg6_value_coder.h"

#include <stdexcept>
#include <utility>

namespace {

// Bits go into the bytes least significant first.
struct BitWriter {
  std::vector<uint8_t> bytes;
  uint64_t bits = 0;

  void Put(uint32_t value, uint32_t count) {
    for (uint32_t i = 0; i < count; ++i, ++bits) {
      if ((bits & 7) == 0) bytes.push_back(0);
      bytes.back() |= static_cast<uint8_t>(((value >> i) & 1) << (bits & 7));
    }
  }
  void PutZeros(uint32_t count) {
    for (uint32_t i = 0; i < count; i += 16) Put(0, count - i < 16 ? count - i : 16);
  }
  uint32_t BitOffset() const { return static_cast<uint32_t>(bits & 7); }
};

uint32_t HighestBit(uint32_t n) {
  uint32_t bit = 0;
  while (n >>= 1) ++bit;
  return bit;
}

// Elias gamma: as many zeros as the length has bits below its top one, the
// top one, then those bits.
void PutRunLength(BitWriter& out, uint32_t length) {
  const uint32_t bits = HighestBit(length);
  if (bits > kTlg6MaxRunLengthBits) throw std::length_error("TLG6 run too long");
  out.PutZeros(bits);
  out.Put(1, 1);
  out.Put(length, bits);
}

void PutValue(BitWriter& out, uint32_t code, uint32_t k) {
  const uint32_t quotient = code >> k;
  const uint32_t offset = out.BitOffset();
  if (quotient < kTlg6WindowBits - offset) {
    out.PutZeros(quotient);
    out.Put(1, 1);
  } else {
    // The decoder's window would be all zero: escape to a quotient byte.
    out.PutZeros(kTlg6WindowBits - offset);
    out.Put(quotient, 8);
  }
  out.Put(code, k);
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

uint32_t Tlg6ValueCode(uint8_t value) {
  const int32_t v = static_cast<int8_t>(value);
  return v > 0 ? static_cast<uint32_t>(2 * v - 1) : static_cast<uint32_t>(-2 * v - 2);
}

void AdvanceRiceState(Tlg6RiceState& state, uint32_t code) {
  state.sum += static_cast<int32_t>(code >> 1);
  if (--state.countdown < 0) {
    state.sum >>= 1;
    state.countdown = kTlg6RiceCountdownStart;
  }
}

Tlg6CodedColour EncodeTlg6Values(const uint8_t* values, size_t count, const Tlg6RiceTable& table) {
  BitWriter out;
  if (count > 0) {
    Tlg6RiceState state;
    bool valueRun = values[0] != 0;
    out.Put(valueRun ? 1 : 0, 1);
    for (size_t i = 0; i < count;) {
      size_t end = i;
      while (end < count && (values[end] != 0) == valueRun) ++end;
      if (end - i > UINT32_MAX) throw std::length_error("TLG6 run too long");
      PutRunLength(out, static_cast<uint32_t>(end - i));
      if (valueRun) {
        for (; i < end; ++i) {
          const uint32_t code = Tlg6ValueCode(values[i]);
          PutValue(out, code, table.At(state.sum, state.countdown));
          AdvanceRiceState(state, code);
        }
      }
      i = end;
      valueRun = !valueRun;
    }
  }
  if (out.bits > kTlg6BitLengthMask) throw std::length_error("TLG6 colour too long");
  return Tlg6CodedColour{std::move(out.bytes), static_cast<uint32_t>(out.bits)};
}

uint64_t AppendTlg6Cost(Tlg6CostState& state, const uint8_t* values, size_t count,
                        const Tlg6RiceTable& table) {
  uint64_t bits = 0;
  for (size_t i = 0; i < count; ++i) {
    const bool nonZero = values[i] != 0;
    if (!state.started) {
      state.started = true;
      state.valueRun = nonZero;
      bits += 1;  // which kind of run comes first
    }
    if (nonZero != state.valueRun) {
      state.valueRun = nonZero;
      state.runLength = 0;
    }
    // A run-length code starts at 1 bit and grows by 2 at every power of two.
    const uint32_t length = ++state.runLength;
    if (length == 1) {
      bits += 1;
    } else if ((length & (length - 1)) == 0) {
      bits += 2;
    }
    if (nonZero) {
      const uint32_t code = Tlg6ValueCode(values[i]);
      bits += ValueBits(code, table.At(state.rice.sum, state.rice.countdown));
      AdvanceRiceState(state.rice, code);
    }
  }
  return bits;
}
