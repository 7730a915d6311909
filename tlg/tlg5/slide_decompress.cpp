#include "tlg/tlg5/slide_decompress.h"

#include <cstdint>
#include <cstring>

namespace {

constexpr uint32_t kFlagByteMarker = 0xFF00;  // high byte set: bits of the flag byte remain
constexpr uint32_t kFlagBytesLeft = 0x100;
constexpr uint32_t kMinMatchLength = 3;
constexpr uint32_t kLongMatchNibble = 15;
constexpr uint32_t kLongMatchBase = 18;
constexpr uint32_t kMaxMatchLength = 255 + kLongMatchBase;
constexpr uint32_t kItemsPerFlagByte = 8;
// The most one flag byte's items can read (8 long matches) and write.
constexpr uint32_t kMaxGroupInput = kItemsPerFlagByte * 3;
constexpr uint32_t kMaxGroupOutput = kItemsPerFlagByte * kMaxMatchLength;

struct Block16 {
  uint8_t bytes[16];
};

template <class Word>
inline void CopyWord(uint8_t* destination, const uint8_t* source) {
  Word word;
  std::memcpy(&word, source, sizeof word);
  std::memcpy(destination, &word, sizeof word);
}

// Copies `length` (3 or more) bytes between separate buffers; short lengths
// as two overlapping words, which compilers turn into plain loads and stores.
inline void CopyBytes(uint8_t* destination, const uint8_t* source, uint32_t length) {
  if (length >= 8 && length <= 16) {
    CopyWord<uint64_t>(destination, source);
    CopyWord<uint64_t>(destination + length - 8, source + length - 8);
  } else if (length >= 4 && length < 8) {
    CopyWord<uint32_t>(destination, source);
    CopyWord<uint32_t>(destination + length - 4, source + length - 4);
  } else if (length == kMinMatchLength) {
    destination[0] = source[0];
    destination[1] = source[1];
    destination[2] = source[2];
  } else {
    std::memcpy(destination, source, length);
  }
}

// Copies a match of `length` bytes from `source` to `position` in the ring
// and to `out`, with the result of copying byte by byte through the ring.
inline void CopyMatch(uint8_t* out, uint8_t* dictionary, uint32_t source, uint32_t position,
                      uint32_t length) {
  const bool wraps =
      source + length > kSlideDictionarySize || position + length > kSlideDictionarySize;
  if (!wraps) {
    const uint32_t behind = (position - source) & kSlideDictionaryMask;
    if (behind == 0 || behind >= length) {
      // No byte of the match is read after the match wrote it.
      CopyBytes(out, dictionary + source, length);
    } else {
      // The source runs into the bytes being written: a pattern of `behind` bytes repeats.
      if (behind == 1) {  // a run of one byte
        std::memset(out, dictionary[source], length);
        CopyBytes(dictionary + position, out, length);
        return;
      }
      for (uint32_t i = 0; i < behind; ++i) out[i] = dictionary[source + i];
      // Doubling what is written keeps it a whole number of patterns.
      for (uint32_t done = behind; done < length;) {
        const uint32_t n = done < length - done ? done : length - done;
        std::memcpy(out + done, out, n);
        done += n;
      }
    }
    CopyBytes(dictionary + position, out, length);
    return;
  }
  for (uint32_t i = 0; i < length; ++i) {
    const uint8_t value = dictionary[source];
    dictionary[position] = value;
    out[i] = value;
    source = (source + 1) & kSlideDictionaryMask;
    position = (position + 1) & kSlideDictionaryMask;
  }
}

// Match length and source from the item at `in`; advances `in`. The caller
// has made sure that its bytes are there.
inline uint32_t ReadMatch(const uint8_t*& in, uint32_t& source) {
  const uint32_t code = in[0] | static_cast<uint32_t>(in[1]) << 8;  // one 16-bit load
  source = code & kSlideDictionaryMask;
  uint32_t length = (code >> 12) + kMinMatchLength;
  in += 2;
  if (length == kLongMatchNibble + kMinMatchLength) length = *in++ + kLongMatchBase;
  return length;
}

// What one flag byte's items can read, plus the eight bytes a literal copy
// reads at once: the fast loop of the linear expansion needs this much input.
constexpr uint32_t kFastGroupInput = 1 + kMaxGroupInput + 8;
// A group may start at the capacity and overrun its last item by 15 bytes.
static_assert(kSlideLinearSlack >= kMaxGroupOutput + 16, "slack too small");

inline unsigned TrailingZeros(uint32_t value) {  // value != 0
#if defined(__GNUC__)
  return static_cast<unsigned>(__builtin_ctz(value));
#else
  unsigned n = 0;
  for (; (value & 1) == 0; value >>= 1) ++n;
  return n;
#endif
}

// Copies a match that starts `behind` (1 to 4096) bytes back, with the result
// of copying byte by byte. Writes up to 15 bytes past the match.
inline void CopyMatchBehind(uint8_t* out, uint32_t behind, uint32_t length) {
  const uint8_t* source = out - behind;
  if (behind >= 16 || behind >= length) {
    // Every byte of the match that a 16-byte load reads was final before it.
    CopyWord<Block16>(out, source);
    for (uint32_t done = 16; done < length; done += 16) {
      CopyWord<Block16>(out + done, source + done);
    }
  } else if (behind == 1) {  // a run of one byte
    Block16 run;
    std::memset(run.bytes, source[0], sizeof run.bytes);
    for (uint32_t done = 0; done < length; done += 16) std::memcpy(out + done, run.bytes, 16);
  } else {  // a short pattern that repeats
    for (uint32_t i = 0; i < length; ++i) out[i] = source[i];
  }
}

}  // namespace

SlideResult SlideDecompress(uint8_t* output, uint32_t outputCapacity, const uint8_t* input,
                            uint32_t inputLength, uint8_t* dictionary, uint32_t position) {
  const uint8_t* in = input;
  const uint8_t* const inEnd = input + inputLength;
  uint8_t* out = output;
  uint8_t* const outEnd = output + outputCapacity;
  uint32_t flags = 0;
  position &= kSlideDictionaryMask;
  bool complete = true;

  // Whole flag bytes whose items cannot reach either end: no checks per item.
  while (static_cast<size_t>(inEnd - in) > kMaxGroupInput &&
         static_cast<size_t>(outEnd - out) >= kMaxGroupOutput) {
    uint32_t group = *in++;
    if (group == 0 && position + kItemsPerFlagByte <= kSlideDictionarySize) {
      // Eight literals: one block copy.
      CopyWord<uint64_t>(out, in);
      CopyWord<uint64_t>(dictionary + position, in);
      out += kItemsPerFlagByte;
      in += kItemsPerFlagByte;
      position = (position + kItemsPerFlagByte) & kSlideDictionaryMask;
      continue;
    }
    for (uint32_t item = 0; item < kItemsPerFlagByte; ++item, group >>= 1) {
      if ((group & 1) == 0) {
        const uint8_t literal = *in++;
        *out++ = literal;
        dictionary[position] = literal;
        position = (position + 1) & kSlideDictionaryMask;
        continue;
      }
      uint32_t source;
      const uint32_t length = ReadMatch(in, source);
      CopyMatch(out, dictionary, source, position, length);
      out += length;
      position = (position + length) & kSlideDictionaryMask;
    }
  }

  // The rest item by item, each checked against both ends.
  while (in < inEnd) {
    flags >>= 1;
    if ((flags & kFlagBytesLeft) == 0) {
      flags = kFlagByteMarker | *in++;
      if (in == inEnd) {  // a flag byte with no item after it
        complete = false;
        break;
      }
    }
    if ((flags & 1) == 0) {
      if (out == outEnd) {
        complete = false;
        break;
      }
      const uint8_t literal = *in++;
      *out++ = literal;
      dictionary[position] = literal;
      position = (position + 1) & kSlideDictionaryMask;
      continue;
    }

    if (inEnd - in < 2 || (inEnd - in == 2 && (in[1] >> 4) == kLongMatchNibble)) {
      complete = false;
      break;
    }
    uint32_t source;
    const uint32_t length = ReadMatch(in, source);
    if (static_cast<uint32_t>(outEnd - out) < length) {
      complete = false;
      break;
    }
    CopyMatch(out, dictionary, source, position, length);
    out += length;
    position = (position + length) & kSlideDictionaryMask;
  }
  return SlideResult{position, static_cast<uint32_t>(out - output), complete};
}

SlideResult SlideDecompressLinear(uint8_t* output, uint32_t outputCapacity, const uint8_t* input,
                                  uint32_t inputLength, uint32_t position) {
  const uint8_t* in = input;
  const uint8_t* const inEnd = input + inputLength;
  uint8_t* out = output;
  uint8_t* const outEnd = output + outputCapacity;
  const uint32_t start = position & kSlideDictionaryMask;
  // How far back the ring slot `source` lies from `at`: 1 to 4096 bytes.
  // The ring position of `at`, less one, is its address plus `bias`, modulo 4096.
  const uint32_t bias = start - 1 - static_cast<uint32_t>(reinterpret_cast<uintptr_t>(output));
  const auto behind = [bias](const uint8_t* at, uint32_t source) {
    return ((static_cast<uint32_t>(reinterpret_cast<uintptr_t>(at)) + bias - source) &
            kSlideDictionaryMask) + 1;
  };

  // Whole flag bytes while their items cannot run out of input and the slack
  // takes whatever they write: runs of literals are copied eight bytes at once.
  while (static_cast<size_t>(inEnd - in) >= kFastGroupInput && out <= outEnd) {
    uint32_t flags = *in++ | 0x100u;  // bit 8 marks the end of the group
    for (;;) {
      const unsigned literals = TrailingZeros(flags);
      CopyWord<uint64_t>(out, in);
      out += literals;
      in += literals;
      flags >>= literals;
      if (flags == 1) break;
      flags >>= 1;
      uint32_t source;
      const uint32_t length = ReadMatch(in, source);
      CopyMatchBehind(out, behind(out, source), length);
      out += length;
    }
  }
  const auto stop = [&](bool complete) {
    // A group that ran past the capacity has failed; it still reports no more.
    const auto written = static_cast<uint32_t>((out < outEnd ? out : outEnd) - output);
    return SlideResult{(start + written) & kSlideDictionaryMask, written, complete};
  };
  if (out > outEnd) return stop(false);

  // The rest item by item, each checked against both ends.
  uint32_t flags = 0;
  while (in < inEnd) {
    flags >>= 1;
    if ((flags & kFlagBytesLeft) == 0) {
      flags = kFlagByteMarker | *in++;
      if (in == inEnd) return stop(false);  // a flag byte with no item after it
    }
    if ((flags & 1) == 0) {
      if (out == outEnd) return stop(false);
      *out++ = *in++;
      continue;
    }
    if (inEnd - in < 2 || (inEnd - in == 2 && (in[1] >> 4) == kLongMatchNibble)) return stop(false);
    uint32_t source;
    const uint32_t length = ReadMatch(in, source);
    if (static_cast<uint32_t>(outEnd - out) < length) return stop(false);
    CopyMatchBehind(out, behind(out, source), length);
    out += length;
  }
  return stop(true);
}
