#include "wic/decoder.h"

#include <new>

#include "wic/frame.h"
#include "wic/guids.h"
#include "wic/module.h"
#include "wic/picture.h"

namespace tlg_wic {
namespace {

class SharedLock {
 public:
  explicit SharedLock(SRWLOCK* lock) : lock_(lock) { AcquireSRWLockShared(lock_); }
  ~SharedLock() { ReleaseSRWLockShared(lock_); }
 private:
  SRWLOCK* lock_;
};

class ExclusiveLock {
 public:
  explicit ExclusiveLock(SRWLOCK* lock) : lock_(lock) { AcquireSRWLockExclusive(lock_); }
  ~ExclusiveLock() { ReleaseSRWLockExclusive(lock_); }
 private:
  SRWLOCK* lock_;
};

}  // namespace

Decoder::Decoder() { ObjectCreated(); }

Decoder::~Decoder() {
  if (frame_ != nullptr) frame_->Release();
  ObjectDestroyed();
}

HRESULT Decoder::QueryInterface(REFIID iid, void** out) {
  if (out == nullptr) return E_POINTER;
  if (iid == IID_IUnknown || iid == IID_IWICBitmapDecoder) {
    *out = static_cast<IWICBitmapDecoder*>(this);
    AddRef();
    return S_OK;
  }
  *out = nullptr;
  return E_NOINTERFACE;
}

ULONG Decoder::AddRef() { return static_cast<ULONG>(InterlockedIncrement(&references_)); }

ULONG Decoder::Release() {
  const LONG left = InterlockedDecrement(&references_);
  if (left == 0) delete this;
  return static_cast<ULONG>(left);
}

HRESULT Decoder::QueryCapability(IStream* stream, DWORD* capability) {
  if (stream == nullptr || capability == nullptr) return E_INVALIDARG;
  *capability = 0;
  bool isTlg = false;
  const HRESULT hr = StreamHasSignature(stream, &isTlg);
  if (FAILED(hr)) return hr;
  if (isTlg) {
    *capability = WICBitmapDecoderCapabilityCanDecodeAllImages | WICBitmapDecoderCapabilityCanDecodeSomeImages;
  }
  return S_OK;
}

HRESULT Decoder::Initialize(IStream* stream, WICDecodeOptions /*options*/) {
  if (stream == nullptr) return E_INVALIDARG;
  ExclusiveLock hold(&lock_);
  if (frame_ != nullptr) return WINCODEC_ERR_WRONGSTATE;
  Picture picture;
  const HRESULT hr = ReadPicture(stream, &picture);
  if (FAILED(hr)) return hr;
  frame_ = new (std::nothrow) Frame(std::move(picture));
  return frame_ != nullptr ? S_OK : E_OUTOFMEMORY;
}

HRESULT Decoder::GetContainerFormat(GUID* format) {
  if (format == nullptr) return E_INVALIDARG;
  *format = kContainerFormat;
  return S_OK;
}

HRESULT Decoder::GetDecoderInfo(IWICBitmapDecoderInfo** info) {
  if (info == nullptr) return E_INVALIDARG;
  *info = nullptr;
  IWICImagingFactory* factory = nullptr;
  HRESULT hr = CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                                IID_IWICImagingFactory, reinterpret_cast<void**>(&factory));
  if (FAILED(hr)) return hr;
  IWICComponentInfo* component = nullptr;
  hr = factory->CreateComponentInfo(kDecoderClsid, &component);
  factory->Release();
  if (FAILED(hr)) return hr;
  hr = component->QueryInterface(IID_IWICBitmapDecoderInfo, reinterpret_cast<void**>(info));
  component->Release();
  return hr;
}

HRESULT Decoder::CopyPalette(IWICPalette* /*palette*/) { return WINCODEC_ERR_PALETTEUNAVAILABLE; }

HRESULT Decoder::GetMetadataQueryReader(IWICMetadataQueryReader** reader) {
  if (reader != nullptr) *reader = nullptr;
  return WINCODEC_ERR_UNSUPPORTEDOPERATION;
}

HRESULT Decoder::GetPreview(IWICBitmapSource** preview) {
  if (preview != nullptr) *preview = nullptr;
  return WINCODEC_ERR_UNSUPPORTEDOPERATION;
}

HRESULT Decoder::GetColorContexts(UINT /*count*/, IWICColorContext** /*contexts*/, UINT* actualCount) {
  if (actualCount != nullptr) *actualCount = 0;
  return WINCODEC_ERR_UNSUPPORTEDOPERATION;
}

HRESULT Decoder::GetThumbnail(IWICBitmapSource** thumbnail) {
  if (thumbnail != nullptr) *thumbnail = nullptr;
  return WINCODEC_ERR_CODECNOTHUMBNAIL;
}

HRESULT Decoder::GetFrameCount(UINT* count) {
  if (count == nullptr) return E_INVALIDARG;
  SharedLock hold(&lock_);
  if (frame_ == nullptr) return WINCODEC_ERR_NOTINITIALIZED;
  *count = 1;
  return S_OK;
}

HRESULT Decoder::GetFrame(UINT index, IWICBitmapFrameDecode** frame) {
  if (frame == nullptr) return E_INVALIDARG;
  *frame = nullptr;
  SharedLock hold(&lock_);
  if (frame_ == nullptr) return WINCODEC_ERR_NOTINITIALIZED;
  if (index != 0) return WINCODEC_ERR_FRAMEMISSING;
  frame_->AddRef();
  *frame = frame_;
  return S_OK;
}

}  // namespace tlg_wic
