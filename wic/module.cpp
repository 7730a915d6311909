#include "wic/module.h"

namespace tlg_wic {
namespace {

HMODULE g_module = nullptr;
volatile LONG g_objects = 0;
volatile LONG g_locks = 0;

}  // namespace

void SetModule(HMODULE module) { g_module = module; }
HMODULE Module() { return g_module; }

void ObjectCreated() { InterlockedIncrement(&g_objects); }
void ObjectDestroyed() { InterlockedDecrement(&g_objects); }

void LockModule(bool lock) {
  if (lock)
    InterlockedIncrement(&g_locks);
  else
    InterlockedDecrement(&g_locks);
}

bool ModuleInUse() {
  return InterlockedCompareExchange(&g_objects, 0, 0) != 0 ||
         InterlockedCompareExchange(&g_locks, 0, 0) != 0;
}

}  // namespace tlg_wic
