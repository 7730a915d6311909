// Scratch files for tests, removed when the object goes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class TempFile {
 public:
  explicit TempFile(const std::vector<uint8_t>& contents);
  // A file whose name ends in `utf8Name`, which may hold any characters.
  TempFile(const std::vector<uint8_t>& contents, const std::string& utf8Name);
  ~TempFile();
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;
  const std::string& path() const { return path_; }  // narrow: for ASCII names only
  const std::u16string& widePath() const { return widePath_; }

 private:
  std::string path_;
  std::u16string widePath_;
};

std::vector<uint8_t> ReadWholeFile(const std::string& path);
