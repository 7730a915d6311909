#include "tlg/tlg6/tlg6_lanes.h"

#include <algorithm>
#include <cstddef>
#include <limits>

#include "tlg/tlg6/tlg6_codes.h"
#include "tlg/tlg6/tlg6_values.h"

#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
#define TLG6_LANES 1
#include <immintrin.h>
#endif

namespace {

using namespace tlg6_codes;

constexpr uint32_t kEntryBytes = 4;

// The streams one by one, where lanes are not available or not usable.
void UnpackEachColour(const Tlg6ColourStream* streams, uint32_t streamCount, bool* ok) {
  for (uint32_t i = 0; i < streamCount; ++i) {
    const Tlg6ColourStream& s = streams[i];
    ok[i] = UnpackColour(s.lane, s.count, s.code, s.code + s.codeBytes);
  }
}

#if TLG6_LANES

constexpr int kLanes = 8;
constexpr uint32_t kAllOnes = ~0u;

// What a lane holds between the rare visits of scalar code: a code that does
// not fit the fast step, a finished stream, or a new one.
struct alignas(32) Lanes {
  uint32_t bit[kLanes];     // next bit, counted from the stream's first coded byte
  uint32_t start[kLanes];   // the stream's first coded byte, from the code base
  uint32_t end[kLanes];     // coded bytes of the stream
  uint32_t sum[kLanes];     // running sum; never negative
  uint32_t countdown[kLanes];
  uint32_t index[kLanes];   // next value
  uint32_t count[kLanes];
  uint32_t remaining[kLanes];    // values left in this value run; 0: a run length is next
  uint32_t zeroRunNext[kLanes];  // all ones when the next run is a zero run
  uint32_t active[kLanes];       // all ones while the lane has a stream

  uint8_t* out[kLanes];  // the stream's lane, or a sink for an idle lane
  uint32_t stream[kLanes];
  bool failed[kLanes];
};

// Hands the lane the next stream that has values to decode, or idles it.
void StartNextStream(Lanes& l, int i, const Tlg6ColourStream* streams, uint32_t streamCount,
                     uint32_t& next, const uint8_t* codeBase, bool* ok, uint8_t* sink) {
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
    l.bit[i] = 1;  // after the bit that tells the first run's kind
    l.start[i] = static_cast<uint32_t>(s.code - codeBase);
    l.end[i] = s.codeBytes;
    l.sum[i] = 0;
    l.countdown[i] = kTlg6RiceCountdownStart;
    l.index[i] = 0;
    l.count[i] = s.count;
    l.remaining[i] = 0;
    l.zeroRunNext[i] = (s.code[0] & 1) ? 0 : kAllOnes;
    l.active[i] = kAllOnes;
    l.out[i] = s.lane;
    l.stream[i] = next;
    l.failed[i] = false;
    ++next;
    return;
  }
  l.bit[i] = 0;
  l.start[i] = 0;
  l.end[i] = 0;
  l.sum[i] = 0;
  l.countdown[i] = 0;
  l.index[i] = 0;
  l.count[i] = 0;
  l.remaining[i] = 0;
  l.zeroRunNext[i] = 0;
  l.active[i] = 0;
  l.out[i] = sink;
}

// One code of one lane through the checked scalar readers.
void DecodeCodeOfLane(Lanes& l, int i, const uint8_t* codeBase) {
  BitReader r{codeBase + l.start[i], l.end[i], l.bit[i]};
  if (l.remaining[i] == 0) {
    const uint32_t length = DecodeRunLength(r);
    if (length == 0 || length > l.count[i] - l.index[i]) {
      l.failed[i] = true;
      return;
    }
    if (l.zeroRunNext[i]) {
      l.index[i] += length;
    } else {
      l.remaining[i] = length;
    }
    l.zeroRunNext[i] = ~l.zeroRunNext[i];
  } else {
    RiceState s;
    s.sum = static_cast<int32_t>(l.sum[i]);
    s.countdown = static_cast<int32_t>(l.countdown[i]);
    uint32_t value;
    if (!DecodeValue<true>(r, s, value)) {
      l.failed[i] = true;
      return;
    }
    l.out[i][static_cast<size_t>(l.index[i]) * kEntryBytes] = static_cast<uint8_t>(value);
    ++l.index[i];
    --l.remaining[i];
    l.sum[i] = static_cast<uint32_t>(s.sum);
    l.countdown[i] = static_cast<uint32_t>(s.countdown);
  }
  l.bit[i] = static_cast<uint32_t>(r.bit);
}

#define TLG6_AVX2 __attribute__((target("avx2")))

TLG6_AVX2 inline __m256i Load(const uint32_t* p) {
  return _mm256_load_si256(reinterpret_cast<const __m256i*>(p));
}
TLG6_AVX2 inline void Store(uint32_t* p, __m256i v) {
  _mm256_store_si256(reinterpret_cast<__m256i*>(p), v);
}

// Every lane decodes one code per step: a run length where `remaining` is 0,
// else a value. Codes that end within the 32-bit window at the lane's bit
// position are decoded here; anything else (an escape, a long code, the end
// of the coded bytes, a running sum out of the table) goes to scalar code.
// The fast step reads only windows that lie wholly within the coded bytes,
// which is where the scalar readers take no decision of their own.
TLG6_AVX2 void DecodeLanes(const Tlg6ColourStream* streams, uint32_t streamCount, bool* ok,
                           const uint8_t* codeBase) {
  Lanes l;
  uint8_t sink[kEntryBytes];
  uint32_t next = 0;
  for (int i = 0; i < kLanes; ++i) {
    StartNextStream(l, i, streams, streamCount, next, codeBase, ok, sink);
  }

  const __m256i zero = _mm256_setzero_si256();
  const __m256i one = _mm256_set1_epi32(1);
  const __m256i ones = _mm256_set1_epi32(-1);
  const __m256i sevens = _mm256_set1_epi32(7);
  const __m256i windowBits = _mm256_set1_epi32(32);
  const __m256i windowBytes = _mm256_set1_epi32(4);
  const __m256i floatBias = _mm256_set1_epi32(127);
  const __m256i sumLimit = _mm256_set1_epi32(kTlg6RunningSumLimit - 1);
  const __m256i byteMask = _mm256_set1_epi32(0xFF);
  const __m256i countdownMask = _mm256_set1_epi32(kTlg6RiceCountdowns - 1);
  const int* const code = reinterpret_cast<const int*>(codeBase);
  const int* const parameters = reinterpret_cast<const int*>(&RiceParameterTable[0][0]);
  alignas(32) uint32_t values[kLanes];
  alignas(32) uint32_t indices[kLanes];

  for (;;) {
    if (!std::any_of(l.active, l.active + kLanes, [](uint32_t a) { return a != 0; })) return;
    __m256i bit = Load(l.bit);
    const __m256i start = Load(l.start);
    const __m256i end = Load(l.end);
    __m256i sum = Load(l.sum);
    __m256i countdown = Load(l.countdown);
    __m256i index = Load(l.index);
    const __m256i count = Load(l.count);
    __m256i remaining = Load(l.remaining);
    __m256i zeroRunNext = Load(l.zeroRunNext);
    const __m256i active = Load(l.active);

    for (;;) {
      const __m256i isValue = _mm256_cmpgt_epi32(remaining, zero);
      const __m256i p = _mm256_srli_epi32(bit, 3);
      const __m256i b = _mm256_and_si256(bit, sevens);
      const __m256i window =
          _mm256_srlv_epi32(_mm256_i32gather_epi32(code, _mm256_add_epi32(start, p), 1), b);
      // Trailing zeros from the exponent of the lowest set bit as a float.
      const __m256i lowest = _mm256_and_si256(window, _mm256_sub_epi32(zero, window));
      const __m256i zeros = _mm256_sub_epi32(
          _mm256_srli_epi32(_mm256_castps_si256(_mm256_cvtepi32_ps(lowest)), 23), floatBias);
      // The four Rice parameters of a sum are one word; the countdown picks a byte.
      const __m256i sumIndex = _mm256_slli_epi32(_mm256_min_epu32(sum, sumLimit), 2);
      const __m256i k = _mm256_and_si256(
          _mm256_srlv_epi32(_mm256_i32gather_epi32(parameters, sumIndex, 1),
                            _mm256_slli_epi32(countdown, 3)),
          byteMask);
      // Bits after the 1 bit: the run length's low bits, or the remainder.
      const __m256i fieldBits = _mm256_blendv_epi8(zeros, k, isValue);
      const __m256i afterOne = _mm256_add_epi32(zeros, one);
      const __m256i codeBits = _mm256_add_epi32(afterOne, fieldBits);

      __m256i slow = _mm256_cmpgt_epi32(_mm256_add_epi32(codeBits, b), windowBits);
      slow = _mm256_or_si256(slow, _mm256_cmpeq_epi32(window, zero));
      slow = _mm256_or_si256(slow, _mm256_cmpgt_epi32(_mm256_add_epi32(p, windowBytes), end));
      slow = _mm256_or_si256(slow, _mm256_and_si256(isValue, _mm256_cmpgt_epi32(sum, sumLimit)));
      slow = _mm256_and_si256(slow, active);
      const __m256i go = _mm256_andnot_si256(slow, active);

      const __m256i field = _mm256_andnot_si256(_mm256_sllv_epi32(ones, fieldBits),
                                                _mm256_srlv_epi32(window, afterOne));
      const __m256i length = _mm256_add_epi32(_mm256_sllv_epi32(one, zeros), field);
      const __m256i e = _mm256_add_epi32(_mm256_sllv_epi32(zeros, k), field);
      const __m256i half = _mm256_srli_epi32(e, 1);
      const __m256i odd = _mm256_and_si256(e, one);
      const __m256i value =
          _mm256_xor_si256(_mm256_add_epi32(half, odd), _mm256_cmpeq_epi32(odd, zero));

      const __m256i valueGo = _mm256_and_si256(go, isValue);
      const __m256i runGo = _mm256_andnot_si256(isValue, go);

      // Every lane stores a byte at its index: the value, or a zero that a
      // later value overwrites or that is already there.
      Store(values, _mm256_and_si256(value, valueGo));
      Store(indices, index);
      for (int i = 0; i < kLanes; ++i) {
        l.out[i][static_cast<size_t>(indices[i]) * kEntryBytes] = static_cast<uint8_t>(values[i]);
      }

      const __m256i overrun =
          _mm256_and_si256(runGo, _mm256_cmpgt_epi32(length, _mm256_sub_epi32(count, index)));
      const __m256i runOk = _mm256_andnot_si256(overrun, runGo);
      const __m256i zeroRun = _mm256_and_si256(runOk, zeroRunNext);
      const __m256i valueRun = _mm256_andnot_si256(zeroRunNext, runOk);
      const __m256i step = _mm256_and_si256(valueGo, one);
      index = _mm256_add_epi32(index, _mm256_add_epi32(step, _mm256_and_si256(zeroRun, length)));
      remaining = _mm256_add_epi32(_mm256_sub_epi32(remaining, step),
                                   _mm256_and_si256(valueRun, length));
      zeroRunNext = _mm256_xor_si256(zeroRunNext, runOk);
      const __m256i grown = _mm256_add_epi32(sum, _mm256_and_si256(half, valueGo));
      const __m256i wrap = _mm256_and_si256(valueGo, _mm256_cmpeq_epi32(countdown, zero));
      sum = _mm256_blendv_epi8(grown, _mm256_srli_epi32(grown, 1), wrap);
      countdown = _mm256_and_si256(_mm256_sub_epi32(countdown, step), countdownMask);
      bit = _mm256_add_epi32(bit, _mm256_and_si256(codeBits, go));

      const __m256i finished =
          _mm256_or_si256(overrun, _mm256_and_si256(go, _mm256_cmpeq_epi32(index, count)));
      const int events = _mm256_movemask_ps(_mm256_castsi256_ps(_mm256_or_si256(slow, finished)));
      if (events == 0) continue;

      Store(l.bit, bit);
      Store(l.sum, sum);
      Store(l.countdown, countdown);
      Store(l.index, index);
      Store(l.remaining, remaining);
      Store(l.zeroRunNext, zeroRunNext);
      const int overruns = _mm256_movemask_ps(_mm256_castsi256_ps(overrun));
      const int slowLanes = _mm256_movemask_ps(_mm256_castsi256_ps(slow));
      for (int i = 0; i < kLanes; ++i) {
        if (overruns & (1 << i)) l.failed[i] = true;
        if (slowLanes & (1 << i)) DecodeCodeOfLane(l, i, codeBase);
      }
      break;
    }

    for (int i = 0; i < kLanes; ++i) {
      if (l.active[i] && (l.failed[i] || l.index[i] == l.count[i])) {
        ok[l.stream[i]] = !l.failed[i];
        StartNextStream(l, i, streams, streamCount, next, codeBase, ok, sink);
      }
    }
  }
}

#endif  // TLG6_LANES

}  // namespace

bool CanUnpackColoursSideBySide() {
#if TLG6_LANES
  return __builtin_cpu_supports("avx2");
#else
  return false;
#endif
}

void UnpackColoursSideBySide(const Tlg6ColourStream* streams, uint32_t streamCount, bool* ok) {
#if TLG6_LANES
  if (streamCount > 0 && CanUnpackColoursSideBySide()) {
    const uint8_t* low = streams[0].code;
    const uint8_t* high = streams[0].code;
    for (uint32_t i = 1; i < streamCount; ++i) {
      low = std::min(low, streams[i].code);
      high = std::max(high, streams[i].code + streams[i].codeBytes);
    }
    // Gathers address the coded bytes with signed 32-bit offsets.
    const size_t span = static_cast<size_t>(high - low) + kTlg6CodeGuardBytes;
    if (span <= static_cast<size_t>(std::numeric_limits<int32_t>::max())) {
      DecodeLanes(streams, streamCount, ok, low);
      return;
    }
  }
#endif
  UnpackEachColour(streams, streamCount, ok);
}
