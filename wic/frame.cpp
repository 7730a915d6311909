#include "wic/frame.h"

#include <cstring>
#include <new>

#include "wic/module.h"

namespace tlg_wic {
namespace {

constexpr double kDotsPerInch = 96.0;

}  // namespace

Frame::Frame(Picture picture) : picture_(std::move(picture)) { ObjectCreated(); }

Frame::~Frame() { ObjectDestroyed(); }

HRESULT Frame::QueryInterface(REFIID iid, void** out) {
  if (out == nullptr) return E_POINTER;
  if (iid == IID_IUnknown || iid == IID_IWICBitmapSource || iid == IID_IWICBitmapFrameDecode) {
    *out = static_cast<IWICBitmapFrameDecode*>(this);
    AddRef();
    return S_OK;
  }
  *out = nullptr;
  return E_NOINTERFACE;
}

ULONG Frame::AddRef() { return static_cast<ULONG>(InterlockedIncrement(&references_)); }

ULONG Frame::Release() {
  const LONG left = InterlockedDecrement(&references_);
  if (left == 0) delete this;
  return static_cast<ULONG>(left);
}

HRESULT Frame::GetSize(UINT* width, UINT* height) {
  if (width == nullptr || height == nullptr) return E_INVALIDARG;
  *width = picture_.width;
  *height = picture_.height;
  return S_OK;
}

HRESULT Frame::GetPixelFormat(WICPixelFormatGUID* format) {
  if (format == nullptr) return E_INVALIDARG;
  *format = picture_.hasAlpha ? GUID_WICPixelFormat32bppBGRA : GUID_WICPixelFormat32bppBGR;
  return S_OK;
}

HRESULT Frame::GetResolution(double* dpiX, double* dpiY) {
  if (dpiX == nullptr || dpiY == nullptr) return E_INVALIDARG;
  *dpiX = kDotsPerInch;
  *dpiY = kDotsPerInch;
  return S_OK;
}

HRESULT Frame::CopyPalette(IWICPalette* /*palette*/) { return WINCODEC_ERR_PALETTEUNAVAILABLE; }

HRESULT Frame::CopyPixels(const WICRect* rect, UINT stride, UINT bufferSize, BYTE* buffer) {
  if (buffer == nullptr) return E_INVALIDARG;
  const WICRect whole = {0, 0, static_cast<INT>(picture_.width), static_cast<INT>(picture_.height)};
  const WICRect& r = rect != nullptr ? *rect : whole;
  if (r.X < 0 || r.Y < 0 || r.Width < 0 || r.Height < 0 ||
      uint64_t(r.X) + uint64_t(r.Width) > picture_.width ||
      uint64_t(r.Y) + uint64_t(r.Height) > picture_.height) {
    return E_INVALIDARG;
  }
  if (r.Width == 0 || r.Height == 0) return S_OK;
  const uint64_t rowBytes = uint64_t(r.Width) * kBytesPerPixel;
  if (stride < rowBytes) return E_INVALIDARG;
  // The last row needs only its own bytes, not a whole stride.
  if (uint64_t(stride) * uint64_t(r.Height - 1) + rowBytes > bufferSize) {
    return WINCODEC_ERR_INSUFFICIENTBUFFER;
  }
  const bool wholePicture = r.Width == INT(picture_.width) && r.Height == INT(picture_.height);
  if (wholePicture && !decodeDone_.load(std::memory_order_acquire)) {
    return DecodePicture(picture_, buffer, stride, bufferSize);
  }
  const uint8_t* pixels = nullptr;
  const HRESULT hr = Decoded(&pixels);
  if (FAILED(hr)) return hr;
  const size_t sourceStride = size_t(picture_.width) * kBytesPerPixel;
  const uint8_t* source = pixels + size_t(r.Y) * sourceStride + size_t(r.X) * kBytesPerPixel;
  for (INT row = 0; row < r.Height; ++row) {
    std::memcpy(buffer + size_t(row) * stride, source + size_t(row) * sourceStride, size_t(rowBytes));
  }
  return S_OK;
}

HRESULT Frame::Decoded(const uint8_t** pixels) {
  if (!decodeDone_.load(std::memory_order_acquire)) {
    AcquireSRWLockExclusive(&lock_);
    if (!decodeDone_.load(std::memory_order_relaxed)) {
      const size_t stride = size_t(picture_.width) * kBytesPerPixel;
      const size_t bytes = stride * picture_.height;
      decoded_.reset(new (std::nothrow) uint8_t[bytes]);
      decodeResult_ = decoded_ ? DecodePicture(picture_, decoded_.get(), stride, bytes) : E_OUTOFMEMORY;
      if (FAILED(decodeResult_)) decoded_.reset();
      decodeDone_.store(true, std::memory_order_release);
    }
    ReleaseSRWLockExclusive(&lock_);
  }
  *pixels = decoded_.get();
  return decodeResult_;
}

HRESULT Frame::GetMetadataQueryReader(IWICMetadataQueryReader** reader) {
  if (reader != nullptr) *reader = nullptr;
  return WINCODEC_ERR_UNSUPPORTEDOPERATION;
}

HRESULT Frame::GetColorContexts(UINT /*count*/, IWICColorContext** /*contexts*/, UINT* actualCount) {
  if (actualCount != nullptr) *actualCount = 0;
  return WINCODEC_ERR_UNSUPPORTEDOPERATION;
}

HRESULT Frame::GetThumbnail(IWICBitmapSource** thumbnail) {
  if (thumbnail != nullptr) *thumbnail = nullptr;
  return WINCODEC_ERR_CODECNOTHUMBNAIL;
}

}  // namespace tlg_wic
