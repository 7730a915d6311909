// The tags of a wrapped picture, as one block of entries and bytes.
#include <cstdlib>
#include <cstring>

#include "libtlg/internal.h"
#include "tlg/tlg_loader.h"

namespace libtlg {
namespace {

// The entries, then every key and value with a zero byte after it.
tlg_tag* PackTags(const TagDictionary& dictionary) {
  size_t bytes = dictionary.size() * sizeof(tlg_tag);
  for (const auto& entry : dictionary) {
    const size_t more = entry.first.size() + entry.second.size() + 2;
    if (more > SIZE_MAX - bytes) return nullptr;
    bytes += more;
  }
  auto* block = static_cast<tlg_tag*>(std::malloc(bytes));
  if (block == nullptr) return nullptr;
  char* text = reinterpret_cast<char*>(block + dictionary.size());
  tlg_tag* tag = block;
  for (const auto& entry : dictionary) {
    for (const std::string* part : {&entry.first, &entry.second}) {
      std::memcpy(text, part->data(), part->size());
      text[part->size()] = '\0';
      if (part == &entry.first) {
        tag->key = text;
        tag->key_size = part->size();
      } else {
        tag->value = text;
        tag->value_size = part->size();
      }
      text += part->size() + 1;
    }
    ++tag;
  }
  return block;
}

tlg_error ReadTags(const Source& source, tlg_tag** tags, size_t* count) {
  if (tags == nullptr || count == nullptr) return TLG_ERROR_INVALID_ARGUMENT;
  *tags = nullptr;
  *count = 0;
  return Guarded([&] {
    std::unique_ptr<WatchedStream> stream;
    tlg_error error = OpenSource(source, stream);
    if (error == TLG_OK) error = CheckSignature(*stream);
    if (error != TLG_OK) return error;
    TagDictionary dictionary;
    const int result = ReadTlgTags(*stream, &dictionary, nullptr);
    if (result != kLoadComplete) return LoadFailure(result, *stream);
    if (dictionary.empty()) return TLG_OK;
    tlg_tag* block = PackTags(dictionary);
    if (block == nullptr) return TLG_ERROR_OUT_OF_MEMORY;
    *tags = block;
    *count = dictionary.size();
    return TLG_OK;
  });
}

}  // namespace
}  // namespace libtlg

using namespace libtlg;

extern "C" {

tlg_error tlg_read_tags(const void* data, size_t size, tlg_tag** tags, size_t* count) {
  return ReadTags(MemorySource(data, size), tags, count);
}

tlg_error tlg_read_tags_file(const char* path, tlg_tag** tags, size_t* count) {
  if (path == nullptr) return TLG_ERROR_INVALID_ARGUMENT;
  return ReadTags(PathSource(path), tags, count);
}

#ifdef _WIN32
tlg_error tlg_read_tags_file_w(const wchar_t* path, tlg_tag** tags, size_t* count) {
  if (path == nullptr) return TLG_ERROR_INVALID_ARGUMENT;
  return ReadTags(WidePathSource(path), tags, count);
}
#endif

}  // extern "C"
