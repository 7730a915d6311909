// The exports a host calls: stdcall, under plain and decorated names.
#pragma once

#include "platform/platform.h"
#include "plugin/plugin_api.h"

extern "C" {

int WINAPI GetPluginInfo(int index, LPSTR buffer, int bufferLength);
int WINAPI IsSupported(LPCSTR fileName, ULONG_PTR data);
int WINAPI GetPictureInfo(LPCSTR buffer, LONG_PTR length, unsigned int flags, PictureInfo* info);
int WINAPI GetPicture(LPCSTR buffer, LONG_PTR length, unsigned int flags, HLOCAL* infoOut,
                      HLOCAL* pixelsOut, ProgressCallback progress, LONG_PTR progressData);
int WINAPI GetPreview(LPCSTR buffer, LONG_PTR length, unsigned int flags, HLOCAL* infoOut,
                      HLOCAL* pixelsOut, ProgressCallback progress, LONG_PTR progressData);

}  // extern "C"
