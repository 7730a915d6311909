#include "encoder/tlg6_encoder.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cstring>
#include <exception>
#include <limits>
#include <mutex>
#include <stdexcept>
#include <system_error>
#include <thread>

#include "encoder/tlg6_block_costs.h"
#include "encoder/tlg6_filter_section.h"
#include "encoder/tlg6_residuals.h"
#include "encoder/tlg6_value_coder.h"
#include "tlg/tlg6/tlg6_format.h"
#include "tlg/tlg6/tlg6_pixel_ops.h"

namespace {

constexpr uint32_t kBlockEntries = kTlg6BlockSize * kTlg6BlockSize;
constexpr uint32_t kMaxColours = 4;
constexpr uint32_t kPredictors = 2;
// Filter types with the lowest estimates that are then costed exactly.
// (Three gave files 0.1% smaller, one 0.3% larger, on the benchmark's
// pictures.) Unless the first leads clearly: that costs 0.1% in size and
// saves a tenth of the time.
constexpr uint32_t kExactCandidates = 2;
constexpr uint32_t kClearLeadShift = 6;
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
uint32_t DecodedPixel(uint32_t p, uint32_t colours, bool clearTransparent) {
  if (clearTransparent && (p >> 24) == 0) p = 0;
  if (colours == 3) p |= kTlg6OpaqueInitialPixel;
  if (colours == 1) p &= 0xFF;
  return p;
}

// The pixels as they will decode: the caller's own where nothing changes
// (the usual case, which spares a copy of the whole image), else `copy`.
const uint32_t* DecodedForm(const uint32_t* pixels, size_t count, uint32_t colours,
                            bool clearTransparent, std::vector<uint32_t>& copy) {
  size_t i = 0;
  while (i < count && DecodedPixel(pixels[i], colours, clearTransparent) == pixels[i]) ++i;
  if (i == count) return pixels;
  copy.assign(pixels, pixels + count);
  for (; i < count; ++i) copy[i] = DecodedPixel(copy[i], colours, clearTransparent);
  return copy.data();
}

struct EncodedBlockRow {
  std::vector<uint8_t> record;
  uint32_t maxBitLength = 0;
};

// Codes block rows one at a time; one per thread, reused from row to row.
class BlockRowCoder {
 public:
  BlockRowCoder(const uint32_t* pixels, uint32_t width, uint32_t colours,
                const std::vector<uint8_t>& candidates, const Tlg6RiceTable& table)
      : pixels_(pixels), width_(width), colours_(colours),
        initialPixel_(Tlg6InitialPixel(colours)), candidates_(candidates), table_(table) {
    for (uint32_t f = 0; f < kTlg6FilterTypeCount; ++f) {
      for (uint32_t c = 0; c < kMaxColours; ++c) {
        forms_[f][c] = static_cast<uint8_t>(Tlg6TransformForm(f >> 1, c));
      }
    }
  }

  // Chooses the filter type of every block of block row `y0 / 8` into
  // `filterTypes` and codes the block row. A block row depends on nothing
  // but the pixels: the Rice state starts afresh in each.
  void Encode(uint32_t y0, uint32_t rows, uint8_t* filterTypes, EncodedBlockRow& out) {
    ComputeTlg6Differences(pixels_, width_, y0, rows, initialPixel_, differences_);
    const size_t count = static_cast<size_t>(rows) * width_;
    for (uint32_t c = 0; c < colours_; ++c) planes_[c].resize(count);
    costs_ = {};
    const uint32_t blocks = (width_ + kTlg6BlockSize - 1) >> kTlg6BlockShift;
    for (uint32_t b = 0; b < blocks; ++b) {
      const uint32_t w = std::min(kTlg6BlockSize, width_ - b * kTlg6BlockSize);
      // Block b's entries start 8 x rows entries after block b - 1's.
      filterTypes[b] = ChooseBlock(b, w, rows, static_cast<size_t>(b) * kTlg6BlockSize * rows);
    }
    out.record.clear();
    out.maxBitLength = 0;
    for (uint32_t c = 0; c < colours_; ++c) {
      const Tlg6CodedColour coded = EncodeTlg6Values(planes_[c].data(), count, table_);
      PutUInt32LE(out.record, coded.bitLength);
      out.record.insert(out.record.end(), coded.bytes.begin(), coded.bytes.end());
      out.maxBitLength = std::max(out.maxBitLength, coded.bitLength);
    }
  }

 private:
  // One lane of one block through one form, costed from the lane's state.
  struct Costed {
    uint32_t stamp = 0;
    uint64_t bits = 0;
    Tlg6CostState state;
    alignas(16) uint8_t values[kBlockEntries];
  };

  // Estimates every candidate from magnitude sums, costs the few best
  // exactly with the lanes' adaptive state, keeps the smallest (the lowest
  // filter type on a tie), and stores its entries at `base`.
  uint8_t ChooseBlock(uint32_t b, uint32_t w, uint32_t rows, size_t base) {
    const uint32_t n = w * rows;
    std::array<std::array<uint32_t, kTlg6FormCount>, kPredictors> estimates;
    for (uint32_t p = 0; p < kPredictors; ++p) {
      const std::vector<uint32_t>& source = p ? differences_.average : differences_.median;
      GatherTlg6Block(source.data(), width_, rows, b, lanes_[p]);
      Tlg6FormSums sums;
      SumTlg6Forms(lanes_[p], sums);
      for (uint32_t f = 0; f < kTlg6FormCount; ++f) {
        estimates[p][f] = EstimateTlg6Bits(log2_, sums.magnitude[f], sums.nonZero[f]);
      }
    }

    // The lowest estimates, in order; ties keep the lower filter type.
    std::array<std::pair<uint32_t, uint8_t>, kExactCandidates> best;
    uint32_t bestCount = 0;
    for (uint8_t f : candidates_) {
      const auto& e = estimates[f & kAverageFilterBit];
      uint32_t estimate = 0;
      for (uint32_t c = 0; c < colours_; ++c) estimate += e[forms_[f][c]];
      if (bestCount == kExactCandidates && estimate >= best[bestCount - 1].first) continue;
      uint32_t i = bestCount < kExactCandidates ? bestCount++ : bestCount - 1;
      for (; i > 0 && best[i - 1].first > estimate; --i) best[i] = best[i - 1];
      best[i] = {estimate, f};
    }

    // A lead of more than 1/64 of the estimate needs no second opinion, nor
    // does a block that comes out all 0 (an estimate of 0): nothing codes
    // smaller.
    if (bestCount > 1 && (best[0].first == 0 ||
                          best[1].first > best[0].first + (best[0].first >> kClearLeadShift))) {
      bestCount = 1;
    }
    ++stamp_;
    uint64_t chosenBits = std::numeric_limits<uint64_t>::max();
    uint8_t chosen = 0;
    for (uint32_t i = 0; i < bestCount; ++i) {
      const uint8_t f = best[i].second;
      uint64_t bits = 0;
      for (uint32_t c = 0; c < colours_ && bits <= chosenBits; ++c) {
        bits += Cost(f & kAverageFilterBit, c, forms_[f][c], w, rows).bits;
      }
      if (bits < chosenBits || (bits == chosenBits && f < chosen)) {
        chosenBits = bits;
        chosen = f;
      }
    }
    for (uint32_t c = 0; c < colours_; ++c) {
      const Costed& lane = Cost(chosen & kAverageFilterBit, c, forms_[chosen][c], w, rows);
      costs_[c] = lane.state;
      std::memcpy(planes_[c].data() + base, lane.values, n);
    }
    return chosen;
  }

  const Costed& Cost(uint32_t predictor, uint32_t lane, uint32_t form, uint32_t w, uint32_t rows) {
    Costed& costed = costed_[predictor][lane][form];
    if (costed.stamp == stamp_) return costed;
    costed.stamp = stamp_;
    MakeTlg6FormValues(lanes_[predictor], form, costed.values);
    if (w < kTlg6BlockSize) {
      // Stored rows of a narrow block follow each other without a gap.
      for (uint32_t s = 1; s < rows; ++s) {
        std::memmove(costed.values + s * w, costed.values + s * kTlg6BlockSize, w);
      }
    }
    costed.state = costs_[lane];
    costed.bits = AppendTlg6Cost(costed.state, costed.values, w * rows, table_);
    return costed;
  }

  const uint32_t* pixels_;
  const uint32_t width_;
  const uint32_t colours_;
  const uint32_t initialPixel_;
  const std::vector<uint8_t>& candidates_;
  const Tlg6RiceTable& table_;

  Tlg6Differences differences_;
  std::array<std::vector<uint8_t>, kMaxColours> planes_;
  std::array<Tlg6CostState, kMaxColours> costs_{};
  Tlg6BlockLanes lanes_[kPredictors];
  Costed costed_[kPredictors][kMaxColours][kTlg6FormCount];
  uint32_t stamp_ = 0;
  const uint16_t* log2_ = Tlg6Log2Table();
  uint8_t forms_[kTlg6FilterTypeCount][kMaxColours];  // each filter type's form of each lane
};

}  // namespace

std::vector<uint8_t> EncodeTlg6(const uint32_t* pixels, uint32_t width, uint32_t height,
                                const Tlg6EncodeOptions& options) {
  if (width > kMaxWidth || height > kMaxHeight) throw std::length_error("TLG6 image too large");
  const size_t pixelCount = static_cast<size_t>(width) * height;
  const uint32_t colours = ChooseColours(pixels, pixelCount, options.colours);
  const std::vector<uint8_t> candidates = CandidateFilterTypes(colours, options.filterType);
  std::vector<uint32_t> copy;
  const uint32_t* image = DecodedForm(pixels, pixelCount, colours, options.clearTransparent, copy);
  const Tlg6RiceTable table = BuildTlg6RiceTable();

  const uint32_t blocksPerRow = (width + kTlg6BlockSize - 1) >> kTlg6BlockShift;
  const uint32_t blockRows =
      static_cast<uint32_t>((uint64_t{height} + kTlg6BlockSize - 1) >> kTlg6BlockShift);
  std::vector<uint8_t> filterTypes(static_cast<size_t>(blocksPerRow) * blockRows);
  std::vector<EncodedBlockRow> encoded(blockRows);

  // Each thread takes the next block row not yet taken; every block row
  // lands in its own place, so the order of work does not matter.
  std::atomic<uint32_t> next{0};
  std::exception_ptr failure;
  std::mutex failureLock;
  const auto work = [&] {
    try {
      BlockRowCoder coder(image, width, colours, candidates, table);
      for (uint32_t k; (k = next.fetch_add(1)) < blockRows;) {
        const uint32_t y0 = k << kTlg6BlockShift;
        coder.Encode(y0, std::min(kTlg6BlockSize, height - y0),
                     filterTypes.data() + static_cast<size_t>(k) * blocksPerRow, encoded[k]);
      }
    } catch (...) {
      const std::lock_guard<std::mutex> lock(failureLock);
      if (!failure) failure = std::current_exception();
      next = blockRows;
    }
  };
  const unsigned threads = std::min<unsigned>(std::max(options.threads, 1u), std::max(blockRows, 1u));
  std::vector<std::thread> helpers;
  for (unsigned i = 1; i < threads; ++i) {
    try {
      helpers.emplace_back(work);
    } catch (const std::system_error&) {
      break;  // fewer threads give the same bytes
    }
  }
  work();
  for (std::thread& helper : helpers) helper.join();
  if (failure) std::rethrow_exception(failure);

  const std::vector<uint8_t> section = CompressFilterTypes(filterTypes);
  uint32_t maxBitLength = 0;
  size_t recordBytes = 0;
  for (const EncodedBlockRow& row : encoded) {
    maxBitLength = std::max(maxBitLength, row.maxBitLength);
    recordBytes += row.record.size();
  }

  std::vector<uint8_t> out(kTlg6Signature, kTlg6Signature + kTlg6SignatureSize);
  out.reserve(out.size() + 20 + section.size() + recordBytes);
  out.push_back(static_cast<uint8_t>(colours));
  out.insert(out.end(), kTlg6HeaderLeadBytes - 1, 0);
  PutUInt32LE(out, width);
  PutUInt32LE(out, height);
  PutUInt32LE(out, maxBitLength);
  PutUInt32LE(out, static_cast<uint32_t>(section.size()));
  out.insert(out.end(), section.begin(), section.end());
  for (const EncodedBlockRow& row : encoded) out.insert(out.end(), row.record.begin(), row.record.end());
  return out;
}
