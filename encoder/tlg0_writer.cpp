#include "encoder/tlg0_writer.h"

#include <stdexcept>

#include "tlg/tlg_format.h"

namespace {

void AppendUInt32LE(std::vector<uint8_t>& out, uint32_t value) {
  for (int shift = 0; shift < 32; shift += 8) out.push_back(static_cast<uint8_t>(value >> shift));
}

uint32_t CheckedSize(size_t size) {
  if (size > UINT32_MAX) throw std::invalid_argument("TLG0 part larger than 4 GiB");
  return static_cast<uint32_t>(size);
}

void AppendLengthAndBytes(std::vector<uint8_t>& out, const std::string& bytes) {
  const std::string length = std::to_string(bytes.size());
  out.insert(out.end(), length.begin(), length.end());
  out.push_back(':');
  out.insert(out.end(), bytes.begin(), bytes.end());
}

}  // namespace

std::vector<uint8_t> MakeTagsChunkData(const TagList& tags) {
  std::vector<uint8_t> data;
  for (const auto& [key, value] : tags) {
    AppendLengthAndBytes(data, key);
    data.push_back('=');
    AppendLengthAndBytes(data, value);
    data.push_back(',');
  }
  return data;
}

std::vector<uint8_t> WrapTlg0(const std::vector<uint8_t>& rawImage,
                              const std::vector<TlgChunk>& chunks) {
  std::vector<uint8_t> out(kTlg0Signature, kTlg0Signature + kTlgSignatureSize);
  AppendUInt32LE(out, CheckedSize(rawImage.size()));
  out.insert(out.end(), rawImage.begin(), rawImage.end());
  for (const auto& chunk : chunks) {
    if (chunk.name.size() != kChunkNameSize) throw std::invalid_argument("chunk name not 4 bytes");
    out.insert(out.end(), chunk.name.begin(), chunk.name.end());
    AppendUInt32LE(out, CheckedSize(chunk.data.size()));
    out.insert(out.end(), chunk.data.begin(), chunk.data.end());
  }
  return out;
}
