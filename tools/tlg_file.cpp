#include "tools/tlg_file.h"

#include <cstdio>
#include <cstring>

#include "stream/binary_stream.h"
#include "tlg/tlg5/tlg5_format.h"
#include "tlg/tlg6/tlg6_format.h"
#include "tlg/tlg_format.h"
#include "tlg/tlg_loader.h"
#include "tools/output_file.h"

namespace {

constexpr size_t kReadPiece = 64 * 1024;

// A memory stream that remembers whether a read ever came up short, which
// tells a file cut short from one that is corrupt.
class WatchedStream final : public tZURBinaryStream {
 public:
  WatchedStream(const std::vector<uint8_t>& bytes)
      : inner_(bytes.data(), static_cast<uint32_t>(bytes.size())) {}
  uint64_t Seek(int64_t offset, int32_t origin) override { return inner_.Seek(offset, origin); }
  uint32_t Read(uint8_t* buffer, uint32_t count) override {
    const uint32_t got = inner_.Read(buffer, count);
    if (got < count) cameShort_ = true;
    return got;
  }
  uint32_t Write(const uint8_t* buffer, uint32_t count) override { return inner_.Write(buffer, count); }
  bool cameShort() const { return cameShort_; }

 private:
  tMemDataStream inner_;
  bool cameShort_ = false;
};

bool StartsWith(const std::vector<uint8_t>& file, size_t offset, const uint8_t* signature) {
  return file.size() >= offset + kTlgSignatureSize &&
         std::memcmp(file.data() + offset, signature, kTlgSignatureSize) == 0;
}

bool AllocatePicture(void* context, uint32_t width, uint32_t height) {
  auto& picture = *static_cast<Picture*>(context);
  picture.width = width;
  picture.height = height;
  try {
    picture.pixels.assign(static_cast<size_t>(width) * height, 0);
  } catch (const std::bad_alloc&) {
    return false;
  }
  return true;
}

void* PictureRow(void* context, int32_t row) {
  auto& picture = *static_cast<Picture*>(context);
  if (row < 0) return nullptr;
  // Rows of a zero-width picture hold nothing, but null would stop the decode.
  static uint32_t noPixels;
  if (picture.width == 0) return &noPixels;
  return picture.pixels.data() + static_cast<size_t>(row) * picture.width;
}

}  // namespace

bool ReadFileBytes(const std::string& path, std::vector<uint8_t>& bytes, std::string& error) {
  std::FILE* file = OpenForReading(path, error);
  if (file == nullptr) return false;
  bytes.clear();
  uint8_t buffer[kReadPiece];
  size_t got;
  while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0) bytes.insert(bytes.end(), buffer, buffer + got);
  const bool failed = std::ferror(file) != 0;
  if (failed) error = "cannot read " + SystemReason();
  std::fclose(file);
  return !failed;
}

bool IsWrappedTlg(const std::vector<uint8_t>& file) { return StartsWith(file, 0, kTlg0Signature); }

bool ReadWholeTags(const std::vector<uint8_t>& file, TagDictionary& tags, bool& wrapped, std::string& error) {
  Picture picture;
  if (!DecodeTlgFile(file, picture, nullptr, error)) return false;
  wrapped = IsWrappedTlg(file);
  WatchedStream stream(file);
  // Tags that would come out short are refused here, unlike on decoding:
  // the new file must not lose what the original held.
  bool damaged = false;
  const int result = ReadTlgTags(stream, &tags, nullptr, &damaged);
  if (result == kLoadComplete && !damaged) return true;
  if (result == kLoadOutOfMemory) {
    error = "too large to hold in memory";
  } else {
    error = stream.cameShort() ? "cut short (in its tags)" : "corrupt (its tags are damaged)";
  }
  return false;
}

bool InspectTlg(const std::vector<uint8_t>& file, TlgFileInfo& info, std::string& error) {
  size_t raw = 0;
  std::string wrapper;
  if (StartsWith(file, 0, kTlg0Signature)) {
    raw = kTlg0HeaderSize;
    wrapper = "TLG0 ";
  }
  if (StartsWith(file, raw, kTlg5Signature)) {
    info.kind = "TLG5";
  } else if (StartsWith(file, raw, kTlg6Signature)) {
    info.kind = "TLG6";
  } else if (!wrapper.empty() && file.size() < raw + kTlgSignatureSize) {
    error = "cut short";
    return false;
  } else {
    error = wrapper.empty() ? "not a TLG file" : "corrupt (the wrapper holds no TLG5 or TLG6 image)";
    return false;
  }
  if (!wrapper.empty()) info.kind = wrapper + "(" + info.kind + ")";
  if (file.size() > raw + kTlgSignatureSize) info.colours = file[raw + kTlgSignatureSize];

  // Decoded whole, so that damage anywhere in the file is reported.
  Picture picture;
  if (!DecodeTlgFile(file, picture, &info.tags, error)) return false;
  info.width = picture.width;
  info.height = picture.height;
  return true;
}

bool DecodeTlgFile(const std::vector<uint8_t>& file, Picture& picture, TagDictionary* tags,
                   std::string& error) {
  WatchedStream stream(file);
  if (!HasTlgSignature(stream)) {
    error = "not a TLG file";
    return false;
  }
  const int result = LoadTlg(&picture, AllocatePicture, PictureRow, tags, stream);
  if (result == kLoadComplete) return true;
  if (result == kLoadStopped) {
    error = "too large to hold in memory";
  } else {
    error = stream.cameShort() ? "cut short" : "corrupt";
  }
  return false;
}
