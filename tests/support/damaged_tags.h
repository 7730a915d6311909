// Wrapped files whose "tags" chunk is damaged after a whole picture, for the
// tests of every interface (header only: each test program links its own way).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

// The tags to encode, in this order: the damage falls on the last entry, so
// the first one must survive it.
constexpr const char* kKeptTagKey = "author";
constexpr const char* kKeptTagValue = "us";
constexpr const char* kDamagedTagKey = "title";
constexpr const char* kDamagedTagValue = "Dusk";

inline std::vector<std::pair<std::string, std::string>> TagsToDamage() {
  return {{kKeptTagKey, kKeptTagValue}, {kDamagedTagKey, kDamagedTagValue}};
}

struct DamagedTagsFile {
  std::string what;
  std::vector<uint8_t> bytes;
};

namespace damaged_tags_detail {

constexpr size_t kWrapperHeaderSize = 15;  // signature, then the picture's size
constexpr size_t kChunkHeaderSize = 8;     // name, then the data's size

inline uint32_t ReadLe32(const std::vector<uint8_t>& bytes, size_t at) {
  return uint32_t(bytes[at]) | uint32_t(bytes[at + 1]) << 8 | uint32_t(bytes[at + 2]) << 16 |
         uint32_t(bytes[at + 3]) << 24;
}

// Where the size of the "tags" chunk that ends the file is written; 0 if none.
inline size_t LastTagsChunkSizeAt(const std::vector<uint8_t>& file) {
  if (file.size() < kWrapperHeaderSize) return 0;
  size_t at = kWrapperHeaderSize + ReadLe32(file, kWrapperHeaderSize - 4);
  while (at + kChunkHeaderSize <= file.size()) {
    const size_t end = at + kChunkHeaderSize + ReadLe32(file, at + 4);
    if (end == file.size() && std::memcmp(&file[at], "tags", 4) == 0) return at + 4;
    at = end;
  }
  return 0;
}

// The file with `count` bytes taken out at `at` inside the tags chunk, whose
// size is brought down to match.
inline void SetLe32(std::vector<uint8_t>& bytes, size_t at, uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes[at + i] = uint8_t(value >> (8 * i));
}

inline std::vector<uint8_t> Erase(std::vector<uint8_t> file, size_t sizeAt, size_t at, size_t count) {
  file.erase(file.begin() + at, file.begin() + at + count);
  SetLe32(file, sizeAt, ReadLe32(file, sizeAt) - uint32_t(count));
  return file;
}

}  // namespace damaged_tags_detail

// From a wrapped file whose last chunk is "tags" holding TagsToDamage():
// a colon missing, the separator missing, the entry cut short within its
// chunk, and the file ending inside a chunk that holds that entry alone.
// Empty for any other file.
inline std::vector<DamagedTagsFile> DamagedTagsFiles(const std::vector<uint8_t>& good) {
  using namespace damaged_tags_detail;
  const std::string last = std::to_string(std::strlen(kDamagedTagKey)) + ":" + kDamagedTagKey +
                           "=" + std::to_string(std::strlen(kDamagedTagValue)) + ":" +
                           kDamagedTagValue + ",";
  const size_t sizeAt = LastTagsChunkSizeAt(good);
  if (sizeAt == 0 || good.size() < last.size() ||
      std::memcmp(&good[good.size() - last.size()], last.data(), last.size()) != 0) {
    return {};
  }
  const size_t entry = good.size() - last.size();
  const size_t cut = 3;
  // The file ends inside a chunk of its own, which gives nothing; the entries
  // of the chunk before it stay.
  std::vector<uint8_t> split(good.begin(), good.begin() + entry);
  SetLe32(split, sizeAt, uint32_t(entry - (sizeAt + 4)));
  const uint8_t header[] = {'t', 'a', 'g', 's', uint8_t(last.size()), 0, 0, 0};
  split.insert(split.end(), header, header + sizeof header);
  split.insert(split.end(), last.begin(), last.end() - cut);
  return {
      {"a colon missing", Erase(good, sizeAt, entry + last.find(':'), 1)},
      {"the separator missing", Erase(good, sizeAt, good.size() - 1, 1)},
      {"the entry cut short", Erase(good, sizeAt, good.size() - cut, cut)},
      {"the file ending inside the tags", split},
  };
}
