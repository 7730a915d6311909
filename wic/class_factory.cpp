#include "wic/class_factory.h"

#include <new>

#include "wic/decoder.h"
#include "wic/module.h"

namespace tlg_wic {

ClassFactory::ClassFactory() { ObjectCreated(); }

ClassFactory::~ClassFactory() { ObjectDestroyed(); }

HRESULT ClassFactory::QueryInterface(REFIID iid, void** out) {
  if (out == nullptr) return E_POINTER;
  if (iid == IID_IUnknown || iid == IID_IClassFactory) {
    *out = static_cast<IClassFactory*>(this);
    AddRef();
    return S_OK;
  }
  *out = nullptr;
  return E_NOINTERFACE;
}

ULONG ClassFactory::AddRef() { return static_cast<ULONG>(InterlockedIncrement(&references_)); }

ULONG ClassFactory::Release() {
  const LONG left = InterlockedDecrement(&references_);
  if (left == 0) delete this;
  return static_cast<ULONG>(left);
}

HRESULT ClassFactory::CreateInstance(IUnknown* outer, REFIID iid, void** out) {
  if (out == nullptr) return E_POINTER;
  *out = nullptr;
  if (outer != nullptr) return CLASS_E_NOAGGREGATION;
  Decoder* decoder = new (std::nothrow) Decoder();
  if (decoder == nullptr) return E_OUTOFMEMORY;
  const HRESULT hr = decoder->QueryInterface(iid, out);
  decoder->Release();
  return hr;
}

HRESULT ClassFactory::LockServer(BOOL lock) {
  LockModule(lock != FALSE);
  return S_OK;
}

}  // namespace tlg_wic
