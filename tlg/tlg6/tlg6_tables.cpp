#include "tlg/tlg6/tlg6_tables.h"

uint8_t FirstSetBitTable[kFirstSetBitTableSize];
uint8_t RiceParameterTable[kTlg6RunningSumLimit][kTlg6RiceCountdowns];

void BuildTlg6Tables() {
  for (uint32_t i = 0; i < kFirstSetBitTableSize; ++i) {
    uint8_t position = 0;
    for (uint32_t bit = 0; bit < kFirstSetBitTableBits; ++bit) {
      if (i & (1u << bit)) {
        position = static_cast<uint8_t>(bit + 1);
        break;
      }
    }
    FirstSetBitTable[i] = position;
  }

  // The counts cover every sum exactly (checked where they are defined).
  for (uint32_t n = 0; n < kTlg6RiceCountdowns; ++n) {
    int32_t sum = 0;
    for (uint32_t k = 0; k < kTlg6RiceParameters; ++k) {
      for (int32_t c = 0; c < RiceParameterCounts[n][k]; ++c) {
        RiceParameterTable[sum++][n] = static_cast<uint8_t>(k);
      }
    }
  }
}
