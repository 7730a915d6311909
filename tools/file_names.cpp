#include "tools/file_names.h"

#include <algorithm>
#include <system_error>

#ifdef _WIN32
#include <windows.h>
#endif

#ifdef _WIN32
namespace {

// The part of a name that names the file: after the last \, / or drive colon.
size_t NamePartStart(const std::string& path) {
  const size_t separator = path.find_last_of("\\/:");
  return separator == std::string::npos ? 0 : separator + 1;
}

bool HasWildcards(const std::string& path) {
  return path.find_first_of("*?", NamePartStart(path)) != std::string::npos;
}

// Ordered as a folder listing is: case aside first, then by case, so that
// the order does not depend on the file system's.
bool ListedBefore(const std::wstring& a, const std::wstring& b) {
  const int folded = CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(),
                                          static_cast<int>(b.size()), TRUE);
  if (folded != CSTR_EQUAL) return folded == CSTR_LESS_THAN;
  return a < b;
}

std::vector<std::wstring> MatchingFiles(const std::string& pattern) {
  std::vector<std::wstring> names;
  WIN32_FIND_DATAW found;
  const HANDLE search = FindFirstFileW(WideOf(pattern).c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return names;
  do {
    const std::wstring name = found.cFileName;
    if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0 && name != L"." && name != L"..") {
      names.push_back(name);
    }
  } while (FindNextFileW(search, &found));
  FindClose(search);
  std::sort(names.begin(), names.end(), ListedBefore);
  return names;
}

}  // namespace

std::wstring WideOf(const std::string& utf8) {
  if (utf8.empty()) return std::wstring();
  const int size = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  std::wstring wide(static_cast<size_t>(size), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), wide.data(), size);
  return wide;
}

std::string Utf8Of(const std::wstring& wide) {
  if (wide.empty()) return std::string();
  const int size =
      WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0, nullptr, nullptr);
  std::string utf8(static_cast<size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), utf8.data(), size, nullptr, nullptr);
  return utf8;
}
#endif

std::FILE* OpenFile(const std::string& path, const char* mode) {
#ifdef _WIN32
  return _wfopen(WideOf(path).c_str(), WideOf(mode).c_str());
#else
  return std::fopen(path.c_str(), mode);
#endif
}

std::filesystem::path PathOf(const std::string& path) {
#ifdef _WIN32
  return std::filesystem::path(WideOf(path));
#else
  return std::filesystem::path(path);
#endif
}

std::string NameOf(const std::filesystem::path& path) {
#ifdef _WIN32
  return Utf8Of(path.wstring());
#else
  return path.string();
#endif
}

#ifdef _WIN32
namespace {

// Parents first. Through CreateDirectoryW rather than std::filesystem, whose
// reasons are Windows' errors renamed oddly ("File name too long" for a
// drive that is not there).
bool MakeFolderAndParents(const std::filesystem::path& folder, std::string& error) {
  std::error_code ignored;
  if (std::filesystem::is_directory(folder, ignored)) return true;
  const std::filesystem::path parent = folder.parent_path();
  if (!parent.empty() && parent != folder && !MakeFolderAndParents(parent, error)) return false;
  if (CreateDirectoryW(folder.c_str(), nullptr)) return true;
  const DWORD code = GetLastError();
  if (code == ERROR_ALREADY_EXISTS && std::filesystem::is_directory(folder, ignored)) return true;
  error = "cannot create (" +
          (code == ERROR_ALREADY_EXISTS ? std::make_error_code(std::errc::not_a_directory).message()
                                        : std::system_category().message(static_cast<int>(code))) +
          ")";
  return false;
}

}  // namespace
#endif

bool MakeFolder(const std::string& path, std::string& error) {
#ifdef _WIN32
  return MakeFolderAndParents(PathOf(path), error);
#else
  std::error_code status;
  const std::filesystem::path folder = PathOf(path);
  std::filesystem::create_directories(folder, status);
  if (!status && std::filesystem::is_directory(folder, status)) return true;
  if (!status) status = std::make_error_code(std::errc::not_a_directory);
  error = "cannot create (" + status.message() + ")";
  return false;
#endif
}

std::vector<std::string> ExpandWildcards(const std::vector<std::string>& arguments) {
#ifdef _WIN32
  std::vector<std::string> files;
  for (const std::string& argument : arguments) {
    if (!HasWildcards(argument)) {
      files.push_back(argument);
      continue;
    }
    const std::vector<std::wstring> names = MatchingFiles(argument);
    if (names.empty()) files.push_back(argument);
    const std::string folder = argument.substr(0, NamePartStart(argument));
    for (const std::wstring& name : names) files.push_back(folder + Utf8Of(name));
  }
  return files;
#else
  return arguments;
#endif
}

bool IsUnmatchedPattern(const std::string& file) {
#ifdef _WIN32
  return HasWildcards(file);
#else
  (void)file;
  return false;
#endif
}

bool HasExtension(const std::string& path, const std::string& extension) {
  if (path.size() < extension.size()) return false;
  for (size_t i = 0; i < extension.size(); ++i) {
    char c = path[path.size() - extension.size() + i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != extension[i]) return false;
  }
  return true;
}
