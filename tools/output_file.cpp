#include "tools/output_file.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "tools/file_names.h"

#ifdef _WIN32
#include <io.h>
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace {

constexpr int kTemporaryAttempts = 100;

// Creates an empty file under a name nobody uses yet, so that no file of the
// user's is ever written over, even one named like our temporaries.
bool ReserveTemporary(const std::string& path, std::string& temporary, std::string& error) {
  for (int attempt = 0; attempt < kTemporaryAttempts; ++attempt) {
    temporary = path + ".partial" + (attempt == 0 ? "" : std::to_string(attempt));
#ifdef _WIN32
    const int fd = _wopen(WideOf(temporary).c_str(), _O_CREAT | _O_EXCL | _O_WRONLY | _O_BINARY, _S_IREAD | _S_IWRITE);
#else
    const int fd = open(temporary.c_str(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, 0666);
#endif
    if (fd >= 0) {
#ifdef _WIN32
      _close(fd);
#else
      close(fd);
#endif
      return true;
    }
    if (errno != EEXIST) break;
  }
  error = "cannot write " + SystemReason();
  return false;
}

// Renames `temporary` to `path`; without `replace`, fails if `path` exists.
bool MoveIntoPlace(const std::string& temporary, const std::string& path, bool replace, std::string& error) {
#ifdef _WIN32
  const DWORD flags = replace ? MOVEFILE_REPLACE_EXISTING : 0;
  if (MoveFileExW(WideOf(temporary).c_str(), WideOf(path).c_str(), flags)) return true;
  const DWORD code = GetLastError();
  if (code == ERROR_ALREADY_EXISTS || code == ERROR_FILE_EXISTS) {
    error = "already exists (use -f to overwrite)";
  } else {
    error = "cannot write (" + std::system_category().message(static_cast<int>(code)) + ")";
  }
  return false;
#else
  if (replace) {
    if (std::rename(temporary.c_str(), path.c_str()) == 0) return true;
  } else {
    // A hard link never replaces; where links are not supported, a check
    // just before the rename is the best that remains.
    if (link(temporary.c_str(), path.c_str()) == 0) {
      unlink(temporary.c_str());
      return true;
    }
    if (errno != EEXIST && !OutputExists(path) && std::rename(temporary.c_str(), path.c_str()) == 0) return true;
    if (errno == EEXIST || OutputExists(path)) {
      error = "already exists (use -f to overwrite)";
      return false;
    }
  }
  error = "cannot write " + SystemReason();
  return false;
#endif
}

}  // namespace

std::string SystemReason() { return "(" + std::string(std::strerror(errno)) + ")"; }

bool OutputExists(const std::string& path) {
  std::error_code ignored;
  return std::filesystem::symlink_status(PathOf(path), ignored).type() != std::filesystem::file_type::not_found &&
         !ignored;
}

bool WriteOutputFile(const std::string& path, bool replace, std::string& error,
                     const std::function<bool(const std::string&, std::string&)>& write) {
  std::string temporary;
  if (!ReserveTemporary(path, temporary, error)) return false;
  std::error_code ignored;
  if (!write(temporary, error) || !MoveIntoPlace(temporary, path, replace, error)) {
    std::filesystem::remove(PathOf(temporary), ignored);
    return false;
  }
  return true;
}

bool WriteFileBytes(const std::string& path, const std::vector<uint8_t>& bytes, std::string& error) {
  std::FILE* file = OpenFile(path, "wb");
  if (file == nullptr) {
    error = "cannot write " + SystemReason();
    return false;
  }
  const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  if (std::fclose(file) != 0 || !written) {
    error = "cannot write " + SystemReason();
    return false;
  }
  return true;
}
