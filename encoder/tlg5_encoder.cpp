#include "encoder/tlg5_encoder.h"

#include <stdexcept>

#include "encoder/slide_compress.h"
#include "tlg/tlg5/tlg5_format.h"

namespace {

constexpr uint64_t kMaxUInt32 = 0xFFFFFFFFu;
constexpr uint32_t kOpaqueAlpha = 0xFF;

void PutUInt32LE(std::vector<uint8_t>& out, uint32_t value) {
  for (int shift = 0; shift < 32; shift += 8) out.push_back(static_cast<uint8_t>(value >> shift));
}

void PatchUInt32LE(std::vector<uint8_t>& out, size_t offset, uint32_t value) {
  for (int i = 0; i < 4; ++i) out[offset + i] = static_cast<uint8_t>(value >> (8 * i));
}

uint8_t Channel(uint32_t pixel, uint32_t plane) { return static_cast<uint8_t>(pixel >> (8 * plane)); }

int ChooseColours(const uint32_t* pixels, size_t count, int requested) {
  if (requested == kTlg5OpaqueColours || requested == kTlg5AlphaColours) return requested;
  if (requested != 0) throw std::invalid_argument("EncodeTlg5: colours must be 0, 3 or 4");
  for (size_t i = 0; i < count; ++i) {
    if (Channel(pixels[i], kTlg5Alpha) != kOpaqueAlpha) return kTlg5AlphaColours;
  }
  return kTlg5OpaqueColours;
}

// x - y in each byte lane, with no borrow between lanes.
uint32_t LaneDifference(uint32_t x, uint32_t y) {
  constexpr uint32_t kHigh = 0x80808080;
  return ((x | kHigh) - (y & ~kHigh)) ^ ((x ^ ~y) & kHigh);
}

// The plane bytes of rows [first, end): each channel's value minus its left
// and upper neighbours plus the upper-left one, and blue and red then less
// green's byte, all modulo 256. The decoder's running sums undo this. All
// four channels go at once, one byte lane each.
void SplitBlock(const uint32_t* pixels, uint32_t width, uint32_t first, uint32_t end,
                int colours, std::vector<uint8_t> (&planes)[kTlg5MaxColours]) {
  const size_t count = static_cast<size_t>(end - first) * width;
  for (int c = 0; c < colours; ++c) planes[c].resize(count);
  uint8_t* blue = planes[kTlg5Blue].data();
  uint8_t* green = planes[kTlg5Green].data();
  uint8_t* red = planes[kTlg5Red].data();
  uint8_t* alpha = colours == kTlg5AlphaColours ? planes[kTlg5Alpha].data() : nullptr;
  size_t out = 0;
  for (uint32_t y = first; y < end; ++y) {
    const uint32_t* row = pixels + static_cast<size_t>(y) * width;
    const uint32_t* above = y == 0 ? nullptr : row - width;
    uint32_t left = 0;  // vertical differences of the pixel to the left
    for (uint32_t x = 0; x < width; ++x, ++out) {
      const uint32_t vertical = above == nullptr ? row[x] : LaneDifference(row[x], above[x]);
      const uint32_t delta = LaneDifference(vertical, left);
      left = vertical;
      const uint32_t g = (delta >> 8) & 0xFF;
      const uint32_t planar = LaneDifference(delta, g | g << 16);
      blue[out] = static_cast<uint8_t>(planar);
      green[out] = static_cast<uint8_t>(planar >> 8);
      red[out] = static_cast<uint8_t>(planar >> 16);
      if (alpha != nullptr) alpha[out] = static_cast<uint8_t>(planar >> 24);
    }
  }
}

// One plane record: compressed when that is smaller, otherwise stored. A
// stored record must leave the shared dictionary as it was, so compression
// is taken back then.
void PutRecord(std::vector<uint8_t>& out, SlideCompressor& compressor,
               const std::vector<uint8_t>& plane) {
  std::vector<uint8_t> packed = compressor.Compress(plane.data(), plane.size());
  const bool compress = packed.size() < plane.size();
  const std::vector<uint8_t>& data = compress ? packed : plane;
  out.push_back(compress ? kTlg5Compressed : kTlg5Stored);
  PutUInt32LE(out, static_cast<uint32_t>(data.size()));
  out.insert(out.end(), data.begin(), data.end());
  if (!compress) compressor.Rewind();
}

}  // namespace

std::vector<uint8_t> EncodeTlg5(const uint32_t* pixels, uint32_t width, uint32_t height,
                                const Tlg5EncodeOptions& options) {
  const uint32_t blockHeight = options.blockHeight;
  if (blockHeight == 0) throw std::invalid_argument("EncodeTlg5: block height 0");
  if (static_cast<uint64_t>(blockHeight) * width + kTlg5BufferSlack > kMaxUInt32) {
    throw std::invalid_argument("EncodeTlg5: block too large");
  }
  const size_t pixelCount = static_cast<size_t>(width) * height;
  const int colours = ChooseColours(pixels, pixelCount, options.colours);
  std::vector<uint32_t> cleared;
  if (options.clearTransparent) {
    cleared.assign(pixels, pixels + pixelCount);
    for (uint32_t& p : cleared) {
      if ((p >> 24) == 0) p = 0;
    }
    pixels = cleared.data();
  }

  std::vector<uint8_t> out(kTlg5Signature, kTlg5Signature + kTlg5SignatureSize);
  out.push_back(static_cast<uint8_t>(colours));
  PutUInt32LE(out, width);
  PutUInt32LE(out, height);
  PutUInt32LE(out, blockHeight);

  // Block index table: each block's length in bytes, filled in below.
  const uint32_t blockCount = height == 0 ? 0 : Tlg5BlockCount(height, blockHeight);
  const size_t table = out.size();
  out.resize(table + 4 * static_cast<size_t>(blockCount));

  SlideCompressor compressor;
  std::vector<uint8_t> planes[kTlg5MaxColours];
  uint32_t block = 0;
  for (uint32_t y = 0; y < height; ++block) {
    const uint32_t end = height - y > blockHeight ? y + blockHeight : height;
    SplitBlock(pixels, width, y, end, colours, planes);
    const size_t start = out.size();
    for (int c = 0; c < colours; ++c) PutRecord(out, compressor, planes[c]);
    if (out.size() - start > kMaxUInt32) throw std::length_error("EncodeTlg5: block too large");
    PatchUInt32LE(out, table + 4 * static_cast<size_t>(block),
                  static_cast<uint32_t>(out.size() - start));
    y = end;
  }
  return out;
}
