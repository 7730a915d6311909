// A TLG picture as the decoder holds it: the file's bytes, read whole from
// the stream (which is not kept), and what its headers say. Pixels are
// decoded when asked for, as the imaging component's own decoders do, so
// that a program copying the whole picture gets it decoded straight into its
// buffer.
#pragma once

#include <windows.h>
#include <objidl.h>

#include <cstddef>
#include <cstdint>
#include <memory>

#include "wic/block_cache.h"

namespace tlg_wic {

struct Picture {
  Block data;  // the whole file
  size_t size = 0;
  UINT width = 0;
  UINT height = 0;
  bool hasAlpha = false;  // four colours; otherwise every alpha is 255
};

constexpr UINT kBytesPerPixel = 4;

// Reads the stream from its start to its end (or a bound far past any
// picture) and checks the headers: a picture whose pixels can be decoded,
// or the imaging component's error for why not.
HRESULT ReadPicture(IStream* stream, Picture* picture);

// Decodes the whole picture as B G R A rows of `stride` bytes.
HRESULT DecodePicture(const Picture& picture, uint8_t* pixels, size_t stride, size_t bufferSize);

// Whether the first bytes at the stream's start are a TLG signature; the
// stream's position is left where it was.
HRESULT StreamHasSignature(IStream* stream, bool* isTlg);

}  // namespace tlg_wic
