#include "libtlg/file_output.h"

#include <algorithm>
#include <atomic>
#include <string>

#ifdef _WIN32
#include "platform/platform.h"
#else
#include <cerrno>
#include <fcntl.h>
#include <unistd.h>
#endif

namespace libtlg {
namespace {

// Tells apart the temporary files of calls running at once in one process.
std::atomic<unsigned> temporaryCounter{0};
constexpr int kNameAttempts = 100;

#ifdef _WIN32

tlg_error WriteWide(const std::wstring& path, const std::vector<uint8_t>& bytes) {
  const std::wstring stem = path + L".tmp-" + std::to_wstring(GetCurrentProcessId()) + L"-";
  for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
    const std::wstring temporary = stem + std::to_wstring(temporaryCounter.fetch_add(1));
    HANDLE file = CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
      if (GetLastError() == ERROR_FILE_EXISTS) continue;
      return TLG_ERROR_IO;
    }
    bool ok = true;
    for (size_t done = 0; ok && done < bytes.size();) {
      const DWORD piece = static_cast<DWORD>(std::min<size_t>(bytes.size() - done, 1u << 30));
      DWORD written = 0;
      ok = WriteFile(file, bytes.data() + done, piece, &written, nullptr) && written == piece;
      done += piece;
    }
    ok = FlushFileBuffers(file) && ok;
    ok = CloseHandle(file) && ok;
    ok = ok && MoveFileExW(temporary.c_str(), path.c_str(),
                           MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
    if (!ok) DeleteFileW(temporary.c_str());
    return ok ? TLG_OK : TLG_ERROR_IO;
  }
  return TLG_ERROR_IO;
}

#else

bool WriteAll(int fd, const std::vector<uint8_t>& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t written = write(fd, bytes.data() + done, bytes.size() - done);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return false;
    done += static_cast<size_t>(written);
  }
  return true;
}

#endif

}  // namespace

#ifdef _WIN32

tlg_error WriteFileAtomically(const wchar_t* path, const std::vector<uint8_t>& bytes) {
  return WriteWide(path, bytes);
}

tlg_error WriteFileAtomically(const char* path, const std::vector<uint8_t>& bytes) {
  const int length = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, path, -1, nullptr, 0);
  if (length <= 0) return TLG_ERROR_INVALID_ARGUMENT;
  std::wstring wide(static_cast<size_t>(length), L'\0');
  if (MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, path, -1, &wide[0], length) != length) {
    return TLG_ERROR_INVALID_ARGUMENT;
  }
  wide.resize(static_cast<size_t>(length - 1));  // without the terminator
  return WriteWide(wide, bytes);
}

#else

tlg_error WriteFileAtomically(const char* path, const std::vector<uint8_t>& bytes) {
  const std::string stem = std::string(path) + ".tmp-" + std::to_string(getpid()) + "-";
  for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
    const std::string temporary = stem + std::to_string(temporaryCounter.fetch_add(1));
    // Created new, with the permissions any new file gets here.
    const int fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) {
      if (errno == EEXIST) continue;
      return TLG_ERROR_IO;
    }
    bool ok = WriteAll(fd, bytes) && fsync(fd) == 0;
    ok = close(fd) == 0 && ok;
    ok = ok && rename(temporary.c_str(), path) == 0;
    if (!ok) unlink(temporary.c_str());
    return ok ? TLG_OK : TLG_ERROR_IO;
  }
  return TLG_ERROR_IO;
}

#endif

}  // namespace libtlg
