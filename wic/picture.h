// A TLG picture read whole from a stream and decoded to 32-bit BGRA rows,
// with libtlg's answers turned into the imaging component's.
#pragma once

#include <windows.h>
#include <objidl.h>

#include <cstdint>
#include <memory>

namespace tlg_wic {

struct Picture {
  UINT width = 0;
  UINT height = 0;
  bool hasAlpha = false;                 // four colours; otherwise every alpha is 255
  std::unique_ptr<uint8_t[]> pixels;     // height rows of width * 4 bytes, B G R A
};

// Reads the stream from its start to its end (or kMaxStreamBytes) and
// decodes it. Keeps no reference to the stream.
HRESULT ReadPicture(IStream* stream, Picture* picture);

// Whether the first bytes at the stream's start are a TLG signature; the
// stream's position is left where it was.
HRESULT StreamHasSignature(IStream* stream, bool* isTlg);

}  // namespace tlg_wic
