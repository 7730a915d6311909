#include <climits>
#include <cstring>
#include <string>

#include "libtlg/internal.h"
#include "tlg/tlg5/tlg5_format.h"
#include "tlg/tlg6/tlg6_format.h"
#include "tlg/tlg_format.h"
#include "tlg/tlg_loader.h"

namespace libtlg {

namespace {

#ifdef _WIN32
// UTF-8 to the UTF-16 that the file calls take; false for malformed UTF-8.
bool WidenPath(const char* path, std::wstring& wide) {
  const int length = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, path, -1, nullptr, 0);
  if (length <= 0) return false;
  wide.resize(static_cast<size_t>(length));
  return MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, path, -1, &wide[0], length) == length;
}
#endif

tlg_error OpenFile(const Source& source, std::unique_ptr<tHandleStream>& file) {
#ifdef _WIN32
  std::wstring wide;
  const wchar_t* name = source.widePath;
  if (name == nullptr) {
    if (!WidenPath(source.path, wide)) return TLG_ERROR_INVALID_ARGUMENT;
    name = wide.c_str();
  }
  file.reset(new tHandleStream(name, GENERIC_READ));
#else
  file.reset(new tHandleStream(source.path, GENERIC_READ));
#endif
  return file->IsOpen() ? TLG_OK : TLG_ERROR_IO;
}

bool IsPrefixOf(const uint8_t* bytes, size_t count, const uint8_t* signature) {
  return std::memcmp(bytes, signature, count) == 0;
}

}  // namespace

tlg_error OpenSource(const Source& source, std::unique_ptr<WatchedStream>& stream) {
  std::unique_ptr<tZURBinaryStream> inner;
  if (source.path != nullptr || source.widePath != nullptr) {
    std::unique_ptr<tHandleStream> file;
    const tlg_error error = OpenFile(source, file);
    if (error != TLG_OK) return error;
    inner = std::move(file);
  } else {
    if (source.data == nullptr) return TLG_ERROR_INVALID_ARGUMENT;
    // Memory streams keep 32-bit positions.
    if (uint64_t{source.size} > UINT32_MAX) return TLG_ERROR_TOO_LARGE;
    inner.reset(new tMemDataStream(static_cast<const uint8_t*>(source.data),
                                   static_cast<uint32_t>(source.size)));
  }
  stream.reset(new WatchedStream(std::move(inner)));
  return TLG_OK;
}

tlg_error CheckSignature(WatchedStream& stream) {
  uint8_t head[kTlgSignatureSize];
  stream.Seek(0, kSeekBegin);
  const uint32_t got = stream.Read(head, kTlgSignatureSize);
  stream.Seek(0, kSeekBegin);
  stream.Forget();
  if (got == 0) return TLG_ERROR_NOT_TLG;
  for (const uint8_t* signature : {kTlg0Signature, kTlg5Signature, kTlg6Signature}) {
    if (IsPrefixOf(head, got, signature)) {
      return got == kTlgSignatureSize ? TLG_OK : TLG_ERROR_TRUNCATED;
    }
  }
  return TLG_ERROR_NOT_TLG;
}

tlg_error LoadFailure(int result, const WatchedStream& stream) {
  if (result == kLoadOutOfMemory) return TLG_ERROR_OUT_OF_MEMORY;
  return stream.cameShort() ? TLG_ERROR_TRUNCATED : TLG_ERROR_CORRUPT;
}

tlg_error DescribeLayout(WatchedStream& stream, tlg_info& info) {
  const tlg_error signature = CheckSignature(stream);
  if (signature != TLG_OK) return signature;
  const TlgLayout layout = ReadTlgLayout(stream);
  const bool cameShort = stream.cameShort();
  stream.Forget();
  if (layout.raster == TlgRaster::kUnknown || layout.colours == 0) {
    return cameShort ? TLG_ERROR_TRUNCATED : TLG_ERROR_CORRUPT;
  }
  info = tlg_info{};
  info.kind = layout.wrapped ? TLG_KIND_WRAPPED
                             : (layout.raster == TlgRaster::kTlg5 ? TLG_KIND_TLG5 : TLG_KIND_TLG6);
  info.raster = layout.raster == TlgRaster::kTlg5 ? TLG_KIND_TLG5 : TLG_KIND_TLG6;
  info.colours = layout.colours;
  if (layout.wrapped) {
    bool hasTags = false;
    ReadTlgTags(stream, nullptr, &hasTags);  // without a dictionary it cannot fail
    info.has_tags = hasTags ? 1 : 0;
    stream.Forget();
  }
  stream.Seek(0, kSeekBegin);
  return TLG_OK;
}

}  // namespace libtlg
