// The few Windows services the plug-in uses: the real ones on Windows,
// our stand-in (over POSIX files and the heap) everywhere else.
#pragma once

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#else
#include "platform/win32_standin.h"
#endif
