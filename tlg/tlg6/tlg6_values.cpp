#include "tlg/tlg6/tlg6_values.h"

#include <algorithm>
#include <cstddef>
#include <cstring>

#include "tlg/tlg6/tlg6_tables.h"

namespace {

constexpr uint32_t kLookupMask = kFirstSetBitTableSize - 1;
constexpr uint32_t kEntryBytes = 4;
// The furthest one value code moves the reader (an escape spends the rest of
// a 4-byte window and the quotient byte, then up to 8 remainder bits), and
// the room a value needs ahead of it for one wide window.
constexpr size_t kMaxValueAdvance = 6;
constexpr size_t kValueRoom = 8;

// Position (P, B): the next bit is bit B of byte P of the coded bytes, and
// `end` is the number of coded bytes. An index rather than a pointer, since
// a damaged stream can move P past the buffer before the next check.
struct BitReader {
  const uint8_t* code;
  size_t end;
  size_t p;
  uint32_t b;
};

// The next 32 - B bits, the next bit in bit 0.
inline uint32_t Window(const BitReader& r) {
  uint32_t word;
  std::memcpy(&word, r.code + r.p, sizeof word);  // one unaligned load; hosts are little-endian
  return word >> r.b;
}

// The next 64 - B bits; only where 8 coded bytes remain from P.
constexpr size_t kWideWindowBytes = 8;
inline uint64_t WideWindow(const BitReader& r) {
  uint64_t word;
  std::memcpy(&word, r.code + r.p, sizeof word);
  return word >> r.b;
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

inline void Consume(BitReader& r, uint32_t bits) {
  r.b += bits;
  r.p += r.b >> 3;
  r.b &= 7;
}

struct RiceState {
  int32_t sum = 0;
  int32_t countdown = kTlg6RiceCountdownStart;
};

// Elias-gamma run length, or 0 when the code is malformed.
inline uint32_t DecodeRunLength(BitReader& r) {
  if (r.p < r.end && r.end - r.p >= kWideWindowBytes) {
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
  if (r.p >= r.end) return 0;
  uint32_t t = FirstSetBitTable[Window(r) & kLookupMask];
  uint32_t zeros = 0;  // zero bits passed in whole lookups
  while (t == 0) {
    zeros += kFirstSetBitTableBits;
    // Too long to be a run length, or the closing 1 bit is not coded at all.
    if (zeros > kTlg6MaxRunLengthBits) return 0;
    Consume(r, kFirstSetBitTableBits);
    if (r.p >= r.end) return 0;
    t = FirstSetBitTable[Window(r) & kLookupMask];
  }
  const uint32_t bits = zeros + t - 1;
  if (bits > kTlg6MaxRunLengthBits) return 0;
  Consume(r, t);
  if (bits == 0) return 1;
  if (r.p >= r.end) return 0;
  const uint32_t low = Window(r) & ((1u << bits) - 1);
  Consume(r, bits);
  return (1u << bits) + low;
}

// One non-zero value; its low byte is the residual. kNearEnd: the reader may
// be close enough to the end of the coded bytes that each read is checked.
template <bool kNearEnd>
inline bool DecodeValue(BitReader& r, RiceState& s, uint32_t& value) {
  // Only codes longer than the shortest form get the sum this far.
  if (s.sum >= kTlg6RunningSumLimit) return false;
  if (kNearEnd && r.p >= r.end) return false;
  const uint32_t k = RiceParameterTable[s.sum][s.countdown];
  const uint32_t remainderMask = (1u << k) - 1;
  const uint64_t wide = kNearEnd ? 0 : WideWindow(r);
  uint32_t window = kNearEnd ? Window(r) : static_cast<uint32_t>(wide) & (~0u >> r.b);
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
    if (kNearEnd && r.end - r.p <= kTlg6EscapeQuotientByte) return false;
    quotient = r.code[r.p + kTlg6EscapeQuotientByte];
    r.p += kTlg6EscapeQuotientByte + 1;
    r.b = 0;
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

template <class Store>
bool DecodeValueRun(BitReader& r, RiceState& s, Store& store, uint32_t index, uint32_t length) {
  uint32_t value;
  while (length > 0) {
    const size_t room = r.p < r.end ? r.end - r.p : 0;
    if (room >= kValueRoom) {
      // Each of these values starts at least 8 bytes before the end, so none
      // of them reads past the coded bytes and the guard bytes.
      const uint32_t batch = static_cast<uint32_t>(
          std::min<size_t>(length, (room - kValueRoom) / kMaxValueAdvance + 1));
      for (uint32_t i = 0; i < batch; ++i) {
        if (!DecodeValue<false>(r, s, value)) return false;
        store.Put(index++, value);
      }
      length -= batch;
    } else {
      if (!DecodeValue<true>(r, s, value)) return false;
      store.Put(index++, value);
      --length;
    }
  }
  return true;
}

template <class Store>
bool Unpack(Store store, uint32_t count, const uint8_t* code, const uint8_t* codeEnd) {
  if (count == 0) return true;
  if (code >= codeEnd) return false;
  BitReader r{code, static_cast<size_t>(codeEnd - code), 0, 1};
  bool valueRun = (code[0] & 1) != 0;
  RiceState s;
  for (uint32_t i = 0; i < count;) {
    const uint32_t length = DecodeRunLength(r);
    if (length == 0 || length > count - i) return false;
    if (valueRun) {
      if (!DecodeValueRun(r, s, store, i, length)) return false;
    } else {
      store.Zeros(i, length);
    }
    i += length;
    valueRun = !valueRun;
  }
  return true;
}

struct EntryStore {
  uint32_t* entries;
  void Zeros(uint32_t index, uint32_t length) { std::fill_n(entries + index, length, 0u); }
  void Put(uint32_t index, uint32_t value) { entries[index] = value & 0xFF; }
};

struct LaneStore {
  uint8_t* lane;
  void Zeros(uint32_t index, uint32_t length) {
    uint8_t* out = lane + static_cast<size_t>(index) * kEntryBytes;
    for (uint32_t i = 0; i < length; ++i, out += kEntryBytes) *out = 0;
  }
  void Put(uint32_t index, uint32_t value) {
    lane[static_cast<size_t>(index) * kEntryBytes] = static_cast<uint8_t>(value);
  }
};

}  // namespace

bool UnpackFirstColour(uint32_t* entries, uint32_t count, const uint8_t* code,
                       const uint8_t* codeEnd) {
  return Unpack(EntryStore{entries}, count, code, codeEnd);
}

bool UnpackColour(uint8_t* lane, uint32_t count, const uint8_t* code, const uint8_t* codeEnd) {
  return Unpack(LaneStore{lane}, count, code, codeEnd);
}
