// The benchmark pictures: each one as its decoded pixels and as the four
// files it was converted to, read into memory once.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

enum class FileKind { kTlg5, kTlg6, kPng, kWebp };
constexpr FileKind kFileKinds[] = {FileKind::kTlg5, FileKind::kTlg6, FileKind::kPng,
                                   FileKind::kWebp};

const char* Extension(FileKind kind);

struct CorpusImage {
  std::string set;   // photo, illustration, sprite
  std::string name;
  uint32_t width = 0;
  uint32_t height = 0;
  std::vector<uint8_t> files[4];  // indexed by FileKind

  const std::vector<uint8_t>& File(FileKind kind) const { return files[static_cast<int>(kind)]; }
};

// Reads DIR/SET/NAME.{tlg5,tlg6,png,webp} for every NAME.tlg6 found, sets in
// name order. Throws std::runtime_error when a file is missing or a TLG6
// file's header cannot be read.
std::vector<CorpusImage> LoadCorpus(const std::string& directory);

std::vector<uint8_t> ReadWholeFile(const std::string& path);
