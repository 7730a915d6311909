// Recognising and describing pictures without decoding them.
#include <cstring>

#include "libtlg/internal.h"
#include "tlg/tlg5/tlg5_format.h"
#include "tlg/tlg6/tlg6_format.h"
#include "tlg/tlg_format.h"
#include "tlg/tlg_loader.h"

namespace libtlg {
namespace {

tlg_error Describe(const Source& source, tlg_info* info) {
  return Guarded([&] {
    if (info == nullptr) return TLG_ERROR_INVALID_ARGUMENT;
    std::unique_ptr<WatchedStream> stream;
    tlg_error error = OpenSource(source, stream);
    tlg_info described{};
    if (error == TLG_OK) error = DescribeLayout(*stream, described);
    if (error != TLG_OK) return error;
    // The decoders check the header and stop at the size callback.
    ImageSize size{0, 0};
    const int result = LoadTlg(&size, InfoSizeCallback, nullptr, nullptr, *stream);
    if (result != kLoadStopped) return LoadFailure(result, *stream);
    described.width = size.width;
    described.height = size.height;
    *info = described;
    return TLG_OK;
  });
}

}  // namespace
}  // namespace libtlg

using namespace libtlg;

extern "C" {

tlg_kind tlg_probe(const void* data, size_t size) {
  if (data == nullptr || size < kTlgSignatureSize) return TLG_KIND_NONE;
  const auto* bytes = static_cast<const uint8_t*>(data);
  if (std::memcmp(bytes, kTlg0Signature, kTlgSignatureSize) == 0) return TLG_KIND_WRAPPED;
  if (std::memcmp(bytes, kTlg5Signature, kTlgSignatureSize) == 0) return TLG_KIND_TLG5;
  if (std::memcmp(bytes, kTlg6Signature, kTlgSignatureSize) == 0) return TLG_KIND_TLG6;
  return TLG_KIND_NONE;
}

tlg_error tlg_read_info(const void* data, size_t size, tlg_info* info) {
  return Describe(MemorySource(data, size), info);
}

tlg_error tlg_read_info_file(const char* path, tlg_info* info) {
  if (path == nullptr) return TLG_ERROR_INVALID_ARGUMENT;
  return Describe(PathSource(path), info);
}

#ifdef _WIN32
tlg_error tlg_read_info_file_w(const wchar_t* path, tlg_info* info) {
  if (path == nullptr) return TLG_ERROR_INVALID_ARGUMENT;
  return Describe(WidePathSource(path), info);
}
#endif

}  // extern "C"
