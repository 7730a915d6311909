// Residual entries of TLG6 blocks: the per-lane difference between a pixel
// and the decoder's prediction, through the inverse of a colour transform.
#pragma once

#include <cstdint>
#include <vector>

// The entry that colour transform `transform` (0-15) turns into `difference`.
uint32_t InverseColourTransform(uint32_t transform, uint32_t difference);

// Whether a transform leaves an entry with only a blue lane as it is: the
// only transforms with which a one-colour image decodes to its blue lane.
bool KeepsLoneBlue(uint32_t transform);

// The differences from both predictors for the rows y0 .. y0 + rows - 1 of
// an image, row by row, as the decoder predicts them from `pixels` (the
// image as it will decode) and its initial pixel value.
struct Tlg6Differences {
  std::vector<uint32_t> median;
  std::vector<uint32_t> average;
};
void ComputeTlg6Differences(const uint32_t* pixels, uint32_t width, uint32_t y0,
                            uint32_t rows, uint32_t initialPixel, Tlg6Differences& out);
void ComputeTlg6DifferencesPortable(const uint32_t* pixels, uint32_t width,
                                    uint32_t y0, uint32_t rows, uint32_t initialPixel,
                                    Tlg6Differences& out);

// The entries of block `block` of that block row for `filterType`, in the
// order the decoder's residual buffer holds them (odd blocks bottom to top,
// odd rows right to left). `entries` takes 8 x rows words.
void MakeTlg6BlockEntries(const Tlg6Differences& differences, uint32_t width, uint32_t rows,
                          uint32_t block, uint32_t filterType, uint32_t* entries);
