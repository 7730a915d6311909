#include "tlg/tlg6/tlg6_lanes.h"

#include <algorithm>
#include <cstddef>
#include <limits>

#include "tlg/tlg6/tlg6_codes.h"
#include "tlg/tlg6/tlg6_values.h"

// TLG6_NO_LANES builds the one-by-one path alone, to measure against.
#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__)) && !defined(TLG6_NO_LANES)
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

constexpr int kLanes = 16;
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

#define TLG6_AVX2 __attribute__((target("avx2")))

TLG6_AVX2 inline __m256i Load(const void* p) {
  return _mm256_load_si256(static_cast<const __m256i*>(p));
}
TLG6_AVX2 inline void Store(void* p, __m256i v) { _mm256_store_si256(static_cast<__m256i*>(p), v); }

// The constants of a step.
struct StepConstants {
  __m256i zero, one, ones, sevens, windowBits, windowBytes, floatBias, sumLimit, byteMask,
      countdownMask;
};

TLG6_AVX2 inline StepConstants MakeStepConstants() {
  return StepConstants{_mm256_setzero_si256(),
                       _mm256_set1_epi32(1),
                       _mm256_set1_epi32(-1),
                       _mm256_set1_epi32(7),
                       _mm256_set1_epi32(32),
                       _mm256_set1_epi32(4),
                       _mm256_set1_epi32(127),
                       _mm256_set1_epi32(kTlg6RunningSumLimit - 1),
                       _mm256_set1_epi32(0xFF),
                       _mm256_set1_epi32(kTlg6RiceCountdowns - 1)};
}

// Eight lanes in registers.
struct LaneSet {
  __m256i bit, end, sum, countdown, index, count, remaining, out;
};

TLG6_AVX2 inline LaneSet LoadLaneSet(const Lanes& l, int first) {
  return LaneSet{Load(l.bit + first),   Load(l.end + first),   Load(l.sum + first),
                 Load(l.countdown + first), Load(l.index + first), Load(l.count + first),
                 Load(l.remaining + first), Load(l.out + first)};
}

TLG6_AVX2 inline void StoreLaneSet(Lanes& l, int first, const LaneSet& v) {
  Store(l.bit + first, v.bit);
  Store(l.sum + first, v.sum);
  Store(l.countdown + first, v.countdown);
  Store(l.index + first, v.index);
  Store(l.remaining + first, v.remaining);
}

struct StepEvents {
  __m256i slow;
  __m256i overrun;
  __m256i finished;
};

// Every lane decodes one code per step: a value while `remaining` is above
// 0, else a run length. Codes that end within the 32-bit window at the lane's
// bit position are decoded here; anything else (an escape, a long code, a
// running sum out of the table, a window that reaches past the coded bytes,
// where the scalar readers take decisions of their own) is marked slow. The
// step goes on regardless, so that the test stays out of the chain from one
// step to the next; a slow lane gets its state back from before the step and
// is left to scalar code.
TLG6_AVX2 inline StepEvents Step(LaneSet& v, const StepConstants& c, const int* code,
                                 uint8_t* outBase) {
  const int* const parameters = reinterpret_cast<const int*>(&RiceParameterTable[0][0]);
  const __m256i active = _mm256_cmpgt_epi32(v.count, v.index);
  const __m256i isValue = _mm256_cmpgt_epi32(v.remaining, c.zero);
  const __m256i p = _mm256_srli_epi32(v.bit, 3);
  const __m256i b = _mm256_and_si256(v.bit, c.sevens);
  const __m256i window = _mm256_srlv_epi32(_mm256_i32gather_epi32(code, p, 1), b);
  // Trailing zeros from the exponent of the lowest set bit as a float.
  const __m256i lowest = _mm256_and_si256(window, _mm256_sub_epi32(c.zero, window));
  const __m256i zeros = _mm256_sub_epi32(
      _mm256_srli_epi32(_mm256_castps_si256(_mm256_cvtepi32_ps(lowest)), 23), c.floatBias);
  // The four Rice parameters of a sum are one word; the countdown picks a byte.
  const __m256i sumIndex = _mm256_slli_epi32(_mm256_min_epu32(v.sum, c.sumLimit), 2);
  const __m256i k = _mm256_and_si256(
      _mm256_srlv_epi32(_mm256_i32gather_epi32(parameters, sumIndex, 1),
                        _mm256_slli_epi32(v.countdown, 3)),
      c.byteMask);
  // Bits after the 1 bit: the run length's low bits, or the remainder.
  const __m256i fieldBits = _mm256_blendv_epi8(zeros, k, isValue);
  const __m256i afterOne = _mm256_add_epi32(zeros, c.one);
  const __m256i codeBits = _mm256_add_epi32(afterOne, fieldBits);

  __m256i slow = _mm256_cmpgt_epi32(_mm256_add_epi32(codeBits, b), c.windowBits);
  slow = _mm256_or_si256(slow, _mm256_cmpeq_epi32(window, c.zero));
  slow = _mm256_or_si256(slow, _mm256_cmpgt_epi32(_mm256_add_epi32(p, c.windowBytes), v.end));
  slow = _mm256_or_si256(slow, _mm256_cmpgt_epi32(v.sum, c.sumLimit));
  slow = _mm256_and_si256(slow, active);

  const __m256i field = _mm256_andnot_si256(_mm256_sllv_epi32(c.ones, fieldBits),
                                            _mm256_srlv_epi32(window, afterOne));
  const __m256i length = _mm256_add_epi32(_mm256_sllv_epi32(c.one, zeros), field);
  const __m256i e = _mm256_add_epi32(_mm256_sllv_epi32(zeros, k), field);
  const __m256i half = _mm256_srli_epi32(e, 1);
  const __m256i odd = _mm256_and_si256(e, c.one);
  const __m256i value =
      _mm256_xor_si256(_mm256_add_epi32(half, odd), _mm256_cmpeq_epi32(odd, c.zero));
  const __m256i valueStep = _mm256_and_si256(active, isValue);

  // Every lane stores a byte at its index: the value, or a zero that a later
  // value overwrites or that is there already.
  alignas(32) uint32_t values[8];
  alignas(32) uint32_t where[8];
  Store(values, _mm256_and_si256(value, valueStep));
  Store(where, _mm256_add_epi32(v.out, _mm256_slli_epi32(v.index, 2)));
#pragma GCC unroll 8
  for (int i = 0; i < 8; ++i) outBase[where[i]] = static_cast<uint8_t>(values[i]);

  const __m256i runStep = _mm256_andnot_si256(isValue, active);
  const __m256i overrun =
      _mm256_and_si256(runStep, _mm256_cmpgt_epi32(length, _mm256_sub_epi32(v.count, v.index)));
  const __m256i runOk = _mm256_andnot_si256(overrun, runStep);
  const __m256i zeroRun = _mm256_and_si256(runOk, _mm256_cmpeq_epi32(v.remaining, c.zero));
  const __m256i valueRun = _mm256_andnot_si256(zeroRun, runOk);
  // A value, and a zero run, count `remaining` down; a value run sets it.
  v.remaining = _mm256_blendv_epi8(
      _mm256_add_epi32(v.remaining, _mm256_or_si256(valueStep, zeroRun)), length, valueRun);
  v.index = _mm256_add_epi32(v.index, _mm256_sub_epi32(_mm256_and_si256(zeroRun, length),
                                                       valueStep));
  const __m256i grown = _mm256_add_epi32(v.sum, _mm256_and_si256(half, valueStep));
  const __m256i wrap = _mm256_and_si256(valueStep, _mm256_cmpeq_epi32(v.countdown, c.zero));
  v.sum = _mm256_blendv_epi8(grown, _mm256_srli_epi32(grown, 1), wrap);
  v.countdown = _mm256_and_si256(_mm256_add_epi32(v.countdown, valueStep), c.countdownMask);
  v.bit = _mm256_add_epi32(v.bit, _mm256_and_si256(codeBits, active));

  const __m256i finished =
      _mm256_or_si256(overrun, _mm256_and_si256(active, _mm256_cmpeq_epi32(v.index, v.count)));
  return StepEvents{slow, overrun, finished};
}

// A slow lane's state from before the step.
TLG6_AVX2 inline void TakeBackSlowLanes(LaneSet& v, const LaneSet& before, __m256i slow) {
  v.bit = _mm256_blendv_epi8(v.bit, before.bit, slow);
  v.sum = _mm256_blendv_epi8(v.sum, before.sum, slow);
  v.countdown = _mm256_blendv_epi8(v.countdown, before.countdown, slow);
  v.index = _mm256_blendv_epi8(v.index, before.index, slow);
  v.remaining = _mm256_blendv_epi8(v.remaining, before.remaining, slow);
}

TLG6_AVX2 inline int Mask(__m256i v) { return _mm256_movemask_ps(_mm256_castsi256_ps(v)); }

// Scalar work after a step that marked lanes slow, failed or finished.
TLG6_AVX2 void HandleEvents(Lanes& l, int first, const StepEvents& events, const Bases& bases) {
  const int slowLanes = Mask(events.slow);
  const int overruns = Mask(events.overrun) & ~slowLanes;
  for (int i = 0; i < 8; ++i) {
    const int lane = first + i;
    if (overruns & (1 << i)) l.failed[lane] = true;
    if (slowLanes & (1 << i)) {
      // The step stored a byte here that the scalar code may not replace.
      bases.out[l.out[lane] + size_t{l.index[lane]} * kEntryBytes] = 0;
      DecodeCodeOfLane(l, lane, bases);
    }
  }
}

// Two sets of eight lanes step in turn, so that each one's long chain of
// dependent steps (a gather feeds the next gather) overlaps the other's.
TLG6_AVX2 void DecodeLanes(const Tlg6ColourStream* streams, uint32_t streamCount, bool* ok,
                           const Bases& bases) {
  Lanes l;
  uint32_t next = 0;
  for (int i = 0; i < kLanes; ++i) StartNextStream(l, i, streams, streamCount, next, bases, ok);
  const StepConstants c = MakeStepConstants();
  const int* const code = reinterpret_cast<const int*>(bases.code);
  uint8_t* const outBase = bases.out;

  for (;;) {
    if (std::equal(l.index, l.index + kLanes, l.count)) return;  // every lane idle
    LaneSet a = LoadLaneSet(l, 0);
    LaneSet b = LoadLaneSet(l, 8);
    for (;;) {
      const LaneSet aBefore = a;
      const LaneSet bBefore = b;
      const StepEvents ea = Step(a, c, code, outBase);
      const StepEvents eb = Step(b, c, code, outBase);
      const __m256i any = _mm256_or_si256(_mm256_or_si256(ea.slow, ea.finished),
                                          _mm256_or_si256(eb.slow, eb.finished));
      if (Mask(any) == 0) continue;
      TakeBackSlowLanes(a, aBefore, ea.slow);
      TakeBackSlowLanes(b, bBefore, eb.slow);
      StoreLaneSet(l, 0, a);
      StoreLaneSet(l, 8, b);
      HandleEvents(l, 0, ea, bases);
      HandleEvents(l, 8, eb, bases);
      break;
    }
    for (int i = 0; i < kLanes; ++i) {
      if (l.busy[i] && (l.failed[i] || l.index[i] == l.count[i])) {
        ok[l.stream[i]] = !l.failed[i];
        StartNextStream(l, i, streams, streamCount, next, bases, ok);
      }
    }
  }
}

#endif  // TLG6_LANES

}  // namespace

bool CanUnpackColoursSideBySide() {
#if TLG6_LANES
  __builtin_cpu_init();  // a no-op once run; needed where no constructor ran it yet
  return __builtin_cpu_supports("avx2");
#else
  return false;
#endif
}

void UnpackColoursSideBySide(const Tlg6ColourStream* streams, uint32_t streamCount, bool* ok) {
#if TLG6_LANES
  if (streamCount > 0 && CanUnpackColoursSideBySide()) {
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
    // Lanes address both with 32-bit offsets, and count bits too.
    if (static_cast<size_t>(codeHigh - codeLow) <= kMaxLaneCodeBytes &&
        static_cast<size_t>(outHigh - outLow) <= std::numeric_limits<int32_t>::max()) {
      const Tlg6ColourStream& last = streams[streamCount - 1];
      const Bases bases{codeLow, outLow,
                        static_cast<uint32_t>(last.lane + size_t{last.count} * kEntryBytes - outLow)};
      DecodeLanes(streams, streamCount, ok, bases);
      return;
    }
  }
#endif
  UnpackEachColour(streams, streamCount, ok);
}
