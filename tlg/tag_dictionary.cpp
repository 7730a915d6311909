#include "tlg/tag_dictionary.h"

namespace {

// Bounded reader over the chunk's bytes: nothing is read at or past `end`.
struct TagReader {
  const uint8_t* p;
  const uint8_t* end;

  // A run of decimal digits, possibly empty (then 0); false if it overflows 32 bits.
  bool ReadLength(uint32_t& length) {
    uint64_t value = 0;
    while (p < end && *p >= '0' && *p <= '9') {
      value = value * 10 + (*p - '0');
      if (value > UINT32_MAX) return false;
      ++p;
    }
    length = static_cast<uint32_t>(value);
    return true;
  }

  bool Expect(uint8_t c) {
    if (p >= end || *p != c) return false;
    ++p;
    return true;
  }

  bool ReadBytes(uint32_t length, std::string& out) {
    if (static_cast<uint64_t>(end - p) < length) return false;
    out.assign(reinterpret_cast<const char*>(p), length);
    p += length;
    return true;
  }
};

}  // namespace

bool ParseTags(const uint8_t* data, uint32_t size, TagDictionary& tags) {
  TagReader reader{data, data + size};
  std::string key, value;
  while (reader.p < reader.end) {
    uint32_t keyLength = 0, valueLength = 0;
    if (!reader.ReadLength(keyLength) || !reader.Expect(':') ||
        !reader.ReadBytes(keyLength, key) || !reader.Expect('=') ||
        !reader.ReadLength(valueLength) || !reader.Expect(':') ||
        !reader.ReadBytes(valueLength, value) || !reader.Expect(',')) {
      return false;
    }
    tags[key] = value;
  }
  return true;
}
