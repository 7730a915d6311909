#include "encoder/tlg6_block_costs.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <stdexcept>
#include <utility>
#include <vector>

#include "encoder/tlg6_residuals.h"
#include "tlg/tlg6/tlg6_format.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

constexpr uint32_t kSlots = 64;

// Forms of every transform's lanes, found from the transforms themselves:
// each lane's coefficient of blue, green and red is what a lone 1 in that
// channel turns into.
struct FormTable {
  uint8_t form[kTlg6TransformCount][4];
  FormTable() {
    for (uint32_t t = 0; t < kTlg6TransformCount; ++t) {
      for (uint32_t lane = 0; lane < 3; ++lane) {
        int8_t coefficients[4] = {0, 0, 0, 0};
        for (uint32_t from = 0; from < 3; ++from) {
          coefficients[from] =
              static_cast<int8_t>(InverseColourTransform(t, 1u << (8 * from)) >> (8 * lane));
        }
        const auto* match = std::find_if(std::begin(kTlg6Forms), std::end(kTlg6Forms),
                                         [&](const int8_t(&f)[4]) {
                                           return std::memcmp(f, coefficients, 4) == 0;
                                         });
        if (match == std::end(kTlg6Forms)) throw std::logic_error("TLG6 transform form missing");
        form[t][lane] = static_cast<uint8_t>(match - std::begin(kTlg6Forms));
      }
      form[t][3] = kTlg6AlphaForm;
    }
  }
};

const FormTable& Forms() {
  static const FormTable table;
  return table;
}

uint8_t FormValue(const Tlg6BlockLanes& lanes, uint32_t form, uint32_t i) {
  int32_t v = 0;
  for (uint32_t c = 0; c < 4; ++c) v += kTlg6Forms[form][c] * lanes.lane[c][i];
  return static_cast<uint8_t>(v);
}

uint32_t Magnitude(uint8_t value) {
  const int32_t v = static_cast<int8_t>(value);
  return static_cast<uint32_t>(v < 0 ? -v : v);
}

// Stored row s of a block: its image row and whether it runs right to left.
uint32_t StoredRow(uint32_t block, uint32_t rows, uint32_t s) {
  return (block & 1) ? rows - 1 - s : s;
}

#if defined(__SSE2__)

template <int kTimes>
__m128i AddTimes(__m128i v, __m128i x) {
  if constexpr (kTimes == 1) return _mm_add_epi8(v, x);
  if constexpr (kTimes == 2) return _mm_add_epi8(_mm_add_epi8(v, x), x);
  if constexpr (kTimes == -1) return _mm_sub_epi8(v, x);
  if constexpr (kTimes == -2) return _mm_sub_epi8(_mm_sub_epi8(v, x), x);
  return v;
}

template <int kForm, int kLane>
__m128i AddLane(__m128i v, const Tlg6BlockLanes& lanes, uint32_t offset) {
  constexpr int kTimes = kTlg6Forms[kForm][kLane];
  if constexpr (kTimes == 0) {
    return v;
  } else {
    return AddTimes<kTimes>(v, _mm_load_si128(reinterpret_cast<const __m128i*>(lanes.lane[kLane] + offset)));
  }
}

template <int kForm>
__m128i FormVector(const Tlg6BlockLanes& lanes, uint32_t offset) {
  __m128i v = _mm_setzero_si128();
  v = AddLane<kForm, 0>(v, lanes, offset);
  v = AddLane<kForm, 1>(v, lanes, offset);
  v = AddLane<kForm, 2>(v, lanes, offset);
  return AddLane<kForm, 3>(v, lanes, offset);
}

uint32_t HorizontalSum(__m128i v) {
  return static_cast<uint32_t>(_mm_cvtsi128_si32(v) + _mm_cvtsi128_si32(_mm_srli_si128(v, 8)));
}

template <int kForm>
void SumForm(const Tlg6BlockLanes& lanes, Tlg6FormSums& sums) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i one = _mm_set1_epi8(1);
  __m128i total = zero;
  __m128i nonZero = zero;
  for (uint32_t offset = 0; offset < kSlots; offset += 16) {
    const __m128i v = FormVector<kForm>(lanes, offset);
    // |v| as a signed byte, read unsigned: -128 stays 128.
    const __m128i magnitude = _mm_min_epu8(v, _mm_sub_epi8(zero, v));
    total = _mm_add_epi32(total, _mm_sad_epu8(magnitude, zero));
    nonZero = _mm_add_epi32(nonZero, _mm_sad_epu8(_mm_min_epu8(magnitude, one), zero));
  }
  sums.magnitude[kForm] = HorizontalSum(total);
  sums.nonZero[kForm] = HorizontalSum(nonZero);
}

template <int kForm>
void StoreForm(const Tlg6BlockLanes& lanes, uint8_t* out) {
  for (uint32_t offset = 0; offset < kSlots; offset += 16) {
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + offset), FormVector<kForm>(lanes, offset));
  }
}

using FormStore = void (*)(const Tlg6BlockLanes&, uint8_t*);
template <int... kForms>
constexpr std::array<FormStore, kTlg6FormCount> FormStores(std::integer_sequence<int, kForms...>) {
  return {StoreForm<kForms>...};
}

template <int... kForms>
void SumForms(const Tlg6BlockLanes& lanes, Tlg6FormSums& sums,
              std::integer_sequence<int, kForms...>) {
  (SumForm<kForms>(lanes, sums), ...);
}

// Eight pixels to eight bytes of each lane.
void SplitLanes(__m128i first, __m128i second, Tlg6BlockLanes& out, uint32_t slot) {
  const __m128i a = _mm_unpacklo_epi8(first, second);
  const __m128i b = _mm_unpackhi_epi8(first, second);
  const __m128i c = _mm_unpacklo_epi8(a, b);
  const __m128i d = _mm_unpackhi_epi8(a, b);
  const __m128i blueGreen = _mm_unpacklo_epi8(c, d);
  const __m128i redAlpha = _mm_unpackhi_epi8(c, d);
  _mm_storel_epi64(reinterpret_cast<__m128i*>(out.lane[0] + slot), blueGreen);
  _mm_storel_epi64(reinterpret_cast<__m128i*>(out.lane[1] + slot), _mm_unpackhi_epi64(blueGreen, blueGreen));
  _mm_storel_epi64(reinterpret_cast<__m128i*>(out.lane[2] + slot), redAlpha);
  _mm_storel_epi64(reinterpret_cast<__m128i*>(out.lane[3] + slot), _mm_unpackhi_epi64(redAlpha, redAlpha));
}

#endif

}  // namespace

uint32_t Tlg6TransformForm(uint32_t transform, uint32_t lane) {
  return Forms().form[transform][lane];
}

void GatherTlg6BlockPortable(const uint32_t* differences, uint32_t width, uint32_t rows,
                             uint32_t block, Tlg6BlockLanes& out) {
  std::memset(&out, 0, sizeof out);
  const uint32_t x0 = block * kTlg6BlockSize;
  const uint32_t w = std::min(kTlg6BlockSize, width - x0);
  for (uint32_t s = 0; s < rows; ++s) {
    const uint32_t yy = StoredRow(block, rows, s);
    const uint32_t* row = differences + static_cast<size_t>(yy) * width + x0;
    for (uint32_t j = 0; j < w; ++j) {
      const uint32_t entry = row[(yy & 1) ? w - 1 - j : j];
      for (uint32_t c = 0; c < 4; ++c) out.lane[c][s * 8 + j] = static_cast<uint8_t>(entry >> (8 * c));
    }
  }
}

void GatherTlg6Block(const uint32_t* differences, uint32_t width, uint32_t rows, uint32_t block,
                     Tlg6BlockLanes& out) {
#if defined(__SSE2__)
  const uint32_t x0 = block * kTlg6BlockSize;
  if (width - x0 < kTlg6BlockSize) {
    GatherTlg6BlockPortable(differences, width, rows, block, out);
    return;
  }
  if (rows < kTlg6BlockSize) std::memset(&out, 0, sizeof out);
  for (uint32_t s = 0; s < rows; ++s) {
    const uint32_t yy = StoredRow(block, rows, s);
    const uint32_t* row = differences + static_cast<size_t>(yy) * width + x0;
    __m128i first = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row));
    __m128i second = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row + 4));
    if (yy & 1) {
      const __m128i reversed = _mm_shuffle_epi32(second, _MM_SHUFFLE(0, 1, 2, 3));
      second = _mm_shuffle_epi32(first, _MM_SHUFFLE(0, 1, 2, 3));
      first = reversed;
    }
    SplitLanes(first, second, out, s * 8);
  }
#else
  GatherTlg6BlockPortable(differences, width, rows, block, out);
#endif
}

void SumTlg6FormsPortable(const Tlg6BlockLanes& lanes, Tlg6FormSums& sums) {
  for (uint32_t f = 0; f < kTlg6FormCount; ++f) {
    sums.magnitude[f] = sums.nonZero[f] = 0;
    for (uint32_t i = 0; i < kSlots; ++i) {
      const uint32_t magnitude = Magnitude(FormValue(lanes, f, i));
      sums.magnitude[f] += magnitude;
      sums.nonZero[f] += magnitude != 0;
    }
  }
}

void SumTlg6Forms(const Tlg6BlockLanes& lanes, Tlg6FormSums& sums) {
#if defined(__SSE2__)
  SumForms(lanes, sums, std::make_integer_sequence<int, kTlg6FormCount>());
#else
  SumTlg6FormsPortable(lanes, sums);
#endif
}

void MakeTlg6FormValues(const Tlg6BlockLanes& lanes, uint32_t form, uint8_t* out) {
#if defined(__SSE2__)
  static constexpr auto kStores = FormStores(std::make_integer_sequence<int, kTlg6FormCount>());
  kStores[form](lanes, out);
#else
  for (uint32_t i = 0; i < kSlots; ++i) out[i] = FormValue(lanes, form, i);
#endif
}

const uint16_t* Tlg6Log2Table() {
  static const std::vector<uint16_t> table = [] {
    std::vector<uint16_t> t(kTlg6MaxEstimateSum + 1);
    for (uint32_t n = 1; n <= kTlg6MaxEstimateSum; ++n) {
      t[n] = static_cast<uint16_t>(std::lround(16.0 * std::log2(double(n))));
    }
    return t;
  }();
  return table.data();
}
