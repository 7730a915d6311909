#include "tools/tlg_commands.h"

#include <algorithm>
#include <clocale>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <new>

#include "tools/batch.h"

#include "encoder/tlg5_encoder.h"
#include "encoder/tlg6_encoder.h"
#include "tools/console.h"
#include "tools/file_names.h"
#include "tools/output_file.h"
#include "tools/png_tags.h"
#include "tools/tlg_file.h"
#include "tools/utf8.h"

#ifndef _WIN32
#include <langinfo.h>
#endif

namespace fs = std::filesystem;

namespace {

void AppendByteEscape(std::string& out, unsigned char c) {
  char escaped[8];
  std::snprintf(escaped, sizeof escaped, "\\x%02X", c);
  out += escaped;
}

// Characters that are never printed as they are: controls, and the invisible
// ones that break lines or turn the direction of text.
bool IsHidden(uint32_t c) {
  return c < 0x20 || (c >= 0x7F && c <= 0x9F) || c == 0x200E || c == 0x200F || c == 0x2028 || c == 0x2029 ||
         (c >= 0x202A && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069);
}

// A tag's key or value for a terminal: printable ASCII as it is, and, when
// `utf8` and the whole string is well-formed UTF-8, other characters too;
// every other byte (and the backslash) as \xHH.
std::string Printable(const std::string& bytes, bool utf8) {
  const bool text = utf8 && IsUtf8(bytes);
  std::string out;
  for (size_t at = 0; at < bytes.size();) {
    uint32_t c = 0;
    const size_t length = text ? Utf8SequenceAt(bytes, at, c) : 1;
    if (!text) c = static_cast<unsigned char>(bytes[at]);
    if (c == '\\' || IsHidden(c) || (!text && c >= 0x80)) {
      for (size_t i = 0; i < length; ++i) AppendByteEscape(out, static_cast<unsigned char>(bytes[at + i]));
    } else {
      out.append(bytes, at, length);
    }
    at += length;
  }
  return out;
}

// Whether standard output takes UTF-8: on POSIX, when the locale's character
// set is UTF-8; on Windows always (the console gets it converted).
bool OutputIsUtf8() {
#ifdef _WIN32
  return true;
#else
  if (std::setlocale(LC_CTYPE, "") == nullptr) return false;
  const std::string codeset = nl_langinfo(CODESET);
  return codeset == "UTF-8" || codeset == "utf-8" || codeset == "utf8" || codeset == "UTF8";
#endif
}

// -o for a single input; else the input's name with `extension`, beside the
// input or in -d.
std::string OutputPath(const CommandOptions& options, const std::string& input, const char* extension) {
  if (!options.output.empty()) return options.output;
  const fs::path name = PathOf(input).filename().replace_extension(extension);
  return NameOf(options.directory.empty() ? PathOf(input).parent_path() / name : PathOf(options.directory) / name);
}

// Refuses an output that is already there, before any work is spent on it.
bool MayWrite(const CommandOptions& options, const std::string& output, FileReport& report) {
  if (options.force || !OutputExists(output)) return true;
  Fail(report, output, "already exists (use -f to overwrite)");
  return false;
}

void WriteResult(const CommandOptions& options, const std::string& output, FileReport& report,
                 const std::function<bool(const std::string&, std::string&)>& write) {
  std::string error;
  if (!WriteOutputFile(output, options.force, error, write)) Fail(report, output, error);
}

void DescribeOne(const std::string& file, FileReport& report, bool utf8) {
  std::vector<uint8_t> bytes;
  TlgFileInfo info;
  std::string error;
  if (!ReadFileBytes(file, bytes, error) || !InspectTlg(bytes, info, error)) {
    Fail(report, file, error);
    return;
  }
  report.out += file + ": " + info.kind + ", " + std::to_string(info.colours) + " colours, " +
                std::to_string(info.width) + " x " + std::to_string(info.height) + "\n";
  for (const auto& [key, value] : info.tags) {
    report.out += "  " + Printable(key, utf8) + " = " + Printable(value, utf8) + "\n";
  }
}

void DecodeOne(const CommandOptions& options, const std::string& file, FileReport& report) {
  const std::string output = OutputPath(options, file, ".png");
  if (!MayWrite(options, output, report)) return;
  std::vector<uint8_t> bytes;
  Picture picture;
  TagDictionary tags;
  std::string error;
  if (!ReadFileBytes(file, bytes, error) || !DecodeTlgFile(bytes, picture, &tags, error)) {
    Fail(report, file, error);
    return;
  }
  // A wrapped picture's tags travel in the PNG (see png_tags.h); PAM has no place for them.
  const std::vector<PngText> texts = IsWrappedTlg(bytes) ? TagsToPngTexts(tags) : std::vector<PngText>();
  WriteResult(options, output, report, [&](const std::string& temporary, std::string& why) {
    return HasExtension(output, ".pam") ? WritePam(temporary, picture, why)
                                          : WritePng(temporary, picture, why, texts);
  });
}

// Threads that files side by side leave over go into each file's encoding.
unsigned ThreadsPerFile(const CommandOptions& options) {
  const size_t files = std::max<size_t>(1, std::min<size_t>(options.jobs, options.files.size()));
  return static_cast<unsigned>(std::max<size_t>(1, options.jobs / files));
}

// The tags and wrapping of --tags-from, read once for the whole batch.
struct OriginalTags {
  bool read = false;
  std::string error;
  bool wrapped = false;
  TagList tags;
};

OriginalTags ReadOriginalTags(const std::string& path) {
  OriginalTags original;
  std::vector<uint8_t> bytes;
  TagDictionary tags;
  try {
    original.read = ReadFileBytes(path, bytes, original.error) &&
                    ReadWholeTags(bytes, tags, original.wrapped, original.error);
  } catch (const std::bad_alloc&) {
    original.error = "too large to hold in memory";
  }
  original.tags.assign(tags.begin(), tags.end());
  return original;
}

void EncodeOne(const CommandOptions& options, const OriginalTags* original, const std::string& file,
               FileReport& report) {
  const std::string output = OutputPath(options, file, ".tlg");
  if (!MayWrite(options, output, report)) return;
  Picture picture;
  std::vector<PngText> texts;
  std::string error;
  if (!ReadPng(file, picture, error, &texts, IsTagKeyword)) {
    Fail(report, file, error);
    return;
  }
  // The tags and wrapping: those of --tags-from, else those the PNG carries
  // from 'tlg decode'; --tag over either.
  bool wrap = false;
  TagList tags;
  if (original != nullptr) {
    if (!original->read) {
      Fail(report, file, "cannot take the tags of " + options.tagsFrom + " (" + original->error + ")");
      return;
    }
    wrap = original->wrapped;
    tags = original->tags;
  } else {
    PngTags fromPng = TagsFromPngTexts(texts);
    wrap = fromPng.wrapped;
    tags = std::move(fromPng.tags);
  }
  MergeTags(tags, options.tags);
  wrap = wrap || options.wrap || !options.tags.empty();
  std::vector<uint8_t> image;
  try {
    if (options.format == "tlg5") {
      Tlg5EncodeOptions tlg5;
      tlg5.clearTransparent = options.clearTransparent;
      image = EncodeTlg5(picture.pixels.data(), picture.width, picture.height, tlg5);
    } else {
      Tlg6EncodeOptions tlg6;
      tlg6.clearTransparent = options.clearTransparent;
      tlg6.threads = ThreadsPerFile(options);
      image = EncodeTlg6(picture.pixels.data(), picture.width, picture.height, tlg6);
    }
    if (wrap) {
      std::vector<TlgChunk> chunks;
      if (!tags.empty()) chunks.push_back({"tags", MakeTagsChunkData(tags)});
      image = WrapTlg0(image, chunks);
    }
  } catch (const std::bad_alloc&) {
    throw;
  } catch (const std::exception& e) {
    Fail(report, file, std::string("cannot encode (") + e.what() + ")");
    return;
  }
  WriteResult(options, output, report, [&](const std::string& temporary, std::string& why) {
    return WriteFileBytes(temporary, image, why);
  });
}

// The batch, with -d made first (once, rather than failing every file), and
// a wildcard that matched nothing failing like a missing file.
int RunCommand(const char* verb, const CommandOptions& options, const FileWork& one) {
  std::string error;
  if (!options.directory.empty() && !MakeFolder(options.directory, error)) {
    Print(stderr, options.directory + ": " + error + "\n");
    return 1;
  }
  return RunBatch(verb, options.files, options.jobs, [&](const std::string& file, FileReport& report) {
    if (IsUnmatchedPattern(file)) {
      Fail(report, file, "matches no file");
    } else {
      one(file, report);
    }
  });
}

}  // namespace

int RunInfo(const CommandOptions& options) {
  const bool utf8 = OutputIsUtf8();
  return RunCommand("described", options,
                    [utf8](const std::string& file, FileReport& report) { DescribeOne(file, report, utf8); });
}

int RunDecode(const CommandOptions& options) {
  return RunCommand("decoded", options,
                    [&](const std::string& file, FileReport& report) { DecodeOne(options, file, report); });
}

int RunEncode(const CommandOptions& options) {
  const OriginalTags original = options.tagsFrom.empty() ? OriginalTags() : ReadOriginalTags(options.tagsFrom);
  const OriginalTags* from = options.tagsFrom.empty() ? nullptr : &original;
  return RunCommand("encoded", options,
                    [&](const std::string& file, FileReport& report) { EncodeOne(options, from, file, report); });
}
