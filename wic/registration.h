// What DllRegisterServer writes and DllUnregisterServer takes away: the
// decoder's class and its place among the imaging component's decoders, and
// the shell's knowledge of .tlg files. Machine-wide, in the registry view of
// this DLL's own width.
#pragma once

#include <windows.h>

namespace tlg_wic {

HRESULT RegisterServer();
HRESULT UnregisterServer();

}  // namespace tlg_wic
