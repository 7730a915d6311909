#include "tools/tlg_commands.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <functional>

#include "tools/batch.h"

#include "encoder/tlg5_encoder.h"
#include "encoder/tlg6_encoder.h"
#include "tools/console.h"
#include "tools/file_names.h"
#include "tools/output_file.h"
#include "tools/tlg_file.h"

namespace fs = std::filesystem;

namespace {

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

void DescribeOne(const std::string& file, FileReport& report) {
  std::vector<uint8_t> bytes;
  TlgFileInfo info;
  std::string error;
  if (!ReadFileBytes(file, bytes, error) || !InspectTlg(bytes, info, error)) {
    Fail(report, file, error);
    return;
  }
  report.out += file + ": " + info.kind + ", " + std::to_string(info.colours) + " colours, " +
                std::to_string(info.width) + " x " + std::to_string(info.height) + "\n";
  for (const auto& [key, value] : info.tags) report.out += "  " + Printable(key) + " = " + Printable(value) + "\n";
}

void DecodeOne(const CommandOptions& options, const std::string& file, FileReport& report) {
  const std::string output = OutputPath(options, file, ".png");
  if (!MayWrite(options, output, report)) return;
  std::vector<uint8_t> bytes;
  Picture picture;
  std::string error;
  if (!ReadFileBytes(file, bytes, error) || !DecodeTlgFile(bytes, picture, nullptr, error)) {
    Fail(report, file, error);
    return;
  }
  WriteResult(options, output, report, [&](const std::string& temporary, std::string& why) {
    return EndsWith(output, ".pam") ? WritePam(temporary, picture, why) : WritePng(temporary, picture, why);
  });
}

// Threads that files side by side leave over go into each file's encoding.
unsigned ThreadsPerFile(const CommandOptions& options) {
  const size_t files = std::max<size_t>(1, std::min<size_t>(options.jobs, options.files.size()));
  return static_cast<unsigned>(std::max<size_t>(1, options.jobs / files));
}

void EncodeOne(const CommandOptions& options, const std::string& file, FileReport& report) {
  const std::string output = OutputPath(options, file, ".tlg");
  if (!MayWrite(options, output, report)) return;
  Picture picture;
  std::string error;
  if (!ReadPng(file, picture, error)) {
    Fail(report, file, error);
    return;
  }
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
    if (options.wrap || !options.tags.empty()) {
      std::vector<TlgChunk> chunks;
      if (!options.tags.empty()) chunks.push_back({"tags", MakeTagsChunkData(options.tags)});
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

using OneFile = std::function<void(const std::string&, FileReport&)>;

// The batch, with -d made first (once, rather than failing every file), and
// a wildcard that matched nothing failing like a missing file.
int RunCommand(const char* verb, const CommandOptions& options, const OneFile& one) {
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

int RunInfo(const CommandOptions& options) { return RunCommand("described", options, DescribeOne); }

int RunDecode(const CommandOptions& options) {
  return RunCommand("decoded", options,
                    [&](const std::string& file, FileReport& report) { DecodeOne(options, file, report); });
}

int RunEncode(const CommandOptions& options) {
  return RunCommand("encoded", options,
                    [&](const std::string& file, FileReport& report) { EncodeOne(options, file, report); });
}
