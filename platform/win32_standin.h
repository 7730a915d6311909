// Stand-in for the Win32 calls and types the plug-in uses, for non-Windows
// builds. Each call behaves as its Windows namesake does in the cases we rely
// on: short reads at the end of a file, seeks past the end, a failed open
// giving INVALID_HANDLE_VALUE, lstrcpynA truncating and always terminating,
// a zero-byte movable block that cannot be locked.
#pragma once

#include <cstddef>
#include <cstdint>

typedef void* HANDLE;
typedef void* HLOCAL;
typedef void* HINSTANCE;
typedef HINSTANCE HMODULE;
typedef int BOOL;
typedef uint8_t BYTE;
typedef uint16_t WORD;
typedef uint32_t DWORD;
typedef int32_t LONG;
typedef int64_t LONGLONG;
typedef unsigned int UINT;
typedef size_t SIZE_T;
typedef void* LPVOID;
typedef const void* LPCVOID;
typedef DWORD* LPDWORD;
typedef char* LPSTR;
typedef const char* LPCSTR;
typedef char16_t WCHAR;  // UTF-16, as on Windows
typedef WCHAR* LPWSTR;
typedef const WCHAR* LPCWSTR;
typedef struct _SECURITY_ATTRIBUTES* LPSECURITY_ATTRIBUTES;
typedef struct _OVERLAPPED* LPOVERLAPPED;

typedef union _LARGE_INTEGER {
  struct {
    DWORD LowPart;
    LONG HighPart;
  } u;
  LONGLONG QuadPart;
} LARGE_INTEGER, *PLARGE_INTEGER;

typedef struct tagBITMAPINFOHEADER {
  DWORD biSize;
  LONG biWidth;
  LONG biHeight;
  WORD biPlanes;
  WORD biBitCount;
  DWORD biCompression;
  DWORD biSizeImage;
  LONG biXPelsPerMeter;
  LONG biYPelsPerMeter;
  DWORD biClrUsed;
  DWORD biClrImportant;
} BITMAPINFOHEADER;

#define WINAPI
#define TRUE 1
#define FALSE 0
#define INVALID_HANDLE_VALUE ((HANDLE)(intptr_t)-1)

#define GENERIC_READ 0x80000000u
#define GENERIC_WRITE 0x40000000u
#define FILE_SHARE_READ 0x00000001u
#define CREATE_ALWAYS 2u
#define OPEN_EXISTING 3u
#define FILE_BEGIN 0u
#define FILE_CURRENT 1u
#define FILE_END 2u

#define LMEM_FIXED 0x0000u
#define LMEM_MOVEABLE 0x0002u
#define LMEM_ZEROINIT 0x0040u

#define BI_RGB 0u

#define DLL_PROCESS_DETACH 0u
#define DLL_PROCESS_ATTACH 1u
#define DLL_THREAD_ATTACH 2u
#define DLL_THREAD_DETACH 3u

HANDLE CreateFileA(LPCSTR fileName, DWORD desiredAccess, DWORD shareMode,
                   LPSECURITY_ATTRIBUTES security, DWORD creationDisposition,
                   DWORD flagsAndAttributes, HANDLE templateFile);
// The name is UTF-16; it is opened as UTF-8.
HANDLE CreateFileW(LPCWSTR fileName, DWORD desiredAccess, DWORD shareMode,
                   LPSECURITY_ATTRIBUTES security, DWORD creationDisposition,
                   DWORD flagsAndAttributes, HANDLE templateFile);
BOOL SetFilePointerEx(HANDLE file, LARGE_INTEGER distance, PLARGE_INTEGER newPosition,
                      DWORD moveMethod);
BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD count, LPDWORD countRead,
              LPOVERLAPPED overlapped);
BOOL WriteFile(HANDLE file, LPCVOID buffer, DWORD count, LPDWORD countWritten,
               LPOVERLAPPED overlapped);
BOOL CloseHandle(HANDLE object);

HLOCAL LocalAlloc(UINT flags, SIZE_T bytes);
// For tests: a gate that LocalAlloc asks first, failing when it answers false,
// as a host short of memory does. Null (the default) lets every call through.
// Set it only while no other thread allocates.
typedef bool (*LocalAllocGate)(SIZE_T bytes);
void SetLocalAllocGate(LocalAllocGate gate);
LPVOID LocalLock(HLOCAL memory);
BOOL LocalUnlock(HLOCAL memory);
HLOCAL LocalFree(HLOCAL memory);
SIZE_T LocalSize(HLOCAL memory);

int lstrlenA(LPCSTR text);
LPSTR lstrcpynA(LPSTR destination, LPCSTR source, int maxLength);
int lstrlenW(LPCWSTR text);
LPWSTR lstrcpynW(LPWSTR destination, LPCWSTR source, int maxLength);

typedef intptr_t LONG_PTR;
typedef uintptr_t ULONG_PTR;
typedef ULONG_PTR DWORD_PTR;
