// tlg: inspect, decode and encode TLG images.
//
//   tlg info FILE...
//   tlg decode FILE... [-o OUT | -d DIR]     (OUT ends in .png or .pam)
//   tlg encode IMAGE.png [-o OUT.tlg] [--format tlg5|tlg6] [--wrap] [--tag KEY=VALUE]...
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "encoder/tlg0_writer.h"
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

const char kUsage[] =
    "usage:\n"
    "  tlg info FILE...\n"
    "  tlg decode FILE... [-o OUT.png|OUT.pam | -d DIR]\n"
    "  tlg encode IMAGE.png [-o OUT.tlg] [--format tlg5|tlg6] [--wrap] [--tag KEY=VALUE]...\n";

int UsageError(const std::string& message) {
  std::fprintf(stderr, "tlg: %s\n%s", message.c_str(), kUsage);
  return 2;
}

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

int Summary(const char* verb, size_t total, size_t failed) {
  if (total > 1) {
    std::fprintf(stderr, "%s %zu of %zu files%s\n", verb, total - failed, total,
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

int Info(const std::vector<std::string>& files) {
  size_t failed = 0;
  for (size_t i = 0; i < files.size(); ++i) {
    std::vector<uint8_t> bytes;
    TlgFileInfo info;
    std::string error;
    if (!ReadFileBytes(files[i], bytes, error) || !InspectTlg(bytes, info, error)) {
      Fail(files[i], error);
      ++failed;
      continue;
    }
    std::printf("%s: %s, %u colours, %u x %u\n", files[i].c_str(), info.kind.c_str(), info.colours,
                info.width, info.height);
    for (const auto& [key, value] : info.tags) {
      std::printf("  %s = %s\n", Printable(key).c_str(), Printable(value).c_str());
    }
  }
  return Summary("described", files.size(), failed);
}

bool EndsWith(const std::string& text, const std::string& suffix) {
  return text.size() >= suffix.size() &&
         text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

bool WritePicture(const std::string& path, const Picture& picture, std::string& error) {
  return WriteOutputFile(path, error, [&](const std::string& temporary, std::string& why) {
    return EndsWith(path, ".pam") ? WritePam(temporary, picture, why)
                                  : WritePng(temporary, picture, why);
  });
}

int Decode(const std::vector<std::string>& files, const std::string& out, const std::string& dir) {
  if (!out.empty() && files.size() != 1) return UsageError("-o takes one input; use -d for many");
  if (!out.empty() && !EndsWith(out, ".png") && !EndsWith(out, ".pam")) {
    return UsageError("the output must end in .png or .pam");
  }
  size_t failed = 0;
  for (size_t i = 0; i < files.size(); ++i) {
    ShowProgress(i, files.size(), files[i]);
    std::string target = out;
    if (target.empty()) {
      const fs::path name = fs::path(files[i]).filename().replace_extension(".png");
      target = (dir.empty() ? fs::path(files[i]).parent_path() / name : fs::path(dir) / name).string();
    }
    std::vector<uint8_t> bytes;
    Picture picture;
    std::string error;
    if (!ReadFileBytes(files[i], bytes, error) || !DecodeTlgFile(bytes, picture, nullptr, error)) {
      Fail(files[i], error);
      ++failed;
      continue;
    }
    if (!WritePicture(target, picture, error)) {
      Fail(target, error);
      ++failed;
    }
  }
  return Summary("decoded", files.size(), failed);
}

struct EncodeRequest {
  std::string input;
  std::string output;
  std::string format = "tlg6";
  bool wrap = false;
  TagList tags;
};

int Encode(const EncodeRequest& request) {
  std::string output = request.output;
  if (output.empty()) output = fs::path(request.input).replace_extension(".tlg").string();
  Picture picture;
  std::string error;
  if (!ReadPng(request.input, picture, error)) {
    Fail(request.input, error);
    return 1;
  }
  std::vector<uint8_t> image;
  try {
    image = request.format == "tlg5" ? EncodeTlg5(picture.pixels.data(), picture.width, picture.height)
                                     : EncodeTlg6(picture.pixels.data(), picture.width, picture.height);
    if (request.wrap || !request.tags.empty()) {
      std::vector<TlgChunk> chunks;
      if (!request.tags.empty()) chunks.push_back({"tags", MakeTagsChunkData(request.tags)});
      image = WrapTlg0(image, chunks);
    }
  } catch (const std::exception& e) {
    Fail(request.input, std::string("cannot encode (") + e.what() + ")");
    return 1;
  }
  const bool written = WriteOutputFile(output, error, [&](const std::string& temporary, std::string& why) {
    return WriteFileBytes(temporary, image, why);
  });
  if (!written) {
    Fail(output, error);
    return 1;
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return UsageError("no command");
  const std::string command = argv[1];
  std::vector<std::string> files;
  std::string out, dir;
  EncodeRequest encode;
  for (int i = 2; i < argc; ++i) {
    const std::string arg = argv[i];
    const bool hasValue = i + 1 < argc;
    if ((arg == "-o" || arg == "-d" || arg == "--format" || arg == "--tag") && !hasValue) {
      return UsageError(arg + " needs a value");
    }
    if (arg == "-o") {
      out = argv[++i];
    } else if (arg == "-d") {
      dir = argv[++i];
    } else if (arg == "--format" && command == "encode") {
      encode.format = argv[++i];
      if (encode.format != "tlg5" && encode.format != "tlg6") return UsageError("unknown format " + encode.format);
    } else if (arg == "--wrap" && command == "encode") {
      encode.wrap = true;
    } else if (arg == "--tag" && command == "encode") {
      const std::string tag = argv[++i];
      const size_t equals = tag.find('=');
      if (equals == std::string::npos) return UsageError("--tag takes KEY=VALUE");
      encode.tags.push_back({tag.substr(0, equals), tag.substr(equals + 1)});
    } else if (arg.size() > 1 && arg[0] == '-') {
      return UsageError("unknown option " + arg);
    } else {
      files.push_back(arg);
    }
  }
  if (files.empty()) return UsageError("no input file");
  if (command == "info") return Info(files);
  if (command == "decode") return Decode(files, out, dir);
  if (command == "encode") {
    if (files.size() != 1) return UsageError("encode takes one image");
    encode.input = files[0];
    encode.output = out;
    return Encode(encode);
  }
  return UsageError("unknown command " + command);
}
