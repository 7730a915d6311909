#include "tlg/tlg6/tlg6_lanes.h"

#include <algorithm>
#include <cstddef>
#include <limits>
#include <numeric>

#include "tlg/tlg6/tlg6_codes.h"
#include "tlg/tlg6/tlg6_values.h"

#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
#define TLG6_LANES 1
#include <immintrin.h>
#endif
#if defined(__wasm_simd128__)
#define TLG6_SIMD128_LANES 1
#include <wasm_simd128.h>
#endif

namespace {

using namespace tlg6_codes;

// The streams one by one, where lanes are not available or not usable.
void UnpackEachColour(const Tlg6ColourStream* streams, uint32_t streamCount, bool* ok) {
  for (uint32_t i = 0; i < streamCount; ++i) {
    const Tlg6ColourStream& s = streams[i];
    ok[i] = UnpackColour(s.lane, s.count, s.code, s.code + s.codeBytes);
  }
}

#if TLG6_LANES || TLG6_SIMD128_LANES

constexpr uint32_t kEntryBytes = 4;
constexpr int kLanes = 16;
#if TLG6_SIMD128_LANES
constexpr bool kSimd128Lanes = true;
#else
constexpr bool kSimd128Lanes = false;
#endif
// Lanes count bits from one base as signed 32-bit numbers.
constexpr size_t kMaxLaneCodeBytes = size_t{1} << 28;

// What `remaining` holds besides the values left in a value run.
constexpr int32_t kZeroRunNext = 0;
constexpr int32_t kValueRunNext = -1;

// What a lane holds between the rare visits of scalar code: a code that does
// not fit the fast step, a finished stream, or a new one. Positions count
// from the common bases of the coded bytes and of the lanes.
struct alignas(32) Lanes {
  uint32_t bit[kLanes];    // next bit
  uint32_t end[kLanes];    // first byte after the stream's coded bytes
  uint32_t sum[kLanes];    // running sum; never negative
  uint32_t countdown[kLanes];
  uint32_t index[kLanes];  // next value
  uint32_t count[kLanes];  // index == count: the lane is idle
  int32_t remaining[kLanes];  // values left in this value run, or what kind of run is next
  uint32_t out[kLanes];       // byte of value 0 of the stream's lane

  uint32_t start[kLanes];  // first coded byte
  uint32_t stream[kLanes];
  bool busy[kLanes];
  bool failed[kLanes];
};

struct Bases {
  const uint8_t* code;
  uint8_t* out;
  uint32_t idleOut;    // a spare entry, where idle lanes store
};

// Hands the lane the next stream that has values to decode, or idles it.
void StartNextStream(Lanes& l, int i, const Tlg6ColourStream* streams, uint32_t streamCount,
                     uint32_t& next, const Bases& bases, bool* ok) {
  for (; next < streamCount; ++next) {
    const Tlg6ColourStream& s = streams[next];
    if (s.count == 0) {
      ok[next] = true;
      continue;
    }
    if (s.codeBytes == 0) {
      ok[next] = false;
      continue;
    }
    const uint32_t start = static_cast<uint32_t>(s.code - bases.code);
    l.start[i] = start;
    l.bit[i] = start * 8 + 1;  // after the bit that tells the first run's kind
    l.end[i] = start + s.codeBytes;
    l.sum[i] = 0;
    l.countdown[i] = kTlg6RiceCountdownStart;
    l.index[i] = 0;
    l.count[i] = s.count;
    l.remaining[i] = (s.code[0] & 1) ? kValueRunNext : kZeroRunNext;
    l.out[i] = static_cast<uint32_t>(s.lane - bases.out);
    l.stream[i] = next;
    l.busy[i] = true;
    l.failed[i] = false;
    ++next;
    return;
  }
  l.start[i] = 0;
  l.bit[i] = 0;
  l.end[i] = 0;
  l.sum[i] = 0;
  l.countdown[i] = 0;
  l.index[i] = 0;
  l.count[i] = 0;
  l.remaining[i] = kZeroRunNext;
  l.out[i] = bases.idleOut;
  l.busy[i] = false;
}

// One code of one lane through the checked scalar readers.
void DecodeCodeOfLane(Lanes& l, int i, const Bases& bases) {
  const uint32_t start = l.start[i];
  BitReader r{bases.code + start, l.end[i] - start, l.bit[i] - start * 8};
  if (l.remaining[i] <= 0) {
    const uint32_t length = DecodeRunLength(r);
    if (length == 0 || length > l.count[i] - l.index[i]) {
      l.failed[i] = true;
      return;
    }
    if (l.remaining[i] == kZeroRunNext) {
      l.index[i] += length;
      l.remaining[i] = kValueRunNext;
    } else {
      l.remaining[i] = static_cast<int32_t>(length);
    }
  } else {
    RiceState s;
    s.sum = static_cast<int32_t>(l.sum[i]);
    s.countdown = static_cast<int32_t>(l.countdown[i]);
    uint32_t value;
    if (!DecodeValue<true>(r, s, value)) {
      l.failed[i] = true;
      return;
    }
    bases.out[l.out[i] + size_t{l.index[i]} * kEntryBytes] = static_cast<uint8_t>(value);
    ++l.index[i];
    --l.remaining[i];
    l.sum[i] = static_cast<uint32_t>(s.sum);
    l.countdown[i] = static_cast<uint32_t>(s.countdown);
  }
  l.bit[i] = static_cast<uint32_t>(start * 8 + r.bit);
}

#endif  // TLG6_LANES || TLG6_SIMD128_LANES

#if TLG6_SIMD128_LANES
namespace simd128 {
#include "tlg/tlg6/tlg6_lane_steps_simd128.inc"
}  // namespace simd128
#endif

#if TLG6_LANES
namespace avx2 {
#define TLG6_LANE_TARGET "avx2"
#include "tlg/tlg6/tlg6_lane_steps.inc"
#undef TLG6_LANE_TARGET
}  // namespace avx2

// The same steps with 32 vector registers, where both sets of lanes and the
// constants of a step fit without spilling.
namespace avx512 {
#define TLG6_LANE_TARGET "avx2,avx512f,avx512vl,avx512bw,avx512dq"
#include "tlg/tlg6/tlg6_lane_steps.inc"
#undef TLG6_LANE_TARGET
}  // namespace avx512

#endif  // TLG6_LANES

#if TLG6_LANES || TLG6_SIMD128_LANES
// Lanes that find no stream left wait, idle, for the others: a long stream
// taken up last keeps them so. The lanes therefore take the streams up
// longest first, where there are few enough to order on the stack.
constexpr uint32_t kMostOrderedStreams = 256;

template <class Decode>
void DecodeLongestFirst(const Tlg6ColourStream* streams, uint32_t streamCount, bool* ok,
                        const Decode& decode) {
  if (streamCount > kMostOrderedStreams) {
    decode(streams, streamCount, ok);
    return;
  }
  uint32_t order[kMostOrderedStreams];
  std::iota(order, order + streamCount, 0u);
  // std::sort, not stable_sort: it takes no memory.
  std::sort(order, order + streamCount, [&](uint32_t a, uint32_t b) {
    return streams[a].codeBytes != streams[b].codeBytes
               ? streams[a].codeBytes > streams[b].codeBytes
               : a < b;
  });
  Tlg6ColourStream ordered[kMostOrderedStreams];
  bool orderedOk[kMostOrderedStreams];
  for (uint32_t i = 0; i < streamCount; ++i) ordered[i] = streams[order[i]];
  decode(ordered, streamCount, orderedOk);
  for (uint32_t i = 0; i < streamCount; ++i) ok[order[i]] = orderedOk[i];
}
#endif

}  // namespace

bool HasTlg6Lanes(Tlg6Lanes lanes) {
  if (lanes == Tlg6Lanes::kNone) return true;
#if TLG6_SIMD128_LANES
  if (lanes == Tlg6Lanes::kSimd128) return true;
#endif
#if TLG6_LANES
  __builtin_cpu_init();  // a no-op once run; needed where no constructor ran it yet
  if (lanes == Tlg6Lanes::kAvx2) return __builtin_cpu_supports("avx2");
  if (lanes == Tlg6Lanes::kAvx512) {
    return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("avx512f") &&
           __builtin_cpu_supports("avx512vl") && __builtin_cpu_supports("avx512bw") &&
           __builtin_cpu_supports("avx512dq");
  }
#endif
  return false;
}

Tlg6Lanes FastestTlg6Lanes() {
  Tlg6Lanes fastest = Tlg6Lanes::kNone;
  for (const Tlg6Lanes lanes : kEveryTlg6Lanes) {
    if (HasTlg6Lanes(lanes)) fastest = lanes;
  }
  return fastest;
}

void UnpackColoursSideBySide(Tlg6Lanes lanes, const Tlg6ColourStream* streams,
                             uint32_t streamCount, bool* ok) {
#if TLG6_LANES || TLG6_SIMD128_LANES
  if (streamCount > 0 && lanes != Tlg6Lanes::kNone && HasTlg6Lanes(lanes)) {
    const uint8_t* codeLow = streams[0].code;
    const uint8_t* codeHigh = codeLow;
    uint8_t* outLow = streams[0].lane;
    uint8_t* outHigh = outLow;
    for (uint32_t i = 0; i < streamCount; ++i) {
      const Tlg6ColourStream& s = streams[i];
      codeLow = std::min(codeLow, s.code);
      codeHigh = std::max(codeHigh, s.code + s.codeBytes + kTlg6CodeGuardBytes);
      outLow = std::min(outLow, s.lane);
      outHigh = std::max(outHigh, s.lane + size_t{s.count} * kEntryBytes + 1);
    }
    // Lanes address both with 32-bit offsets, and count bits too; the
    // WebAssembly lanes compare addresses as signed numbers.
    constexpr uintptr_t kLaneAddressLimit = kSimd128Lanes ? std::numeric_limits<int32_t>::max()
                                                          : std::numeric_limits<uintptr_t>::max();
    if (static_cast<size_t>(codeHigh - codeLow) <= kMaxLaneCodeBytes &&
        static_cast<size_t>(outHigh - outLow) <= std::numeric_limits<int32_t>::max() &&
        reinterpret_cast<uintptr_t>(codeHigh) <= kLaneAddressLimit &&
        reinterpret_cast<uintptr_t>(outHigh) <= kLaneAddressLimit) {
      const Tlg6ColourStream& last = streams[streamCount - 1];
      const Bases bases{codeLow, outLow,
                        static_cast<uint32_t>(last.lane + size_t{last.count} * kEntryBytes - outLow)};
      const auto decodeLanes = [&](const Tlg6ColourStream* ordered, uint32_t count,
                                   bool* orderedOk) {
#if TLG6_SIMD128_LANES
        simd128::DecodeLanes(ordered, count, orderedOk, bases);
#else
        if (lanes == Tlg6Lanes::kAvx512) {
          avx512::DecodeLanes(ordered, count, orderedOk, bases);
        } else {
          avx2::DecodeLanes(ordered, count, orderedOk, bases);
        }
#endif
      };
      DecodeLongestFirst(streams, streamCount, ok, decodeLanes);
      return;
    }
  }
#else
  (void)lanes;
#endif
  UnpackEachColour(streams, streamCount, ok);
}
