// POSIX and heap implementation of the Win32 stand-in.
#include "platform/win32_standin.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

int HandleToFd(HANDLE handle) { return static_cast<int>(reinterpret_cast<intptr_t>(handle)); }

HANDLE FdToHandle(int fd) { return reinterpret_cast<HANDLE>(static_cast<intptr_t>(fd)); }

bool IsUsableHandle(HANDLE handle) {
  return handle != INVALID_HANDLE_VALUE && HandleToFd(handle) >= 0;
}

// A movable block: the handle points at this record, the bytes live apart.
struct LocalBlock {
  SIZE_T size;
  unsigned lockCount;
  unsigned char* data;  // null for a zero-byte block, which Windows cannot lock either
};

}  // namespace

HANDLE CreateFileA(LPCSTR fileName, DWORD desiredAccess, DWORD /*shareMode*/,
                   LPSECURITY_ATTRIBUTES /*security*/, DWORD creationDisposition,
                   DWORD /*flagsAndAttributes*/, HANDLE /*templateFile*/) {
  if (fileName == nullptr) return INVALID_HANDLE_VALUE;
  int flags = O_CLOEXEC;
  const bool reads = (desiredAccess & GENERIC_READ) != 0;
  const bool writes = (desiredAccess & GENERIC_WRITE) != 0;
  if (reads && writes) {
    flags |= O_RDWR;
  } else if (writes) {
    flags |= O_WRONLY;
  } else {
    flags |= O_RDONLY;
  }
  if (creationDisposition == CREATE_ALWAYS) flags |= O_CREAT | O_TRUNC;
  const int fd = open(fileName, flags, 0644);
  if (fd < 0) return INVALID_HANDLE_VALUE;
  struct stat info;
  if (fstat(fd, &info) != 0 || S_ISDIR(info.st_mode)) {  // Windows will not open a folder as a file
    close(fd);
    return INVALID_HANDLE_VALUE;
  }
  return FdToHandle(fd);
}

namespace {

// UTF-16 to UTF-8; unpaired surrogates become U+FFFD.
std::string Utf8FromUtf16(LPCWSTR text) {
  std::string out;
  for (size_t i = 0; text[i] != 0; ++i) {
    uint32_t c = text[i];
    if (c >= 0xD800 && c <= 0xDBFF && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
      ++i;
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      c = 0xFFFD;
    }
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (c < 0x800) {
      out += static_cast<char>(0xC0 | c >> 6);
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      out += static_cast<char>(0xE0 | c >> 12);
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | c >> 18);
      out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

}  // namespace

HANDLE CreateFileW(LPCWSTR fileName, DWORD desiredAccess, DWORD shareMode,
                   LPSECURITY_ATTRIBUTES security, DWORD creationDisposition,
                   DWORD flagsAndAttributes, HANDLE templateFile) {
  if (fileName == nullptr) return INVALID_HANDLE_VALUE;
  return CreateFileA(Utf8FromUtf16(fileName).c_str(), desiredAccess, shareMode, security,
                     creationDisposition, flagsAndAttributes, templateFile);
}

BOOL SetFilePointerEx(HANDLE file, LARGE_INTEGER distance, PLARGE_INTEGER newPosition,
                      DWORD moveMethod) {
  if (!IsUsableHandle(file)) return FALSE;
  int whence;
  switch (moveMethod) {
    case FILE_BEGIN: whence = SEEK_SET; break;
    case FILE_CURRENT: whence = SEEK_CUR; break;
    case FILE_END: whence = SEEK_END; break;
    default: return FALSE;
  }
  const off_t position = lseek(HandleToFd(file), static_cast<off_t>(distance.QuadPart), whence);
  if (position < 0) return FALSE;  // a negative target fails, as on Windows
  if (newPosition != nullptr) newPosition->QuadPart = static_cast<LONGLONG>(position);
  return TRUE;
}

BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD count, LPDWORD countRead,
              LPOVERLAPPED /*overlapped*/) {
  if (countRead != nullptr) *countRead = 0;
  if (!IsUsableHandle(file)) return FALSE;
  // A disk file on Windows delivers everything asked for unless the end comes first.
  DWORD total = 0;
  auto* bytes = static_cast<unsigned char*>(buffer);
  while (total < count) {
    const ssize_t got = read(HandleToFd(file), bytes + total, count - total);
    if (got < 0) {
      if (errno == EINTR) continue;
      return FALSE;
    }
    if (got == 0) break;
    total += static_cast<DWORD>(got);
  }
  if (countRead != nullptr) *countRead = total;
  return TRUE;
}

BOOL WriteFile(HANDLE file, LPCVOID buffer, DWORD count, LPDWORD countWritten,
               LPOVERLAPPED /*overlapped*/) {
  if (countWritten != nullptr) *countWritten = 0;
  if (!IsUsableHandle(file)) return FALSE;
  DWORD total = 0;
  const auto* bytes = static_cast<const unsigned char*>(buffer);
  while (total < count) {
    const ssize_t put = write(HandleToFd(file), bytes + total, count - total);
    if (put < 0) {
      if (errno == EINTR) continue;
      return FALSE;
    }
    total += static_cast<DWORD>(put);
  }
  if (countWritten != nullptr) *countWritten = total;
  return TRUE;
}

BOOL CloseHandle(HANDLE object) {
  if (!IsUsableHandle(object)) return FALSE;
  return close(HandleToFd(object)) == 0 ? TRUE : FALSE;
}

namespace {
LocalAllocGate localAllocGate = nullptr;
}  // namespace

void SetLocalAllocGate(LocalAllocGate gate) { localAllocGate = gate; }

HLOCAL LocalAlloc(UINT flags, SIZE_T bytes) {
  if (localAllocGate != nullptr && !localAllocGate(bytes)) return nullptr;
  auto* block = static_cast<LocalBlock*>(std::malloc(sizeof(LocalBlock)));
  if (block == nullptr) return nullptr;
  block->size = bytes;
  block->lockCount = 0;
  block->data = nullptr;
  if (bytes != 0) {
    block->data = static_cast<unsigned char*>((flags & LMEM_ZEROINIT) != 0 ? std::calloc(bytes, 1)
                                                                          : std::malloc(bytes));
    if (block->data == nullptr) {
      std::free(block);
      return nullptr;
    }
  }
  return block;
}

LPVOID LocalLock(HLOCAL memory) {
  auto* block = static_cast<LocalBlock*>(memory);
  if (block == nullptr || block->data == nullptr) return nullptr;
  ++block->lockCount;
  return block->data;
}

BOOL LocalUnlock(HLOCAL memory) {
  auto* block = static_cast<LocalBlock*>(memory);
  if (block == nullptr || block->lockCount == 0) return FALSE;
  --block->lockCount;
  return block->lockCount != 0 ? TRUE : FALSE;
}

HLOCAL LocalFree(HLOCAL memory) {
  auto* block = static_cast<LocalBlock*>(memory);
  if (block == nullptr) return nullptr;
  std::free(block->data);
  std::free(block);
  return nullptr;
}

SIZE_T LocalSize(HLOCAL memory) {
  const auto* block = static_cast<const LocalBlock*>(memory);
  return block == nullptr ? 0 : block->size;
}

namespace {

template <typename Char>
int StringLength(const Char* text) {
  if (text == nullptr) return 0;
  int length = 0;
  while (text[length] != 0) ++length;
  return length;
}

// Copies at most maxLength - 1 characters and terminates whenever there is room.
template <typename Char>
Char* CopyString(Char* destination, const Char* source, int maxLength) {
  auto remaining = static_cast<unsigned>(maxLength);
  Char* out = destination;
  const Char* in = source;
  while (remaining > 1 && *in != 0) {
    *out++ = *in++;
    --remaining;
  }
  if (remaining != 0) *out = 0;
  return destination;
}

}  // namespace

int lstrlenA(LPCSTR text) { return StringLength(text); }

LPSTR lstrcpynA(LPSTR destination, LPCSTR source, int maxLength) {
  return CopyString(destination, source, maxLength);
}

int lstrlenW(LPCWSTR text) { return StringLength(text); }

LPWSTR lstrcpynW(LPWSTR destination, LPCWSTR source, int maxLength) {
  return CopyString(destination, source, maxLength);
}
