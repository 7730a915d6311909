// Reading the codes of one TLG6 colour stream, one at a time: the run
// lengths and the values, with every read checked against the coded bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "tlg/tlg6/tlg6_format.h"
#include "tlg/tlg6/tlg6_tables.h"

// The bit reader stays in registers only when the decoding steps are
// inlined into the loop over runs.
#if defined(__GNUC__)
#define TLG_ALWAYS_INLINE inline __attribute__((always_inline))
#else
#define TLG_ALWAYS_INLINE inline
#endif

// Internal to the TLG6 value decoders.
namespace tlg6_codes {

inline constexpr uint32_t kLookupMask = kFirstSetBitTableSize - 1;
// Coded bytes a value needs ahead of it for one wide window.
inline constexpr size_t kValueRoom = 8;

// Position (P, B): the next bit is bit B of byte P of the coded bytes, and
// `end` is the number of coded bytes. An index rather than a pointer, since
// a damaged stream can move P past the buffer before the next check.
// Kept as one bit count, so that moving on is a single addition.
struct BitReader {
  const uint8_t* code;
  size_t end;
  size_t bit;

  size_t P() const { return bit >> 3; }
  uint32_t B() const { return static_cast<uint32_t>(bit & 7); }
};

// The next 32 - B bits, the next bit in bit 0.
inline uint32_t Window(const BitReader& r) {
  uint32_t word;
  std::memcpy(&word, r.code + r.P(), sizeof word);  // one unaligned load; hosts are little-endian
  return word >> r.B();
}

// The next 64 - B bits; only where 8 coded bytes remain from P.
inline constexpr size_t kWideWindowBytes = 8;
inline uint64_t WideWindow(const BitReader& r) {
  uint64_t word;
  std::memcpy(&word, r.code + r.P(), sizeof word);
  return word >> r.B();
}

// Zero bits below the lowest set bit of a non-zero word.
inline uint32_t TrailingZeros(uint32_t word) {
#if defined(__GNUC__)
  return static_cast<uint32_t>(__builtin_ctz(word));
#else
  uint32_t zeros = 0;
  uint32_t t = FirstSetBitTable[word & kLookupMask];
  while (t == 0) {
    zeros += kFirstSetBitTableBits;
    word >>= kFirstSetBitTableBits;
    t = FirstSetBitTable[word & kLookupMask];
  }
  return zeros + t - 1;
#endif
}

inline void Consume(BitReader& r, uint32_t bits) { r.bit += bits; }

struct RiceState {
  int32_t sum = 0;
  int32_t countdown = kTlg6RiceCountdownStart;
};

// Elias-gamma run length, or 0 when the code is malformed.
TLG_ALWAYS_INLINE uint32_t DecodeRunLength(BitReader& r) {
  if (r.P() < r.end && r.end - r.P() >= kWideWindowBytes) {
    // The whole code, at most 2 x 25 + 1 bits, is inside one wide window.
    const uint64_t window = WideWindow(r);
    const uint32_t head = static_cast<uint32_t>(window);
    if (head == 0) return 0;
    const uint32_t bits = TrailingZeros(head);
    if (bits > kTlg6MaxRunLengthBits) return 0;
    const uint32_t low = static_cast<uint32_t>(window >> (bits + 1)) & ((1u << bits) - 1);
    Consume(r, 2 * bits + 1);
    return (1u << bits) + low;
  }
  if (r.P() >= r.end) return 0;
  uint32_t t = FirstSetBitTable[Window(r) & kLookupMask];
  uint32_t zeros = 0;  // zero bits passed in whole lookups
  while (t == 0) {
    zeros += kFirstSetBitTableBits;
    // Too long to be a run length, or the closing 1 bit is not coded at all.
    if (zeros > kTlg6MaxRunLengthBits) return 0;
    Consume(r, kFirstSetBitTableBits);
    if (r.P() >= r.end) return 0;
    t = FirstSetBitTable[Window(r) & kLookupMask];
  }
  const uint32_t bits = zeros + t - 1;
  if (bits > kTlg6MaxRunLengthBits) return 0;
  Consume(r, t);
  if (bits == 0) return 1;
  if (r.P() >= r.end) return 0;
  const uint32_t low = Window(r) & ((1u << bits) - 1);
  Consume(r, bits);
  return (1u << bits) + low;
}

// One non-zero value; its low byte is the residual. kNearEnd: the reader may
// be close enough to the end of the coded bytes that each read is checked.
template <bool kNearEnd>
TLG_ALWAYS_INLINE bool DecodeValue(BitReader& r, RiceState& s, uint32_t& value) {
  // Only codes longer than the shortest form get the sum this far.
  if (s.sum >= kTlg6RunningSumLimit) return false;
  if (kNearEnd && r.P() >= r.end) return false;
  const uint32_t k = RiceParameterTable[s.sum][s.countdown];
  const uint32_t remainderMask = (1u << k) - 1;
  const uint64_t wide = kNearEnd ? 0 : WideWindow(r);
  uint32_t window = kNearEnd ? Window(r) : static_cast<uint32_t>(wide) & (~0u >> r.B());
  uint32_t quotient;
  uint32_t remainder;
  if (!kNearEnd && window != 0) {
    // The 1 bit is inside the 32-bit window and the remainder, at most 8
    // bits, right after it: all within the wide window.
    quotient = TrailingZeros(window);
    remainder = static_cast<uint32_t>(wide >> (quotient + 1)) & remainderMask;
    Consume(r, quotient + 1 + k);
  } else if (window != 0) {
    // The 1 bit is inside this window, so the count ends within it.
    uint32_t t = FirstSetBitTable[window & kLookupMask];
    uint32_t zeros = 0;
    while (t == 0) {
      zeros += kFirstSetBitTableBits;
      Consume(r, kFirstSetBitTableBits);
      window = Window(r);
      t = FirstSetBitTable[window & kLookupMask];
    }
    quotient = zeros + t - 1;
    remainder = (window >> t) & remainderMask;
    Consume(r, t + k);
  } else {
    // Escape: the quotient is the byte after this window.
    if (kNearEnd && r.end - r.P() <= kTlg6EscapeQuotientByte) return false;
    quotient = r.code[r.P() + kTlg6EscapeQuotientByte];
    r.bit = (r.P() + kTlg6EscapeQuotientByte + 1) * 8;
    remainder = Window(r) & remainderMask;
    Consume(r, k);
  }
  const uint32_t e = (quotient << k) + remainder;
  value = (e & 1) ? (e >> 1) + 1 : ~(e >> 1);
  s.sum += static_cast<int32_t>(e >> 1);
  if (--s.countdown < 0) {
    s.sum >>= 1;
    s.countdown = kTlg6RiceCountdownStart;
  }
  return true;
}

}  // namespace tlg6_codes
