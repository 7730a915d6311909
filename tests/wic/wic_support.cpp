#include "tests/wic/wic_support.h"

#include <shlwapi.h>

#include "tests/support/libtlg_encode.h"

HRESULT MakeFactory(Com<IWICImagingFactory>* factory) {
  return CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_IWICImagingFactory,
                          factory->outVoid());
}

HRESULT MakeStream(const std::vector<uint8_t>& bytes, Com<IStream>* stream) {
  IStream* made = SHCreateMemStream(bytes.data(), static_cast<UINT>(bytes.size()));
  if (made == nullptr) return E_OUTOFMEMORY;
  *stream->out() = made;
  return S_OK;
}

std::vector<uint8_t> EncodeTlg(const TestImage& image, tlg_kind kind, bool wrap) {
  std::vector<uint8_t> rgba(image.pixels.size() * 4);
  for (size_t i = 0; i < image.pixels.size(); ++i) {
    const uint32_t p = image.pixels[i];
    rgba[i * 4 + 0] = uint8_t(p >> 16);
    rgba[i * 4 + 1] = uint8_t(p >> 8);
    rgba[i * 4 + 2] = uint8_t(p);
    rgba[i * 4 + 3] = uint8_t(p >> 24);
  }
  return EncodeRgba8(rgba, image.width, image.height, kind, wrap);
}

std::vector<uint8_t> ReferenceBgra(const std::vector<uint8_t>& file) {
  void* pixels = nullptr;
  tlg_info info;
  if (tlg_decode_alloc(file.data(), file.size(), TLG_BGRA8, nullptr, &pixels, &info) != TLG_OK) return {};
  const auto* bytes = static_cast<const uint8_t*>(pixels);
  std::vector<uint8_t> out(bytes, bytes + info.width * info.height * 4);
  tlg_free(pixels);
  return out;
}

HRESULT CopyWhole(IWICBitmapSource* source, UINT* width, UINT* height, std::vector<uint8_t>* pixels) {
  HRESULT hr = source->GetSize(width, height);
  if (FAILED(hr)) return hr;
  pixels->assign(size_t(*width) * *height * 4, 0);
  return source->CopyPixels(nullptr, *width * 4, static_cast<UINT>(pixels->size()), pixels->data());
}

HRESULT DecodeThroughFactory(IWICImagingFactory* factory, const std::vector<uint8_t>& file,
                             std::vector<uint8_t>* pixels) {
  Com<IStream> stream;
  HRESULT hr = MakeStream(file, &stream);
  Com<IWICBitmapDecoder> decoder;
  if (SUCCEEDED(hr)) {
    hr = factory->CreateDecoderFromStream(stream.get(), nullptr, WICDecodeMetadataCacheOnDemand,
                                          decoder.out());
  }
  Com<IWICBitmapFrameDecode> frame;
  if (SUCCEEDED(hr)) hr = decoder->GetFrame(0, frame.out());
  UINT width = 0, height = 0;
  if (SUCCEEDED(hr)) hr = CopyWhole(frame.get(), &width, &height, pixels);
  return hr;
}

bool DecoderDllHasNoObjects() {
  HMODULE module = GetModuleHandleA(TLG_WIC_DLL_NAME);
  if (module == nullptr) return true;  // not loaded, or unloaded: nothing alive
  const auto canUnload = reinterpret_cast<HRESULT(WINAPI*)()>(
      reinterpret_cast<void*>(GetProcAddress(module, "DllCanUnloadNow")));
  return canUnload != nullptr && canUnload() == S_OK;
}
