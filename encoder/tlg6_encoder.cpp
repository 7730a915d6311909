#include "encoder/tlg6_encoder.h"

#include <algorithm>
#include <array>
#include <limits>
#include <stdexcept>

#include "encoder/tlg6_filter_section.h"
#include "encoder/tlg6_residuals.h"
#include "encoder/tlg6_value_coder.h"
#include "tlg/tlg6/tlg6_format.h"

namespace {

constexpr uint32_t kBlockEntries = kTlg6BlockSize * kTlg6BlockSize;
constexpr uint32_t kMaxColours = 4;
// What the decoder accepts: its residual buffer (32 bytes a column, plus
// one) fits 32 bits, and rows are numbered with signed 32-bit values.
constexpr uint64_t kMaxWidth = (uint64_t{std::numeric_limits<uint32_t>::max()} - 1) / 32;
constexpr uint32_t kMaxHeight = std::numeric_limits<int32_t>::max();

void PutUInt32LE(std::vector<uint8_t>& out, uint32_t value) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

uint32_t ChooseColours(const uint32_t* pixels, size_t count, int requested) {
  if (requested == 0) {
    const bool opaque =
        std::all_of(pixels, pixels + count, [](uint32_t p) { return (p >> 24) == 0xFF; });
    return opaque ? 3 : 4;
  }
  if (requested < 0 || !IsTlg6ColourCount(static_cast<uint32_t>(requested))) {
    throw std::invalid_argument("TLG6 colour count must be 1, 3 or 4");
  }
  return static_cast<uint32_t>(requested);
}

std::vector<uint8_t> CandidateFilterTypes(uint32_t colours, int forced) {
  if (forced < -1) throw std::invalid_argument("TLG6 filter type must be -1 or 0-31");
  std::vector<uint8_t> candidates;
  for (uint32_t f = 0; f < kTlg6FilterTypeCount; ++f) {
    if (colours == 1 && !KeepsLoneBlue(f >> 1)) continue;
    if (forced < 0 || static_cast<uint32_t>(forced) == f) {
      candidates.push_back(static_cast<uint8_t>(f));
    }
  }
  if (candidates.empty()) throw std::invalid_argument("TLG6 filter type unusable here");
  return candidates;
}

// The pixels as they will decode: no alpha for 3 colours, blue alone for 1.
// Fully transparent pixels become 0 first where asked.
std::vector<uint32_t> DecodedForm(const uint32_t* pixels, size_t count, uint32_t colours,
                                  bool clearTransparent) {
  std::vector<uint32_t> out(pixels, pixels + count);
  for (uint32_t& p : out) {
    if (clearTransparent && (p >> 24) == 0) p = 0;
    if (colours == 3) p |= kTlg6OpaqueInitialPixel;
    if (colours == 1) p &= 0xFF;
  }
  return out;
}

struct BlockRowCoder {
  const std::vector<uint32_t>& pixels;
  uint32_t width;
  uint32_t colours;
  uint32_t initialPixel;
  const std::vector<uint8_t>& candidates;
  const Tlg6RiceTable& table;

  // Chooses the filter type of every block of block row `y0 / 8` into
  // `filterTypes` and appends the block row's record to `out`.
  void Encode(uint32_t y0, uint32_t rows, uint8_t* filterTypes, std::vector<uint8_t>& out,
              uint32_t& maxBitLength) const {
    Tlg6Differences differences;
    ComputeTlg6Differences(pixels, width, y0, rows, initialPixel, differences);
    const size_t count = static_cast<size_t>(rows) * width;
    std::array<std::vector<uint8_t>, kMaxColours> planes;
    for (uint32_t c = 0; c < colours; ++c) planes[c].resize(count);
    std::array<Tlg6CostState, kMaxColours> costs{};

    const uint32_t blocks = (width + kTlg6BlockSize - 1) >> kTlg6BlockShift;
    std::array<uint32_t, kBlockEntries> entries{};
    std::array<uint32_t, kBlockEntries> bestEntries{};
    std::array<uint8_t, kBlockEntries> lane{};
    for (uint32_t b = 0; b < blocks; ++b) {
      const uint32_t w = std::min(kTlg6BlockSize, width - b * kTlg6BlockSize);
      const uint32_t n = w * rows;
      uint64_t bestBits = std::numeric_limits<uint64_t>::max();
      std::array<Tlg6CostState, kMaxColours> bestCosts{};
      for (uint8_t f : candidates) {
        MakeTlg6BlockEntries(differences, width, rows, b, f, entries.data());
        std::array<Tlg6CostState, kMaxColours> trial = costs;
        uint64_t bits = 0;
        for (uint32_t c = 0; c < colours && bits < bestBits; ++c) {
          for (uint32_t i = 0; i < n; ++i) lane[i] = static_cast<uint8_t>(entries[i] >> (8 * c));
          bits += AppendTlg6Cost(trial[c], lane.data(), n, table);
        }
        if (bits < bestBits) {
          bestBits = bits;
          bestEntries = entries;
          bestCosts = trial;
          filterTypes[b] = f;
        }
      }
      costs = bestCosts;
      // Block b's entries start 8 x rows entries after block b - 1's.
      const size_t base = static_cast<size_t>(b) * kTlg6BlockSize * rows;
      for (uint32_t c = 0; c < colours; ++c) {
        for (uint32_t i = 0; i < n; ++i) {
          planes[c][base + i] = static_cast<uint8_t>(bestEntries[i] >> (8 * c));
        }
      }
    }

    for (uint32_t c = 0; c < colours; ++c) {
      const Tlg6CodedColour coded = EncodeTlg6Values(planes[c].data(), count, table);
      PutUInt32LE(out, coded.bitLength);
      out.insert(out.end(), coded.bytes.begin(), coded.bytes.end());
      maxBitLength = std::max(maxBitLength, coded.bitLength);
    }
  }
};

}  // namespace

std::vector<uint8_t> EncodeTlg6(const uint32_t* pixels, uint32_t width, uint32_t height,
                                const Tlg6EncodeOptions& options) {
  if (width > kMaxWidth || height > kMaxHeight) throw std::length_error("TLG6 image too large");
  const size_t pixelCount = static_cast<size_t>(width) * height;
  const uint32_t colours = ChooseColours(pixels, pixelCount, options.colours);
  const std::vector<uint8_t> candidates = CandidateFilterTypes(colours, options.filterType);
  const std::vector<uint32_t> image = DecodedForm(pixels, pixelCount, colours, options.clearTransparent);
  const Tlg6RiceTable table = BuildTlg6RiceTable();

  const uint32_t blocksPerRow = (width + kTlg6BlockSize - 1) >> kTlg6BlockShift;
  const uint32_t blockRows =
      static_cast<uint32_t>((uint64_t{height} + kTlg6BlockSize - 1) >> kTlg6BlockShift);
  std::vector<uint8_t> filterTypes(static_cast<size_t>(blocksPerRow) * blockRows);
  std::vector<uint8_t> records;
  uint32_t maxBitLength = 0;
  const BlockRowCoder coder{image, width, colours, Tlg6InitialPixel(colours), candidates, table};
  for (uint32_t k = 0; k < blockRows; ++k) {
    const uint32_t y0 = k << kTlg6BlockShift;
    coder.Encode(y0, std::min(kTlg6BlockSize, height - y0),
                 filterTypes.data() + static_cast<size_t>(k) * blocksPerRow, records, maxBitLength);
  }
  const std::vector<uint8_t> section = CompressFilterTypes(filterTypes);

  std::vector<uint8_t> out(kTlg6Signature, kTlg6Signature + kTlg6SignatureSize);
  out.push_back(static_cast<uint8_t>(colours));
  out.insert(out.end(), kTlg6HeaderLeadBytes - 1, 0);
  PutUInt32LE(out, width);
  PutUInt32LE(out, height);
  PutUInt32LE(out, maxBitLength);
  PutUInt32LE(out, static_cast<uint32_t>(section.size()));
  out.insert(out.end(), section.begin(), section.end());
  out.insert(out.end(), records.begin(), records.end());
  return out;
}
