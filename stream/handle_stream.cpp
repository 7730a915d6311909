#include "stream/binary_stream.h"

namespace {

// Reading shares the file with other readers and needs it to exist; anything
// else takes the file alone and creates it afresh.
DWORD ShareModeFor(DWORD desiredAccess) { return desiredAccess == GENERIC_READ ? FILE_SHARE_READ : 0; }
DWORD DispositionFor(DWORD desiredAccess) {
  return desiredAccess == GENERIC_READ ? OPEN_EXISTING : CREATE_ALWAYS;
}

}  // namespace

tHandleStream::tHandleStream(HANDLE handle) : ownsHandle_(false), handle_(handle) {}

tHandleStream::tHandleStream(const char* fileName, DWORD desiredAccess)
    : ownsHandle_(true),
      handle_(CreateFileA(fileName, desiredAccess, ShareModeFor(desiredAccess), nullptr,
                          DispositionFor(desiredAccess), 0, nullptr)) {}

tHandleStream::tHandleStream(const WCHAR* fileName, DWORD desiredAccess)
    : ownsHandle_(true),
      handle_(CreateFileW(fileName, desiredAccess, ShareModeFor(desiredAccess), nullptr,
                          DispositionFor(desiredAccess), 0, nullptr)) {}

tHandleStream::~tHandleStream() {
  if (ownsHandle_ && handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
}

uint64_t tHandleStream::Seek(int64_t offset, int32_t origin) {
  if (handle_ == INVALID_HANDLE_VALUE) return 0;
  DWORD method = FILE_BEGIN;
  if (origin == kSeekCurrent) method = FILE_CURRENT;
  if (origin == kSeekEnd) method = FILE_END;
  LARGE_INTEGER distance;
  distance.QuadPart = offset;
  LARGE_INTEGER position;
  position.QuadPart = 0;
  if (!SetFilePointerEx(handle_, distance, &position, method)) return 0;
  return static_cast<uint64_t>(position.QuadPart);
}

uint32_t tHandleStream::Read(uint8_t* buffer, uint32_t count) {
  if (handle_ == INVALID_HANDLE_VALUE) return 0;
  DWORD got = 0;
  if (!ReadFile(handle_, buffer, count, &got, nullptr)) return 0;
  return got;
}

uint32_t tHandleStream::Write(const uint8_t* buffer, uint32_t count) {
  if (handle_ == INVALID_HANDLE_VALUE) return 0;
  DWORD put = 0;
  if (!WriteFile(handle_, buffer, count, &put, nullptr)) return 0;
  return put;
}
