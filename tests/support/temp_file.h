// Scratch files for tests, removed when the object goes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class TempFile {
 public:
  explicit TempFile(const std::vector<uint8_t>& contents);
  ~TempFile();
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

std::vector<uint8_t> ReadWholeFile(const std::string& path);
