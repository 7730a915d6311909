#include "wic/picture.h"

#include <wincodec.h>

#include <cstring>
#include <new>

#include "tlg/tlg.h"

namespace tlg_wic {
namespace {

// The signature is the first 11 bytes of every kind.
constexpr ULONG kSignatureBytes = 11;
// Anything past this is not read: the picture itself is always ahead of a
// tail this long (the largest picture allowed codes into far fewer bytes).
constexpr uint64_t kMaxStreamBytes = sizeof(void*) == 8 ? uint64_t(3) << 30 : uint64_t(1) << 30;
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

// Reads into one block of the stream's size, grown when the stream holds
// more than it said.
HRESULT ReadAll(IStream* stream, Block* data, size_t* size) {
  STATSTG stat = {};
  uint64_t capacity = kReadChunk;
  if (SUCCEEDED(stream->Stat(&stat, STATFLAG_NONAME)) && stat.cbSize.QuadPart > 0) {
    capacity = stat.cbSize.QuadPart + 1;  // one more byte finds the end at once
  }
  if (capacity > kMaxStreamBytes) capacity = kMaxStreamBytes;
  Block block = TakeBlock(static_cast<size_t>(capacity));
  if (!block) return E_OUTOFMEMORY;
  size_t filled = 0;
  for (;;) {
    const uint64_t room = capacity - filled;
    const ULONG want = room < kReadChunk ? static_cast<ULONG>(room) : kReadChunk;
    ULONG got = 0;
    const HRESULT hr = ReadFully(stream, block.get() + filled, want, &got);
    if (FAILED(hr)) return hr;
    filled += got;
    if (got < want || filled == kMaxStreamBytes) break;
    if (filled == capacity) {
      const uint64_t larger = capacity * 2 < kMaxStreamBytes ? capacity * 2 : kMaxStreamBytes;
      Block grown = TakeBlock(static_cast<size_t>(larger));
      if (!grown) return E_OUTOFMEMORY;
      std::memcpy(grown.get(), block.get(), filled);
      block = std::move(grown);
      capacity = larger;
    }
  }
  *data = std::move(block);
  *size = filled;
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
  Picture read;
  hr = ReadAll(stream, &read.data, &read.size);
  if (FAILED(hr)) return hr;

  tlg_info info;
  const tlg_error error = tlg_read_info(read.data.get(), read.size, &info);
  if (error != TLG_OK) return ToHresult(error, true);
  // An empty picture has nothing to show, and programs divide by its size.
  if (info.width == 0 || info.height == 0) return WINCODEC_ERR_IMAGESIZEOUTOFRANGE;
  if (info.height > TLG_DEFAULT_MAX_PIXELS / info.width) return WINCODEC_ERR_IMAGESIZEOUTOFRANGE;
  read.width = static_cast<UINT>(info.width);
  read.height = static_cast<UINT>(info.height);
  read.hasAlpha = info.colours == 4;
  *picture = std::move(read);
  return S_OK;
}

HRESULT DecodePicture(const Picture& picture, uint8_t* pixels, size_t stride, size_t bufferSize) {
  return ToHresult(tlg_decode(picture.data.get(), picture.size, TLG_BGRA8, pixels, stride, bufferSize, nullptr),
                   false);
}

}  // namespace tlg_wic
