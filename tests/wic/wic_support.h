// Helpers for the tests of the imaging component decoder, which run against
// the registered DLL through the system's imaging factory.
#pragma once

#include <windows.h>
#include <wincodec.h>

#include <cstdint>
#include <string>
#include <vector>

#include "tests/support/test_images.h"
#include "tlg/tlg.h"

// Holds a COM interface and releases it.
template <typename T>
class Com {
 public:
  Com() = default;
  ~Com() { reset(); }
  Com(const Com&) = delete;
  Com& operator=(const Com&) = delete;
  T** out() {
    reset();
    return &p_;
  }
  void** outVoid() { return reinterpret_cast<void**>(out()); }
  T* operator->() const { return p_; }
  T* get() const { return p_; }
  void reset() {
    if (p_ != nullptr) p_->Release();
    p_ = nullptr;
  }

 private:
  T* p_ = nullptr;
};

// COM on this thread for the scope (multithreaded, as thumbnailers run).
struct ComScope {
  ComScope() { CoInitializeEx(nullptr, COINIT_MULTITHREADED); }
  ~ComScope() { CoUninitialize(); }
};

HRESULT MakeFactory(Com<IWICImagingFactory>* factory);
// A stream over a copy of the bytes.
HRESULT MakeStream(const std::vector<uint8_t>& bytes, Com<IStream>* stream);

// A TLG file of a test picture: kind TLG_KIND_TLG5 or TLG_KIND_TLG6, wrapped or not.
std::vector<uint8_t> EncodeTlg(const TestImage& image, tlg_kind kind, bool wrap);
// What libtlg decodes: B G R A rows of width * 4 bytes (empty on failure).
std::vector<uint8_t> ReferenceBgra(const std::vector<uint8_t>& file);

// Every pixel of a frame, rows of width * 4 bytes.
HRESULT CopyWhole(IWICBitmapSource* source, UINT* width, UINT* height, std::vector<uint8_t>* pixels);
// Decodes through the factory from memory, as a thumbnailer does.
HRESULT DecodeThroughFactory(IWICImagingFactory* factory, const std::vector<uint8_t>& file,
                             std::vector<uint8_t>* pixels);

// The DLL's own entry points, for the checks of what it has in use.
bool DecoderDllHasNoObjects();
