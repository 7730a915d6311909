// tlg: inspect, decode and encode TLG images. Run 'tlg --help' for usage.
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "tools/batch.h"
#include "tools/console.h"
#include "tools/file_names.h"
#include "tools/tlg_commands.h"

#ifndef TLG_VERSION_STRING
#error "TLG_VERSION_STRING comes from the build"
#endif

namespace {

// Exit status of a command line that cannot be understood.
constexpr int kUsageStatus = 2;
// More threads than this only cost memory.
constexpr unsigned long kMostJobs = 1024;

const char kUsage[] =
    "usage: tlg COMMAND [OPTIONS] FILE...\n"
    "\n"
    "Inspect, decode and encode TLG images.\n"
    "\n"
    "commands:\n"
    "  info FILE...          print each file's kind, colour count, size and tags\n"
    "  decode FILE...        write TLG files as PNG (or PAM)\n"
    "  encode IMAGE.png...   write PNG files as TLG\n"
    "\n"
    "options:\n"
    "  -h, --help            show this help, or a command's with 'tlg COMMAND --help'\n"
    "  --version             show the version\n";

const char kInfoUsage[] =
    "usage: tlg info FILE... [-j N]\n"
    "\n"
    "Prints each file's kind, colour count, size and tags. The whole file is\n"
    "decoded, so that damage anywhere in it is reported.\n"
    "\n"
    "options:\n"
    "  -j, --jobs N  work on N files at once (default: one per processor core)\n";

const char kDecodeUsage[] =
    "usage: tlg decode FILE... [-o OUT | -d DIR] [-f] [-j N]\n"
    "\n"
    "Writes each TLG file as NAME.png beside it, or into DIR. A wrapped\n"
    "picture's tags go into the PNG as text chunks, for 'tlg encode'.\n"
    "\n"
    "options:\n"
    "  -o OUT        the output of a single input: .png, or .pam for PAM\n"
    "  -d DIR        write the outputs into DIR\n"
    "  -f, --force   overwrite outputs that already exist\n"
    "  -j, --jobs N  work on N files at once (default: one per processor core)\n";

const char kEncodeUsage[] =
    "usage: tlg encode IMAGE.png... [-o OUT.tlg | -d DIR] [-f] [-j N]\n"
    "                [--format tlg5|tlg6] [--wrap] [--tag KEY=VALUE]...\n"
    "                [--tags-from ORIGINAL.tlg] [--clear-transparent]\n"
    "\n"
    "Writes each PNG file as NAME.tlg beside it, or into DIR. Tags that\n"
    "'tlg decode' put into the PNG come back, wrapped; other text chunks\n"
    "are not tags.\n"
    "\n"
    "options:\n"
    "  -o OUT            the output of a single input\n"
    "  -d DIR            write the outputs into DIR\n"
    "  -f, --force       overwrite outputs that already exist\n"
    "  -j, --jobs N      work on N files at once (default: one per processor core);\n"
    "                    fewer files than N share the rest out as TLG6 threads\n"
    "  --format FORMAT   tlg6 (the default; usually smaller on photos and detailed\n"
    "                    art) or tlg5 (faster to decode; can be smaller on flat or\n"
    "                    smoothly graded pictures)\n"
    "  --wrap            put the image in a TLG0 wrapper\n"
    "  --clear-transparent  store fully transparent pixels as 0 (smaller files;\n"
    "                    their colour is lost)\n"
    "  --tag KEY=VALUE   add or replace a tag (implies --wrap); may be repeated\n"
    "  --tags-from ORIGINAL.tlg\n"
    "                    take the tags, and the wrapping, from ORIGINAL.tlg instead\n"
    "                    of the PNG (for a picture edited elsewhere)\n";

struct Command {
  const char* name;
  const char* usage;
  int (*run)(const CommandOptions&);
};

const Command kCommands[] = {
    {"info", kInfoUsage, RunInfo},
    {"decode", kDecodeUsage, RunDecode},
    {"encode", kEncodeUsage, RunEncode},
};

int UsageError(const std::string& message, const char* usage) {
  Print(stderr, "tlg: " + message + "\n" + usage);
  return kUsageStatus;
}

const Command* FindCommand(const std::string& name) {
  for (const Command& command : kCommands) {
    if (name == command.name) return &command;
  }
  return nullptr;
}

bool Takes(const Command& command, const std::string& option) {
  const std::string name = command.name;
  if (option == "-j" || option == "--jobs") return true;
  if (option == "-o" || option == "-d" || option == "-f" || option == "--force") return name != "info";
  if (option == "--format" || option == "--wrap" || option == "--tag" || option == "--tags-from" ||
      option == "--clear-transparent") {
    return name == "encode";
  }
  return false;
}

bool NeedsValue(const std::string& option) {
  return option == "-o" || option == "-d" || option == "--format" || option == "--tag" || option == "--tags-from" ||
         option == "-j" || option == "--jobs";
}

bool ParseJobs(const char* text, unsigned& jobs) {
  char* end = nullptr;
  errno = 0;
  const unsigned long value = std::strtoul(text, &end, 10);
  if (errno != 0 || end == text || *end != '\0' || text[0] == '-' || value < 1 || value > kMostJobs) return false;
  jobs = static_cast<unsigned>(value);
  return true;
}

// Parses the command's arguments; returns -1 to run the command, or an exit status.
int ParseArguments(const Command& command, const std::vector<std::string>& argv, CommandOptions& options) {
  const size_t argc = argv.size();
  bool optionsEnd = false;
  for (size_t i = 2; i < argc; ++i) {
    const std::string arg = argv[i];
    if (optionsEnd || arg.size() < 2 || arg[0] != '-') {
      options.files.push_back(arg);
      continue;
    }
    if (arg == "--") {
      optionsEnd = true;
    } else if (arg == "-h" || arg == "--help") {
      Print(stdout, command.usage);
      return 0;
    } else if (!Takes(command, arg)) {
      return UsageError("unknown option " + arg + " for " + command.name, command.usage);
    } else if (NeedsValue(arg) && i + 1 >= argc) {
      return UsageError(arg + " needs a value", command.usage);
    } else if (arg == "-o") {
      options.output = argv[++i];
    } else if (arg == "-d") {
      options.directory = argv[++i];
    } else if (arg == "-f" || arg == "--force") {
      options.force = true;
    } else if (arg == "--format") {
      options.format = argv[++i];
      if (options.format != "tlg5" && options.format != "tlg6") {
        return UsageError("unknown format " + options.format + " (tlg5 or tlg6)", command.usage);
      }
    } else if (arg == "-j" || arg == "--jobs") {
      if (!ParseJobs(argv[++i].c_str(), options.jobs)) return UsageError(arg + " takes a number of files from 1 up", command.usage);
    } else if (arg == "--wrap") {
      options.wrap = true;
    } else if (arg == "--clear-transparent") {
      options.clearTransparent = true;
    } else if (arg == "--tags-from") {
      options.tagsFrom = argv[++i];
    } else {  // --tag
      const std::string tag = argv[++i];
      const size_t equals = tag.find('=');
      if (equals == std::string::npos) return UsageError("--tag takes KEY=VALUE", command.usage);
      options.tags.push_back({tag.substr(0, equals), tag.substr(equals + 1)});
    }
  }
  if (options.files.empty()) return UsageError("no input file", command.usage);
  options.files = ExpandWildcards(options.files);
  if (!options.output.empty() && !options.directory.empty()) {
    return UsageError("-o and -d cannot be given together", command.usage);
  }
  if (!options.output.empty() && options.files.size() != 1) {
    return UsageError("-o takes one input; use -d for many", command.usage);
  }
  return -1;
}

// The arguments in UTF-8, argv[0] the program.
int RunTool(const std::vector<std::string>& argv) {
  if (argv.size() < 2) return UsageError("no command", kUsage);
  const std::string first = argv[1];
  if (first == "-h" || first == "--help") {
    Print(stdout, kUsage);
    return 0;
  }
  if (first == "--version") {
    Print(stdout, std::string("tlg ") + TLG_VERSION_STRING + "\n");
    return 0;
  }
  const Command* command = FindCommand(first);
  if (command == nullptr) {
    return UsageError((first[0] == '-' ? "unknown option " : "unknown command ") + first, kUsage);
  }
  CommandOptions options;
  options.jobs = DefaultJobs();
  const int status = ParseArguments(*command, argv, options);
  if (status >= 0) return status;
  if (std::string(command->name) == "decode" && !options.output.empty()) {
    if (!HasExtension(options.output, ".png") && !HasExtension(options.output, ".pam")) {
      return UsageError("the output must end in .png or .pam", command->usage);
    }
  }
  return command->run(options);
}

}  // namespace

#ifdef _WIN32
// Built with -municode: the arguments arrive as UTF-16, whatever the code page.
int wmain(int argc, wchar_t** argv) {
  std::vector<std::string> arguments;
  for (int i = 0; i < argc; ++i) arguments.push_back(Utf8Of(argv[i]));
  return RunTool(arguments);
}
#else
int main(int argc, char** argv) { return RunTool(std::vector<std::string>(argv, argv + argc)); }
#endif
