// The class factory that COM asks for a decoder.
#pragma once

#include <windows.h>
#include <unknwn.h>

namespace tlg_wic {

class ClassFactory final : public IClassFactory {
 public:
  ClassFactory();

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;
  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** out) override;
  HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override;

 private:
  ~ClassFactory();

  volatile LONG references_ = 1;
};

}  // namespace tlg_wic
