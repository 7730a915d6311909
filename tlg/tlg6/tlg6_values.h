// Decoding one colour of one block row: a Golomb-Rice coded bit stream of
// alternating zero and value runs, into residual entries of 4 bytes.
#pragma once

#include <cstdint>

// The decoders read up to this many bytes past the coded ones; the caller
// makes them readable and zero.
constexpr uint32_t kTlg6CodeGuardBytes = 4;

// Both decode `count` values from the coded bytes [code, codeEnd). False when
// the stream is malformed: a run passes `count`, a code runs past the coded
// bytes, a run length has more than 25 bits, or the running sum leaves the
// parameter table. Entries already stored then stay as they are.

// Stores whole entries: the value in the low byte, zero above it.
bool UnpackFirstColour(uint32_t* entries, uint32_t count, const uint8_t* code,
                       const uint8_t* codeEnd);

// Stores value i at lane[4 * i] and touches no other byte.
bool UnpackColour(uint8_t* lane, uint32_t count, const uint8_t* code, const uint8_t* codeEnd);
