#include "encoder/tlg5_encoder.h"

#include <stdexcept>

#include "encoder/slide_compress.h"
#include "encoder/tlg5_planes.h"
#include "tlg/tlg5/tlg5_format.h"

namespace {

constexpr uint64_t kMaxUInt32 = 0xFFFFFFFFu;
constexpr uint32_t kOpaqueAlpha = 0xFF;
constexpr size_t kRecordHeaderSize = 5;  // kind byte and 32-bit length

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

// One plane record: compressed when that is smaller, otherwise stored. A
// stored record must leave the shared dictionary as it was, so compression
// is taken back then.
void PutRecord(std::vector<uint8_t>& out, SlideCompressor& compressor,
               const std::vector<uint8_t>& plane, std::vector<uint8_t>& packed) {
  const size_t packedSize = compressor.Compress(plane.data(), plane.size(), packed);
  const bool compress = packedSize < plane.size();
  const uint8_t* data = compress ? packed.data() : plane.data();
  const size_t size = compress ? packedSize : plane.size();
  out.push_back(compress ? kTlg5Compressed : kTlg5Stored);
  PutUInt32LE(out, static_cast<uint32_t>(size));
  out.insert(out.end(), data, data + size);
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
  // Records are never larger than their planes: one allocation, touched only
  // as far as it is written.
  out.reserve(out.size() + pixelCount * static_cast<size_t>(colours) +
              kRecordHeaderSize * static_cast<size_t>(colours) * blockCount);

  SlideCompressor compressor;
  std::vector<uint8_t> planes[kTlg5MaxColours];
  std::vector<uint8_t> packed;
  uint32_t block = 0;
  for (uint32_t y = 0; y < height; ++block) {
    const uint32_t end = height - y > blockHeight ? y + blockHeight : height;
    const size_t count = static_cast<size_t>(end - y) * width;
    uint8_t* planePointers[kTlg5MaxColours] = {};
    for (int c = 0; c < colours; ++c) {
      planes[c].resize(count);
      planePointers[c] = planes[c].data();
    }
    SplitTlg5Rows(pixels, width, y, end, planePointers);
    const size_t start = out.size();
    for (int c = 0; c < colours; ++c) PutRecord(out, compressor, planes[c], packed);
    if (out.size() - start > kMaxUInt32) throw std::length_error("EncodeTlg5: block too large");
    PatchUInt32LE(out, table + 4 * static_cast<size_t>(block),
                  static_cast<uint32_t>(out.size() - start));
    y = end;
  }
  return out;
}
