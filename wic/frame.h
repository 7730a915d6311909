// The one frame of a TLG picture. Its pixels are decoded before it exists
// and never change, so any number of threads may copy from it at once.
#pragma once

#include <windows.h>
#include <wincodec.h>

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

  volatile LONG references_ = 1;
  const Picture picture_;
};

}  // namespace tlg_wic
