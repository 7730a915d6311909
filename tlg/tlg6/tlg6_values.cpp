#include "tlg/tlg6/tlg6_values.h"

#include <algorithm>
#include <cstddef>
#include <cstring>

#include "tlg/tlg6/tlg6_codes.h"

namespace {

using namespace tlg6_codes;

constexpr uint32_t kEntryBytes = 4;

template <class Store>
TLG_ALWAYS_INLINE bool DecodeValueRun(BitReader& r, RiceState& s, Store& store, uint32_t index,
                                      uint32_t length, size_t wideLimit) {
  uint32_t value;
  for (const uint32_t end = index + length; index < end; ++index) {
    // A value that starts before `wideLimit` reads no byte past the coded
    // bytes and the guard bytes, whatever it holds.
    const bool ok = r.bit < wideLimit ? DecodeValue<false>(r, s, value)
                                      : DecodeValue<true>(r, s, value);
    if (!ok) return false;
    store.Put(index, value);
  }
  return true;
}

template <class Store>
bool Unpack(Store store, uint32_t count, const uint8_t* code, const uint8_t* codeEnd) {
  if (count == 0) return true;
  if (code >= codeEnd) return false;
  BitReader r{code, static_cast<size_t>(codeEnd - code), 1};
  // First bit position from which fewer than kValueRoom coded bytes remain.
  const size_t wideLimit = r.end >= kValueRoom ? (r.end - kValueRoom + 1) * 8 : 0;
  bool valueRun = (code[0] & 1) != 0;
  RiceState s;
  for (uint32_t i = 0; i < count;) {
    const uint32_t length = DecodeRunLength(r);
    if (length == 0 || length > count - i) return false;
    if (valueRun) {
      if (!DecodeValueRun(r, s, store, i, length, wideLimit)) return false;
    } else if (count - i - length >= Store::kZeroGroup) {
      // Every entry after this run is stored later, so zeros may run over.
      store.ZeroGroups(i, length);
    } else {
      store.Zeros(i, length);
    }
    i += length;
    valueRun = !valueRun;
  }
  return true;
}

struct EntryStore {
  static constexpr uint32_t kZeroGroup = 8;
  uint32_t* entries;
  void Zeros(uint32_t index, uint32_t length) { std::fill_n(entries + index, length, 0u); }
  // Whole groups of entries, reaching at most kZeroGroup - 1 past the run.
  void ZeroGroups(uint32_t index, uint32_t length) {
    uint32_t* out = entries + index;
    for (uint32_t i = 0; i < length; i += kZeroGroup, out += kZeroGroup) {
      std::memset(out, 0, kZeroGroup * sizeof(uint32_t));
    }
  }
  void Put(uint32_t index, uint32_t value) { entries[index] = value & 0xFF; }
};

struct LaneStore {
  static constexpr uint32_t kZeroGroup = 4;
  uint8_t* lane;
  void Zeros(uint32_t index, uint32_t length) {
    uint8_t* out = lane + static_cast<size_t>(index) * kEntryBytes;
    for (uint32_t i = 0; i < length; ++i, out += kEntryBytes) *out = 0;
  }
  void ZeroGroups(uint32_t index, uint32_t length) {
    uint8_t* out = lane + static_cast<size_t>(index) * kEntryBytes;
    for (uint32_t i = 0; i < length; i += kZeroGroup, out += kZeroGroup * kEntryBytes) {
      out[0] = 0;
      out[kEntryBytes] = 0;
      out[2 * kEntryBytes] = 0;
      out[3 * kEntryBytes] = 0;
    }
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
