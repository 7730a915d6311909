// The exports a host calls: stdcall, under plain and (32-bit) decorated
// names. Each has a twin ending in W that takes UTF-16 file names and
// strings and otherwise does exactly the same.
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

int WINAPI GetPluginInfoW(int index, LPWSTR buffer, int bufferLength);
int WINAPI IsSupportedW(LPCWSTR fileName, ULONG_PTR data);
int WINAPI GetPictureInfoW(LPCWSTR buffer, LONG_PTR length, unsigned int flags, PictureInfo* info);
int WINAPI GetPictureW(LPCWSTR buffer, LONG_PTR length, unsigned int flags, HLOCAL* infoOut,
                       HLOCAL* pixelsOut, ProgressCallback progress, LONG_PTR progressData);
int WINAPI GetPreviewW(LPCWSTR buffer, LONG_PTR length, unsigned int flags, HLOCAL* infoOut,
                       HLOCAL* pixelsOut, ProgressCallback progress, LONG_PTR progressData);

}  // extern "C"
