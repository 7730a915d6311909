// The DLL's entry points: the four exports of an in-process COM server.
#include <windows.h>
#include <new>

#include "wic/block_cache.h"
#include "wic/class_factory.h"
#include "wic/guids.h"
#include "wic/module.h"
#include "wic/registration.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID /*reserved*/) {
  if (reason == DLL_PROCESS_ATTACH) {
    tlg_wic::SetModule(module);
    DisableThreadLibraryCalls(module);
  } else if (reason == DLL_PROCESS_DETACH) {
    tlg_wic::FreeKeptBlock();
  }
  return TRUE;
}

extern "C" HRESULT WINAPI DllGetClassObject(REFCLSID clsid, REFIID iid, void** out) {
  if (out == nullptr) return E_POINTER;
  *out = nullptr;
  if (clsid != tlg_wic::kDecoderClsid) return CLASS_E_CLASSNOTAVAILABLE;
  auto* factory = new (std::nothrow) tlg_wic::ClassFactory();
  if (factory == nullptr) return E_OUTOFMEMORY;
  const HRESULT hr = factory->QueryInterface(iid, out);
  factory->Release();
  return hr;
}

extern "C" HRESULT WINAPI DllCanUnloadNow() {
  if (tlg_wic::ModuleInUse()) return S_FALSE;
  tlg_wic::FreeKeptBlock();
  return S_OK;
}

// Registration builds key names as strings; no exception leaves the DLL.
extern "C" HRESULT WINAPI DllRegisterServer() {
  try {
    return tlg_wic::RegisterServer();
  } catch (...) {
    return E_OUTOFMEMORY;
  }
}

extern "C" HRESULT WINAPI DllUnregisterServer() {
  try {
    return tlg_wic::UnregisterServer();
  } catch (...) {
    return E_OUTOFMEMORY;
  }
}
