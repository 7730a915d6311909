// The decoder object: reads the whole picture in Initialize and hands out its
// one frame. Initialize runs once; the rest may be called from any thread.
#pragma once

#include <windows.h>
#include <wincodec.h>

namespace tlg_wic {

class Frame;

class Decoder final : public IWICBitmapDecoder {
 public:
  Decoder();

  // IUnknown
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;

  // IWICBitmapDecoder
  HRESULT STDMETHODCALLTYPE QueryCapability(IStream* stream, DWORD* capability) override;
  HRESULT STDMETHODCALLTYPE Initialize(IStream* stream, WICDecodeOptions options) override;
  HRESULT STDMETHODCALLTYPE GetContainerFormat(GUID* format) override;
  HRESULT STDMETHODCALLTYPE GetDecoderInfo(IWICBitmapDecoderInfo** info) override;
  HRESULT STDMETHODCALLTYPE CopyPalette(IWICPalette* palette) override;
  HRESULT STDMETHODCALLTYPE GetMetadataQueryReader(IWICMetadataQueryReader** reader) override;
  HRESULT STDMETHODCALLTYPE GetPreview(IWICBitmapSource** preview) override;
  HRESULT STDMETHODCALLTYPE GetColorContexts(UINT count, IWICColorContext** contexts,
                                             UINT* actualCount) override;
  HRESULT STDMETHODCALLTYPE GetThumbnail(IWICBitmapSource** thumbnail) override;
  HRESULT STDMETHODCALLTYPE GetFrameCount(UINT* count) override;
  HRESULT STDMETHODCALLTYPE GetFrame(UINT index, IWICBitmapFrameDecode** frame) override;

 private:
  ~Decoder();

  volatile LONG references_ = 1;
  SRWLOCK lock_ = SRWLOCK_INIT;
  Frame* frame_ = nullptr;  // set once by Initialize
};

}  // namespace tlg_wic
