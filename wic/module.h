// What the DLL keeps about itself: its handle, and how many objects and
// server locks are alive (DllCanUnloadNow says no while any are).
#pragma once

#include <windows.h>

namespace tlg_wic {

void SetModule(HMODULE module);
HMODULE Module();

void ObjectCreated();
void ObjectDestroyed();
void LockModule(bool lock);
bool ModuleInUse();

}  // namespace tlg_wic
