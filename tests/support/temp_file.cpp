#include "tests/support/temp_file.h"

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>

namespace {

std::string UniqueName() {
  static std::atomic<unsigned> counter{0};
  const auto stamp = std::filesystem::file_time_type::clock::now().time_since_epoch().count();
  return "tlgtest-" + std::to_string(stamp) + "-" + std::to_string(counter++);
}

}  // namespace

TempFile::TempFile(const std::vector<uint8_t>& contents) : TempFile(contents, ".bin") {}

TempFile::TempFile(const std::vector<uint8_t>& contents, const std::string& utf8Name) {
  const auto path = std::filesystem::temp_directory_path() / std::filesystem::u8path(UniqueName() + utf8Name);
  path_ = path.u8string();  // the same as the narrow name for ASCII names
  widePath_ = path.u16string();
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(contents.data()),
            static_cast<std::streamsize>(contents.size()));
  if (!out) throw std::runtime_error("cannot write " + path_);
}

TempFile::~TempFile() {
  std::error_code ignored;
  std::filesystem::remove(std::filesystem::path(widePath_), ignored);
}

std::vector<uint8_t> ReadWholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}
