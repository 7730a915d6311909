#include "tools/output_file.h"

#include <filesystem>
#include <fstream>

bool WriteOutputFile(const std::string& path, std::string& error,
                     const std::function<bool(const std::string&, std::string&)>& write) {
  const std::string temporary = path + ".partial";
  std::error_code ignored;
  if (!write(temporary, error)) {
    std::filesystem::remove(temporary, ignored);
    return false;
  }
  std::error_code renamed;
  std::filesystem::rename(temporary, path, renamed);
  if (renamed) {
    std::filesystem::remove(temporary, ignored);
    error = "cannot write (" + renamed.message() + ")";
    return false;
  }
  return true;
}

bool WriteFileBytes(const std::string& path, const std::vector<uint8_t>& bytes, std::string& error) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  out.close();
  if (!out) {
    error = "cannot write";
    return false;
  }
  return true;
}
