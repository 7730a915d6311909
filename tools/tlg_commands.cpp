#include "tools/tlg_commands.h"

#include <cstdio>
#include <filesystem>
#include <functional>

#include "encoder/tlg5_encoder.h"
#include "encoder/tlg6_encoder.h"
#include "tools/output_file.h"
#include "tools/tlg_file.h"

#ifdef _WIN32
#include <io.h>
#define isatty _isatty
#define fileno _fileno
#else
#include <unistd.h>
#endif

namespace fs = std::filesystem;

namespace {

// A progress line on a terminal, nothing otherwise.
void ShowProgress(size_t done, size_t total, const std::string& file) {
  static const bool terminal = isatty(fileno(stderr)) != 0;
  if (!terminal || total < 2) return;
  std::fprintf(stderr, "\r\033[K[%zu/%zu] %s", done + 1, total, file.c_str());
  if (done + 1 == total) std::fprintf(stderr, "\r\033[K");
}

void Fail(const std::string& file, const std::string& reason) {
  std::fprintf(stderr, "%s: %s\n", file.c_str(), reason.c_str());
}

// Runs `one` on every file in order; it reports its own failures.
int RunBatch(const char* verb, const std::vector<std::string>& files,
             const std::function<bool(const std::string&)>& one) {
  size_t failed = 0;
  for (size_t i = 0; i < files.size(); ++i) {
    ShowProgress(i, files.size(), files[i]);
    if (!one(files[i])) ++failed;
  }
  if (files.size() > 1) {
    std::fprintf(stderr, "%s %zu of %zu files%s\n", verb, files.size() - failed, files.size(),
                 failed != 0 ? (", " + std::to_string(failed) + " failed").c_str() : "");
  }
  return failed == 0 ? 0 : 1;
}

std::string Printable(const std::string& bytes) {
  std::string out;
  for (unsigned char c : bytes) {
    if (c >= 0x20 && c < 0x7F && c != '\\') {
      out += static_cast<char>(c);
    } else {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\x%02X", c);
      out += escaped;
    }
  }
  return out;
}

bool EndsWith(const std::string& text, const std::string& suffix) {
  return text.size() >= suffix.size() &&
         text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

// -o for a single input; else the input's name with `extension`, beside the
// input or in -d.
std::string OutputPath(const CommandOptions& options, const std::string& input, const char* extension) {
  if (!options.output.empty()) return options.output;
  const fs::path name = fs::path(input).filename().replace_extension(extension);
  return (options.directory.empty() ? fs::path(input).parent_path() / name : fs::path(options.directory) / name)
      .string();
}

// Refuses an output that is already there, before any work is spent on it.
bool MayWrite(const CommandOptions& options, const std::string& output) {
  if (options.force || !OutputExists(output)) return true;
  Fail(output, "already exists (use -f to overwrite)");
  return false;
}

bool WriteResult(const CommandOptions& options, const std::string& output,
                 const std::function<bool(const std::string&, std::string&)>& write) {
  std::string error;
  if (WriteOutputFile(output, options.force, error, write)) return true;
  Fail(output, error);
  return false;
}

bool DescribeOne(const std::string& file) {
  std::vector<uint8_t> bytes;
  TlgFileInfo info;
  std::string error;
  if (!ReadFileBytes(file, bytes, error) || !InspectTlg(bytes, info, error)) {
    Fail(file, error);
    return false;
  }
  std::printf("%s: %s, %u colours, %u x %u\n", file.c_str(), info.kind.c_str(), info.colours, info.width,
              info.height);
  for (const auto& [key, value] : info.tags) {
    std::printf("  %s = %s\n", Printable(key).c_str(), Printable(value).c_str());
  }
  return true;
}

bool DecodeOne(const CommandOptions& options, const std::string& file) {
  const std::string output = OutputPath(options, file, ".png");
  if (!MayWrite(options, output)) return false;
  std::vector<uint8_t> bytes;
  Picture picture;
  std::string error;
  if (!ReadFileBytes(file, bytes, error) || !DecodeTlgFile(bytes, picture, nullptr, error)) {
    Fail(file, error);
    return false;
  }
  return WriteResult(options, output, [&](const std::string& temporary, std::string& why) {
    return EndsWith(output, ".pam") ? WritePam(temporary, picture, why) : WritePng(temporary, picture, why);
  });
}

bool EncodeOne(const CommandOptions& options, const std::string& file) {
  const std::string output = OutputPath(options, file, ".tlg");
  if (!MayWrite(options, output)) return false;
  Picture picture;
  std::string error;
  if (!ReadPng(file, picture, error)) {
    Fail(file, error);
    return false;
  }
  std::vector<uint8_t> image;
  try {
    image = options.format == "tlg5" ? EncodeTlg5(picture.pixels.data(), picture.width, picture.height)
                                     : EncodeTlg6(picture.pixels.data(), picture.width, picture.height);
    if (options.wrap || !options.tags.empty()) {
      std::vector<TlgChunk> chunks;
      if (!options.tags.empty()) chunks.push_back({"tags", MakeTagsChunkData(options.tags)});
      image = WrapTlg0(image, chunks);
    }
  } catch (const std::exception& e) {
    Fail(file, std::string("cannot encode (") + e.what() + ")");
    return false;
  }
  return WriteResult(options, output, [&](const std::string& temporary, std::string& why) {
    return WriteFileBytes(temporary, image, why);
  });
}

}  // namespace

int RunInfo(const CommandOptions& options) { return RunBatch("described", options.files, DescribeOne); }

int RunDecode(const CommandOptions& options) {
  return RunBatch("decoded", options.files, [&](const std::string& file) { return DecodeOne(options, file); });
}

int RunEncode(const CommandOptions& options) {
  return RunBatch("encoded", options.files, [&](const std::string& file) { return EncodeOne(options, file); });
}
