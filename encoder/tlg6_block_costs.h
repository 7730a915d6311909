// Cheap cost estimates for the filter types of one TLG6 block. Every colour
// transform is linear modulo 256, so each coded lane of each transform is
// one of a few sums of the blue, green and red differences ("forms"); the
// estimate needs the magnitudes of each form once, not of each transform.
#pragma once

#include <array>
#include <cstdint>

constexpr uint32_t kTlg6FormCount = 15;
constexpr uint32_t kTlg6AlphaForm = 14;  // the alpha lane as it is

// Coefficients of blue, green, red and alpha in each form.
inline constexpr int8_t kTlg6Forms[kTlg6FormCount][4] = {
    {1, 0, 0, 0},  {0, 1, 0, 0},  {0, 0, 1, 0},   {1, -1, 0, 0}, {0, -1, 1, 0},
    {-1, 1, 0, 0}, {0, 1, -1, 0}, {1, 1, -1, 0},  {1, 0, -1, 0}, {-1, 1, 1, 0},
    {-1, 0, 1, 0}, {1, -1, 1, 0}, {-2, 1, 0, 0},  {-2, 0, 1, 0}, {0, 0, 0, 1},
};

// The form that lane `lane` (0-3) of colour transform `transform` codes.
uint32_t Tlg6TransformForm(uint32_t transform, uint32_t lane);

// One block's differences from one predictor, lane by lane, in the order
// the decoder's residual buffer holds the block (odd blocks bottom to top,
// odd rows right to left): stored row s in slots 8s to 8s + w - 1. Slots
// past the block's width or rows are 0.
struct alignas(16) Tlg6BlockLanes {
  uint8_t lane[4][64];
};

// `differences` holds `rows` rows of `width` words; block `block` of them.
void GatherTlg6Block(const uint32_t* differences, uint32_t width, uint32_t rows, uint32_t block,
                     Tlg6BlockLanes& out);
void GatherTlg6BlockPortable(const uint32_t* differences, uint32_t width, uint32_t rows,
                             uint32_t block, Tlg6BlockLanes& out);

// For every form, over the block: the sum of |value| (the byte read as
// signed) and the count of values that are not 0.
struct Tlg6FormSums {
  std::array<uint32_t, kTlg6FormCount> magnitude;
  std::array<uint32_t, kTlg6FormCount> nonZero;
};
void SumTlg6Forms(const Tlg6BlockLanes& lanes, Tlg6FormSums& sums);
void SumTlg6FormsPortable(const Tlg6BlockLanes& lanes, Tlg6FormSums& sums);

// The 64 slots of one form.
void MakeTlg6FormValues(const Tlg6BlockLanes& lanes, uint32_t form, uint8_t* out);

// log2(n) in sixteenths of a bit, for n from 1 to kTlg6MaxEstimateSum.
constexpr uint32_t kTlg6MaxEstimateSum = 64 * 129;
const uint16_t* Tlg6Log2Table();

// Estimated bits of values whose magnitudes sum to `sum`, `nonZero` of
// them not 0, in sixteenths of a bit: about log2 of the mean magnitude for
// each value that is not 0 (zeros mostly go in runs), as the adaptive Rice
// parameter follows the mean. That is nonZero x log2(1 + sum / nonZero), as
// nonZero x (log2(nonZero + sum) - log2(nonZero)). (A fixed part per value
// that is not 0 only made the choices worse.)
inline uint32_t EstimateTlg6Bits(const uint16_t* log2, uint32_t sum, uint32_t nonZero) {
  return nonZero * (uint32_t{log2[nonZero + sum]} - log2[nonZero]);
}
