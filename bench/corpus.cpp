#include "bench/corpus.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

#include "stream/binary_stream.h"
#include "tlg/tlg_loader.h"

namespace fs = std::filesystem;

const char* Extension(FileKind kind) {
  switch (kind) {
    case FileKind::kTlg5: return ".tlg5";
    case FileKind::kTlg6: return ".tlg6";
    case FileKind::kPng: return ".png";
    case FileKind::kWebp: return ".webp";
  }
  return "";
}

std::vector<uint8_t> ReadWholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::vector<CorpusImage> LoadCorpus(const std::string& directory) {
  std::vector<fs::path> tlg6Files;
  for (const auto& entry : fs::recursive_directory_iterator(directory)) {
    if (entry.path().extension() == ".tlg6") tlg6Files.push_back(entry.path());
  }
  std::sort(tlg6Files.begin(), tlg6Files.end());

  std::vector<CorpusImage> images;
  for (const fs::path& tlg6 : tlg6Files) {
    CorpusImage image;
    image.set = tlg6.parent_path().filename().string();
    image.name = tlg6.stem().string();
    for (FileKind kind : kFileKinds) {
      fs::path file = tlg6;
      file.replace_extension(Extension(kind));
      image.files[static_cast<int>(kind)] = ReadWholeFile(file.string());
    }
    const std::vector<uint8_t>& bytes = image.File(FileKind::kTlg6);
    tMemDataStream stream(bytes.data(), static_cast<uint32_t>(bytes.size()));
    if (!ReadImageSize(stream, &image.width, &image.height)) {
      throw std::runtime_error("not a TLG file: " + tlg6.string());
    }
    images.push_back(std::move(image));
  }
  return images;
}
