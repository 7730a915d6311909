// Golomb-Rice coding of one TLG6 colour of one block row, exactly as the
// decoder reads it, and a cost estimate for choosing filter types.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "tlg/tlg6/tlg6_format.h"

// The Rice parameter for every running sum and countdown.
struct Tlg6RiceTable {
  std::array<uint8_t, kTlg6RunningSumLimit * kTlg6RiceCountdowns> parameters{};
  uint32_t At(int32_t sum, int32_t countdown) const {
    return parameters[static_cast<size_t>(sum) * kTlg6RiceCountdowns +
                      static_cast<size_t>(countdown)];
  }
};
Tlg6RiceTable BuildTlg6RiceTable();

// The adaptive part of a colour's code, carried from value to value.
struct Tlg6RiceState {
  int32_t sum = 0;
  int32_t countdown = kTlg6RiceCountdownStart;
};

// The code number e of a non-zero residual byte in its shortest form: odd
// for +1..+127, even for -1..-128.
inline uint32_t Tlg6ValueCode(uint8_t value) {
  const int32_t v = static_cast<int8_t>(value);
  return v > 0 ? static_cast<uint32_t>(2 * v - 1) : static_cast<uint32_t>(-2 * v - 2);
}
inline void AdvanceRiceState(Tlg6RiceState& state, uint32_t code) {
  state.sum += static_cast<int32_t>(code >> 1);
  if (--state.countdown < 0) {
    state.sum >>= 1;
    state.countdown = kTlg6RiceCountdownStart;
  }
}

struct Tlg6CodedColour {
  std::vector<uint8_t> bytes;  // last byte padded with zero bits
  uint32_t bitLength = 0;
};

// Codes `count` residual bytes. Throws std::length_error for a run longer
// than a run-length code can hold, or more bits than a colour header can.
Tlg6CodedColour EncodeTlg6Values(const uint8_t* values, size_t count, const Tlg6RiceTable& table);

// Running estimate of a colour's coded size: runs left open at the end are
// counted as if they closed there.
struct Tlg6CostState {
  Tlg6RiceState rice;
  bool started = false;
  bool valueRun = false;
  uint32_t runLength = 0;
};

// Bits that appending `count` values adds to the estimate.
uint64_t AppendTlg6Cost(Tlg6CostState& state, const uint8_t* values, size_t count,
                        const Tlg6RiceTable& table);
