// UTF-8 as the tool checks it: well-formed sequences only (no overlong
// forms, no surrogates, nothing past U+10FFFF).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// The length of the well-formed sequence that starts at text[at], with its
// code point in `codePoint`; 0 when there is none.
inline size_t Utf8SequenceAt(const std::string& text, size_t at, uint32_t& codePoint) {
  const auto byte = [&](size_t i) { return static_cast<uint8_t>(text[i]); };
  const uint8_t lead = byte(at);
  if (lead < 0x80) {
    codePoint = lead;
    return 1;
  }
  size_t length;
  uint32_t low;  // the smallest code point of that length
  if ((lead & 0xE0) == 0xC0) {
    length = 2, codePoint = lead & 0x1F, low = 0x80;
  } else if ((lead & 0xF0) == 0xE0) {
    length = 3, codePoint = lead & 0x0F, low = 0x800;
  } else if ((lead & 0xF8) == 0xF0) {
    length = 4, codePoint = lead & 0x07, low = 0x10000;
  } else {
    return 0;
  }
  if (text.size() - at < length) return 0;
  for (size_t i = 1; i < length; ++i) {
    if ((byte(at + i) & 0xC0) != 0x80) return 0;
    codePoint = codePoint << 6 | (byte(at + i) & 0x3F);
  }
  if (codePoint < low || codePoint > 0x10FFFF || (codePoint >= 0xD800 && codePoint <= 0xDFFF)) return 0;
  return length;
}

inline bool IsUtf8(const std::string& text) {
  uint32_t codePoint;
  for (size_t at = 0; at < text.size();) {
    const size_t length = Utf8SequenceAt(text, at, codePoint);
    if (length == 0) return false;
    at += length;
  }
  return true;
}
