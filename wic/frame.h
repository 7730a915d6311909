// The one frame of a TLG picture. A copy of the whole picture is decoded
// straight into the caller's buffer; parts of it (a scaler asks row by row)
// come from one decode kept for the purpose, made once under a lock. Any
// number of threads may copy at once.
#pragma once

#include <windows.h>
#include <wincodec.h>

#include <atomic>
#include <cstdint>
#include <memory>

#include "wic/picture.h"

namespace tlg_wic {

class Frame final : public IWICBitmapFrameDecode {
 public:
  explicit Frame(Picture picture);

  // IUnknown
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;

  // IWICBitmapSource
  HRESULT STDMETHODCALLTYPE GetSize(UINT* width, UINT* height) override;
  HRESULT STDMETHODCALLTYPE GetPixelFormat(WICPixelFormatGUID* format) override;
  HRESULT STDMETHODCALLTYPE GetResolution(double* dpiX, double* dpiY) override;
  HRESULT STDMETHODCALLTYPE CopyPalette(IWICPalette* palette) override;
  HRESULT STDMETHODCALLTYPE CopyPixels(const WICRect* rect, UINT stride, UINT bufferSize,
                                       BYTE* buffer) override;

  // IWICBitmapFrameDecode
  HRESULT STDMETHODCALLTYPE GetMetadataQueryReader(IWICMetadataQueryReader** reader) override;
  HRESULT STDMETHODCALLTYPE GetColorContexts(UINT count, IWICColorContext** contexts,
                                             UINT* actualCount) override;
  HRESULT STDMETHODCALLTYPE GetThumbnail(IWICBitmapSource** thumbnail) override;

 private:
  ~Frame();
  // The whole picture decoded once, or why it cannot be.
  HRESULT Decoded(const uint8_t** pixels);

  volatile LONG references_ = 1;
  const Picture picture_;
  SRWLOCK lock_ = SRWLOCK_INIT;
  std::atomic<bool> decodeDone_{false};
  HRESULT decodeResult_ = S_OK;          // set before decodeDone_
  std::unique_ptr<uint8_t[]> decoded_;   // likewise
};

}  // namespace tlg_wic
