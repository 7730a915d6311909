#include "tools/file_names.h"

#ifdef _WIN32
#include <windows.h>
#endif

#ifdef _WIN32
namespace {

std::wstring Wide(const std::string& text) {
  if (text.empty()) return std::wstring();
  const int size = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring wide(static_cast<size_t>(size), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(), size);
  return wide;
}

}  // namespace
#endif

std::FILE* OpenFile(const std::string& path, const char* mode) {
#ifdef _WIN32
  return _wfopen(Wide(path).c_str(), Wide(mode).c_str());
#else
  return std::fopen(path.c_str(), mode);
#endif
}

std::filesystem::path PathOf(const std::string& path) {
#ifdef _WIN32
  return std::filesystem::path(Wide(path));
#else
  return std::filesystem::path(path);
#endif
}

std::string NameOf(const std::filesystem::path& path) {
#ifdef _WIN32
  return path.u8string();
#else
  return path.string();
#endif
}
