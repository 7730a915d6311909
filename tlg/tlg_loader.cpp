#include "tlg/tlg_loader.h"

#include <cstring>
#include <new>
#include <vector>

#include "tlg/tlg5/tlg5_decoder.h"
#include "tlg/tlg5/tlg5_format.h"
#include "tlg/tlg6/tlg6_decoder.h"
#include "tlg/tlg6/tlg6_format.h"
#include "tlg/tlg_format.h"

namespace {

// A "tags" chunk is read in pieces of this size, so that a size far beyond
// what the input holds never makes us allocate it up front.
constexpr uint32_t kChunkReadPiece = 1u << 20;

bool Matches(const uint8_t* bytes, const uint8_t* expected, size_t size) {
  return std::memcmp(bytes, expected, size) == 0;
}

enum class RawTlgKind { kUnknown, kTlg5, kTlg6 };

RawTlgKind KindOfSignature(const uint8_t* signature) {
  if (Matches(signature, kTlg5Signature, kTlgSignatureSize)) return RawTlgKind::kTlg5;
  if (Matches(signature, kTlg6Signature, kTlgSignatureSize)) return RawTlgKind::kTlg6;
  return RawTlgKind::kUnknown;  // unknown, or a wrapper inside a wrapper
}

bool ReadChunkData(tZURBinaryStream& stream, uint32_t size, std::vector<uint8_t>& data) {
  data.clear();
  while (data.size() < size) {
    const size_t done = data.size();
    const uint32_t piece = static_cast<uint32_t>(
        size - done < kChunkReadPiece ? size - done : kChunkReadPiece);
    data.resize(done + piece);
    if (!ReadExact(stream, data.data() + done, piece)) return false;
  }
  return true;
}

// kLoadFailed when the chunk was cut short (it gives nothing) or its entries
// hold a syntax error (those before it are stored), kLoadOutOfMemory when its
// memory could not be had.
int ReadTagsChunk(tZURBinaryStream& stream, uint32_t size, TagDictionary& tags) {
  try {
    std::vector<uint8_t> data;
    if (!ReadChunkData(stream, size, data)) return kLoadFailed;
    return ParseTags(data.data(), size, tags) ? kLoadComplete : kLoadFailed;
  } catch (const std::bad_alloc&) {
    return kLoadOutOfMemory;
  }
}

// Walks the chunks after a wrapped image until a name or size cannot be read,
// or a "tags" chunk is cut short or malformed: damage after the image ends the
// walk like the end of the input, and the entries stored before it stay
// (`damaged`, when given, says so). Only kLoadOutOfMemory is returned as a
// failure. Without a dictionary a "tags" chunk has nothing to give and is
// skipped like any other.
int WalkChunks(tZURBinaryStream& stream, TagDictionary* tags, bool* sawTags, bool* damaged) {
  for (;;) {
    uint8_t name[kChunkNameSize];
    if (stream.Read(name, kChunkNameSize) != kChunkNameSize) return kLoadComplete;
    uint32_t size = 0;
    if (!ReadUInt32LE(stream, size)) return kLoadComplete;
    const bool isTags = Matches(name, kTagsChunkName, kChunkNameSize);
    if (isTags && sawTags != nullptr) *sawTags = true;
    if (isTags && tags != nullptr) {
      const int result = ReadTagsChunk(stream, size, *tags);
      if (result == kLoadOutOfMemory) return result;
      if (result != kLoadComplete) {
        if (damaged != nullptr) *damaged = true;
        return kLoadComplete;
      }
      continue;
    }
    // A memory stream keeps only 32 bits of position: a skip that wraps would
    // land on an earlier chunk and walk forever. Only ever move forward.
    const uint64_t next = Tell(stream) + size;
    if (SeekTo(stream, next) != next) return kLoadComplete;
  }
}

}  // namespace

int LoadTlg(void* context, SizeCallback sizeCallback, ScanLineCallback scanLineCallback,
            TagDictionary* tags, tZURBinaryStream& stream) {
  stream.Seek(0, kSeekBegin);
  uint8_t signature[kTlgSignatureSize];
  if (!ReadExact(stream, signature, kTlgSignatureSize)) return kLoadFailed;
  if (!Matches(signature, kTlg0Signature, kTlgSignatureSize)) {
    stream.Seek(0, kSeekBegin);
    return DecodeRawTlg(context, sizeCallback, scanLineCallback, stream);
  }

  uint32_t rawLength = 0;
  if (!ReadUInt32LE(stream, rawLength)) return kLoadFailed;
  const int result = DecodeRawTlg(context, sizeCallback, scanLineCallback, stream);
  if (result != kLoadComplete) return result;

  // The image is complete: however the chunks end, the result stays 0.
  const uint64_t chunksStart = uint64_t{kTlg0HeaderSize} + rawLength;
  if (SeekTo(stream, chunksStart) == chunksStart) WalkChunks(stream, tags, nullptr, nullptr);
  return kLoadComplete;
}

TlgLayout ReadTlgLayout(tZURBinaryStream& stream) {
  TlgLayout layout;
  stream.Seek(0, kSeekBegin);
  uint8_t signature[kTlgSignatureSize];
  if (!ReadExact(stream, signature, kTlgSignatureSize)) return layout;
  if (Matches(signature, kTlg0Signature, kTlgSignatureSize)) {
    layout.wrapped = true;
    layout.signatureKnown = true;
    uint32_t rawLength = 0;
    if (!ReadUInt32LE(stream, rawLength) || !ReadExact(stream, signature, kTlgSignatureSize)) {
      return layout;
    }
  }
  switch (KindOfSignature(signature)) {
    case RawTlgKind::kTlg5: layout.raster = TlgRaster::kTlg5; break;
    case RawTlgKind::kTlg6: layout.raster = TlgRaster::kTlg6; break;
    default: return layout;
  }
  layout.signatureKnown = true;
  uint8_t colours = 0;
  if (ReadExact(stream, &colours, 1)) layout.colours = colours;
  return layout;
}

int ReadTlgTags(tZURBinaryStream& stream, TagDictionary* tags, bool* hasTags, bool* damaged) {
  if (hasTags != nullptr) *hasTags = false;
  if (damaged != nullptr) *damaged = false;
  stream.Seek(0, kSeekBegin);
  uint8_t signature[kTlgSignatureSize];
  if (!ReadExact(stream, signature, kTlgSignatureSize)) return kLoadFailed;
  if (!Matches(signature, kTlg0Signature, kTlgSignatureSize)) {
    return KindOfSignature(signature) == RawTlgKind::kUnknown ? kLoadFailed : kLoadComplete;
  }
  uint32_t rawLength = 0;
  if (!ReadUInt32LE(stream, rawLength)) return kLoadFailed;
  const uint64_t chunksStart = uint64_t{kTlg0HeaderSize} + rawLength;
  if (SeekTo(stream, chunksStart) != chunksStart) return kLoadComplete;
  return WalkChunks(stream, tags, hasTags, damaged);
}

int DecodeRawTlg(void* context, SizeCallback sizeCallback, ScanLineCallback scanLineCallback,
                 tZURBinaryStream& stream) {
  uint8_t signature[kTlgSignatureSize];
  if (!ReadExact(stream, signature, kTlgSignatureSize)) return kLoadFailed;
  switch (KindOfSignature(signature)) {
    case RawTlgKind::kTlg5:
      return DecodeTlg5(context, sizeCallback, scanLineCallback, stream);
    case RawTlgKind::kTlg6:
      return DecodeTlg6(context, sizeCallback, scanLineCallback, stream);
    default:
      return kLoadFailed;
  }
}

bool HasTlgSignature(tZURBinaryStream& stream) {
  stream.Seek(0, kSeekBegin);
  uint8_t signature[kTlgSignatureSize];
  if (!ReadExact(stream, signature, kTlgSignatureSize)) return false;
  return Matches(signature, kTlg0Signature, kTlgSignatureSize) ||
         Matches(signature, kTlg5Signature, kTlgSignatureSize) ||
         Matches(signature, kTlg6Signature, kTlgSignatureSize);
}

bool InfoSizeCallback(void* context, uint32_t width, uint32_t height) {
  auto& size = *static_cast<ImageSize*>(context);
  size.width = width;
  size.height = height;
  return false;
}

bool ReadImageSize(tZURBinaryStream& stream, uint32_t* width, uint32_t* height) {
  ImageSize size{0, 0};
  if (LoadTlg(&size, InfoSizeCallback, nullptr, nullptr, stream) != kLoadStopped) return false;
  if (width != nullptr) *width = size.width;
  if (height != nullptr) *height = size.height;
  return true;
}
