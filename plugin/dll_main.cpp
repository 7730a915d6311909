// The library's entry routine: nothing to set up or tear down.
#include "platform/platform.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE /*module*/, DWORD /*reason*/, LPVOID /*reserved*/) {
  return TRUE;
}
