#include "wic/picture.h"

#include <wincodec.h>

#include <new>
#include <stdexcept>
#include <vector>

#include "tlg/tlg.h"

namespace tlg_wic {
namespace {

// The signature is the first 11 bytes of every kind.
constexpr ULONG kSignatureBytes = 11;
// Anything past this is not read: the picture itself is always ahead of a
// tail this long (the largest picture allowed codes into far fewer bytes).
constexpr uint64_t kMaxStreamBytes = uint64_t(3) << 30;
constexpr ULONG kReadChunk = 1 << 20;

HRESULT SeekTo(IStream* stream, uint64_t position) {
  LARGE_INTEGER move;
  move.QuadPart = static_cast<LONGLONG>(position);
  return stream->Seek(move, STREAM_SEEK_SET, nullptr);
}

// Reads until `size` bytes are in or the stream ends; `got` says how many.
HRESULT ReadFully(IStream* stream, uint8_t* out, ULONG size, ULONG* got) {
  *got = 0;
  while (*got < size) {
    ULONG read = 0;
    const HRESULT hr = stream->Read(out + *got, size - *got, &read);
    if (FAILED(hr)) return hr;
    if (read == 0) break;
    *got += read;
  }
  return S_OK;
}

HRESULT ReadAll(IStream* stream, std::vector<uint8_t>* data) {
  STATSTG stat = {};
  uint64_t expected = 0;
  if (SUCCEEDED(stream->Stat(&stat, STATFLAG_NONAME))) expected = stat.cbSize.QuadPart;
  try {
    if (expected > 0) data->reserve(static_cast<size_t>(expected < kMaxStreamBytes ? expected : kMaxStreamBytes));
    while (data->size() < kMaxStreamBytes) {
      const size_t start = data->size();
      const uint64_t left = kMaxStreamBytes - start;
      const ULONG want = left < kReadChunk ? static_cast<ULONG>(left) : kReadChunk;
      data->resize(start + want);
      ULONG got = 0;
      const HRESULT hr = ReadFully(stream, data->data() + start, want, &got);
      data->resize(start + got);
      if (FAILED(hr)) return hr;
      if (got < want) break;
    }
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  } catch (const std::length_error&) {
    return E_OUTOFMEMORY;
  }
  return S_OK;
}

// What the imaging component expects for each of libtlg's answers; `header`
// when only the headers were being read.
HRESULT ToHresult(tlg_error error, bool header) {
  switch (error) {
    case TLG_OK: return S_OK;
    case TLG_ERROR_NOT_TLG: return WINCODEC_ERR_UNKNOWNIMAGEFORMAT;
    case TLG_ERROR_TRUNCATED: return WINCODEC_ERR_BADIMAGE;
    case TLG_ERROR_CORRUPT: return header ? WINCODEC_ERR_BADHEADER : WINCODEC_ERR_BADIMAGE;
    case TLG_ERROR_TOO_LARGE: return WINCODEC_ERR_IMAGESIZEOUTOFRANGE;
    case TLG_ERROR_OUT_OF_MEMORY: return E_OUTOFMEMORY;
    case TLG_ERROR_IO: return WINCODEC_ERR_STREAMREAD;
    default: return E_FAIL;
  }
}

}  // namespace

HRESULT StreamHasSignature(IStream* stream, bool* isTlg) {
  *isTlg = false;
  LARGE_INTEGER zero;
  zero.QuadPart = 0;
  ULARGE_INTEGER here;
  HRESULT hr = stream->Seek(zero, STREAM_SEEK_CUR, &here);
  if (FAILED(hr)) return hr;
  uint8_t head[kSignatureBytes];
  ULONG got = 0;
  hr = SeekTo(stream, 0);
  if (SUCCEEDED(hr)) hr = ReadFully(stream, head, kSignatureBytes, &got);
  const HRESULT back = SeekTo(stream, here.QuadPart);
  if (FAILED(hr)) return hr;
  if (FAILED(back)) return back;
  *isTlg = tlg_probe(head, got) != TLG_KIND_NONE;
  return S_OK;
}

HRESULT ReadPicture(IStream* stream, Picture* picture) {
  HRESULT hr = SeekTo(stream, 0);
  if (FAILED(hr)) return hr;
  std::vector<uint8_t> data;
  hr = ReadAll(stream, &data);
  if (FAILED(hr)) return hr;

  tlg_info info;
  tlg_error error = tlg_read_info(data.data(), data.size(), &info);
  if (error != TLG_OK) return ToHresult(error, true);
  // An empty picture has nothing to show, and programs divide by its size.
  if (info.width == 0 || info.height == 0) return WINCODEC_ERR_IMAGESIZEOUTOFRANGE;
  if (info.height > TLG_DEFAULT_MAX_PIXELS / info.width) return WINCODEC_ERR_IMAGESIZEOUTOFRANGE;
  const size_t stride = info.width * 4;
  const size_t bytes = stride * info.height;

  std::unique_ptr<uint8_t[]> pixels(new (std::nothrow) uint8_t[bytes]);
  if (!pixels) return E_OUTOFMEMORY;
  error = tlg_decode(data.data(), data.size(), TLG_BGRA8, pixels.get(), stride, bytes, nullptr);
  if (error != TLG_OK) return ToHresult(error, false);

  picture->width = static_cast<UINT>(info.width);
  picture->height = static_cast<UINT>(info.height);
  picture->hasAlpha = info.colours == 4;
  picture->pixels = std::move(pixels);
  return S_OK;
}

}  // namespace tlg_wic
