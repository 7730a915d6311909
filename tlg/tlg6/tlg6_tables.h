// The two lookup tables of TLG6 value decoding. They are process-wide and
// rebuilt by every decode, always with the same contents.
#pragma once

#include <cstdint>

#include "tlg/tlg6/tlg6_format.h"

// 1 + the number of trailing zero bits of a 12-bit value; 0 for 0.
constexpr uint32_t kFirstSetBitTableBits = 12;
constexpr uint32_t kFirstSetBitTableSize = 1u << kFirstSetBitTableBits;
extern uint8_t FirstSetBitTable[kFirstSetBitTableSize];

// Rice parameter for running sum S (0-1023) and countdown n (0-3), at [S][n].
extern uint8_t RiceParameterTable[kTlg6RunningSumLimit][kTlg6RiceCountdowns];

void BuildTlg6Tables();
