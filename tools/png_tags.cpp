#include "tools/png_tags.h"

#include <cstring>
#include <map>

#include "tools/utf8.h"

namespace {

const char kWrappedKeyword[] = "tlg";
const char kTagPrefix[] = "tlg:";
constexpr size_t kTagPrefixSize = sizeof kTagPrefix - 1;
constexpr size_t kMostKeyword = 79;

void AppendEscape(std::string& out, uint8_t byte) {
  static const char kHex[] = "0123456789ABCDEF";
  out += '%';
  out += kHex[byte >> 4];
  out += kHex[byte & 0xF];
}

std::string EscapeKey(const std::string& key) {
  std::string out;
  for (const char c : key) {
    const auto byte = static_cast<uint8_t>(c);
    if (byte >= 0x21 && byte <= 0x7E && byte != '%') {
      out += c;
    } else {
      AppendEscape(out, byte);
    }
  }
  return out;
}

std::string EscapeValue(const std::string& value) {
  std::string out;
  for (size_t at = 0; at < value.size();) {
    uint32_t codePoint = 0;
    const size_t length = Utf8SequenceAt(value, at, codePoint);
    const bool plain = length != 0 && codePoint != '%' && codePoint != 0x7F &&
                       (codePoint >= 0x20 || codePoint == '\t' || codePoint == '\n');
    if (!plain) {
      AppendEscape(out, static_cast<uint8_t>(value[at]));
      ++at;
    } else {
      out.append(value, at, length);
      at += length;
    }
  }
  return out;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

std::string Unescape(const std::string& text) {
  std::string out;
  for (size_t at = 0; at < text.size(); ++at) {
    if (text[at] == '%' && at + 2 < text.size() && HexDigit(text[at + 1]) >= 0 && HexDigit(text[at + 2]) >= 0) {
      out += static_cast<char>(HexDigit(text[at + 1]) << 4 | HexDigit(text[at + 2]));
      at += 2;
    } else {
      out += text[at];
    }
  }
  return out;
}

std::string Latin1ToUtf8(const std::string& text) {
  std::string out;
  for (const char c : text) {
    const auto byte = static_cast<uint8_t>(c);
    if (byte < 0x80) {
      out += c;
    } else {
      out += static_cast<char>(0xC0 | byte >> 6);
      out += static_cast<char>(0x80 | (byte & 0x3F));
    }
  }
  return out;
}

}  // namespace

std::vector<PngText> TagsToPngTexts(const TagDictionary& tags) {
  std::vector<PngText> texts;
  texts.reserve(tags.size() + 1);
  texts.push_back({kWrappedKeyword, "", "wrapped", true});
  for (const auto& [key, value] : tags) {
    PngText text;
    const std::string written = EscapeKey(key);
    text.keyword = kTagPrefix + written;
    if (text.keyword.size() > kMostKeyword) {
      text.keyword.resize(kMostKeyword);
      text.translatedKeyword = written;
    }
    text.text = EscapeValue(value);
    texts.push_back(std::move(text));
  }
  return texts;
}

bool IsTagKeyword(const char* keyword, size_t length) {
  return (length == sizeof kWrappedKeyword - 1 && std::memcmp(keyword, kWrappedKeyword, length) == 0) ||
         (length >= kTagPrefixSize && std::memcmp(keyword, kTagPrefix, kTagPrefixSize) == 0);
}

PngTags TagsFromPngTexts(const std::vector<PngText>& texts) {
  PngTags result;
  TagList found;
  for (const PngText& text : texts) {
    if (!IsTagKeyword(text.keyword.data(), text.keyword.size())) continue;
    result.wrapped = true;
    if (text.keyword == kWrappedKeyword) continue;
    const std::string key = text.utf8 && !text.translatedKeyword.empty()
                                ? Unescape(text.translatedKeyword)
                                : Unescape(Latin1ToUtf8(text.keyword.substr(kTagPrefixSize)));
    found.emplace_back(key, Unescape(text.utf8 ? text.text : Latin1ToUtf8(text.text)));
  }
  MergeTags(result.tags, found);
  return result;
}

void MergeTags(TagList& tags, const TagList& changes) {
  std::map<std::string, size_t> where;
  for (size_t i = 0; i < tags.size(); ++i) where[tags[i].first] = i;
  for (const auto& [key, value] : changes) {
    const auto [place, added] = where.emplace(key, tags.size());
    if (added) {
      tags.emplace_back(key, value);
    } else {
      tags[place->second].second = value;
    }
  }
}
