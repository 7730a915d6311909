// The two lookup tables of TLG6 value decoding. Constant data, computed at
// compile time: decodes on any number of threads read them, nothing writes.
#pragma once

#include <cstdint>

#include "tlg/tlg6/tlg6_format.h"

// 1 + the number of trailing zero bits of a 12-bit value; 0 for 0.
constexpr uint32_t kFirstSetBitTableBits = 12;
constexpr uint32_t kFirstSetBitTableSize = 1u << kFirstSetBitTableBits;

struct Tlg6FirstSetBitLookup {
  uint8_t entries[kFirstSetBitTableSize];
};

constexpr Tlg6FirstSetBitLookup MakeTlg6FirstSetBitLookup() {
  Tlg6FirstSetBitLookup table{};
  for (uint32_t i = 1; i < kFirstSetBitTableSize; ++i) {
    uint8_t position = 1;
    while ((i & (1u << (position - 1))) == 0) ++position;
    table.entries[i] = position;
  }
  return table;
}

// Rice parameter for running sum S (0-1023) and countdown n (0-3), at [S][n].
// The four parameters of a sum form one 32-bit word, which the vector
// decoder gathers whole.
struct Tlg6RiceParameterLookup {
  uint8_t entries[kTlg6RunningSumLimit][kTlg6RiceCountdowns];
};

constexpr Tlg6RiceParameterLookup MakeTlg6RiceParameterLookup() {
  Tlg6RiceParameterLookup table{};
  // The counts cover every sum exactly (checked where they are defined).
  for (uint32_t n = 0; n < kTlg6RiceCountdowns; ++n) {
    int32_t sum = 0;
    for (uint32_t k = 0; k < kTlg6RiceParameters; ++k) {
      for (int32_t c = 0; c < RiceParameterCounts[n][k]; ++c) {
        table.entries[sum++][n] = static_cast<uint8_t>(k);
      }
    }
  }
  return table;
}

inline constexpr Tlg6FirstSetBitLookup kTlg6FirstSetBitLookup = MakeTlg6FirstSetBitLookup();
inline constexpr Tlg6RiceParameterLookup kTlg6RiceParameterLookup = MakeTlg6RiceParameterLookup();

inline constexpr const uint8_t (&FirstSetBitTable)[kFirstSetBitTableSize] =
    kTlg6FirstSetBitLookup.entries;
inline constexpr const uint8_t (&RiceParameterTable)[kTlg6RunningSumLimit][kTlg6RiceCountdowns] =
    kTlg6RiceParameterLookup.entries;
